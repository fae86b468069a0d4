// report.html: one self-contained page (no external file, no script) with the summary table,
// the warnings and, per quantity, the plots and the series over all grids.
#pragma once

#include <sstream>
#include <string>

#include "report/html.h"
#include "report/plots.h"
#include "study/study.h"

namespace kv::study {

std::string reportHtml(const StudyResult& study, const StudyPlots& plots);

// A least-squares result as a folded table of every fit (the chosen one marked), with the
// legend of the fit names; `variable` is what the coefficients multiply (HTML).
void leastSquaresFitsHtml(std::ostringstream& s, const LeastSquaresResult& ls,
                          const char* variable = "h/h<sub>1</sub>");

}  // namespace kv::study
