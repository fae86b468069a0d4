#include "report/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "report/gnuplot.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

// gnuplot's enhanced text marks sub- and superscripts; text from the data is never read so.
std::string quoted(const std::string& text) { return gnuplotQuoted(text); }
std::string plain(const std::string& text) { return gnuplotQuoted(text) + " noenhanced"; }

std::string sixDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", value);
  return text;
}

std::string roundedOrder(double p) { return shortest(std::round(p * 1000) / 1000); }

// The terminals: the same figure as SVG (the report inlines it) and as PDF (for a paper).
const char* kSvgTerminal = "set terminal svg size 560,440 font 'sans,11' background '#ffffff' enhanced\n";
const char* kPdfTerminal = "set terminal pdfcairo size 5in,4in font 'sans,10' enhanced\n";
// The legend below the axes, one entry a line: beside the x label it would overlap it.
const char* kKey = "set key below vertical maxcols 1 Left reverse height 1\n";
// Up to this many grids have their spacing as the tics of a logarithmic axis.
constexpr size_t kMaxSpacingTics = 8;

std::string outputIn(const std::string& folder, const std::string& file) {
  return "set output " + quoted((fs::path(folder) / file).string()) + "\n";
}

// The k-th quantity's plot of the report that is not a figure (k from 0).
std::string reportPlotName(size_t k) { return "q" + std::to_string(k + 1) + "_ls.svg"; }

// The grid spacing axis over `range`: h, or with cell counts h = N^(-1/D) with each grid's N on
// the top axis (the same range: gnuplot links no logarithmic axes).
std::string spacingAxis(const StudyCase& in, bool log, const std::string& range) {
  std::string s = "unset logscale\nunset x2tics\nset x2label ''\nset xtics mirror autofreq\nset offsets 0,0,0,0\n"
                  "set xrange " + range + "\n";
  if (log) s += "set logscale xy\n";
  // On a logarithmic axis of few grids, the tics are the grids' spacings.
  if (log && in.h.size() <= kMaxSpacingTics) {
    s += "set xtics (";
    for (size_t i = 0; i < in.h.size(); ++i) s += (i ? ", " : "") + shortest(in.h[i]);
    s += ")\n";
  }
  const bool cells = in.dimension > 0 && !in.cells.empty() && in.cells.size() == in.h.size();
  if (!cells) return s + "set xlabel 'grid spacing h'\n";
  const std::string d = std::to_string(in.dimension);
  s += "set xlabel 'h = N^{-1/" + d + "}'\nset x2label 'cells N'\nset xtics nomirror\nset x2range " + range + "\n";
  if (log) s += "set logscale x2\n";
  s += "set x2tics (";
  for (size_t i = 0; i < in.h.size(); ++i) {
    char n[32];
    std::snprintf(n, sizeof n, in.cells[i] < 1e7 ? "%.0f" : "%.3g", in.cells[i]);
    s += (i ? ", " : "") + quoted(n) + " " + shortest(in.h[i]);
  }
  return s + ") nomirror\n";
}

// A plot with nothing to draw: the axes and a word, where gnuplot would refuse an empty range.
void emptyPlot(std::ostringstream& s, const std::string& why) {
  s << "unset logscale\nunset x2tics\nset x2label ''\nset xtics mirror autofreq\nset format y '%g'\n"
    << "set xrange [0:1]\nset yrange [0:1]\n"
    << "set label 1 '" << why << ": nothing to draw' at 0.5,0.5 center\nplot NaN notitle\n";
}

// `h`: the spacings of the grids the quantity was studied on (all the case's, but where its
// value is missing), one per value.
void valuesPlot(std::ostringstream& s, const StudyCase& in, const QuantityStudy& q, const std::vector<double>& h,
                size_t k) {
  const StandardResult& r = q.standard;
  if (std::none_of(q.values.begin(), q.values.end(), [](double v) { return std::isfinite(v); })) {
    // No grid, or no finite value (missing, nan): an empty data block is an error to gnuplot.
    s << "set title " << plain(q.name + ": value against h") << "\n";
    emptyPlot(s, "no finite value");
    return;
  }
  const std::string block = "$v" + std::to_string(k);
  s << block << " << EOD\n";
  for (size_t i = 0; i < h.size(); ++i) s << shortest(h[i]) << ' ' << shortest(q.values[i]) << '\n';
  s << "EOD\n";
  // The bars: U of phi1, or least squares' U of every grid.
  std::string bars;
  const Estimator* e = barEstimator(q);
  const bool perGrid = e != nullptr && std::string_view(e->key) == "u_ls";
  for (size_t i = 0; e != nullptr && i < (perGrid ? h.size() : 1); ++i) {
    const double u = perGrid ? q.uncertainty.leastSquares->u[i] : *e->u(q.uncertainty);
    if (std::isfinite(u) && std::isfinite(q.values[i])) bars += shortest(h[i]) + ' ' + shortest(q.values[i]) + ' ' + shortest(u) + '\n';
  }
  if (!bars.empty()) s << block << "u << EOD\n" << bars << "EOD\n";
  s << "set title " << plain(q.name + ": value against h") << "\n"
    << spacingAxis(in, false, "[0:" + shortest(h.back() * 1.05) + "]");
  // A margin above and below, so that a line at the extreme value is not drawn on the border.
  s << "set ylabel " << plain(q.name) << "\nset yrange [*:*]\nset offsets 0,0,graph 0.05,graph 0.05\n";
  s << kKey;
  s << "plot " << block << " using 1:2 with linespoints pt 7 ps 1.1 lw 2 lc rgb '#1f4e8c' title 'φ on each grid'";
  // The exact value under the extrapolated one: where they agree, the dashes show on it.
  if (std::isfinite(r.exact)) {
    s << ", " << shortest(r.exact) << " with lines lw 3 lc rgb '#7fc99a' title " << quoted("exact = " + sixDigits(r.exact));
  }
  if (std::isfinite(r.phiExt21)) {
    s << ", " << shortest(r.phiExt21) << " with lines dt 2 lw 2 lc rgb '#c0392b' title "
      << quoted("φ_{ext}^{21} = " + sixDigits(r.phiExt21) + " (extrapolated)");
    s << ", '+' using (0):(" << shortest(r.phiExt21)
      << ") every ::0::0 with points pt 7 ps 1.2 lc rgb '#c0392b' notitle";
  }
  if (!bars.empty()) {
    s << ", " << block << "u using 1:2:3 with yerrorbars pt 6 ps 1.1 lw 1.5 lc rgb '#d35400' title "
      << quoted(std::string(perGrid ? "φ ± U on each grid" : "φ_1 ± U") + ", U by " + e->name);
  }
  s << "\n";
}

// The smallest and largest of positive values, widened by `factor` each way.
struct Range {
  double low = INFINITY, high = 0.0;
  void add(double v) {
    if (std::isfinite(v) && v > 0.0) low = std::min(low, v), high = std::max(high, v);
  }
  bool any() const { return high > 0.0; }
  std::string text(double factor) const { return "[" + shortest(low / factor) + ":" + shortest(high * factor) + "]"; }
};

void convergencePlot(std::ostringstream& s, const StudyCase& in, const QuantityStudy& q, const std::vector<double>& h,
                     size_t k, double pTh) {
  const StandardResult& r = q.standard;
  s << "set title " << plain(q.name + ": error against h") << "\n";
  s << "set ylabel 'absolute error'\n" << kKey;
  // The estimated error (from the extrapolated value) and, with an exact value, the true one.
  struct ErrorSeries {
    double reference;
    const char* block;
    const char* title;
    const char* style;
    std::string data;
    double first = kNotANumber;  // on the finest grid
  };
  // The true error's open squares drawn around the estimated error's dots, both seen where they agree.
  ErrorSeries series[] = {{r.phiExt21, "$ce", "estimated error |φ − φ_{ext}^{21}|", "pt 7 ps 1.1 lc rgb '#1f4e8c'", {}},
                     {r.exact, "$ct", "true error |φ − exact|", "pt 4 ps 1.9 lw 2 lc rgb '#2e8b57'", {}}};
  Range x, y;
  for (ErrorSeries& c : series) {
    for (size_t i = 0; i < h.size() && std::isfinite(c.reference); ++i) {
      const double e = std::fabs(q.values[i] - c.reference);
      if (i == 0) c.first = e;
      if (!std::isfinite(e) || e <= 0.0) continue;
      c.data += shortest(h[i]) + ' ' + shortest(e) + '\n';
      x.add(h[i]);
      y.add(e);
    }
  }
  if (!y.any()) {
    emptyPlot(s, "no extrapolated value and no exact value");
    return;
  }
  // The slopes start from the finest grid's estimated error (else its true error).
  const double anchor = std::isfinite(series[0].first) && series[0].first > 0.0 ? series[0].first : series[1].first;
  const bool slopes = std::isfinite(anchor) && anchor > 0.0;
  for (double hi : {x.low, x.high}) {
    if (!slopes) break;
    if (r.hasOrder()) y.add(anchor * std::pow(hi / r.h1, r.order.p));
    y.add(anchor * std::pow(hi / r.h1, pTh));
  }
  s << spacingAxis(in, true, x.text(1.25)) << "set yrange " << y.text(2.0) << "\n";
  // Powers of ten where the range holds two of them at least; within less, plain numbers.
  const bool decades = std::floor(std::log10(y.high * 2.0)) - std::ceil(std::log10(y.low / 2.0)) >= 1.0;
  s << (decades ? "set format y '10^{%L}'\n" : "set format y '%g'\n");
  std::string plot;
  for (size_t c = 0; c < 2; ++c) {
    if (series[c].data.empty()) continue;
    const std::string block = series[c].block + std::to_string(k);
    s << block << " << EOD\n" << series[c].data << "EOD\n";
    plot += (plot.empty() ? "" : ", ") + block + " using 1:2 with points " + series[c].style + " title " + quoted(series[c].title);
  }
  if (slopes) {
    const std::string base = shortest(anchor) + "*(x/" + shortest(r.h1) + ")**";
    if (r.hasOrder()) {
      plot += ", " + base + shortest(r.order.p) + " with lines lw 2 lc rgb '#c0392b' title " +
              quoted("observed order p = " + roundedOrder(r.order.p));
    }
    plot += ", " + base + shortest(pTh) + " with lines dt 2 lw 2 lc rgb '#555555' title " +
            quoted("theoretical order p_{th} = " + shortest(pTh));
  }
  s << "plot " << plot << "\n";
}

// gnuplot's expression of a fit in h, the coefficients being those of x = h / hMin.
std::string fitExpression(const LeastSquaresFit& f, double hMin) {
  const std::string x = "(x/" + shortest(hMin) + ")";
  std::string e = shortest(f.phi0) + "+(" + shortest(f.alpha) + ")*" + x + "**" + shortest(f.p);
  if (f.model == ErrorModel::firstAndSecondOrder) e += "+(" + shortest(f.alpha2) + ")*" + x + "**2";
  return e;
}

void leastSquaresPlot(std::ostringstream& s, const StudyCase& in, const QuantityStudy& q, const std::vector<double>& h,
                      size_t k) {
  const LeastSquaresResult& ls = *q.uncertainty.leastSquares;
  const LeastSquaresFit& fit = ls.chosenFit();
  s << "$l" << k << " << EOD\n";
  for (size_t i = 0; i < h.size(); ++i) {
    s << shortest(h[i]) << ' ' << shortest(q.values[i]) << ' ' << shortest(ls.u[i]) << '\n';
  }
  s << "EOD\n";
  s << "set title " << plain(q.name + ": least-squares fit and U per grid") << "\n"
    << spacingAxis(in, false, "[0:" + shortest(h.back() * 1.05) + "]");
  s << "set ylabel " << plain(q.name) << "\nset yrange [*:*]\nset offsets 0,0,graph 0.05,graph 0.05\n" << kKey;
  s << "plot $l" << k << " using 1:($2-$3):($2+$3) with filledcurves fc rgb '#f3dcc0' fs solid 0.6 noborder "
    << "title 'φ ± U (least squares)', ";
  s << fitExpression(fit, h.front()) << " with lines lw 2 lc rgb '#c0392b' title "
    << plain("fit " + std::string(fit.name) + ": phi0 = " + sixDigits(fit.phi0) + ", p = " + sixDigits(fit.p)) << ", ";
  s << "$l" << k << " using 1:2:3 with yerrorbars pt 7 ps 1.2 lw 1.5 lc rgb '#1f4e8c' title 'φ on each grid, U'\n";
}

}  // namespace

std::string figureName(size_t k, std::string_view kind, std::string_view format) {
  return "q" + std::to_string(k) + "_" + std::string(kind) + "." + std::string(format);
}

bool isFigureName(std::string_view file) {
  if (file.size() < 2 || file[0] != 'q' || file[1] < '1' || file[1] > '9') return false;
  size_t end = 1;
  while (end < file.size() && file[end] >= '0' && file[end] <= '9') ++end;
  if (end > 8 || end >= file.size() || file[end] != '_') return false;
  const std::string_view rest = file.substr(end + 1);
  for (std::string_view kind : kFigureKinds) {
    for (std::string_view format : kFigureFormats) {
      if (rest.size() == kind.size() + 1 + format.size() && rest.substr(0, kind.size()) == kind &&
          rest[kind.size()] == '.' && rest.substr(kind.size() + 1) == format) {
        return true;
      }
    }
  }
  return false;
}

const Estimator* barEstimator(const QuantityStudy& q) {
  for (const Estimator& e : estimators()) {
    if (const std::optional<double> u = e.u(q.uncertainty); u && std::isfinite(*u)) return &e;
  }
  return nullptr;
}

std::string plotScript(const StudyResult& study, const std::string& folder) {
  const StudyCase& in = *study.input;
  std::ostringstream s;
  s << "set encoding utf8\nset grid lc rgb '#dddddd'\nset border lc rgb '#444444'\nset samples 200\n";
  s << "set format x '%g'\nset format y '%g'\n";
  for (size_t k = 0; k < study.quantities.size() && k < kMaxPlottedQuantities; ++k) {
    const QuantityStudy& q = study.quantities[k];
    const std::vector<double> h = study.spacings(q);
    for (std::string_view kind : kFigureKinds) {
      s << kSvgTerminal << outputIn(folder, figureName(k + 1, kind, "svg"));
      if (kind == "phi") {
        valuesPlot(s, in, q, h, k);
      } else {
        convergencePlot(s, in, q, h, k, study.settings.theoreticalOrder);
      }
      s << kPdfTerminal << outputIn(folder, figureName(k + 1, kind, "pdf")) << "replot\n";
      s << "unset label 1\nset format y '%g'\n";
    }
    if (q.uncertainty.leastSquares) {
      s << kSvgTerminal << outputIn(folder, reportPlotName(k));
      leastSquaresPlot(s, in, q, h, k);
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
    for (std::string_view kind : kFigureKinds) {
      for (std::string_view format : kFigureFormats) files.push_back(figureName(k + 1, kind, format));
    }
    if (study.quantities[k].uncertainty.leastSquares) files.push_back(reportPlotName(k));
  }
  const DrawnPlots drawn =
      drawWithGnuplot([&](const fs::path& folder) { return plotScript(study, folder.string()); }, files, timeoutSeconds);
  out.available = drawn.available;
  out.note = drawn.note;
  if (!drawn.available) return out;
  size_t next = 0;
  for (size_t k = 0; k < count; ++k) {
    const std::string stem = "q" + std::to_string(k);
    QuantityPlots p;
    for (std::string* inlined : {&p.values, &p.convergence}) {
      for (size_t f = 0; f < std::size(kFigureFormats); ++f, ++next) {
        out.figures.emplace_back(std::string(kFigureFolder) + "/" + files[next], drawn.svgs[next]);
      }
      *inlined = inlineSvg(out.figures[out.figures.size() - 2].second, stem + (inlined == &p.values ? "v_" : "c_"));
    }
    if (study.quantities[k].uncertainty.leastSquares) p.leastSquares = inlineSvg(drawn.svgs[next++], stem + "l_");
    out.plots.push_back(std::move(p));
  }
  return out;
}

}  // namespace kv::study
