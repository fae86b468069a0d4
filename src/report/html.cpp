#include "report/html.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "study/study.h"
#include "text/number.h"

namespace kv::study {

namespace {

const char* kStyle = R"(
body { font-family: system-ui, -apple-system, "Segoe UI", sans-serif; margin: 2em auto; max-width: 1500px; padding: 0 1em; color: #222; }
h1 { font-size: 1.5em; margin-bottom: 0.2em; } h2 { font-size: 1.2em; margin-top: 2em; border-bottom: 1px solid #ccc; }
p.meta { color: #555; margin-top: 0; }
table { border-collapse: collapse; font-size: 0.85em; margin: 0.5em 0; }
.wide { overflow-x: auto; }
th, td { padding: 0.25em 0.45em; border-bottom: 1px solid #e3e3e3; text-align: right; white-space: nowrap; }
th { background: #f3f5f8; position: sticky; top: 0; white-space: normal; vertical-align: bottom; }
td.name, th.name, td.text { text-align: left; }
td.text { white-space: normal; min-width: 8em; max-width: 24em; }
#summary { font-size: 0.8em; }
.conv { display: inline-block; padding: 0.05em 0.5em; border-radius: 0.8em; font-size: 0.85em; }
.monotonic-convergence { background: #d8f0d8; color: #185c18; }
.oscillatory-convergence { background: #fdf1c7; color: #6b5200; }
.monotonic-divergence, .oscillatory-divergence { background: #f8d4d0; color: #7d1a10; }
.two-grids, .no-change, .undetermined, .within-noise { background: #e4e4e4; color: #333; }
ul.warn { color: #7d4a00; } ul.warn li.info { color: #555; } .plots { display: flex; flex-wrap: wrap; gap: 1em; }
.plots svg { max-width: calc(33.3% - 1em); min-width: 360px; height: auto; border: 1px solid #eee; }
.note { background: #f6f6f6; padding: 0.5em 1em; border-left: 3px solid #999; }
.bar { display: inline-block; background: #1f4e8c; height: 0.9em; vertical-align: middle; }
.side { display: flex; flex-wrap: wrap; gap: 2em; align-items: flex-start; }
.plot svg { max-width: 100%; height: auto; border: 1px solid #eee; }
)";

}  // namespace

std::string htmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string htmlNumber(double value, const char* format) { return formatNumber(value, format, "&ndash;"); }

std::string htmlPercent(double fraction) {
  return std::isfinite(fraction) ? htmlNumber(100.0 * fraction, "%.3g") + "&nbsp;%" : "&ndash;";
}

const char* reportStyle() { return kStyle; }

void distributionHtml(std::ostringstream& h, const Distribution& s, const DistributionPlots* plots,
                      const std::string& unit, const std::string& idPrefix) {
  const double n = std::max<double>(1.0, static_cast<double>(s.points));
  h << "<div class=\"side\"><div><h3>Convergence type</h3><table id=\"" << idPrefix
    << "by-convergence\"><thead><tr><th class=\"name\">convergence</th><th>" << unit
    << "</th><th>share</th><th class=\"name\"></th></tr></thead><tbody>\n";
  uint64_t most = 1;
  for (uint64_t c : s.byConvergence) most = std::max(most, c);
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    if (s.byConvergence[t] == 0) continue;
    const std::string type(convergenceName(static_cast<ConvergenceType>(t)));
    h << "<tr><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>" << s.byConvergence[t]
      << "</td><td>" << formatNumber(100.0 * static_cast<double>(s.byConvergence[t]) / n, "%.3g") << "&nbsp;%</td>"
      << "<td class=\"name\"><span class=\"bar\" style=\"width:" << 160 * s.byConvergence[t] / most << "px\"></span></td></tr>\n";
  }
  h << "</tbody></table></div>\n";
  h << "<div><h3>GCI<sub>fine</sub><sup>21</sup> percentiles</h3><table id=\"" << idPrefix
    << "gci-percentiles\"><thead><tr><th class=\"name\">of the " << s.gci.counted() << " " << unit
    << " with a GCI</th><th>GCI<sub>fine</sub><sup>21</sup></th></tr></thead><tbody>\n";
  h << "<tr><td class=\"name\">smallest</td><td>" << htmlPercent(s.gci.counted() ? s.gci.min : kNotANumber) << "</td></tr>\n";
  for (double q : kGciPercentiles) {
    h << "<tr><td class=\"name\">" << formatNumber(100.0 * q, "%g") << "th percentile" << (q == 0.5 ? " (median)" : "")
      << "</td><td>" << htmlPercent(s.gci.percentile(q)) << "</td></tr>\n";
  }
  h << "<tr><td class=\"name\">largest</td><td>" << htmlPercent(s.gci.counted() ? s.gci.max : kNotANumber) << "</td></tr>\n";
  h << "</tbody></table></div></div>\n";

  if (plots != nullptr) {
    h << "<div class=\"plot\">\n" << plots->order << "\n</div>\n<div class=\"plot\">\n" << plots->byPointP
      << "\n</div>\n<div class=\"plot\">\n" << plots->byPointGci << "\n</div>\n";
    if (s.series.pointsPerBucket() > 1) {
      h << "<p>Against the point, the " << unit << " are taken in groups of " << s.series.pointsPerBucket()
        << " neighbours: the band spans the smallest to the largest value of each group, the line their mean.</p>\n";
    }
  } else {
    h << "<table id=\"" << idPrefix << "order-histogram\"><thead><tr><th>p from</th><th>to</th><th>" << unit
      << "</th></tr></thead><tbody>\n";
    for (size_t i = 0; i < s.order.kBins; ++i) {
      if (!s.order.bins[i]) continue;
      h << "<tr><td>" << htmlNumber(static_cast<double>(i) * s.order.kWidth, "%.1f") << "</td><td>"
        << htmlNumber(static_cast<double>(i + 1) * s.order.kWidth, "%.1f") << "</td><td>" << s.order.bins[i] << "</td></tr>\n";
    }
    h << "<tr><td colspan=\"2\">above 8</td><td>" << s.order.above << "</td></tr><tr><td colspan=\"2\">no order</td><td>"
      << s.order.none << "</td></tr></tbody></table>\n";
  }

  const auto worst = s.worst.sorted();
  h << "<h3>The " << worst.size() << " " << unit << " that converge worst</h3>\n"
    << "<p>Those that do not converge monotonically with an order first, then by the largest "
       "GCI<sub>fine</sub><sup>21</sup> (without a GCI: by the change e<sub>a</sub><sup>21</sup>); their whole rows "
       "are in <code>summary.csv</code>."
    << (s.worst.nearZeroCount() > 0 ? " Those near a zero of &phi; are listed below instead." : "") << "</p>\n"
    << "<table id=\"" << idPrefix << "worst\"><thead><tr><th class=\"name\">name</th><th>number</th><th class=\"name\">convergence</th>"
       "<th>p</th><th>GCI<sub>fine</sub><sup>21</sup></th></tr></thead><tbody>\n";
  for (const WorstPoint& w : worst) {
    const std::string type(convergenceName(w.summary.convergence));
    h << "<tr><td class=\"name\">" << htmlEscaped(w.name) << "</td><td>" << w.position + 1
      << "</td><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>"
      << htmlNumber(w.summary.p, "%.4g") << "</td><td>" << htmlPercent(w.summary.gci) << "</td></tr>\n";
  }
  h << "</tbody></table>\n";
  if (s.worst.nearZeroCount() == 0) return;
  const auto near = s.worst.nearZero();
  h << "<h3>" << s.worst.nearZeroCount() << " " << unit << " near a zero of &phi;</h3>\n"
    << "<p id=\"" << idPrefix << "near-zero-rule\">Where |&phi;<sub>1</sub>| is below "
    << htmlNumber(s.worst.threshold(), "%.4g")
    << " (2<sup>E&minus;7</sup>, 2<sup>E</sup> the largest power of two at or below the largest "
       "|&phi;<sub>1</sub>|: between 1/256 and 1/128 of it), a relative GCI only reflects &phi; &asymp; 0: "
       "these " << unit << " are left out of the list above and ranked here by their absolute uncertainty "
       "U = GCI<sub>fine</sub><sup>21</sup> |&phi;<sub>1</sub>| (<code>u_gci</code>; those that do not converge "
       "first). The GCI percentiles count them.</p>\n"
    << "<table id=\"" << idPrefix << "near-zero\"><thead><tr><th class=\"name\">name</th><th>number</th>"
       "<th class=\"name\">convergence</th><th>&phi;<sub>1</sub></th><th>U</th><th>p</th></tr></thead><tbody>\n";
  for (const WorstPoint& w : near) {
    const std::string type(convergenceName(w.summary.convergence));
    h << "<tr><td class=\"name\">" << htmlEscaped(w.name) << "</td><td>" << w.position + 1
      << "</td><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>"
      << htmlNumber(w.summary.phi1, "%.4g") << "</td><td>" << htmlNumber(w.summary.u, "%.4g") << "</td><td>"
      << htmlNumber(w.summary.p, "%.4g") << "</td></tr>\n";
  }
  h << "</tbody></table>\n";
}

}  // namespace kv::study
