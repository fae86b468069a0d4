#include "study/field_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <utility>

#include "study/gnuplot.h"
#include "study/plots.h"
#include "study/report_html.h"
#include "study/study_json.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using field::Convergence;
using field::kConvergenceTypes;

// The GCI percentiles reported (as fractions of one).
constexpr double kPercentiles[] = {0.05, 0.25, 0.5, 0.75, 0.95, 0.99};

ordered_json number(double value) { return jsonNumber(value); }

std::string text(double value, const char* format) {
  char out[64];
  std::snprintf(out, sizeof out, format, value);
  return out;
}

std::string num(double value, const char* format = "%.6g") {
  return std::isfinite(value) ? text(value, format) : "&ndash;";
}

std::string pct(double fraction) {
  return std::isfinite(fraction) ? text(100.0 * fraction, "%.3g") + "&nbsp;%" : "&ndash;";
}

std::string_view typeName(size_t type) {
  return convergenceName(static_cast<ConvergenceType>(type));
}

std::string percentileName(double q) { return "p" + text(100.0 * q, "%g"); }

// The middle of a series bucket, as a 1-based point number.
double middle(const field::Series::Bucket& b) {
  return static_cast<double>(b.firstPosition) + 0.5 * static_cast<double>(b.points + 1);
}

std::string shortestOrNaN(double value) { return std::isfinite(value) ? shortest(value) : "NaN"; }

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A text in gnuplot's single quotes.
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out.push_back('\'');
    if (c != '\n' && c != '\r') out.push_back(c);
  }
  return out + "'";
}

}  // namespace

std::string fieldPlotScript(const FieldStudy& study, const std::string& folder) {
  const field::FieldStats& s = study.stats;
  const double pTh = study.theoreticalOrder;
  std::ostringstream g;
  g << "set terminal svg size 900,360 font 'sans,11' background '#ffffff' noenhanced\n"
    << "set grid lc rgb '#dddddd'\nset border lc rgb '#444444'\nset format x '%g'\nset format y '%g'\n"
    << "set key top right\n";

  // Histogram of p over the bins that hold points.
  const field::OrderHistogram& h = s.order;
  size_t first = h.kBins, last = 0;
  for (size_t i = 0; i < h.kBins; ++i) {
    if (h.bins[i]) first = std::min(first, i), last = i;
  }
  g << "set output " << quoted((fs::path(folder) / "order.svg").string()) << "\n";
  g << "set title " << quoted("observed order p: " + std::to_string(h.none) + " points without one, " +
                              std::to_string(h.above) + " above 8") << "\n";
  g << "set xlabel 'p'\nset ylabel 'points'\nset style fill solid 0.75 noborder\nset boxwidth "
    << shortest(0.9 * h.kWidth) << "\n";
  if (first > last) {
    g << "set xrange [0:1]\nset yrange [0:1]\nset label 1 'no point has an observed order' at 0.5,0.5 center\n"
         "plot NaN notitle\nunset label 1\n";
  } else {
    g << "$order << EOD\n";
    for (size_t i = first; i <= last; ++i) g << shortest((static_cast<double>(i) + 0.5) * h.kWidth) << ' ' << h.bins[i] << '\n';
    g << "EOD\n";
    const double lo = std::min(static_cast<double>(first) * h.kWidth, pTh) - 0.2;
    const double hi = std::max(static_cast<double>(last + 1) * h.kWidth, pTh) + 0.2;
    g << "set xrange [" << shortest(std::max(0.0, lo)) << ":" << shortest(hi) << "]\nset yrange [0:*]\n"
      << "set offsets 0,0,graph 0.1,0\n"
      << "set arrow 1 from " << shortest(pTh) << ",graph 0 to " << shortest(pTh)
      << ",graph 1 nohead dt 2 lw 2 lc rgb '#c0392b'\n"
      << "plot $order using 1:2 with boxes lc rgb '#1f4e8c' title 'points in bins of 0.1', NaN with lines dt 2 lw 2 lc rgb '#c0392b' title "
      << quoted("theoretical order " + shortest(pTh)) << "\nunset arrow 1\nset offsets 0,0,0,0\n";
  }
  g << "set style fill solid 0.6 noborder\n";

  // p and GCI against the point: the range and the mean of each group of points.
  const auto& buckets = study.series.buckets();
  const std::string group = std::to_string(study.series.pointsPerBucket());
  struct Panel {
    const char* file;
    const char* block;
    const char* label;
    bool logScale;
    double scale;
    field::Series::Range field::Series::Bucket::*range;
  };
  const Panel panels[] = {{"p.svg", "$p", "observed order p", false, 1.0, &field::Series::Bucket::p},
                          {"gci.svg", "$gci", "GCI_fine21 (%)", true, 100.0, &field::Series::Bucket::gci}};
  for (const Panel& panel : panels) {
    g << "set output " << quoted((fs::path(folder) / panel.file).string()) << "\n";
    g << "set title " << quoted(std::string(panel.label) + " against the point") << "\n";
    g << "set xlabel 'point (its number in the point files)'\nset ylabel " << quoted(panel.label) << "\n";
    g << (panel.logScale ? "set logscale y\nset format y '%.0e'\n" : "unset logscale\nset format y '%g'\n");
    std::ostringstream data;
    bool any = false;
    for (const auto& b : buckets) {
      const field::Series::Range& r = b.*panel.range;
      if (r.count == 0) continue;
      double lo = r.min * panel.scale, mean = r.mean() * panel.scale, hi = r.max * panel.scale;
      if (panel.logScale) {
        if (!(hi > 0.0)) continue;
        if (!(mean > 0.0)) mean = hi;
        if (!(lo > 0.0)) lo = mean;
      }
      if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(mean)) continue;
      data << shortest(middle(b)) << ' ' << shortest(lo) << ' ' << shortest(mean) << ' ' << shortest(hi) << '\n';
      any = true;
    }
    g << "set xrange [1:" << shortest(std::max<double>(2.0, static_cast<double>(study.points))) << "]\nset yrange [*:*]\n";
    if (!any) {
      g << "unset logscale\nset format y '%g'\nset yrange [0:1]\nset label 1 'nothing to draw' at graph 0.5,0.5 center\nplot NaN notitle\nunset label 1\n";
      continue;
    }
    g << panel.block << " << EOD\n" << data.str() << "EOD\n";
    g << "plot " << panel.block << " using 1:2:4 with filledcurves fc rgb '#cfe0f5' title "
      << quoted(group == "1" ? "each point" : "range in each group of " + group + " points") << ", "
      << panel.block << " using 1:3 with lines lw 1.5 lc rgb '#1f4e8c' title 'mean'";
    if (!panel.logScale) {
      g << ", " << shortestOrNaN(pTh) << " with lines dt 2 lw 2 lc rgb '#c0392b' title "
        << quoted("theoretical order " + shortest(pTh));
    }
    g << "\n";
  }
  g << "unset logscale\nset output\n";
  return g.str();
}

FieldPlots drawFieldPlots(const FieldStudy& study) {
  FieldPlots out;
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  std::random_device random;
  fs::path folder;
  for (int attempt = 0; !error && attempt < 16 && folder.empty(); ++attempt) {
    fs::path candidate = base / ("kestrovanilque-plots-" + std::to_string(random()));
    if (fs::create_directory(candidate, error) && !error) folder = candidate;
  }
  if (folder.empty()) {
    out.note = "no temporary folder for gnuplot";
    return out;
  }
  const fs::path script = folder / "field.gp";
  {
    std::ofstream file(script, std::ios::binary);
    file << fieldPlotScript(study, folder.string());
  }
  if (runGnuplot(script)) {
    out.order = inlineSvg(readAll(folder / "order.svg"), "order_");
    out.byPointP = inlineSvg(readAll(folder / "p.svg"), "pp_");
    out.byPointGci = inlineSvg(readAll(folder / "gci.svg"), "pg_");
    out.available = !out.order.empty() && !out.byPointP.empty() && !out.byPointGci.empty();
    if (!out.available) out.note = "gnuplot did not draw every plot";
  } else {
    out.note = "gnuplot is not available (install gnuplot-nox and run the study again)";
  }
  fs::remove_all(folder, error);
  return out;
}

std::string fieldJson(const FieldStudy& study) {
  const FieldStudyCase& in = *study.input;
  const field::FieldStats& s = study.stats;
  ordered_json j = studyJsonHead(
      in.file, in.kind == FieldStudyCase::Kind::FieldCsv ? "field" : "main-data-field", in.title);
  ordered_json input = std::move(j["input"]);
  input["h"] = in.h;
  if (!in.cells.empty()) {
    input["cells"] = in.cells;
    input["dimension"] = in.dimension;
  }
  ordered_json files = ordered_json::array();
  for (const field::PointFile& f : in.grids) files.push_back(f.path);
  input["grid_files"] = files;
  input["exact_file"] = in.exact ? ordered_json(in.exact->path) : ordered_json(nullptr);
  input["theoretical_order"] = study.theoreticalOrder;
  input["safety_factor"] = number(study.safetyFactor);
  j["input"] = std::move(input);
  j["points"] = study.points;
  j["rows"] = "summary.csv: one row per point, the point's id in the quantity column";

  ordered_json d;
  ordered_json types;
  for (size_t t = 0; t < kConvergenceTypes; ++t) types[std::string(typeName(t))] = s.byConvergence[t];
  d["by_convergence"] = types;
  d["not_monotonically_convergent"] = study.notConverging;
  const field::OrderHistogram& h = s.order;
  d["order_histogram"] = {{"bin_width", h.kWidth},
                          {"from", 0.0},
                          {"counts", h.bins},
                          {"below_0", h.below},
                          {"above_8", h.above},
                          {"no_order", h.none}};
  ordered_json gci;
  gci["points_with_gci"] = s.gci.counted();
  gci["points_without"] = s.gci.none;
  gci["min"] = number(s.gci.counted() ? s.gci.min : kNotANumber);
  for (double q : kPercentiles) gci[percentileName(q)] = number(s.gci.percentile(q));
  gci["max"] = number(s.gci.counted() ? s.gci.max : kNotANumber);
  gci["resolution"] = "percentiles within 0.45 % (relative) of the exact order statistic";
  d["gci_fine21_percentiles"] = gci;
  ordered_json worst = ordered_json::array();
  for (const field::WorstPoint& w : s.worst.sorted()) {
    worst.push_back({{"id", w.id},
                     {"point", w.position + 1},
                     {"convergence", typeName(static_cast<size_t>(w.summary.convergence))},
                     {"p", number(w.summary.p)},
                     {"gci_fine21", number(w.summary.gci)}});
  }
  d["worst"] = worst;
  ordered_json series;
  series["points_per_group"] = study.series.pointsPerBucket();
  ordered_json groups = ordered_json::array();
  auto range = [](const field::Series::Range& r) {
    return ordered_json{{"min", number(r.count ? r.min : kNotANumber)},
                        {"mean", number(r.mean())},
                        {"max", number(r.count ? r.max : kNotANumber)},
                        {"count", r.count}};
  };
  for (const auto& b : study.series.buckets()) {
    groups.push_back({{"first_point", b.firstPosition + 1},
                      {"first_id", b.firstId},
                      {"points", b.points},
                      {"p", range(b.p)},
                      {"gci_fine21", range(b.gci)}});
  }
  series["groups"] = groups;
  d["by_point"] = series;
  j["distribution"] = d;
  return j.dump(2) + "\n";
}

std::string fieldReportHtml(const FieldStudy& study, const FieldPlots& plots) {
  const FieldStudyCase& in = *study.input;
  const field::FieldStats& s = study.stats;
  const double n = std::max<double>(1.0, static_cast<double>(study.points));
  std::ostringstream h;
  h << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<title>Grid-convergence study of a field: " << htmlEscaped(in.file) << "</title>\n<style>\n"
    << "body { font-family: system-ui, -apple-system, \"Segoe UI\", sans-serif; margin: 2em auto; max-width: 1100px; padding: 0 1em; color: #222; }\n"
       "h1 { font-size: 1.5em; margin-bottom: 0.2em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #ccc; }\n"
       "p.meta { color: #555; margin-top: 0; }\n"
       "table { border-collapse: collapse; font-size: 0.85em; margin: 0.5em 0; }\n"
       "th, td { padding: 0.25em 0.6em; border-bottom: 1px solid #e3e3e3; text-align: right; white-space: nowrap; }\n"
       "th { background: #f3f5f8; } td.name, th.name { text-align: left; }\n"
       ".conv { display: inline-block; padding: 0.05em 0.5em; border-radius: 0.8em; font-size: 0.85em; }\n"
       ".monotonic-convergence { background: #d8f0d8; color: #185c18; }\n"
       ".oscillatory-convergence { background: #fdf1c7; color: #6b5200; }\n"
       ".monotonic-divergence, .oscillatory-divergence { background: #f8d4d0; color: #7d1a10; }\n"
       ".two-grids, .no-change, .undetermined { background: #e4e4e4; color: #333; }\n"
       ".bar { display: inline-block; background: #1f4e8c; height: 0.9em; vertical-align: middle; }\n"
       ".side { display: flex; flex-wrap: wrap; gap: 2em; align-items: flex-start; }\n"
       ".plot svg { max-width: 100%; height: auto; border: 1px solid #eee; }\n"
       ".note { background: #f6f6f6; padding: 0.5em 1em; border-left: 3px solid #999; }\n"
    << "</style>\n</head>\n<body>\n";
  h << "<h1>Grid-convergence study of a field</h1>\n<p class=\"meta\">" << htmlEscaped(in.file);
  if (!in.title.empty()) h << " &mdash; " << htmlEscaped(in.title);
  h << "<br>" << study.points << " points on " << in.h.size() << " grids; theoretical order "
    << num(study.theoreticalOrder) << ", safety factor "
    << (std::isfinite(study.safetyFactor) ? num(study.safetyFactor) : std::string("1.25 (3 with two grids)"))
    << ". Grid 1 is the finest grid.</p>\n";
  h << "<p>Standard procedure of Celik et al. (2008, J. Fluids Eng. 130, 078001) at every point, on "
       "the three finest grids. <code>summary.csv</code> beside this page holds one row per point "
       "(the point's id in the <code>quantity</code> column); this page shows their distribution.</p>\n";

  h << "<table><thead><tr><th>grid</th><th>h</th>" << (in.cells.empty() ? "" : "<th>cells</th>")
    << "<th class=\"name\">file</th></tr></thead><tbody>\n";
  for (size_t g = 0; g < in.h.size(); ++g) {
    h << "<tr><td>" << g + 1 << "</td><td>" << num(in.h[g]) << "</td>";
    if (!in.cells.empty()) h << "<td>" << num(in.cells[g], "%.0f") << "</td>";
    h << "<td class=\"name\">" << htmlEscaped(in.grids[g].path) << "</td></tr>\n";
  }
  h << "</tbody></table>\n";

  h << "<div class=\"side\"><div><h2>Convergence type</h2><table id=\"by-convergence\"><thead><tr><th class=\"name\">convergence</th>"
       "<th>points</th><th>share</th><th class=\"name\"></th></tr></thead><tbody>\n";
  uint64_t most = 1;
  for (uint64_t c : s.byConvergence) most = std::max(most, c);
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    if (s.byConvergence[t] == 0) continue;
    const std::string type(typeName(t));
    h << "<tr><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>" << s.byConvergence[t]
      << "</td><td>" << text(100.0 * static_cast<double>(s.byConvergence[t]) / n, "%.3g") << "&nbsp;%</td>"
      << "<td class=\"name\"><span class=\"bar\" style=\"width:" << 160 * s.byConvergence[t] / most << "px\"></span></td></tr>\n";
  }
  h << "</tbody></table></div>\n";
  h << "<div><h2>GCI<sub>fine</sub><sup>21</sup> percentiles</h2><table id=\"gci-percentiles\"><thead><tr>"
       "<th class=\"name\">of the " << s.gci.counted() << " points with a GCI</th><th>GCI<sub>fine</sub><sup>21</sup></th></tr></thead><tbody>\n";
  h << "<tr><td class=\"name\">smallest</td><td>" << pct(s.gci.counted() ? s.gci.min : kNotANumber) << "</td></tr>\n";
  for (double q : kPercentiles) {
    h << "<tr><td class=\"name\">" << text(100.0 * q, "%g") << "th percentile" << (q == 0.5 ? " (median)" : "")
      << "</td><td>" << pct(s.gci.percentile(q)) << "</td></tr>\n";
  }
  h << "<tr><td class=\"name\">largest</td><td>" << pct(s.gci.counted() ? s.gci.max : kNotANumber) << "</td></tr>\n";
  h << "</tbody></table></div></div>\n";

  h << "<h2>Observed order and GCI across the field</h2>\n";
  if (plots.available) {
    h << "<div class=\"plot\">\n" << plots.order << "\n</div>\n<div class=\"plot\">\n" << plots.byPointP
      << "\n</div>\n<div class=\"plot\">\n" << plots.byPointGci << "\n</div>\n";
    if (study.series.pointsPerBucket() > 1) {
      h << "<p>Against the point, the points are taken in groups of " << study.series.pointsPerBucket()
        << " neighbours: the band spans the smallest to the largest value of each group, the line their mean.</p>\n";
    }
  } else {
    h << "<p class=\"note\" id=\"no-plots\">The plots are unavailable: " << htmlEscaped(plots.note) << ".</p>\n";
    h << "<table id=\"order-histogram\"><thead><tr><th>p from</th><th>to</th><th>points</th></tr></thead><tbody>\n";
    for (size_t i = 0; i < s.order.kBins; ++i) {
      if (!s.order.bins[i]) continue;
      h << "<tr><td>" << num(static_cast<double>(i) * s.order.kWidth, "%.1f") << "</td><td>"
        << num(static_cast<double>(i + 1) * s.order.kWidth, "%.1f") << "</td><td>" << s.order.bins[i] << "</td></tr>\n";
    }
    h << "<tr><td colspan=\"2\">above 8</td><td>" << s.order.above << "</td></tr><tr><td colspan=\"2\">no order</td><td>"
      << s.order.none << "</td></tr></tbody></table>\n";
  }

  const auto worst = s.worst.sorted();
  h << "<h2>The " << worst.size() << " points that converge worst</h2>\n"
    << "<p>Those that do not converge monotonically first, then by the largest GCI<sub>fine</sub><sup>21</sup>; "
       "their whole rows are in <code>summary.csv</code>.</p>\n"
    << "<table id=\"worst\"><thead><tr><th class=\"name\">id</th><th>point</th><th class=\"name\">convergence</th>"
       "<th>p</th><th>GCI<sub>fine</sub><sup>21</sup></th></tr></thead><tbody>\n";
  for (const field::WorstPoint& w : worst) {
    const std::string type(typeName(static_cast<size_t>(w.summary.convergence)));
    h << "<tr><td class=\"name\">" << htmlEscaped(w.id) << "</td><td>" << w.position + 1
      << "</td><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>"
      << num(w.summary.p, "%.4g") << "</td><td>" << pct(w.summary.gci) << "</td></tr>\n";
  }
  h << "</tbody></table>\n</body>\n</html>\n";
  return h.str();
}

std::string fieldText(const FieldStudy& study) {
  const field::FieldStats& s = study.stats;
  std::string out = std::to_string(study.points) + " points on " + std::to_string(study.input->h.size()) + " grids\n";
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    if (s.byConvergence[t] == 0) continue;
    std::string name(typeName(t));
    name.resize(std::max<size_t>(name.size(), 25), ' ');
    out += "  " + name + " " + std::to_string(s.byConvergence[t]) + "\n";
  }
  if (s.gci.counted()) {
    out += "GCI_fine21: median " + text(100.0 * s.gci.percentile(0.5), "%.3g") + " %, 95th percentile " +
           text(100.0 * s.gci.percentile(0.95), "%.3g") + " %\n";
  }
  return out;
}

}  // namespace kv::study
