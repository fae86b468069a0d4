// The pieces every report page shares: escaping, numbers, the style sheet, and the sections
// that show a distribution over quantities or points.
#pragma once

#include <sstream>
#include <string>

#include "study/distribution.h"

namespace kv::study {

// Text made safe inside HTML elements and attribute values: & < > " as entities.
std::string htmlEscaped(const std::string& text);

// A number for a page (printf `format`), an en dash where there is none; a fraction as a
// percentage with three digits.
std::string htmlNumber(double value, const char* format = "%.6g");
std::string htmlPercent(double fraction);

// The style sheet of every report.
const char* reportStyle();

// The three plots of one distribution, as SVG ready to inline.
struct DistributionPlots {
  std::string order;       // histogram of p
  std::string byPointP;    // p against the point
  std::string byPointGci;  // GCI_fine21 against the point
  std::string mapP;        // grids that share no points, in 2-D: p over the points
  std::string mapGci;      // and GCI_fine21 (the points near a zero of phi apart)
  std::string mapU;        // and the absolute U, u_gci
};

// The sections of a report that show a distribution (counts by convergence type, GCI percentiles,
// the histogram of p or its plots, the worst points); `unit` names what was counted ("points",
// "quantities"); `plots` may be null.
void distributionHtml(std::ostringstream& h, const Distribution& d, const DistributionPlots* plots,
                      const std::string& unit, const std::string& idPrefix);

}  // namespace kv::study
