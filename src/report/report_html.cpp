#include "report/report_html.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "estimation/order_search.h"
#include "estimation/verdict.h"
#include "report/html.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

std::string num(double value, const char* format = "%.6g") { return htmlNumber(value, format); }
std::string pct(double fraction) { return htmlPercent(fraction); }

// "1 quantity", "2 quantities".
std::string counted(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// A value beside phi1 with the decimals phi1 is shown with (six significant digits of phi1), so
// that 2.8828 does not stand beside 2.88034 as if it were less precise.
std::string likePhi1(double value, double phi1) {
  if (!std::isfinite(value)) return "&ndash;";
  if (!std::isfinite(phi1) || phi1 == 0.0) return num(value);
  const int decimals = std::clamp(5 - static_cast<int>(std::floor(std::log10(std::fabs(phi1)))), 0, 17);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A relative change, or what it is when the changes are round-off or within the noise level.
std::string changeText(const QuantityStudy& q, double fraction) {
  if (q.standard.convergence == ConvergenceType::WithinNoise) return "within noise";
  return pct(fraction);
}


void summaryTable(std::ostringstream& s, const StudyResult& study, bool anyExact) {
  s << "<div class=\"wide\"><table id=\"summary\"><thead><tr><th class=\"name\">quantity</th><th>grids</th>"
       "<th class=\"name\">convergence</th><th>p</th><th>&phi;<sub>1</sub></th>"
       "<th>&phi;<sub>ext</sub><sup>21</sup></th><th>e<sub>a</sub><sup>21</sup></th>"
       "<th>GCI<sub>fine</sub><sup>21</sup></th><th>GCI<sub>coarse</sub><sup>32</sup></th>"
       "<th>asymptotic ratio</th>";
  if (anyExact) s << "<th>exact</th><th>error &phi;<sub>1</sub></th><th>error &phi;<sub>ext</sub><sup>21</sup></th>";
  s << "<th class=\"name\">status</th></tr></thead><tbody>\n";
  for (const QuantityStudy& q : study.quantities) {
    const StandardResult& r = q.standard;
    const std::string type(convergenceName(r.convergence));
    s << "<tr><td class=\"name\">" << htmlEscaped(q.name) << "</td><td>" << r.grids
      << "</td><td class=\"name\"><span class=\"conv " << type << "\">" << type << "</span></td><td>"
      << num(r.order.p, "%.4g") << "</td><td>" << num(r.phi1) << "</td><td>" << likePhi1(r.phiExt21, r.phi1)
      << "</td><td>" << changeText(q, r.ea21) << "</td><td>" << pct(r.gciFine21) << "</td><td>"
      << pct(r.gciCoarse32) << "</td><td>" << num(r.asymptoticRatio, "%.7g") << "</td>";
    if (anyExact) {
      s << "<td>" << num(r.exact) << "</td><td>" << pct(r.relErrorPhi1) << "</td><td>"
        << pct(r.relErrorExt21) << "</td>";
    }
    s << "<td class=\"text\">" << htmlEscaped(q.status) << "</td></tr>\n";
  }
  s << "</tbody></table></div>\n";
}

std::string uText(std::optional<double> u) { return u ? num(*u, "%.4g") : "&ndash;"; }

// Per quantity, the uncertainty of phi1 by each estimator, side by side.
// What the names of the least-squares fits mean.
const char* kFitLegend =
    "<p class=\"legend\">Fits (E&ccedil;a &amp; Hoekstra 2014): <b>p</b> &phi;<sub>0</sub> + &alpha; h<sup>p</sup> "
    "(p free), <b>h</b> &phi;<sub>0</sub> + &alpha; h, <b>h2</b> &phi;<sub>0</sub> + &alpha; h<sup>2</sup>, "
    "<b>h+h2</b> &phi;<sub>0</sub> + &alpha;<sub>1</sub> h + &alpha;<sub>2</sub> h<sup>2</sup>; a <b>w</b> "
    "after the name: weighted by 1/h.</p>\n";

void uncertaintyTable(std::ostringstream& s, const StudyResult& study, bool anyExact) {
  s << "<h2 id=\"uncertainty\">Uncertainty of &phi;<sub>1</sub> by every estimator</h2>\n"
       "<p>Absolute uncertainties U of the finest-grid value, &phi;<sub>1</sub> &plusmn; U: the GCI "
       "(Roache; Celik et al. 2008), least squares over all grids (E&ccedil;a &amp; Hoekstra 2014, J. "
       "Comput. Phys. 262, 104&ndash;130; four grids or more), the correction factor (Stern et al. "
       "2001, J. Fluids Eng. 123, 793&ndash;802) and the factor of safety (Xing &amp; Stern 2010, J. "
       "Fluids Eng. 132, 061403), the last two from the observed order of the three finest grids. "
       "A dash: the estimator does not apply. The conservative GCI uses the theoretical order and "
       "F<sub>s</sub> = 3 (Roache 1997); the oscillation uncertainty is half the range of an "
       "oscillating triplet (Stern et al. 2001, after ITTC 7.5-03-01-01).</p>\n" << kFitLegend;
  s << "<div class=\"wide\"><table id=\"uncertainties\"><thead><tr><th class=\"name\">quantity</th>"
       "<th>&phi;<sub>1</sub></th>";
  for (const Estimator& e : estimators()) s << "<th>U " << e.name << "</th>";
  s << "<th class=\"name\">least-squares fit</th><th>p (free order)</th><th>&sigma;</th><th>F<sub>s</sub></th>";
  if (study.settings.targetGci) s << "<th>h for GCI " << pct(*study.settings.targetGci) << "</th><th>cells</th>";
  if (anyExact) s << "<th>|E| of &phi;<sub>1</sub></th>";
  s << "</tr></thead><tbody>\n";
  for (const QuantityStudy& q : study.quantities) {
    s << "<tr><td class=\"name\">" << htmlEscaped(q.name) << "</td><td>" << num(q.standard.phi1) << "</td>";
    for (const Estimator& e : estimators()) s << "<td>" << uText(e.u(q.uncertainty)) << "</td>";
    if (const auto& ls = q.uncertainty.leastSquares) {
      s << "<td class=\"name\">" << ls->chosenFit().name << "</td><td>" << num(ls->p, "%.4g")
        << (ls->pAtBracketEnd ? " (bracket end)" : "") << "</td><td>" << num(ls->sigma, "%.3g")
        << "</td><td>" << num(ls->fs) << "</td>";
    } else {
      s << "<td class=\"name\">&ndash;</td><td>&ndash;</td><td>&ndash;</td><td>&ndash;</td>";
    }
    if (study.settings.targetGci) s << "<td>" << uText(q.uncertainty.hTarget) << "</td><td>" << uText(q.uncertainty.cellsTarget) << "</td>";
    if (anyExact) s << "<td>" << num(std::fabs(q.standard.errorPhi1), "%.4g") << "</td>";
    s << "</tr>\n";
  }
  s << "</tbody></table></div>\n";
}

// Each estimator judged against the true errors of phi1.
void judgementTable(std::ostringstream& s, const StudyResult& study) {
  bool any = false;
  for (const auto& t : study.judgements) any |= t.has_value();
  if (!any) return;
  s << "<h2 id=\"truth\">The estimators judged against the true error</h2>\n"
       "<p>Per estimator, over the quantities with an exact value: how often U bounds the true "
       "error |E| of &phi;<sub>1</sub>, and U/|E| (its median, and the 10th to 90th percentile). "
       "A trustworthy estimator bounds the error most of the time without being wildly "
       "pessimistic (U/|E| from 1 to a few).</p>\n";
  s << "<table id=\"judged\"><thead><tr><th class=\"name\">estimator</th><th>quantities</th>"
       "<th>bounded</th><th>share</th><th>median U/|E|</th><th>10&ndash;90&nbsp;% of U/|E|</th></tr></thead><tbody>\n";
  for (size_t k = 0; k < study.judgements.size(); ++k) {
    const auto& t = study.judgements[k];
    if (!t) continue;
    s << "<tr><td class=\"name\">" << estimators()[k].name << "</td><td>" << t->count << "</td><td>"
      << t->bounded << "</td><td>" << pct(t->boundedShare) << "</td>";
    if (t->ratioCount > 0) {
      s << "<td>" << num(t->medianRatio, "%.3g") << "</td><td>" << num(t->ratioP10, "%.3g") << " &ndash; "
        << num(t->ratioP90, "%.3g") << "</td>";
    } else {
      s << "<td>&ndash;</td><td>&ndash;</td>";
    }
    s << "</tr>\n";
  }
  s << "</tbody></table>\n";
}

void seriesTable(std::ostringstream& s, const StudyResult& study, const QuantityStudy& q) {
  const std::vector<double> h = study.spacings(q);
  const std::vector<size_t> grid = study.gridNumbers(q);
  s << "<details><summary>The series over all " << h.size()
    << (q.grids ? " grids with a value" : " grids")
    << " (grid 1 the finest; each entry uses this grid and the coarser ones)</summary>\n"
    << "<table><thead><tr><th>grid</th><th>h</th><th>&phi;</th>";
  for (const SeriesColumn& c : seriesColumns()) {
    s << "<th title=\"" << htmlEscaped(std::string(c.meaning)) << "\">" << c.name << "</th>";
  }
  s << "</tr></thead><tbody>\n";
  for (size_t i = 0; i < h.size(); ++i) {
    s << "<tr><td>" << grid[i] << "</td><td>" << num(h[i]) << "</td><td>" << num(q.values[i]) << "</td>";
    for (const SeriesColumn& c : seriesColumns()) s << "<td>" << num((q.series.value().*c.values)[i]) << "</td>";
    s << "</tr>\n";
  }
  s << "</tbody></table></details>\n";
}

void distribution(std::ostringstream& s, const StudyResult& study) {
  s << "<h2>Distribution over " << study.quantities.size() << " quantities</h2>\n";
  distributionHtml(s, study.distribution, nullptr, "quantities", "d-");
  // Where each estimator applies, and how large its U is relative to |phi1|.
  s << "<h3>Uncertainty estimators</h3><table><thead><tr><th class=\"name\">estimator</th><th>applies to</th>"
       "<th>median U/|&phi;<sub>1</sub>|</th></tr></thead><tbody>\n";
  for (const Estimator& e : estimators()) {
    std::vector<double> relative;
    size_t applies = 0;
    for (const QuantityStudy& q : study.quantities) {
      const std::optional<double> u = e.u(q.uncertainty);
      if (!u) continue;
      ++applies;
      if (q.standard.phi1 != 0.0) relative.push_back(*u / std::fabs(q.standard.phi1));
    }
    double median = NAN;
    if (!relative.empty()) {
      std::nth_element(relative.begin(), relative.begin() + static_cast<std::ptrdiff_t>(relative.size() / 2), relative.end());
      median = relative[relative.size() / 2];
    }
    s << "<tr><td class=\"name\">" << e.name << "</td><td>" << applies << "</td><td>" << pct(median) << "</td></tr>\n";
  }
  s << "</tbody></table>\n";
}

// Under a quantity's plots: the figure files for a paper and what their bars and errors are.
void figureLegend(std::ostringstream& s, const QuantityStudy& q, size_t k) {
  s << "<p class=\"legend figures\">Figures for a paper, beside this page:";
  const char* separator = " ";
  for (std::string_view kind : kFigureKinds) {
    s << separator << "<code>" << kFigureFolder << "/" << figureName(k + 1, kind, "svg") << "</code> (<code>.pdf</code>)";
    separator = " and ";
  }
  s << ". The bars: ";
  if (const Estimator* e = barEstimator(q)) {
    s << "U by " << e->name << " (the first estimator of the table above that applies)"
      << (std::string_view(e->key) == "u_ls" ? ", on every grid" : ", on &phi;<sub>1</sub>");
  } else {
    s << "none, for no estimator applies";
  }
  s << ". The error figure shows |&phi; &minus; &phi;<sub>ext</sub><sup>21</sup>|";
  if (std::isfinite(q.standard.exact)) s << " and the true error |&phi; &minus; exact|";
  s << ", with the observed and theoretical slopes.</p>\n";
}

}  // namespace

void leastSquaresFitsHtml(std::ostringstream& s, const LeastSquaresResult& ls, const char* variable) {
  s << "<details><summary>Least squares: every fit (coefficients of " << variable << "), data range "
    << num(ls.dataRange, "%.4g") << "</summary>\n" << kFitLegend << "<table><thead><tr><th class=\"name\">fit</th>"
       "<th>weighted</th><th>&phi;<sub>0</sub></th><th>&alpha;</th><th>&alpha;<sub>2</sub></th><th>p</th>"
       "<th>&sigma;</th></tr></thead><tbody>\n";
  for (size_t i = 0; i < ls.fits.size(); ++i) {
    const LeastSquaresFit& f = ls.fits[i];
    s << "<tr><td class=\"name\">" << f.name << (i == ls.chosen ? " (chosen)" : "") << "</td><td>"
      << (f.weighted ? "yes" : "no") << "</td><td>" << num(f.phi0, "%.8g") << "</td><td>"
      << num(f.alpha, "%.5g") << "</td><td>"
      << (f.model == ErrorModel::firstAndSecondOrder ? num(f.alpha2, "%.5g") : "&ndash;") << "</td><td>"
      << num(f.p, "%.5g") << (f.pAtBracketEnd ? " (bracket end)" : "") << "</td><td>" << num(f.sigma, "%.4g")
      << "</td></tr>\n";
  }
  s << "</tbody></table></details>\n";
}

std::string reportHtml(const StudyResult& study, const StudyPlots& plots) {
  const StudyCase& in = *study.input;
  bool anyExact = false;
  for (const QuantityStudy& q : study.quantities) anyExact |= std::isfinite(q.standard.exact);
  std::ostringstream s;
  s << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    << "<title>Grid-convergence study: " << htmlEscaped(toUtf8(in.file)) << "</title>\n<style>" << reportStyle()
    << "</style>\n</head>\n<body>\n";
  s << "<h1>Grid-convergence study</h1>\n<p class=\"meta\">" << htmlEscaped(toUtf8(in.file));
  if (!in.title.empty()) s << " &mdash; " << htmlEscaped(in.title);
  s << "<br>" << counted(in.h.size(), "grid", "grids") << ", "
    << counted(study.quantities.size(), "quantity", "quantities") << "; theoretical order " << num(study.settings.theoreticalOrder) << ", safety factor "
    << (std::isfinite(study.settings.safetyFactor) ? num(study.settings.safetyFactor)
                                          : std::string("1.25 (3 with two grids)"))
    << ". Grid 1 is the finest grid.</p>\n";
  if (study.settings.theoreticalOrder != 2.0) {
    s << "<p class=\"note\" id=\"order-note\">The least-squares procedure of E&ccedil;a &amp; Hoekstra (2014) "
         "was published for nominally second-order methods; it is applied here with the theoretical "
         "order p<sub>th</sub> = " << num(study.settings.theoreticalOrder) << " in place of 2.</p>\n";
  }
  s << "<p>Standard procedure of Celik et al. (2008, J. Fluids Eng. 130, 078001) on the three "
       "finest grids. e<sub>a</sub> and the GCI are relative to &phi;<sub>1</sub>; the "
       "asymptotic ratio GCI<sub>coarse</sub><sup>32</sup> / (r<sub>21</sub><sup>p</sup> "
       "GCI<sub>fine</sub><sup>21</sup>) is near 1 in the asymptotic range.</p>\n";
  // Many quantities: the distribution first, the whole table after it.
  if (study.quantities.size() > kMaxPlottedQuantities) distribution(s, study);
  summaryTable(s, study, anyExact);
  uncertaintyTable(s, study, anyExact);
  judgementTable(s, study);
  if (!study.seriesNote.empty()) s << "<p class=\"note\">No series over all grids: " << htmlEscaped(study.seriesNote) << ".</p>\n";
  if (!plots.available) {
    s << "<p class=\"note\" id=\"no-plots\">The plots are unavailable: " << htmlEscaped(plots.note)
      << ". No figures are written in <code>" << kFigureFolder << "/</code>.</p>\n";
  }
  for (size_t k = 0; k < study.quantities.size() && k < kMaxPlottedQuantities; ++k) {
    const QuantityStudy& q = study.quantities[k];
    const StandardResult& r = q.standard;
    const std::string type(convergenceName(r.convergence));
    s << "<h2 id=\"q" << k << "\">" << htmlEscaped(q.name) << " <span class=\"conv " << type << "\">"
      << type << "</span></h2>\n";
    if (std::isfinite(r.phiExt21)) {
      s << "<p>" << (r.hasOrder() ? "p = " + num(r.order.p, "%.4g") : "theoretical order " + num(r.p))
        << ", &phi;<sub>ext</sub><sup>21</sup> = " << likePhi1(r.phiExt21, r.phi1) << ", GCI<sub>fine</sub><sup>21</sup> = "
        << pct(r.gciFine21) << " (&plusmn;&nbsp;" << num(r.gciFine21Absolute, "%.4g")
        << " on &phi;<sub>1</sub> = " << num(r.phi1) << ")";
    } else {
      s << "<p>&phi;<sub>1</sub> = " << num(r.phi1);
    }
    if (std::isfinite(r.exact)) {
      s << "; exact " << num(r.exact) << ", true error of &phi;<sub>1</sub> " << num(r.errorPhi1, "%.4g");
      if (std::isfinite(r.relErrorPhi1) && std::isfinite(r.gciFine21)) {
        s << " (" << pct(r.relErrorPhi1) << ": " << (r.relErrorPhi1 <= r.gciFine21 ? "within" : "NOT within")
          << " GCI<sub>fine</sub><sup>21</sup>)";
      }
    }
    s << ".</p>\n";
    if (q.grids) {
      std::string numbers;
      for (size_t g : study.gridNumbers(q)) numbers += (numbers.empty() ? "" : ", ") + std::to_string(g);
      s << "<p class=\"note\">"
        << (numbers.empty() ? std::string("No grid has a value: every field of this column is empty")
                            : "Studied on grid" + std::string(q.grids->size() > 1 ? "s " : " ") + numbers + " of " +
                                  std::to_string(in.h.size()) + ": the others have no value")
        << ".</p>\n";
    }
    {
      const Uncertainties& u = q.uncertainty;
      s << "<p>Uncertainty of &phi;<sub>1</sub>:";
      const char* separator = " ";
      for (const Estimator& e : estimators()) {
        // The conservative GCI where the observed order is not to be trusted; every other
        // estimator where it applies.
        if (std::string_view(e.key) == "u_gci_th" && !showConservativeGci(r, study.settings.theoreticalOrder)) continue;
        if (const std::optional<double> value = e.u(u)) {
          s << separator << e.name << " &plusmn;&nbsp;" << num(*value, "%.4g");
          separator = "; ";
        }
      }
      if (separator[0] == ' ') s << " none applies";
      if (const auto& ls = u.leastSquares) {
        s << "; least-squares fit " << ls->chosenFit().name << " (free order p = " << num(ls->p, "%.4g")
          << (ls->pAtBracketEnd ? ", at the end of the bracket [" + shortest(kOrderMin) + ", " + shortest(kOrderMax) + "]"
                                : "")
          << "; &sigma; = "
          << num(ls->sigma, "%.3g") << ", F<sub>s</sub> = " << num(ls->fs) << ")";
      } else if (study.settings.leastSquares && r.grids < 4) {
        s << "; no least squares (it needs four grids or more)";
      }
      if (u.correctionFactor) {
        s << "; &delta;<sub>RE</sub> = " << num(u.correctionFactor->deltaRE, "%.4g") << ", CF = "
          << num(u.correctionFactor->correctionFactor, "%.4g") << ", P = " << num(u.factorOfSafety ? u.factorOfSafety->orderRatio : NAN, "%.4g");
      }
      s << ".</p>\n";
    }
    if (!q.findings.empty()) {
      s << "<ul class=\"warn\">\n";
      for (const Finding& f : q.findings) {
        const std::string_view severity = severityName(findingSeverity(f.code));
        s << "<li class=\"" << severity << "\"><b>" << severity << "</b> (" << htmlEscaped(std::string(f.code))
          << "): " << htmlEscaped(f.message) << "</li>\n";
      }
      s << "</ul>\n";
    }
    if (plots.available && k < plots.plots.size()) {
      s << "<div class=\"plots\">\n" << plots.plots[k].values << "\n" << plots.plots[k].convergence << "\n"
        << plots.plots[k].leastSquares << "\n</div>\n";
      figureLegend(s, q, k);
    }
    if (q.uncertainty.leastSquares) leastSquaresFitsHtml(s, *q.uncertainty.leastSquares);
    if (q.series) seriesTable(s, study, q);
  }
  s << "</body>\n</html>\n";
  return s.str();
}

}  // namespace kv::study
