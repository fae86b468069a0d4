#include "report/field_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "report/gnuplot.h"
#include "report/mesh_report.h"
#include "report/plots.h"
#include "report/html.h"
#include "report/report_html.h"
#include "report/study_json.h"
#include "text/number.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

// Orders closer together than this are drawn in a range of 0.1 about their middle.
constexpr double kFlatOrders = 0.08;

namespace fs = std::filesystem;
using nlohmann::ordered_json;

std::string_view typeName(size_t type) { return convergenceName(static_cast<ConvergenceType>(type)); }

// The middle of a series bucket, as a 1-based point number.
double middle(const Series::Bucket& b) {
  return static_cast<double>(b.firstPosition) + 0.5 * static_cast<double>(b.points + 1);
}

std::string shortestOrNaN(double value) { return std::isfinite(value) ? shortest(value) : "NaN"; }

std::string stemOf(size_t k) { return "q" + std::to_string(k); }

std::string quantityTitle(const FieldSummary::Quantity& q) { return q.name.empty() ? "the field" : q.name; }

}  // namespace

std::string distributionPlotScript(const Distribution& s, double pTh, const std::string& folder, size_t k) {
  const std::string stem = stemOf(k);
  std::ostringstream g;
  g << "set terminal svg size 900,360 font 'sans,11' background '#ffffff' noenhanced\n"
    << "set grid lc rgb '#dddddd'\nset border lc rgb '#444444'\nset format x '%g'\nset format y '%g'\n"
    << "set key top right\n";

  // Histogram of p over the bins that hold points.
  const OrderHistogram& h = s.order;
  size_t first = h.kBins, last = 0;
  for (size_t i = 0; i < h.kBins; ++i) {
    if (h.bins[i]) first = std::min(first, i), last = i;
  }
  g << "set output " << gnuplotQuoted((fs::path(folder) / (stem + "_order.svg")).string()) << "\n";
  g << "set title " << gnuplotQuoted("observed order p: " + std::to_string(h.none) + " points without one, " +
                              std::to_string(h.above) + " above 8") << "\n";
  g << "set xlabel 'p'\nset ylabel 'points'\nset style fill solid 0.75 noborder\nset boxwidth "
    << shortest(0.9 * h.kWidth) << "\n";
  if (first > last) {
    g << "set xrange [0:1]\nset yrange [0:1]\nset label 1 'no point has an observed order' at 0.5,0.5 center\n"
         "plot NaN notitle\nunset label 1\n";
  } else {
    g << "$order" << k << " << EOD\n";
    for (size_t i = first; i <= last; ++i) g << shortest((static_cast<double>(i) + 0.5) * h.kWidth) << ' ' << h.bins[i] << '\n';
    g << "EOD\n";
    const double lo = std::min(static_cast<double>(first) * h.kWidth, pTh) - 0.2;
    const double hi = std::max(static_cast<double>(last + 1) * h.kWidth, pTh) + 0.2;
    g << "set xrange [" << shortest(std::max(0.0, lo)) << ":" << shortest(hi) << "]\nset yrange [0:*]\n"
      << "set offsets 0,0,graph 0.1,0\n"
      << "set arrow 1 from " << shortest(pTh) << ",graph 0 to " << shortest(pTh)
      << ",graph 1 nohead dt 2 lw 2 lc rgb '#c0392b'\n"
      << "plot $order" << k << " using 1:2 with boxes lc rgb '#1f4e8c' title 'points in bins of 0.1', NaN with lines dt 2 lw 2 lc rgb '#c0392b' title "
      << gnuplotQuoted("theoretical order " + shortest(pTh)) << "\nunset arrow 1\nset offsets 0,0,0,0\n";
  }
  g << "set style fill solid 0.6 noborder\n";

  // p and GCI against the point: the range and the mean of each group of points.
  const std::vector<Series::Bucket> buckets = s.series.buckets();
  const std::string group = std::to_string(s.series.pointsPerBucket());
  struct Panel {
    const char* file;
    const char* block;
    const char* label;
    bool logScale;
    double scale;
    Series::Range Series::Bucket::*range;
  };
  const Panel panels[] = {{"_p.svg", "$p", "observed order p", false, 1.0, &Series::Bucket::p},
                          {"_gci.svg", "$gci", "GCI_fine21 (%)", true, 100.0, &Series::Bucket::gci}};
  for (const Panel& panel : panels) {
    g << "set output " << gnuplotQuoted((fs::path(folder) / (stem + panel.file)).string()) << "\n";
    g << "set title " << gnuplotQuoted(std::string(panel.label) + " against the point") << "\n";
    g << "set xlabel 'point (its number in the field)'\nset ylabel " << gnuplotQuoted(panel.label) << "\n";
    g << (panel.logScale ? "set logscale y\nset format y '%.0e'\n" : "unset logscale\nset format y '%g'\n");
    std::ostringstream data;
    bool any = false;
    double low = panel.logScale ? kNotANumber : pTh, high = low;
    for (const auto& b : buckets) {
      const Series::Range& r = b.*panel.range;
      if (r.count == 0) continue;
      double lo = r.min * panel.scale, mean = r.mean() * panel.scale, hi = r.max * panel.scale;
      if (panel.logScale) {
        if (!(hi > 0.0)) continue;
        if (!(mean > 0.0)) mean = hi;
        if (!(lo > 0.0)) lo = mean;
      }
      if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(mean)) continue;
      data << shortest(middle(b)) << ' ' << shortest(lo) << ' ' << shortest(mean) << ' ' << shortest(hi) << '\n';
      low = std::fmin(low, lo);
      high = std::fmax(high, hi);
      any = true;
    }
    g << "set xrange [1:" << shortest(std::max<double>(2.0, static_cast<double>(s.points))) << "]\n";
    // Orders that agree to rounding are drawn as the flat line they are, not as their last bits
    // magnified to fill the panel (with tick labels all alike).
    if (!panel.logScale && high - low < kFlatOrders) {
      const double mid = 0.5 * (low + high);
      g << "set yrange [" << shortest(std::round((mid - 0.05) * 100.0) / 100.0) << ":"
        << shortest(std::round((mid + 0.05) * 100.0) / 100.0) << "]\n";
    } else {
      g << "set yrange [*:*]\n";
    }
    if (!any) {
      g << "unset logscale\nset format y '%g'\nset yrange [0:1]\nset label 1 'nothing to draw' at graph 0.5,0.5 center\nplot NaN notitle\nunset label 1\n";
      continue;
    }
    g << panel.block << k << " << EOD\n" << data.str() << "EOD\n";
    g << "plot " << panel.block << k << " using 1:2:4 with filledcurves fc rgb '#cfe0f5' title "
      << gnuplotQuoted(group == "1" ? "each point" : "range in each group of " + group + " points") << ", "
      << panel.block << k << " using 1:3 with lines lw 1.5 lc rgb '#1f4e8c' title 'mean'";
    if (!panel.logScale) {
      g << ", " << shortestOrNaN(pTh) << " with lines dt 2 lw 2 lc rgb '#c0392b' title "
        << gnuplotQuoted("theoretical order " + shortest(pTh));
    }
    g << "\n";
  }
  g << "unset logscale\nset output\n";
  return g.str();
}

FieldPlots drawFieldPlots(const FieldSummary& study, double timeoutSeconds) {
  FieldPlots out;
  const size_t count = std::min(study.quantities.size(), kMaxPlottedQuantities);
  std::vector<std::string> files;
  for (size_t k = 0; k < count; ++k) {
    for (const char* suffix : {"_order.svg", "_p.svg", "_gci.svg"}) files.push_back(stemOf(k) + suffix);
  }
  const size_t maps = study.mesh ? std::min(study.mesh->maps.size(), count) : 0;
  for (size_t k = 0; k < maps; ++k) {
    for (const char* suffix : {"_map_p.svg", "_map_gci.svg", "_map_u.svg"}) files.push_back(stemOf(k) + suffix);
  }
  const DrawnPlots drawn = drawWithGnuplot(
      [&](const fs::path& folder) {
        std::string script;
        for (size_t k = 0; k < count; ++k) {
          script += distributionPlotScript(study.quantities[k].distribution, study.settings.theoreticalOrder,
                                           folder.string(), k);
        }
        for (size_t k = 0; k < maps; ++k) {
          script += meshMapScript(study.mesh->maps[k], study.settings.theoreticalOrder,
                                  study.quantities[k].distribution.worst.threshold(), folder.string(), k);
        }
        return script;
      },
      files, timeoutSeconds);
  out.available = drawn.available;
  out.note = drawn.note;
  if (!drawn.available) return out;
  for (size_t k = 0; k < count; ++k) {
    const std::string stem = stemOf(k);
    out.quantities.push_back({inlineSvg(drawn.svgs[3 * k], stem + "o_"), inlineSvg(drawn.svgs[3 * k + 1], stem + "p_"),
                              inlineSvg(drawn.svgs[3 * k + 2], stem + "g_"), "", "", ""});
  }
  for (size_t k = 0; k < maps; ++k) {
    out.quantities[k].mapP = inlineSvg(drawn.svgs[3 * count + 3 * k], stemOf(k) + "mp_");
    out.quantities[k].mapGci = inlineSvg(drawn.svgs[3 * count + 3 * k + 1], stemOf(k) + "mg_");
    out.quantities[k].mapU = inlineSvg(drawn.svgs[3 * count + 3 * k + 2], stemOf(k) + "mu_");
  }
  return out;
}

std::string fieldJson(const FieldSummary& study) {
  ordered_json j = studyJsonHead(study, study.kind, study.settings);
  j["points"] = study.points;
  j["rows"] = study.quantities.size() == 1 && study.quantities.front().name.empty()
                  ? "summary.csv: one row per point, the point's id in the quantity column"
                  : "summary.csv: one row per point of each quantity, named quantity:id in the quantity column";
  ordered_json quantities = ordered_json::array();
  for (const FieldSummary::Quantity& q : study.quantities) {
    quantities.push_back({{"name", q.name}, {"distribution", distributionJson(q.distribution)}});
  }
  if (study.mesh) j["interpolation"] = meshJson(*study.mesh);
  j["quantities"] = quantities;
  return dumpJson(j);
}


std::string fieldReportHtml(const FieldSummary& study, const FieldPlots& plots) {
  std::ostringstream h;
  h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<title>Grid-convergence study of a field: " << htmlEscaped(toUtf8(study.file)) << "</title>\n<style>\n"
    << reportStyle() << "</style>\n</head>\n<body>\n";
  h << "<h1>Grid-convergence study of a field</h1>\n<p class=\"meta\">" << htmlEscaped(toUtf8(study.file));
  if (!study.title.empty()) h << " &mdash; " << htmlEscaped(study.title);
  h << "<br>" << study.points << " points";
  if (study.quantities.size() > 1) h << " of " << study.quantities.size() << " quantities";
  h << " on " << study.h.size() << " grids; theoretical order " << htmlNumber(study.settings.theoreticalOrder)
    << ", safety factor "
    << (std::isfinite(study.settings.safetyFactor) ? htmlNumber(study.settings.safetyFactor)
                                                   : std::string("1.25 (3 with two grids)"))
    << ". Grid 1 is the finest grid.</p>\n";
  h << "<p>Standard procedure of Celik et al. (2008, J. Fluids Eng. 130, 078001) at every point, on "
       "the three finest grids. <code>summary.csv</code> beside this page holds one row per point; "
       "this page shows their distribution.</p>\n";

  h << "<table><thead><tr><th>grid</th><th>h</th>" << (study.cells.empty() ? "" : "<th>cells</th>")
    << (study.gridFiles.empty() ? "" : "<th class=\"name\">file</th>") << "</tr></thead><tbody>\n";
  for (size_t g = 0; g < study.h.size(); ++g) {
    h << "<tr><td>" << g + 1 << "</td><td>" << htmlNumber(study.h[g]) << "</td>";
    if (!study.cells.empty()) h << "<td>" << htmlNumber(study.cells[g], "%.0f") << "</td>";
    if (g < study.gridFiles.size()) h << "<td class=\"name\">" << htmlEscaped(toUtf8(study.gridFiles[g])) << "</td>";
    h << "</tr>\n";
  }
  h << "</tbody></table>\n";
  if (!plots.available) {
    h << "<p class=\"note\" id=\"no-plots\">The plots are unavailable: " << htmlEscaped(plots.note) << ".</p>\n";
  }
  if (study.mesh) meshHtml(h, *study.mesh, study.settings.theoreticalOrder);
  for (size_t k = 0; k < study.quantities.size(); ++k) {
    const FieldSummary::Quantity& q = study.quantities[k];
    h << "<h2 id=\"" << stemOf(k) << "\">" << htmlEscaped(quantityTitle(q)) << "</h2>\n";
    const DistributionPlots* drawn = plots.available && k < plots.quantities.size() ? &plots.quantities[k] : nullptr;
    if (drawn && !drawn->mapP.empty()) {
      h << "<div class=\"side\">\n";
      for (const std::string* map : {&drawn->mapP, &drawn->mapGci, &drawn->mapU}) {
        h << "<div class=\"plot\" style=\"flex:1 1 30%;min-width:360px\">\n" << *map << "\n</div>\n";
      }
      h << "</div>\n";
      if (q.distribution.worst.nearZeroCount() > 0) {
        h << "<p class=\"legend\">On the map of GCI<sub>fine</sub><sup>21</sup>, the points near a zero of &phi; "
             "(below) are drawn apart: their relative GCI only reflects &phi; &asymp; 0; the map of U shows their "
             "absolute uncertainty.</p>\n";
      }
    }
    distributionHtml(h, q.distribution, drawn, "points", k == 0 ? "" : stemOf(k) + "-");
  }
  h << "</body>\n</html>\n";
  return h.str();
}

std::string fieldText(const FieldSummary& study) {
  std::string out = std::to_string(study.points) + " points on " + std::to_string(study.h.size()) + " grids\n";
  if (study.mesh) out += meshText(*study.mesh);
  for (const FieldSummary::Quantity& q : study.quantities) {
    const Distribution& s = q.distribution;
    std::string indent = "  ";
    if (!q.name.empty()) {
      out += q.name + ":\n";
      indent = "    ";
    }
    for (size_t t = 0; t < kConvergenceTypes; ++t) {
      if (s.byConvergence[t] == 0) continue;
      std::string name(typeName(t));
      name.resize(std::max<size_t>(name.size(), 25), ' ');
      out += indent + name + " " + std::to_string(s.byConvergence[t]) + "\n";
    }
    if (s.gci.counted()) {
      out += indent.substr(2) + "GCI_fine21: median " + formatNumber(100.0 * s.gci.percentile(0.5), "%.3g") +
             " %, 95th percentile " + formatNumber(100.0 * s.gci.percentile(0.95), "%.3g") + " %\n";
    }
  }
  return out;
}

}  // namespace kv::study
