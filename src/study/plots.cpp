#include "study/plots.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "study/gnuplot.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

// A text in gnuplot's single quotes ('' stands for one quote).
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out.push_back('\'');
    if (c != '\n' && c != '\r') out.push_back(c);
  }
  return out + "'";
}

std::string sixDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", value);
  return text;
}

// The file name stem of the k-th quantity's plots: q<k>.
std::string stemOf(size_t k) {
  std::string stem(1, 'q');
  stem += std::to_string(k);
  return stem;
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

void valuesPlot(std::ostringstream& s, const QuantityStudy& q, const std::vector<double>& h, size_t k) {
  const StandardResult& r = q.standard;
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
  s << "set logscale xy\nset xlabel 'h'\nset ylabel '|phi - phi_ext21|'\nset xrange [*:*]\nset yrange [*:*]\nset key inside top left maxcols 1\n";
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
    s << "unset logscale\nset xrange [0:1]\nset yrange [0:1]\n"
      << "set label 1 'no extrapolated value: nothing to draw' at 0.5,0.5 center\nplot NaN notitle\nunset label 1\n";
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
  const std::vector<double>& h = study.input->h;
  for (size_t k = 0; k < study.quantities.size() && k < kMaxPlottedQuantities; ++k) {
    const QuantityStudy& q = study.quantities[k];
    s << "set output " << quoted((fs::path(folder) / (stemOf(k) + "_values.svg")).string()) << "\n";
    valuesPlot(s, q, h, k);
    s << "set output " << quoted((fs::path(folder) / (stemOf(k) + "_convergence.svg")).string()) << "\n";
    convergencePlot(s, q, h, k, study.theoreticalOrder);
    if (q.uncertainty.leastSquares) {
      s << "set output " << quoted((fs::path(folder) / (stemOf(k) + "_ls.svg")).string()) << "\n";
      leastSquaresPlot(s, q, h, k);
    }
  }
  s << "set output\n";
  return s.str();
}

std::string inlineSvg(const std::string& svg, const std::string& prefix) {
  const size_t start = svg.find("<svg");
  if (start == std::string::npos) return "";
  std::string out = svg.substr(start);
  replaceAll(out, "id='", "id='" + prefix);
  replaceAll(out, "id=\"", "id=\"" + prefix);
  replaceAll(out, "href='#", "href='#" + prefix);
  replaceAll(out, "href=\"#", "href=\"#" + prefix);
  replaceAll(out, "url(#", "url(#" + prefix);
  return out;
}

StudyPlots drawPlots(const StudyResult& study) {
  StudyPlots out;
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) {
    out.note = "no temporary folder for gnuplot";
    return out;
  }
  std::random_device random;
  fs::path folder;
  for (int attempt = 0; attempt < 16 && folder.empty(); ++attempt) {
    fs::path candidate = base / ("kestrovanilque-plots-" + std::to_string(random()));
    if (fs::create_directory(candidate, error) && !error) folder = candidate;
  }
  if (folder.empty()) {
    out.note = "no temporary folder for gnuplot";
    return out;
  }
  const fs::path script = folder / "plots.gp";
  {
    std::ofstream file(script, std::ios::binary);
    file << plotScript(study, folder.string());
  }
  const bool ran = runGnuplot(script);
  const size_t count = std::min(study.quantities.size(), kMaxPlottedQuantities);
  if (ran) {
    out.available = true;
    for (size_t k = 0; k < count; ++k) {
      const std::string stem = stemOf(k);
      QuantityPlots p;
      p.values = inlineSvg(readAll(folder / (stem + "_values.svg")), stem + "v_");
      p.convergence = inlineSvg(readAll(folder / (stem + "_convergence.svg")), stem + "c_");
      if (study.quantities[k].uncertainty.leastSquares) {
        p.leastSquares = inlineSvg(readAll(folder / (stem + "_ls.svg")), stem + "l_");
        if (p.leastSquares.empty()) out.available = false;
      }
      if (p.values.empty() || p.convergence.empty()) out.available = false;
      out.plots.push_back(std::move(p));
    }
    if (!out.available) {
      out.plots.clear();
      out.note = "gnuplot did not draw every plot";
    }
  } else {
    out.note = "gnuplot is not available (install gnuplot-nox and run the study again)";
  }
  fs::remove_all(folder, error);
  return out;
}

}  // namespace kv::study
