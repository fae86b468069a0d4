#include "report/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "report/gnuplot.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) { return gnuplotQuoted(text); }

std::string sixDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", value);
  return text;
}

// The file name stem of the k-th quantity's plots: q<k>.
std::string plotStem(size_t k) {
  std::string stem(1, 'q');
  stem += std::to_string(k);
  return stem;
}

// A plot with nothing to draw: the axes and a word, where gnuplot would refuse an empty range.
void emptyPlot(std::ostringstream& s, const char* why) {
  s << "unset logscale\nset xrange [0:1]\nset yrange [0:1]\n"
    << "set label 1 '" << why << ": nothing to draw' at 0.5,0.5 center\nplot NaN notitle\nunset label 1\n";
}

void valuesPlot(std::ostringstream& s, const QuantityStudy& q, const std::vector<double>& h, size_t k) {
  const StandardResult& r = q.standard;
  if (std::none_of(q.values.begin(), q.values.end(), [](double v) { return std::isfinite(v); })) {
    // No grid, or no finite value (missing, nan): an empty data block is an error to gnuplot.
    s << "set title " << quoted(q.name + ": value against h") << "\n";
    emptyPlot(s, "no finite value");
    return;
  }
  s << "$v" << k << " << EOD\n";
  for (size_t i = 0; i < h.size(); ++i) s << shortest(h[i]) << ' ' << shortest(q.values[i]) << '\n';
  s << "EOD\n";
  s << "set title " << quoted(q.name + ": value against h") << "\n";
  s << "unset logscale\nset xlabel 'h'\nset ylabel 'phi'\nset xrange [0:*]\nset yrange [*:*]\n";
  s << "set key below\n";
  s << "plot ";
  if (std::isfinite(r.phiExt21)) {
    const double u = r.gciFine21Absolute;
    if (std::isfinite(u)) {
      s << "[0:" << shortest(h.back() * 1.05) << "] '+' using 1:(" << shortest(r.phi1 - u) << "):("
        << shortest(r.phi1 + u)
        << ") with filledcurves fc rgb '#cfe0f5' fs solid 0.6 noborder title 'phi1 +- GCI_fine21', ";
    }
    s << shortest(r.phiExt21) << " with lines dt 2 lw 2 lc rgb '#c0392b' title "
      << quoted("phi_ext21 = " + sixDigits(r.phiExt21)) << ", ";
    s << "'+' using (0):(" << shortest(r.phiExt21) << ") every ::0::0 with points pt 7 ps 1.2 lc rgb '#c0392b' notitle, ";
  }
  s << "$v" << k << " using 1:2 with linespoints pt 7 ps 1.2 lw 2 lc rgb '#1f4e8c' title 'phi on each grid'\n";
}

void convergencePlot(std::ostringstream& s, const QuantityStudy& q, const std::vector<double>& h,
                     size_t k, double pTh) {
  const StandardResult& r = q.standard;
  s << "set title " << quoted(q.name + ": |phi - phi_ext21| against h") << "\n";
  s << "set logscale xy\nset xlabel 'h'\nset ylabel '|phi - phi_ext21|'\nset xrange [*:*]\nset yrange [*:*]\nset key below\n";
  bool any = false;
  std::ostringstream data;
  for (size_t i = 0; i < h.size(); ++i) {
    const double e = std::fabs(q.values[i] - r.phiExt21);
    if (std::isfinite(e) && e > 0.0) {
      data << shortest(h[i]) << ' ' << shortest(e) << '\n';
      any = true;
    }
  }
  if (!any) {
    emptyPlot(s, "no extrapolated value");
    return;
  }
  s << "$c" << k << " << EOD\n" << data.str() << "EOD\n";
  const double e1 = std::fabs(r.phi1 - r.phiExt21);
  s << "plot $c" << k << " using 1:2 with points pt 7 ps 1.3 lc rgb '#1f4e8c' title '|phi - phi_ext21|'";
  if (e1 > 0.0 && std::isfinite(e1)) {
    s << ", " << shortest(e1) << "*(x/" << shortest(r.h1) << ")**" << shortest(r.p)
      << " with lines lw 2 lc rgb '#c0392b' title " << quoted("observed slope p = " + shortest(std::round(r.p * 1000) / 1000));
    s << ", " << shortest(e1) << "*(x/" << shortest(r.h1) << ")**" << shortest(pTh)
      << " with lines dt 2 lw 2 lc rgb '#555555' title " << quoted("theoretical slope " + shortest(pTh));
  }
  s << "\n";
}

// gnuplot's expression of a fit in h, the coefficients being those of x = h / hMin.
std::string fitExpression(const LeastSquaresFit& f, double hMin) {
  const std::string x = "(x/" + shortest(hMin) + ")";
  std::string e = shortest(f.phi0) + "+(" + shortest(f.alpha) + ")*" + x + "**" + shortest(f.p);
  if (f.model == ErrorModel::firstAndSecondOrder) e += "+(" + shortest(f.alpha2) + ")*" + x + "**2";
  return e;
}

void leastSquaresPlot(std::ostringstream& s, const QuantityStudy& q, const std::vector<double>& h,
                      size_t k) {
  const LeastSquaresResult& ls = *q.uncertainty.leastSquares;
  const LeastSquaresFit& fit = ls.chosenFit();
  s << "$l" << k << " << EOD\n";
  for (size_t i = 0; i < h.size(); ++i) {
    s << shortest(h[i]) << ' ' << shortest(q.values[i]) << ' ' << shortest(ls.u[i]) << '\n';
  }
  s << "EOD\n";
  s << "set title " << quoted(q.name + ": least-squares fit and U per grid") << "\n";
  s << "unset logscale\nset xlabel 'h'\nset ylabel 'phi'\nset xrange [0:" << shortest(h.back() * 1.05)
    << "]\nset yrange [*:*]\nset key below\n";
  s << "plot $l" << k << " using 1:($2-$3):($2+$3) with filledcurves fc rgb '#f3dcc0' fs solid 0.6 noborder "
    << "title 'phi +- U (least squares)', ";
  s << fitExpression(fit, h.front()) << " with lines lw 2 lc rgb '#c0392b' title "
    << quoted("fit " + std::string(fit.name) + ": phi0 = " + sixDigits(fit.phi0) + ", p = " +
              sixDigits(fit.p)) << ", ";
  s << "$l" << k << " using 1:2:3 with yerrorbars pt 7 ps 1.2 lw 1.5 lc rgb '#1f4e8c' title 'phi on each grid, U'\n";
}

}  // namespace

std::string plotScript(const StudyResult& study, const std::string& folder) {
  std::ostringstream s;
  s << "set terminal svg size 560,400 font 'sans,11' background '#ffffff' noenhanced\n";
  s << "set grid lc rgb '#dddddd'\nset border lc rgb '#444444'\nset samples 200\n";
  s << "set format x '%g'\nset format y '%g'\n";
  for (size_t k = 0; k < study.quantities.size() && k < kMaxPlottedQuantities; ++k) {
    const QuantityStudy& q = study.quantities[k];
    const std::vector<double> h = study.spacings(q);
    s << "set output " << quoted((fs::path(folder) / (plotStem(k) + "_values.svg")).string()) << "\n";
    valuesPlot(s, q, h, k);
    s << "set output " << quoted((fs::path(folder) / (plotStem(k) + "_convergence.svg")).string()) << "\n";
    convergencePlot(s, q, h, k, study.settings.theoreticalOrder);
    if (q.uncertainty.leastSquares) {
      s << "set output " << quoted((fs::path(folder) / (plotStem(k) + "_ls.svg")).string()) << "\n";
      leastSquaresPlot(s, q, h, k);
    }
  }
  s << "set output\n";
  return s.str();
}

StudyPlots drawPlots(const StudyResult& study, double timeoutSeconds) {
  StudyPlots out;
  const size_t count = std::min(study.quantities.size(), kMaxPlottedQuantities);
  std::vector<std::string> files;
  for (size_t k = 0; k < count; ++k) {
    files.push_back(plotStem(k) + "_values.svg");
    files.push_back(plotStem(k) + "_convergence.svg");
    if (study.quantities[k].uncertainty.leastSquares) files.push_back(plotStem(k) + "_ls.svg");
  }
  const DrawnPlots drawn =
      drawWithGnuplot([&](const fs::path& folder) { return plotScript(study, folder.string()); }, files, timeoutSeconds);
  out.available = drawn.available;
  out.note = drawn.note;
  if (!drawn.available) return out;
  size_t next = 0;
  for (size_t k = 0; k < count; ++k) {
    const std::string stem = plotStem(k);
    QuantityPlots p;
    p.values = inlineSvg(drawn.svgs[next++], stem + "v_");
    p.convergence = inlineSvg(drawn.svgs[next++], stem + "c_");
    if (study.quantities[k].uncertainty.leastSquares) p.leastSquares = inlineSvg(drawn.svgs[next++], stem + "l_");
    out.plots.push_back(std::move(p));
  }
  return out;
}

}  // namespace kv::study
