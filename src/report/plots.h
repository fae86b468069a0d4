// The plots of a table study, drawn by gnuplot (report/gnuplot.h): per quantity the figures for a
// paper, each as SVG and as PDF, and the report's plots (those figures' SVGs inlined, with the
// least-squares plot).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "study/study.h"

namespace kv::study {

// Up to this many quantities get their own plots.
inline constexpr size_t kMaxPlottedQuantities = 100;

// The subfolder of the output folder that holds the figures.
inline constexpr std::string_view kFigureFolder = "figures";

// The figures of one quantity, the k-th (from 1): q<k>_phi (phi against h with the extrapolated
// value, the uncertainty bars of the first estimator that applies and the exact value when known)
// and q<k>_error (the error against h on log-log axes with the observed and theoretical slopes,
// the true error |phi - exact| when the exact value is known). Named by the index alone, never by
// the quantity's name.
inline constexpr std::string_view kFigureKinds[] = {"phi", "error"};
inline constexpr std::string_view kFigureFormats[] = {"svg", "pdf"};
std::string figureName(size_t k, std::string_view kind, std::string_view format);
// Whether `file` (a name in the figure folder) is one of the names above, for any k.
bool isFigureName(std::string_view file);

struct QuantityPlots {
  std::string values;       // the phi figure's SVG, inlined
  std::string convergence;  // the error figure's SVG, inlined
  std::string leastSquares; // the chosen least-squares fit over the data, with U per grid
};

struct StudyPlots {
  bool available = false;
  std::string note;                  // why there are no plots, when there are none
  std::vector<QuantityPlots> plots;  // per quantity, for the first kMaxPlottedQuantities
  // The figure files: their path in the output folder ("figures/q1_phi.svg") and bytes.
  std::vector<std::pair<std::string, std::string>> figures;
};

// The estimator whose U the phi figure draws: the first of estimators() that applies to `q`
// (nothing when none does).
const Estimator* barEstimator(const QuantityStudy& q);

// The gnuplot script that draws every figure and plot into `folder` (the figure names above,
// and q<k>_ls.svg for a quantity with a least-squares result).
std::string plotScript(const StudyResult& study, const std::string& folder);

// Draws the plots (gnuplot stopped after `timeoutSeconds`); without gnuplot the result says so and
// holds none.
StudyPlots drawPlots(const StudyResult& study, double timeoutSeconds);

}  // namespace kv::study
