#include "report/mesh_report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "report/gnuplot.h"
#include "report/report_html.h"
#include "study/study.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

using mesh::InterpolationStatus;

constexpr InterpolationStatus kStatuses[] = {InterpolationStatus::Ok, InterpolationStatus::Exact,
                                             InterpolationStatus::Outside,
                                             InterpolationStatus::Unreliable};

int severity(InterpolationStatus s) {
  switch (s) {
    case InterpolationStatus::Exact:
      return 0;
    case InterpolationStatus::Ok:
      return 1;
    case InterpolationStatus::Unreliable:
      return 2;
    case InterpolationStatus::Outside:
      return 3;
  }
  return 3;
}

nlohmann::ordered_json countsJson(const StatusCounts& counts) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  for (InterpolationStatus s : kStatuses)
    j[std::string(mesh::statusName(s))] = counts[static_cast<size_t>(s)];
  return j;
}

nlohmann::ordered_json gridJson(const MeshGrid& g) {
  return {{"file", g.file},
          {"points", g.points},
          {"interpolated", g.interpolated},
          {"values", g.cellCentres ? "cell data at the cells' centres" : "point data"},
          {"study_points", countsJson(g.status)}};
}

uint64_t count(const StatusCounts& c, InterpolationStatus s) { return c[static_cast<size_t>(s)]; }

// What a point is on a map: coloured by its value, without one, or (the map of the relative GCI)
// near a zero of phi, where the relative figure only reflects phi ~ 0.
enum class Mark { Value, None, NearZero };

// The points of `map` marked `mark` ("x y value" or "x y" lines), by `markOf(i, value)`.
template <class MarkOf>
std::string mapData(const MeshMap& map, const std::vector<double>& value, double scale, Mark mark, MarkOf markOf) {
  std::string data;
  for (size_t i = 0; i < map.x.size(); ++i) {
    const double v = i < value.size() ? value[i] * scale : kNotANumber;
    if (markOf(i, v) != mark) continue;
    data += shortest(map.x[i]) + ' ' + shortest(map.y[i]);
    if (mark == Mark::Value) data += ' ' + shortest(v);
    data += '\n';
  }
  return data;
}

}  // namespace

InterpolationStatus worseStatus(InterpolationStatus a, InterpolationStatus b) {
  return severity(a) >= severity(b) ? a : b;
}

nlohmann::ordered_json meshJson(const MeshSummary& m) {
  nlohmann::ordered_json grids = nlohmann::ordered_json::array();
  for (const MeshGrid& g : m.grids) grids.push_back(gridJson(g));
  return {{"study_points", m.at.empty() ? "the coarsest grid's points" : "the points of " + m.at},
          {"at", m.at.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(m.at)},
          {"dimension", m.dimension},
          {"degree", m.degree},
          {"neighbours", m.neighbours},
          {"points", countsJson(m.points)},
          {"grids", grids},
          {"exact", m.exact ? gridJson(*m.exact) : nlohmann::ordered_json(nullptr)},
          {"quantities_left_out", m.leftOut},
          {"ids",
           "a point's id in summary.csv is its index among the study points, from 0 (as ParaView "
           "numbers "
           "them); its coordinates are in the columns x, y, z"},
          {"vtu", m.vtu}};
}

void meshHtml(std::ostringstream& h, const MeshSummary& m, double theoreticalOrder) {
  uint64_t points = 0;
  for (uint64_t c : m.points) points += c;
  h << "<h2 id=\"interpolation\">Grids that share no points</h2>\n<p>The field is studied at the "
    << points << " points of "
    << (m.at.empty() ? "the coarsest grid, with its own values"
                     : "<code>" + htmlEscaped(toUtf8(m.at)) + "</code>")
    << "; " << (m.at.empty() ? "every other grid is" : "every grid is")
    << " interpolated to them by a weighted least-squares polynomial of degree " << m.degree
    << " fitted to its " << m.neighbours << " nearest points, in " << m.dimension
    << (m.dimension == 1 ? " dimension" : " dimensions")
    << ". A point that coincides with a grid's point takes that value as it is "
       "(<em>exact</em>). A point "
       "outside a grid's region (<em>outside</em>), or whose fit is ill-conditioned "
       "(<em>interpolation-unreliable</em>), gets no value from that grid, never an extrapolated "
       "one: its status "
       "says so first, and without a value on one of the three finest grids it has no observed "
       "order. "
       "<code>"
    << htmlEscaped(m.vtu)
    << "</code> beside this page holds every point's results for ParaView.</p>\n";
  if (m.degree < theoreticalOrder) {
    h << "<p class=\"note\" id=\"low-degree\">An interpolation of degree " << m.degree
      << " adds an error of order h<sup>" << m.degree + 1
      << "</sup> to each interpolated value: against a scheme of order "
      << htmlNumber(theoreticalOrder)
      << " it is not negligible, and the observed orders mix the scheme's error with the "
         "interpolation's. The "
         "default degree is the theoretical order (at most 3).</p>\n";
  }
  h << "<table id=\"interpolation-counts\"><thead><tr><th>grid</th><th "
       "class=\"name\">file</th><th>points</th>"
       "<th>exact</th><th>ok</th><th>outside</th><th>interpolation-unreliable</th></tr></"
       "thead><tbody>\n";
  auto row = [&](const std::string& name, const MeshGrid& g) {
    h << "<tr><td>" << name << "</td><td class=\"name\">" << htmlEscaped(toUtf8(g.file))
      << (g.cellCentres ? " (cell centres)" : "") << "</td><td>" << g.points << "</td>";
    if (!g.interpolated) {
      h << "<td colspan=\"4\" class=\"name\">the study points: its own values</td></tr>\n";
      return;
    }
    for (InterpolationStatus s : {InterpolationStatus::Exact, InterpolationStatus::Ok,
                                  InterpolationStatus::Outside, InterpolationStatus::Unreliable}) {
      h << "<td>" << count(g.status, s) << "</td>";
    }
    h << "</tr>\n";
  };
  for (size_t g = 0; g < m.grids.size(); ++g) row(std::to_string(g + 1), m.grids[g]);
  if (m.exact) row("exact", *m.exact);
  h << "</tbody></table>\n";
  if (!m.leftOut.empty()) {
    h << "<p class=\"note\">Left out, for some grid does not hold them:";
    for (const std::string& name : m.leftOut)
      h << " <code>" << htmlEscaped(toUtf8(name)) << "</code>";
    h << ".</p>\n";
  }
}

std::string meshMapScript(const MeshMap& map, double theoreticalOrder, double nearZero, const std::string& folder,
                          size_t k) {
  namespace fs = std::filesystem;
  const std::string stem = "q" + std::to_string(k);
  std::ostringstream g;
  g << "set terminal svg size 620,540 font 'sans,11' background '#ffffff' noenhanced\n"
    << "unset logscale\nset size ratio -1\nset grid lc rgb '#eeeeee'\nset border lc rgb '#444444'\n"
    << "set format x '%g'\nset format y '%g'\nset xlabel 'x'\nset ylabel 'y'\nset key below\n"
    << "set xrange [*:*]\nset yrange [*:*]\n";
  enum class Kind { Order, Relative, Absolute };
  struct Map {
    const char* file;
    const char* title;
    const std::vector<double> MeshMap::*value;
    double scale;
    Kind kind;
    const char* with;
    const char* without;
  };
  // Larger marks for fewer points, so that a coarse field still shows its colours.
  const double size =
      std::clamp(0.45 * std::sqrt(static_cast<double>(kMapPoints) /
                                  std::max<double>(1.0, static_cast<double>(map.x.size()))),
                 0.45, 1.4);
  const std::string sample = map.x.size() == map.of
                                 ? "every point"
                                 : "a sample of " + std::to_string(map.x.size()) + " points";
  // Near a zero of phi (|phi1| below the field's threshold, or 0): the relative GCI is drawn apart.
  auto near = [&](size_t i) {
    const double phi1 = i < map.phi1.size() ? std::fabs(map.phi1[i]) : kNotANumber;
    return phi1 == 0.0 || (std::isfinite(nearZero) && phi1 < nearZero);
  };
  for (const Map& m : {Map{"_map_p.svg", "observed order p", &MeshMap::p, 1.0, Kind::Order,
                           "p (colour scale clipped)", "no observed order"},
                       Map{"_map_gci.svg", "GCI_fine21 (%)", &MeshMap::gci, 100.0, Kind::Relative, "GCI_fine21",
                           "no GCI"},
                       Map{"_map_u.svg", "U = GCI_fine21 |phi1| (u_gci)", &MeshMap::u, 1.0, Kind::Absolute,
                           "U, in the units of phi", "no U"}}) {
    auto markOf = [&](size_t i, double v) {
      if (m.kind == Kind::Relative && near(i)) return Mark::NearZero;
      const bool has = std::isfinite(v) && (m.kind == Kind::Order || v > 0.0);
      return has ? Mark::Value : Mark::None;
    };
    const std::string with = mapData(map, map.*m.value, m.scale, Mark::Value, markOf);
    const std::string without = mapData(map, map.*m.value, m.scale, Mark::None, markOf);
    const std::string nearby = mapData(map, map.*m.value, m.scale, Mark::NearZero, markOf);
    g << "set output " << gnuplotQuoted((fs::path(folder) / (stem + m.file)).string()) << "\n";
    g << "set title " << gnuplotQuoted(std::string(m.title) + " over the points (" + sample + ")")
      << "\n";
    if (m.kind != Kind::Order) {
      // A logarithmic scale where the values span two decades or more; within less, its tics
      // would be too few to read.
      double low = INFINITY, high = 0.0;
      for (size_t i = 0; i < map.x.size(); ++i) {
        const double v = i < (map.*m.value).size() ? (map.*m.value)[i] : kNotANumber;
        if (markOf(i, v) == Mark::Value) low = std::min(low, v), high = std::max(high, v);
      }
      g << (high > 100.0 * low ? "set logscale cb\nset format cb '%.0e'\n"
                               : "unset logscale cb\nset format cb '%.3g'\n")
        << "set cbrange [*:*]\nset palette defined (0 '#440154', 0.35 '#31688e', 0.65 '#35b779', 1 "
           "'#fde725')\n";
    } else {
      // Green at the theoretical order, blue below it, red above.
      g << "unset logscale cb\nset format cb '%g'\nset cbrange ["
        << shortest(std::max(0.0, theoreticalOrder - 1.0)) << ":"
        << shortest(theoreticalOrder + 1.0) << "]\n"
        << "set palette defined (0 '#2c4fa3', 0.4 '#8fb8de', 0.5 '#2e9e44', 0.6 '#f0a86c', 1 "
           "'#b2182b')\n";
    }
    g << "set cblabel " << gnuplotQuoted(m.title) << "\n";
    const std::string block = "$map" + std::to_string(k) + std::string(1, m.file[5]);  // p, g or u
    g << block << " << EOD\n" << (with.empty() ? "NaN NaN NaN\n" : with) << "EOD\n";
    if (!without.empty()) g << block << "n << EOD\n" << without << "EOD\n";
    if (!nearby.empty()) g << block << "z << EOD\n" << nearby << "EOD\n";
    g << "plot " << block << " using 1:2:3 with points pt 7 ps " << shortest(size)
      << " lc palette title " << gnuplotQuoted(m.with);
    if (!without.empty()) {
      g << ", " << block << "n using 1:2 with points pt 1 ps " << shortest(size)
        << " lc rgb '#999999' title " << gnuplotQuoted(m.without);
    }
    if (!nearby.empty()) {
      g << ", " << block << "z using 1:2 with points pt 6 ps " << shortest(size)
        << " lc rgb '#555555' title "
        << gnuplotQuoted("near phi = 0 (|phi1| < " + (std::isfinite(nearZero) ? shortest(nearZero) : std::string("any")) +
                         "): by U, on the map of U");
    }
    g << "\n";
  }
  g << "unset logscale\nset size noratio\nset output\n";
  return g.str();
}

std::string meshText(const MeshSummary& m) {
  uint64_t points = 0;
  for (uint64_t c : m.points) points += c;
  std::string out =
      "interpolation of degree " + std::to_string(m.degree) + " to the " + std::to_string(points) +
      " points of " + (m.at.empty() ? "the coarsest grid" : m.at) + ": " +
      std::to_string(count(m.points, InterpolationStatus::Outside)) + " outside a grid, " +
      std::to_string(count(m.points, InterpolationStatus::Unreliable)) +
      " interpolation-unreliable; every point in " + m.vtu + "\n";
  return out;
}

}  // namespace kv::study
