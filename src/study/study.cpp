#include "study/study.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kv::study {

namespace {

std::string fixed(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string percent(double fraction) { return fixed(100.0 * fraction, "%.3g %%"); }

// The warnings, in the order they are reported.
struct WarningText {
  uint32_t bit;
  const char* code;
  std::string (*message)(const StandardResult&, double pTh);
};

const WarningText kWarnings[] = {
    {kWarnSmallRatio, "ratio<1.3",
     [](const StandardResult& r, double) {
       std::string ratios = "r21 = " + fixed(r.r21, "%.4g");
       if (r.r32 == r.r32) ratios += ", r32 = " + fixed(r.r32, "%.4g");
       return "refinement ratio below 1.3 (" + ratios +
              "): the standard procedure asks for r > 1.3 so that the discretisation error "
              "stands out from other errors; refine further between grids";
     }},
    {kWarnOrderFarOff, "p far from theory",
     [](const StandardResult& r, double pTh) {
       return "observed order p = " + fixed(r.p, "%.4g") + " is outside [" + fixed(0.5 * pTh, "%g") +
              ", " + fixed(2.0 * pTh, "%g") + "] (half to twice the theoretical " +
              fixed(pTh, "%g") + "): the GCI with this p is not reliable; the conservative "
              "GCI with the theoretical order and Fs = 3 is " + percent(r.gciConservative);
     }},
    {kWarnAsymptoticFarOff, "not asymptotic",
     [](const StandardResult& r, double) {
       return "asymptotic ratio GCI_coarse32 / (r21^p GCI_fine21) = " +
              fixed(r.asymptoticRatio, "%.4g") +
              " is far from 1: the grids are not in the asymptotic range, so the error "
              "estimate is not dependable; add a finer grid";
     }},
    {kWarnPhiNearZero, "phi1 near 0",
     [](const StandardResult& r, double) {
       return "phi1 = " + fixed(r.phi1, "%.4g") +
              " is near zero beside the other values: relative errors are meaningless; "
              "absolute ones: |eps21| = " + fixed(std::fabs(r.eps21), "%.4g") +
              ", GCI_fine21 |phi1| = Fs |eps21| / (r21^p - 1) = " +
              fixed(r.gciFine21Absolute, "%.4g");
     }},
};

// Each estimator's U of phi1, in the order of the report.
constexpr Estimator kEstimators[] = {
    {"GCI", "u_gci", [](const Uncertainties& u) { return u.gci; }},
    {"least squares", "u_ls", [](const Uncertainties& u) { return u.leastSquaresU(); }},
    {"correction factor", "u_cf",
     [](const Uncertainties& u) {
       return u.correctionFactor ? std::optional<double>(u.correctionFactor->u) : std::nullopt;
     }},
    {"factor of safety", "u_fs",
     [](const Uncertainties& u) {
       return u.factorOfSafety ? std::optional<double>(u.factorOfSafety->u) : std::nullopt;
     }},
};

// The four uncertainties of one quantity over its grids (finest first) and, with a target, the
// grid it needs (with cell counts, its cell count too).
Uncertainties uncertainties(const StandardResult& r, std::span<const double> h,
                            std::span<const double> values, const StudySettings& settings) {
  const double pTh = settings.theoreticalOrder;
  const std::optional<double>& targetGci = settings.targetGci;
  Uncertainties u;
  u.gci = gciUncertainty(r.gciFine21, r.phi1);
  if (settings.leastSquares && h.size() >= 4) {
    LeastSquaresResult ls = leastSquaresUncertainty(h, values, pTh);
    if (ls.status == LeastSquaresStatus::ok) u.leastSquares = std::move(ls);
  }
  // Correction factor and factor of safety need an observed order: three grids that converge
  // or oscillate towards a value.
  if (r.hasOrder() && r.grids >= 3) {
    u.correctionFactor = correctionFactorUncertainty(r.eps21, r.r21, r.order.p, pTh);
    u.factorOfSafety = factorOfSafetyUncertainty(r.eps21, r.r21, r.order.p, pTh);
    if (targetGci) {
      u.hTarget = targetSpacing(r.h1, r.gciFine21, *targetGci, r.order.p);
      if (u.hTarget && settings.dimension > 0) {
        u.cellsTarget = targetCells(settings.cells1, r.h1, *u.hTarget, settings.dimension);
      }
    }
  }
  return u;
}

}  // namespace

std::span<const Estimator> estimators() { return kEstimators; }

std::optional<double> Uncertainties::leastSquaresU() const {
  if (!leastSquares || leastSquares->u.empty()) return std::nullopt;
  return leastSquares->u.front();
}

std::string shortest(double value) {
  if (!std::isfinite(value)) return "";
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string();
}

bool QuantityStudy::converges() const {
  return standard.convergence == ConvergenceType::MonotonicConvergence && standard.hasOrder();
}

StudySettings resolveSettings(const StudyOptions& options, std::optional<double> caseOrder,
                              std::optional<double> caseSafetyFactor) {
  StudySettings s;
  s.theoreticalOrder = options.order.value_or(caseOrder.value_or(2.0));
  s.safetyFactor = options.fs.value_or(caseSafetyFactor.value_or(kNotANumber));
  s.targetGci = options.targetGci;
  s.leastSquares = options.leastSquares;
  const double p = s.theoreticalOrder;
  s.series = p == std::floor(p) && std::fabs(p) < 1000;
  return s;
}

PointStudy::PointStudy(std::vector<double> h, StudySettings settings)
    : h_(std::move(h)),
      settings_(std::move(settings)),
      standard_{.theoreticalOrder = settings_.theoreticalOrder, .safetyFactor = settings_.safetyFactor} {}

QuantityStudy PointStudy::operator()(std::string name, std::span<const double> values, double exact) const {
  QuantityStudy q;
  q.name = std::move(name);
  q.values.assign(values.begin(), values.end());
  // An exact value that is not finite is unknown.
  q.standard = standardProcedure(h_, values, std::isfinite(exact) ? exact : kNotANumber, standard_);
  const StandardResult& r = q.standard;
  if (r.order.failure != OrderFailure::None && r.order.failure != OrderFailure::TwoGrids) {
    q.findings.push_back({std::string(orderFailureText(r.order.failure)),
                          std::string(orderFailureText(r.order.failure)) +
                              ": no extrapolation and no GCI; see the series over all grids"});
  }
  for (const WarningText& w : kWarnings) {
    if (r.warnings & w.bit) q.findings.push_back({w.code, w.message(r, settings_.theoreticalOrder)});
  }
  q.status = q.findings.empty() ? "ok" : "";
  for (size_t k = 0; k < q.findings.size(); ++k) {
    q.status += (k ? "; " : "") + q.findings[k].code;
  }
  if (settings_.series) {
    q.series = classicSeries(h_, values, static_cast<int>(settings_.theoreticalOrder), r.Fs, settings_.classic);
  }
  q.uncertainty = uncertainties(r, h_, values, settings_);
  return q;
}

StudyResult runStudy(const StudyCase& input, const StudyOptions& options) {
  StudyResult out;
  out.input = &input;
  out.settings = resolveSettings(options, input.theoreticalOrder, input.safetyFactor);
  out.settings.classic = input.classic;
  if (!input.cells.empty()) {
    out.settings.cells1 = input.cells.front();
    out.settings.dimension = input.dimension;
  }
  if (!out.settings.series) {
    out.seriesNote = "the series over all grids needs an integer theoretical order";
  }
  const PointStudy study(input.h, out.settings);
  out.quantities.reserve(input.quantities.size());
  for (const Quantity& q : input.quantities) {
    out.quantities.push_back(study(q.name, q.values, q.exact));
    out.distribution.add(out.quantities.size() - 1, out.quantities.back());
  }
  // Each estimator against the true errors of phi1, where they are known.
  for (const Estimator& e : kEstimators) {
    std::vector<double> u, error;
    for (const QuantityStudy& q : out.quantities) {
      u.push_back(e.u(q.uncertainty).value_or(kNotANumber));
      error.push_back(q.standard.errorPhi1);
    }
    out.judgements.push_back(judgeAgainstTruth(u, error));
  }
  return out;
}

}  // namespace kv::study
