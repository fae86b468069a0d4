#include "report/space_time_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "report/gnuplot.h"
#include "report/plots.h"
#include "report/report_html.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

const char* const kColours[] = {"#1f4e8c", "#c0392b", "#27864a", "#8e44ad",
                                "#d68910", "#16a085", "#7f8c8d", "#b03a8f"};
constexpr size_t kCurveSamples = 80;

// Whether quantity k gets plots, and which: against h (all designs) and against dt (b and c).
bool plotted(const SpaceTimeStudy& study, size_t k) {
  return k < kMaxPlottedQuantities && !study.quantities[k].result.refused();
}
bool againstTime(const SpaceTimeQuantityStudy& q) {
  return q.result.design != SpaceTimeDesign::constantCourant;
}

std::string plotFile(size_t k, bool inTime) {
  return "s" + std::to_string(k) + (inTime ? "_t.svg" : "_h.svg");
}

// A number for gnuplot's data: its shortest form, NaN (a gap) where there is none.
std::string datum(double value) { return std::isfinite(value) ? shortest(value) : "NaN"; }

std::string sevenDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", value);
  return text;
}

std::vector<double> distinct(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

// phi against h (or dt, `inTime`): the runs of each time step (grid) with U as error bars and the
// fitted model at that time step (grid); design a has one series, all its runs.
void axisPlot(std::ostringstream& s, const SpaceTimeStudy& study, size_t k, bool inTime) {
  const SpaceTimeCase& in = *study.input;
  const SpaceTimeQuantityStudy& q = study.quantities[k];
  const SpaceTimeResult& r = q.result;
  const bool courant = r.design == SpaceTimeDesign::constantCourant;
  const std::vector<double>& x = inTime ? in.dt : in.h;
  const std::vector<double>& other = inTime ? in.h : in.dt;
  const double h1 = in.h.front(), dt1 = *std::min_element(in.dt.begin(), in.dt.end());
  const double xMax = *std::max_element(x.begin(), x.end()) * 1.05;
  std::vector<double> levels = courant ? std::vector<double>{kNotANumber} : distinct(other);
  const bool cut = levels.size() > kMaxPlottedLevels;
  if (cut) levels.resize(kMaxPlottedLevels);
  const std::string id = "s" + std::to_string(k) + (inTime ? "t" : "h");
  const std::string xName = inTime ? "dt" : "h", levelName = inTime ? "h" : "dt";
  std::ostringstream plot;
  plot << "plot " << datum(r.phi0) << " with lines dt 2 lw 1.5 lc rgb '#555555' "
       << (std::isfinite(r.phi0) ? "title " + gnuplotQuoted("phi0 = " + sevenDigits(r.phi0))
                                 : std::string("notitle"));
  for (size_t j = 0; j < levels.size(); ++j) {
    const double level = levels[j];
    s << "$p" << id << j << " << EOD\n";
    for (size_t i = 0; i < x.size(); ++i) {
      if (!courant && other[i] != level) continue;
      s << shortest(x[i]) << ' ' << datum(q.input->values[i]) << ' '
        << (std::isfinite(r.u[i]) ? shortest(r.u[i]) : "0") << '\n';
    }
    s << "EOD\n$c" << id << j << " << EOD\n";
    for (size_t m = 0; m <= kCurveSamples; ++m) {
      const double at = xMax * static_cast<double>(m) / kCurveSamples;
      const double value = courant  ? spaceTimeFitValue(r, at / h1, at / h1)
                           : inTime ? spaceTimeFitValue(r, level / h1, at / dt1)
                                    : spaceTimeFitValue(r, at / h1, level / dt1);
      s << shortest(at) << ' ' << datum(value) << '\n';
    }
    s << "EOD\n";
    const std::string colour = kColours[j % std::size(kColours)];
    const std::string title =
        courant ? "phi +- U of each run" : levelName + " = " + shortest(level);
    plot << ", $c" << id << j << " with lines lw 2 lc rgb '" << colour << "' notitle, $p" << id << j
         << " using 1:2:3 with yerrorbars pt 7 ps 1.1 lw 1.5 lc rgb '" << colour << "' title "
         << gnuplotQuoted(title);
  }
  std::string title = q.input->name + ": phi against " + xName;
  title += courant ? " at one Courant number, with the fit" : ", one curve per " + levelName;
  if (cut) title += " (the " + std::to_string(kMaxPlottedLevels) + " smallest)";
  s << "set title " << gnuplotQuoted(title) << "\nset xlabel '" << xName << "'\nset ylabel 'phi'\n"
    << "set xrange [0:" << shortest(xMax) << "]\nset yrange [*:*]\nset key below\n"
    << plot.str() << "\n";
}

// ---------------------------------------------------------------------------------------------
// The page.

const char* kSpaceTimeStyle = R"(
.design { display: inline-block; padding: 0.05em 0.5em; border-radius: 0.8em; font-size: 0.85em; }
.st-ok { background: #d8f0d8; color: #185c18; } .st-warned { background: #fdf1c7; color: #6b5200; }
.st-refused { background: #f8d4d0; color: #7d1a10; } .st-advice { background: #e4e4e4; color: #333; }
)";

// The badge class of a quantity: refused, warned (what --strict fails), advice only, ok.
const char* badge(const SpaceTimeQuantityStudy& q) {
  if (q.result.refused()) return "st-refused";
  if (!q.sound()) return "st-warned";
  return q.result.warnings.empty() ? "st-ok" : "st-advice";
}

std::string designText(SpaceTimeDesign design) {
  switch (design) {
    case SpaceTimeDesign::constantCourant:
      return "(a) constant Courant number: the grid and time-step errors are one power of h and "
             "are "
             "fitted together, with the lower theoretical order";
    case SpaceTimeDesign::separateFamilies:
      return "(b) a grid family at the smallest time step and a time-step family on the finest "
             "grid, fitted apart; "
             "U = U<sub>x</sub> + U<sub>t</sub>";
    case SpaceTimeDesign::combinedFit:
      return "(c) the least-squares fit of &phi;<sub>0</sub> + &alpha;<sub>x</sub> "
             "r<sup>p<sub>x</sub></sup> + "
             "&alpha;<sub>t</sub> t<sup>p<sub>t</sub></sup> to all the runs";
    case SpaceTimeDesign::none:
      break;
  }
  return "none";
}

// The Courant numbers of the runs: dt/h from its least to its largest, and their spread against
// the tolerance of one Courant number.
std::string courantText(const SpaceTimeStudy& study) {
  const SpaceTimeCase& in = *study.input;
  if (in.h.empty() || !std::isfinite(study.courantSpread)) return "";
  double low = in.dt[0] / in.h[0], high = low;
  for (size_t i = 1; i < in.h.size(); ++i) {
    low = std::min(low, in.dt[i] / in.h[i]);
    high = std::max(high, in.dt[i] / in.h[i]);
  }
  const bool one = study.courantSpread <= study.options.courantTolerance;
  return "dt/h from " + htmlNumber(low, "%.7g") + " to " + htmlNumber(high, "%.7g") +
         ": a relative spread (max &minus; min)/max of " +
         htmlNumber(study.courantSpread, "%.3g") + (one ? ", within " : ", above ") +
         htmlNumber(study.options.courantTolerance, "%.3g") + ", the most that counts as one " +
         "Courant number.";
}

void spaceTimeSummaryHtml(std::ostringstream& s, const SpaceTimeStudy& study, bool anyExact) {
  s << "<div class=\"wide\"><table id=\"summary\"><thead><tr><th "
       "class=\"name\">quantity</th><th>design</th>"
       "<th "
       "class=\"name\">model</th><th>&phi;<sub>0</sub></th><th>p<sub>x</sub></th><th>p<sub>t</"
       "sub></th>"
       "<th>&alpha;<sub>x</sub></th><th>&alpha;<sub>t</sub></th><th>&sigma;</th><th>F<sub>s</sub></"
       "th>"
       "<th>&phi;<sub>1</sub></th><th>U<sub>num</sub></th><th>U<sub>num</sub>/|&phi;<sub>1</sub>|</"
       "th>";
  if (anyExact) s << "<th>exact</th><th>|E| of &phi;<sub>1</sub></th>";
  s << "<th class=\"name\">status</th></tr></thead><tbody>\n";
  for (size_t k = 0; k < study.quantities.size(); ++k) {
    const SpaceTimeQuantityStudy& q = study.quantities[k];
    const SpaceTimeResult& r = q.result;
    s << "<tr><td class=\"name\"><a href=\"#q" << k << "\">" << htmlEscaped(toUtf8(q.input->name))
      << "</a></td>";
    if (r.refused()) {
      s << "<td>&ndash;</td><td class=\"name\">&ndash;</td>";
      for (int c = 0; c < 10; ++c) s << "<td>&ndash;</td>";
      if (anyExact) s << "<td>" << htmlNumber(q.input->exact) << "</td><td>&ndash;</td>";
    } else {
      const double phi1 = q.input->values[r.finest];
      s << "<td>" << spaceTimeDesignLetter(r.design) << "</td><td class=\"name\">"
        << htmlEscaped(r.model) << "</td><td>" << htmlNumber(r.phi0, "%.7g") << "</td><td>"
        << htmlNumber(r.px, "%.4g") << "</td><td>" << htmlNumber(r.pt, "%.4g") << "</td><td>"
        << htmlNumber(r.alphaX, "%.4g") << "</td><td>" << htmlNumber(r.alphaT, "%.4g")
        << "</td><td>" << htmlNumber(r.sigma, "%.3g") << "</td><td>" << htmlNumber(r.fs, "%.3g")
        << "</td><td>" << htmlNumber(phi1, "%.7g") << "</td><td>" << htmlNumber(r.uNum, "%.4g")
        << "</td><td>" << htmlPercent(phi1 != 0.0 ? r.uNum / std::abs(phi1) : kNotANumber)
        << "</td>";
      if (anyExact) {
        s << "<td>" << htmlNumber(q.input->exact) << "</td><td>"
          << (q.error.empty() ? "&ndash;" : htmlNumber(std::abs(q.error[r.finest]), "%.4g"))
          << "</td>";
      }
    }
    s << "<td class=\"text\">" << htmlEscaped(r.status) << "</td></tr>\n";
  }
  s << "</tbody></table></div>\n";
}

void runsTable(std::ostringstream& s, const SpaceTimeStudy& study,
               const SpaceTimeQuantityStudy& q) {
  const SpaceTimeCase& in = *study.input;
  const SpaceTimeResult& r = q.result;
  const double h1 = in.h.front(), dt1 = *std::min_element(in.dt.begin(), in.dt.end());
  const bool iter = !q.input->iterErr.empty(), exact = !q.error.empty();
  s << "<table class=\"runs\"><thead><tr><th>run</th><th>h</th><th>dt</th><th>dt/h</th>";
  if (iter) s << "<th>iterative error</th>";
  s << "<th>&phi;</th><th>fit</th><th>&phi; &minus; fit</th><th>U</th>";
  if (exact) s << "<th>E = &phi; &minus; exact</th><th>|E| &le; U</th>";
  s << "</tr></thead><tbody>\n";
  for (size_t i = 0; i < in.h.size(); ++i) {
    const double fit = spaceTimeFitValue(r, in.h[i] / h1, in.dt[i] / dt1);
    s << "<tr><td>" << i + 1 << (i == r.finest ? " (finest)" : "") << "</td><td>"
      << htmlNumber(in.h[i]) << "</td><td>" << htmlNumber(in.dt[i]) << "</td><td>"
      << htmlNumber(in.dt[i] / in.h[i], "%.4g") << "</td>";
    if (iter) s << "<td>" << htmlNumber(q.input->iterErr[i], "%.3g") << "</td>";
    s << "<td>" << htmlNumber(q.input->values[i], "%.8g") << "</td><td>" << htmlNumber(fit, "%.8g")
      << "</td><td>" << htmlNumber(q.input->values[i] - fit, "%.3g") << "</td><td>"
      << htmlNumber(r.u[i], "%.4g") << "</td>";
    if (exact) {
      const bool within = std::abs(q.error[i]) <= r.u[i];
      s << "<td>" << htmlNumber(q.error[i], "%.4g") << "</td><td>"
        << (std::isfinite(r.u[i]) ? (within ? "yes" : "<b>NO</b>") : "&ndash;") << "</td>";
    }
    s << "</tr>\n";
  }
  s << "</tbody></table>\n";
}

// Every model fitted: design c's fits of the whole model, or the families of designs a and b.
void fitsTried(std::ostringstream& s, const SpaceTimeResult& r) {
  if (!r.fits.empty()) {
    s << "<details><summary>Every fit tried (" << r.fits.size()
      << "; coefficients of r = h/h<sub>1</sub> and t = dt/dt<sub>1</sub>)</summary>\n"
         "<table><thead><tr><th "
         "class=\"name\">fit</th><th>parameters</th><th>&phi;<sub>0</sub></th>"
         "<th>&alpha;<sub>x</sub></th><th>p<sub>x</sub></th><th>&alpha;<sub>t</sub></"
         "th><th>p<sub>t</sub></th>"
         "<th>&sigma;</th></tr></thead><tbody>\n";
    for (size_t k = 0; k < r.fits.size(); ++k) {
      const SpaceTimeFit& f = r.fits[k];
      s << "<tr><td class=\"name\">" << htmlEscaped(f.name()) << (k == r.chosen ? " (chosen)" : "")
        << (f.valid ? "" : " (no fit)") << (f.atBracketEnd ? " (bracket end)" : "") << "</td><td>"
        << f.parameters << "</td><td>" << htmlNumber(f.phi0, "%.8g") << "</td><td>"
        << htmlNumber(f.alphaX, "%.5g") << "</td><td>" << htmlNumber(f.px, "%.4g") << "</td><td>"
        << htmlNumber(f.alphaT, "%.5g") << "</td><td>" << htmlNumber(f.pt, "%.4g") << "</td><td>"
        << htmlNumber(f.sigma, "%.4g") << "</td></tr>\n";
    }
    s << "</tbody></table></details>\n";
  }
  for (const SpaceTimeFamily& f : r.families) {
    const char* what = r.design == SpaceTimeDesign::constantCourant ? "All runs, in h"
                       : f.inTime                                   ? "The time-step family, in dt"
                                                                    : "The grid family, in h";
    s << "<p>" << what << " (" << f.runs.size() << " runs): model " << htmlEscaped(f.model);
    if (!std::isfinite(f.phi0)) {
      s << ": no fit, the runs give no observed order.</p>\n";
      continue;
    }
    s << ", &phi;<sub>0</sub> = " << htmlNumber(f.phi0, "%.8g")
      << ", &alpha; = " << htmlNumber(f.alpha, "%.5g");
    if (f.alpha2 != 0.0) s << ", &alpha;<sub>2</sub> = " << htmlNumber(f.alpha2, "%.5g");
    s << ", p = " << htmlNumber(f.p, "%.4g") << " (observed " << htmlNumber(f.observedP, "%.4g")
      << "), F<sub>s</sub> = " << htmlNumber(f.fs, "%.3g")
      << (f.model == "gci" ? " (three runs: the GCI of Roache and Celik et al. 2008)" : "")
      << ".</p>\n";
    if (f.leastSquares)
      leastSquaresFitsHtml(s, *f.leastSquares, f.inTime ? "dt/dt<sub>1</sub>" : "h/h<sub>1</sub>");
  }
}

void quantitySection(std::ostringstream& s, const SpaceTimeStudy& study,
                     const SpaceTimePlots& plots, size_t k) {
  const SpaceTimeQuantityStudy& q = study.quantities[k];
  const SpaceTimeResult& r = q.result;
  s << "<h2 id=\"q" << k << "\">" << htmlEscaped(toUtf8(q.input->name)) << " <span class=\"design "
    << badge(q) << "\">"
    << (r.refused() ? "refused" : "design " + std::string(1, spaceTimeDesignLetter(r.design)))
    << "</span></h2>\n";
  if (r.refused()) {
    s << "<p class=\"note\">Not studied: " << htmlEscaped(r.refusal) << ".</p>\n";
    return;
  }
  const double phi1 = q.input->values[r.finest];
  s << "<p>Design " << designText(r.design) << ". Model <b>" << htmlEscaped(r.model) << "</b>";
  if (!std::isfinite(r.uNum)) {
    s << ": no uncertainty, the runs give no observed order (see the warnings).</p>\n";
  } else {
    s << ": &phi;<sub>0</sub> = " << htmlNumber(r.phi0, "%.8g")
      << ", p<sub>x</sub> = " << htmlNumber(r.px, "%.4g")
      << ", p<sub>t</sub> = " << htmlNumber(r.pt, "%.4g") << " (observed "
      << htmlNumber(r.observedPx, "%.4g") << " and " << htmlNumber(r.observedPt, "%.4g")
      << "), F<sub>s</sub> = " << htmlNumber(r.fs, "%.3g") << ". U<sub>num</sub> = &plusmn;&nbsp;"
      << htmlNumber(r.uNum, "%.4g") << " on &phi;<sub>1</sub> = " << htmlNumber(phi1, "%.8g")
      << " (run " << r.finest + 1 << ", "
      << htmlPercent(phi1 != 0.0 ? r.uNum / std::abs(phi1) : kNotANumber) << ")";
    if (!q.error.empty()) {
      s << "; exact " << htmlNumber(q.input->exact) << ", true error "
        << htmlNumber(q.error[r.finest], "%.4g") << ": "
        << (q.bounded() ? "within" : "<b>NOT within</b>") << " U<sub>num</sub>";
    }
    s << ".</p>\n";
  }
  if (!r.warnings.empty()) {
    s << "<ul class=\"warn\">\n";
    for (const SpaceTimeWarning& w : r.warnings) {
      s << "<li><b>" << spaceTimeWarningCode(w.code) << "</b>: " << htmlEscaped(w.message)
        << "</li>\n";
    }
    s << "</ul>\n";
  }
  if (plots.available && k < plots.svgs.size() && !plots.svgs[k].empty()) {
    s << "<div class=\"plots\">\n";
    for (const std::string& svg : plots.svgs[k]) s << svg << "\n";
    s << "</div>\n";
  }
  runsTable(s, study, q);
  fitsTried(s, r);
}

}  // namespace

std::string spaceTimePlotScript(const SpaceTimeStudy& study, const std::string& folder) {
  std::ostringstream s;
  s << "set terminal svg size 620,440 font 'sans,11' background '#ffffff' noenhanced\n"
       "set grid lc rgb '#dddddd'\nset border lc rgb '#444444'\nset format x '%g'\nset format y "
       "'%g'\n";
  for (size_t k = 0; k < study.quantities.size(); ++k) {
    if (!plotted(study, k)) continue;
    for (bool inTime : {false, true}) {
      if (inTime && !againstTime(study.quantities[k])) continue;
      s << "set output " << gnuplotQuoted((fs::path(folder) / plotFile(k, inTime)).string())
        << "\n";
      axisPlot(s, study, k, inTime);
    }
  }
  s << "set output\n";
  return s.str();
}

SpaceTimePlots drawSpaceTimePlots(const SpaceTimeStudy& study, double timeoutSeconds) {
  SpaceTimePlots out;
  std::vector<std::string> files;
  for (size_t k = 0; k < study.quantities.size(); ++k) {
    if (!plotted(study, k)) continue;
    files.push_back(plotFile(k, false));
    if (againstTime(study.quantities[k])) files.push_back(plotFile(k, true));
  }
  if (files.empty()) {
    out.note = "no quantity was studied";
    return out;
  }
  const DrawnPlots drawn = drawWithGnuplot(
      [&](const fs::path& folder) { return spaceTimePlotScript(study, folder.string()); }, files,
      timeoutSeconds);
  out.available = drawn.available;
  out.note = drawn.note;
  if (!drawn.available) return out;
  out.svgs.resize(study.quantities.size());
  size_t next = 0;
  for (size_t k = 0; k < study.quantities.size(); ++k) {
    if (!plotted(study, k)) continue;
    out.svgs[k].push_back(inlineSvg(drawn.svgs[next++], "s" + std::to_string(k) + "h_"));
    if (againstTime(study.quantities[k]))
      out.svgs[k].push_back(inlineSvg(drawn.svgs[next++], "s" + std::to_string(k) + "t_"));
  }
  return out;
}

std::string spaceTimeReportHtml(const SpaceTimeStudy& study, const SpaceTimePlots& plots) {
  const SpaceTimeCase& in = *study.input;
  bool anyExact = false;
  for (const SpaceTimeQuantityStudy& q : study.quantities) anyExact |= !q.error.empty();
  const size_t n = in.h.size();
  std::ostringstream s;
  s << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Space-time "
       "study: "
    << htmlEscaped(toUtf8(in.file)) << "</title>\n<style>" << reportStyle() << kSpaceTimeStyle
    << "</style>\n</head>\n<body>\n<h1>Space-time study</h1>\n<p class=\"meta\">"
    << htmlEscaped(toUtf8(in.file)) << "<br>" << n << " runs over " << study.grids
    << (study.grids == 1 ? " grid" : " grids") << " and " << study.timeSteps
    << (study.timeSteps == 1 ? " time step" : " time steps") << ", " << study.quantities.size()
    << (study.quantities.size() == 1 ? " quantity" : " quantities") << "; design "
    << designText(study.design)
    << "; theoretical orders p<sub>x,th</sub> = " << htmlNumber(study.options.gridOrder)
    << " (grid) and p<sub>t,th</sub> = " << htmlNumber(study.options.timeOrder)
    << " (time). Run 1 is the finest: the smallest h, then the smallest dt.<br>"
    << courantText(study) << "</p>\n";
  s << "<p>The discretization error of each run is taken as the sum of a grid and a time term, "
       "&phi;<sub>i</sub> = &phi;<sub>0</sub> + &alpha;<sub>x</sub> "
       "r<sub>i</sub><sup>p<sub>x</sub></sup> + "
       "&alpha;<sub>t</sub> t<sub>i</sub><sup>p<sub>t</sub></sup> with r<sub>i</sub> = "
       "h<sub>i</sub>/h<sub>1</sub> "
       "and t<sub>i</sub> = dt<sub>i</sub>/dt<sub>1</sub> (E&ccedil;a, Vaz, Toxopeus &amp; "
       "Hoekstra 2019, "
       "&ldquo;Numerical errors in unsteady flow simulations&rdquo;, J. Verif. Valid. Uncert. "
       "Quantif. 4). "
       "Three refinement designs are recognised from the runs: (a) one Courant number, (b) a grid "
       "family at "
       "the smallest time step and a time-step family on the finest grid, (c) any other set of five runs or more "
       "over two "
       "grids and two time steps or more. U is the uncertainty of each run, &phi; &plusmn; U; "
       "U<sub>num</sub> that of the finest run. The safety factor F<sub>s</sub> is 1.25 where the "
       "observed "
       "orders are near theory and the data are not scattered, 3 otherwise (Roache 1997; "
       "E&ccedil;a &amp; "
       "Hoekstra 2014, J. Comput. Phys. 262, 104&ndash;130).</p>\n";
  spaceTimeSummaryHtml(s, study, anyExact);
  if (!plots.available) {
    s << "<p class=\"note\" id=\"no-plots\">The plots are unavailable: " << htmlEscaped(plots.note)
      << ".</p>\n";
  }
  for (size_t k = 0; k < study.quantities.size() && k < kMaxPlottedQuantities; ++k)
    quantitySection(s, study, plots, k);
  if (study.quantities.size() > kMaxPlottedQuantities) {
    s << "<p class=\"note\">The first " << kMaxPlottedQuantities
      << " quantities are shown in detail; study.json "
      << "holds every one.</p>\n";
  }
  s << "</body>\n</html>\n";
  return s.str();
}

}  // namespace kv::study
