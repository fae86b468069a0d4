#include "study/study.h"

#include <cmath>
#include <cstdio>

#include "estimation/verdict.h"

namespace kv::study {

namespace {

// The four uncertainties of one quantity over its grids (finest first) and, with a target, the
// grid it needs (with cell counts, its cell count too).
// The uncertainties into `u`, whose least-squares result keeps its storage from point to point.
void uncertainties(const StandardResult& r, std::span<const double> values, const StudySettings& settings,
                   const LeastSquaresPlan* plan, Uncertainties& u) {
  const double pTh = settings.theoreticalOrder;
  const std::optional<double>& targetGci = settings.targetGci;
  u.gciTheory.reset();
  u.hTarget.reset();
  u.cellsTarget.reset();
  u.gci = gciUncertainty(r.gciFine21, r.phi1);
  if (r.grids >= 3 && r.convergence != ConvergenceType::WithinNoise && r.order.failure != OrderFailure::RatioNearOne &&
      r.convergence != ConvergenceType::NoChange) {
    u.gciTheory = conservativeGciUncertainty(r.eps21, r.r21, pTh);
  }
  if (plan != nullptr && plan->status == LeastSquaresStatus::ok) {
    if (!u.leastSquares) u.leastSquares.emplace();
    leastSquaresUncertainty(*plan, values, *u.leastSquares);
    if (u.leastSquares->status != LeastSquaresStatus::ok) u.leastSquares.reset();
  } else {
    u.leastSquares.reset();
  }
  // Correction factor and factor of safety: a monotonic error expansion of three grids;
  // oscillation: half the range of an oscillating triplet (verdict.h).
  u.correctionFactor = correctionFactorFor(r, pTh);
  u.factorOfSafety = factorOfSafetyFor(r, pTh);
  u.oscillation = oscillationUncertaintyFor(r);
  if (r.hasOrder() && r.grids >= 3) {
    if (targetGci) {
      u.hTarget = targetSpacing(r.h1, r.gciFine21, *targetGci, r.order.p);
      if (u.hTarget && settings.dimension > 0) {
        u.cellsTarget = targetCells(settings.cells1, r.h1, *u.hTarget, settings.dimension);
      }
    }
  }
}

}  // namespace

StudySettings resolveSettings(const StudyOptions& options, std::optional<double> caseOrder,
                              std::optional<double> caseSafetyFactor) {
  StudySettings s;
  s.theoreticalOrder = options.order.value_or(caseOrder.value_or(2.0));
  s.safetyFactor = options.fs.value_or(caseSafetyFactor.value_or(kNotANumber));
  s.targetGci = options.targetGci;
  s.leastSquares = options.leastSquares;
  s.noise = options.noise;
  const double p = s.theoreticalOrder;
  s.series = p == std::floor(p) && std::fabs(p) < 1000;
  return s;
}

StudySettings fieldSettings(const StudyOptions& options, std::optional<double> caseOrder,
                            std::optional<double> caseSafetyFactor, double cells1, int dimension) {
  StudySettings s = resolveSettings(options, caseOrder, caseSafetyFactor);
  s.series = false;
  s.findingMessages = false;
  s.cells1 = cells1;
  s.dimension = std::isnan(cells1) ? 0 : dimension;
  return s;
}

PointStudy::PointStudy(std::vector<double> h, StudySettings settings)
    : h_(std::move(h)),
      settings_(std::move(settings)),
      standard_{.theoreticalOrder = settings_.theoreticalOrder, .safetyFactor = settings_.safetyFactor,
                .noise = settings_.noise.value_or(kNotANumber)} {
  // What least squares needs of the spacings, once for every point.
  if (settings_.leastSquares && h_.size() >= 4) plan_ = makeLeastSquaresPlan(h_, settings_.theoreticalOrder);
}

QuantityStudy PointStudy::operator()(std::string name, std::span<const double> values, double exact) const {
  QuantityStudy q;
  study(q, name, values, exact);
  return q;
}

void PointStudy::study(QuantityStudy& q, std::string_view name, std::span<const double> values,
                       double exact) const {
  q.name.assign(name);
  q.values.assign(values.begin(), values.end());
  // An exact value that is not finite is unknown.
  q.standard = standardProcedure(h_, values, std::isfinite(exact) ? exact : kNotANumber, standard_);
  const StandardResult& r = q.standard;
  q.findings.clear();
  appendStatusFindings(r, settings_.theoreticalOrder, settings_.findingMessages, q.findings);
  uncertainties(r, values, settings_, plan_ ? &*plan_ : nullptr, q.uncertainty);
  if (q.uncertainty.leastSquares) {
    appendLeastSquaresFindings(*q.uncertainty.leastSquares, settings_.findingMessages, q.findings);
  }
  q.status.assign(q.findings.empty() ? "ok" : "");
  for (size_t k = 0; k < q.findings.size(); ++k) {
    if (k) q.status += "; ";
    q.status += q.findings[k].code;
  }
  q.series.reset();
  if (settings_.series) {
    q.series = classicSeries(h_, values, static_cast<int>(settings_.theoreticalOrder), r.Fs, settings_.classic);
  }
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
  for (const Estimator& e : estimators()) {
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
