// The outputs of a field study beside summary.csv, one writer each for every source of a field
// (point files, HDF5 on any number of ranks, merged slabs): study.json, report.html and the short
// text for standard output, all holding per quantity the distribution over the points (counts
// by convergence type, a histogram of the observed order, GCI percentiles, the points that
// converge worst, p and GCI against the point) instead of one entry per point.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "study/field_study.h"

namespace kv::study {

// The three plots of one distribution, as SVG ready to inline.
struct DistributionPlots {
  std::string order;       // histogram of p
  std::string byPointP;    // p against the point
  std::string byPointGci;  // GCI_fine21 against the point
  std::string mapP;        // grids that share no points, in 2-D: p over the points
  std::string mapGci;      // and GCI_fine21
};

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

// The sections of a report that show a distribution (counts by convergence type, GCI percentiles,
// the histogram of p or its plots, the worst points); `unit` names what was counted ("points",
// "quantities"); `plots` may be null.
void distributionHtml(std::ostringstream& h, const Distribution& d, const DistributionPlots* plots,
                      const std::string& unit, const std::string& idPrefix);

}  // namespace kv::study
