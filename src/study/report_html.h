// report.html: one self-contained page (no external file, no script) with the summary table,
// the warnings and, per quantity, the plots and the series over all grids.
#pragma once

#include <sstream>
#include <string>

#include "study/plots.h"
#include "study/study.h"

namespace kv::study {

std::string reportHtml(const StudyResult& study, const StudyPlots& plots);

// Text made safe inside HTML elements and attribute values: & < > " as entities.
std::string htmlEscaped(const std::string& text);

// A number for a page (printf `format`), an en dash where there is none; a fraction as a
// percentage with three digits.
std::string htmlNumber(double value, const char* format = "%.6g");
std::string htmlPercent(double fraction);

// The style sheet of every report.
const char* reportStyle();

// A least-squares result as a folded table of every fit (the chosen one marked), with the
// legend of the fit names; `variable` is what the coefficients multiply (HTML).
void leastSquaresFitsHtml(std::ostringstream& s, const LeastSquaresResult& ls,
                          const char* variable = "h/h<sub>1</sub>");

}  // namespace kv::study
