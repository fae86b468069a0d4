// The outputs of a field study beside summary.csv: study.json, report.html and the short text
// for standard output, all holding the distribution over the points (counts by convergence
// type, a histogram of the observed order, GCI percentiles, the points that converge worst,
// p and GCI against the point) instead of one entry per point.
#pragma once

#include <string>

#include "study/field_study.h"

namespace kv::study {

struct FieldPlots {
  bool available = false;
  std::string note;       // why there are no plots, when there are none
  std::string order;      // histogram of p
  std::string byPointP;   // p against the point
  std::string byPointGci; // GCI_fine21 against the point
};

// The gnuplot script that draws the three plots into `folder` (order.svg, p.svg, gci.svg).
std::string fieldPlotScript(const FieldStudy& study, const std::string& folder);
FieldPlots drawFieldPlots(const FieldStudy& study);

std::string fieldJson(const FieldStudy& study);
std::string fieldReportHtml(const FieldStudy& study, const FieldPlots& plots);
// A few lines for a terminal: the points, the counts by convergence type, the GCI median.
std::string fieldText(const FieldStudy& study);

}  // namespace kv::study
