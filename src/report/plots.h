// The plots of a table study, drawn by gnuplot (study/gnuplot.h) and returned as SVG text ready
// to inline in a page.
#pragma once

#include <string>
#include <vector>

#include "study/study.h"

namespace kv::study {

// Up to this many quantities get their own plots.
inline constexpr size_t kMaxPlottedQuantities = 100;

struct QuantityPlots {
  std::string values;       // phi against h, with phi_ext21 and the GCI band
  std::string convergence;  // log |phi - phi_ext21| against log h, with the slopes
  std::string leastSquares; // the chosen least-squares fit over the data, with U per grid
};

struct StudyPlots {
  bool available = false;
  std::string note;                  // why there are no plots, when there are none
  std::vector<QuantityPlots> plots;  // per quantity, for the first kMaxPlottedQuantities
};

// The gnuplot script that draws every plot into `folder` (q<k>_values.svg, q<k>_convergence.svg,
// q<k>_ls.svg for a quantity with a least-squares result).
std::string plotScript(const StudyResult& study, const std::string& folder);

// Draws the plots (gnuplot stopped after `timeoutSeconds`); without gnuplot the result says so and
// holds none.
StudyPlots drawPlots(const StudyResult& study, double timeoutSeconds);

}  // namespace kv::study
