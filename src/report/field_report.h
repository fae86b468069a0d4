// The outputs of a field study beside summary.csv, one writer each for every source of a field
// (point files, HDF5 on any number of ranks, merged slabs): study.json, report.html and the short
// text for standard output, all holding per quantity the distribution over the points (counts
// by convergence type, a histogram of the observed order, GCI percentiles, the points that
// converge worst, p and GCI against the point) instead of one entry per point.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "report/html.h"
#include "study/field_kernel.h"

namespace kv::study {

struct FieldPlots {
  bool available = false;
  std::string note;  // why there are no plots, when there are none
  std::vector<DistributionPlots> quantities;  // per quantity, for the first kMaxPlottedQuantities
};

// The gnuplot script that draws the plots of the quantity `k` into `folder` (q<k>_order.svg,
// q<k>_p.svg, q<k>_gci.svg).
std::string distributionPlotScript(const Distribution& d, double pTh, const std::string& folder, size_t k);
FieldPlots drawFieldPlots(const FieldSummary& study, double timeoutSeconds);

std::string fieldJson(const FieldSummary& study);
std::string fieldReportHtml(const FieldSummary& study, const FieldPlots& plots);
// A few lines for a terminal: the points, per quantity the counts by convergence type and the
// GCI median.
std::string fieldText(const FieldSummary& study);

}  // namespace kv::study
