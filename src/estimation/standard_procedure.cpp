#include "estimation/standard_procedure.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "estimation/uncertainty.h"

namespace kv {

namespace {

bool finite(double x) { return std::isfinite(x); }

}  // namespace

std::string_view convergenceName(ConvergenceType type) {
  switch (type) {
    case ConvergenceType::MonotonicConvergence:
      return "monotonic-convergence";
    case ConvergenceType::OscillatoryConvergence:
      return "oscillatory-convergence";
    case ConvergenceType::MonotonicDivergence:
      return "monotonic-divergence";
    case ConvergenceType::OscillatoryDivergence:
      return "oscillatory-divergence";
    case ConvergenceType::TwoGrids:
      return "two-grids";
    case ConvergenceType::NoChange:
      return "no-change";
    case ConvergenceType::WithinNoise:
      return "within-noise";
    case ConvergenceType::Undetermined:
      break;
  }
  return "undetermined";
}

ConvergenceType classifyConvergence(double eps21, double eps32) {
  if (!finite(eps21) || !finite(eps32)) return ConvergenceType::Undetermined;
  if (eps21 == 0.0 && eps32 == 0.0) return ConvergenceType::NoChange;
  if (eps21 == 0.0 || eps32 == 0.0) return ConvergenceType::Undetermined;
  // |R| < 1 compared without dividing, which could underflow or overflow.
  const bool converges = std::fabs(eps21) < std::fabs(eps32);
  if ((eps21 > 0.0) == (eps32 > 0.0)) {
    return converges ? ConvergenceType::MonotonicConvergence : ConvergenceType::MonotonicDivergence;
  }
  return converges ? ConvergenceType::OscillatoryConvergence
                   : ConvergenceType::OscillatoryDivergence;
}

std::string_view orderFailureText(OrderFailure failure) {
  switch (failure) {
    case OrderFailure::None:
      return "";
    case OrderFailure::TwoGrids:
      return "two grids: no observed order";
    case OrderFailure::NoChange:
      return "all values equal: nothing to estimate";
    case OrderFailure::FineNoChange:
      return "phi1 = phi2 (eps21 = 0 or within noise): no observed order";
    case OrderFailure::CoarseNoChange:
      return "phi2 = phi3 (eps32 = 0 or within noise): no observed order";
    case OrderFailure::Diverging:
      return "diverging: no positive order fits";
    case OrderFailure::NoRoot:
      return "no solution of the order equation";
    case OrderFailure::WithinNoise:
      return "all changes within noise: no observed order";
    case OrderFailure::RatioNearOne:
      return "refinement ratio near 1: no observed order";
  }
  return "";
}

namespace {

// ln(e^x - 1) for x > 0: no overflow for large x, no cancellation for small x.
double logExpm1(double x) {
  return x > 1.0 ? x + std::log1p(-std::exp(-x)) : std::log(std::expm1(x));
}

// The order equation F(p) = g(p) - L of observedOrder on the logarithms a = ln r21 > 0,
// b = ln r32 > 0 and L = ln|eps32/eps21|.
struct OrderEquation {
  double a, b, L;
  bool monotonic;  // s > 0

  // F(0+): a root p > 0 exists exactly when it is negative.
  double atZero() const { return (monotonic ? std::log(b / a) : 0.0) - L; }

  // F(p) and F'(p) for p > 0.
  void evaluate(double p, double& f, double& df) const {
    const double x = p * b, y = p * a;
    if (monotonic) {
      f = logExpm1(x) - std::log(-std::expm1(-y)) - L;
      df = b / -std::expm1(-x) - a / std::expm1(y);
    } else {
      f = x + std::log1p(std::exp(-x)) - std::log1p(std::exp(-y)) - L;
      df = b / (1.0 + std::exp(-x)) + a / (1.0 + std::exp(y));
    }
  }

  // A start on the side of the root from which Newton's steps do not overshoot, where the two
  // asymptotes of g, g(0+) + p (a + b)/2 near 0 and pb for large p, both bound the root from
  // that side (s > 0: both above the root when b > a, g convex; both below when b < a).
  double start() const {
    const double nearZero = -2.0 * atZero() / (a + b), far = L / b;
    return monotonic && b > a ? std::min(nearZero, far) : std::max(nearZero, far);
  }
};

// The root of eq on (0, kMaxObservedOrder], F(0+) < 0: safeguarded Newton on a bracket
// [lo, hi] with F(lo) < 0 < F(hi) (hi = kMaxObservedOrder unchecked until evaluated).
ObservedOrder solveOrderEquation(const OrderEquation& eq) {
  ObservedOrder result;
  double lo = 0.0, hi = kMaxObservedOrder;
  bool hiChecked = false;
  double p = std::min(eq.start(), kMaxObservedOrder);
  if (!(p > 0.0)) p = 1.0;
  double step = hi - lo, stepBefore = step;
  while (result.iterations < 200) {
    double f = 0.0, df = 0.0;
    eq.evaluate(p, f, df);
    ++result.iterations;
    if (f == 0.0) break;
    if (f < 0.0) {
      if (p == kMaxObservedOrder) {
        result.failure = OrderFailure::NoRoot;  // the root lies beyond the largest order
        return result;
      }
      lo = p;
    } else {
      hi = p;
      hiChecked = true;
    }
    const double newton = f / df;
    if (std::fabs(newton) <= 1e-14 * p) {
      p -= newton;  // converged: the correction is below the resolution sought
      break;
    }
    double next = p - newton;
    const bool inside = std::isfinite(next) && next > lo && next < hi;
    // A Newton step that leaves the bracket, or (bracketed) does not halve the step before
    // last, gives way to bisection; unbracketed from above, the next try is the upper end.
    if (!inside || (hiChecked && std::fabs(next - p) > 0.5 * std::fabs(stepBefore))) {
      next = hiChecked ? 0.5 * (lo + hi) : hi;
    }
    stepBefore = step;
    step = next - p;
    p = next;
    if (std::fabs(step) <= 1e-14 * p) break;
  }
  result.p = p;
  return result;
}

OrderEquation orderEquation(double r21, double r32, double eps21, double eps32) {
  const double ratio = eps32 / eps21;
  return {std::log(r21), std::log(r32), std::log(std::fabs(ratio)), ratio > 0.0};
}

}  // namespace

ObservedOrder observedOrder(double r21, double r32, double eps21, double eps32) {
  ObservedOrder result;
  if (eps21 == 0.0 && eps32 == 0.0) {
    result.failure = OrderFailure::NoChange;
    return result;
  }
  if (eps21 == 0.0) {
    result.failure = OrderFailure::FineNoChange;
    return result;
  }
  if (eps32 == 0.0) {
    result.failure = OrderFailure::CoarseNoChange;
    return result;
  }
  const double ratio = eps32 / eps21;
  const double L = std::log(std::fabs(ratio));
  if (!(r21 > 1.0 && r32 > 1.0 && finite(L) && finite(r21) && finite(r32))) {
    result.failure = OrderFailure::NoRoot;
    return result;
  }
  if (r21 == r32) {
    // Constant ratio: q = 0 (Celik et al. 2008, eq. 3).
    const double p = L / std::log(r21);
    if (p > 0.0 && p <= kMaxObservedOrder) {
      result.p = p;
    } else {
      result.failure = std::fabs(ratio) <= 1.0 ? OrderFailure::Diverging : OrderFailure::NoRoot;
    }
    return result;
  }
  const OrderEquation eq = orderEquation(r21, r32, eps21, eps32);
  if (!(eq.atZero() < 0.0)) {
    result.failure = OrderFailure::Diverging;
    return result;
  }
  return solveOrderEquation(eq);
}

ConvergenceType classifyConvergence(double r21, double r32, double eps21, double eps32) {
  if (r21 == r32) return classifyConvergence(eps21, eps32);
  if (!finite(eps21) || !finite(eps32)) return ConvergenceType::Undetermined;
  if (eps21 == 0.0 && eps32 == 0.0) return ConvergenceType::NoChange;
  if (eps21 == 0.0 || eps32 == 0.0 || !(r21 > 1.0 && r32 > 1.0) || !finite(r21) || !finite(r32)) {
    return ConvergenceType::Undetermined;
  }
  const OrderEquation eq = orderEquation(r21, r32, eps21, eps32);
  const bool converges = eq.atZero() < 0.0;
  if (eq.monotonic) {
    return converges ? ConvergenceType::MonotonicConvergence : ConvergenceType::MonotonicDivergence;
  }
  return converges ? ConvergenceType::OscillatoryConvergence
                   : ConvergenceType::OscillatoryDivergence;
}

bool ratioNearOne(double r) { return std::fabs(r - 1.0) < kMinRatioExcess; }

double noiseFloor(double a, double b, double noise) {
  const double m = std::max(std::fabs(a), std::fabs(b));
  const double ulp = std::nextafter(m, std::numeric_limits<double>::infinity()) - m;
  double floor = std::max(kNoiseUlps * ulp, std::numeric_limits<double>::min());
  if (noise >= 0.0) floor = std::max(floor, noise);
  return floor;
}

Triplet analyseTriplet(double r21, double r32, double phi1, double phi2, double phi3,
                       double noise) {
  Triplet t;
  const double eps21 = phi2 - phi1, eps32 = phi3 - phi2;
  if (eps21 == 0.0 && eps32 == 0.0) {
    t.convergence = ConvergenceType::NoChange;
    t.order.failure = OrderFailure::NoChange;
    return t;
  }
  if (finite(eps21) && finite(eps32)) {
    if (ratioNearOne(r21) || ratioNearOne(r32)) {
      t.order.failure = OrderFailure::RatioNearOne;
      return t;
    }
    const bool quiet21 = std::fabs(eps21) <= noiseFloor(phi1, phi2, noise);
    const bool quiet32 = std::fabs(eps32) <= noiseFloor(phi2, phi3, noise);
    if (quiet21 && quiet32) {
      t.convergence = ConvergenceType::WithinNoise;
      t.order.failure = OrderFailure::WithinNoise;
      return t;
    }
    if (quiet21 || quiet32) {
      t.order.failure = quiet21 ? OrderFailure::FineNoChange : OrderFailure::CoarseNoChange;
      return t;
    }
  }
  if (r21 != r32 && eps21 != 0.0 && eps32 != 0.0 && finite(eps21) && finite(eps32) && r21 > 1.0 && r32 > 1.0 &&
      finite(r21) && finite(r32)) {
    // classifyConvergence and observedOrder on one equation: its logarithms once.
    const OrderEquation eq = orderEquation(r21, r32, eps21, eps32);
    const bool converges = eq.atZero() < 0.0;
    if (eq.monotonic) {
      t.convergence = converges ? ConvergenceType::MonotonicConvergence : ConvergenceType::MonotonicDivergence;
    } else {
      t.convergence = converges ? ConvergenceType::OscillatoryConvergence : ConvergenceType::OscillatoryDivergence;
    }
    if (!finite(eq.L)) {
      t.order.failure = OrderFailure::NoRoot;
    } else if (!converges) {
      t.order.failure = OrderFailure::Diverging;
    } else {
      t.order = solveOrderEquation(eq);
    }
    return t;
  }
  t.convergence = classifyConvergence(r21, r32, eps21, eps32);
  t.order = observedOrder(r21, r32, eps21, eps32);
  return t;
}

namespace {

// The evidence, the finest triplet given when it has been analysed already.
AsymptoticEvidence evidenceOf(std::span<const double> h, std::span<const double> phi, double pTh,
                              double noise, const Triplet* finest) {
  AsymptoticEvidence e;
  const size_t n = std::min(h.size(), phi.size());
  if (n < 3) return e;
  e.triplets = static_cast<int>(n - 2);
  double lowest = std::numeric_limits<double>::infinity(), highest = -lowest, sum = 0.0;
  double distanceBefore = kNotANumber;  // |p - pTh| of the next finer triplet
  bool run = true, approaching = true;
  for (size_t k = 0; k + 2 < n; ++k) {
    const Triplet t = k == 0 && finest != nullptr
                          ? *finest
                          : analyseTriplet(h[k + 1] / h[k], h[k + 2] / h[k + 1], phi[k], phi[k + 1],
                                           phi[k + 2], noise);
    const double p = t.order.failure == OrderFailure::None ? t.order.p : kNotANumber;
    if (k < static_cast<size_t>(AsymptoticEvidence::kKept)) e.orders[k] = p;
    if (!run || !(p == p)) {
      run = false;
      continue;
    }
    ++e.ordered;
    lowest = std::min(lowest, p);
    highest = std::max(highest, p);
    sum += p;
    const double distance = std::fabs(p - pTh);
    if (k > 0 && !(distance > distanceBefore)) approaching = false;
    distanceBefore = distance;
  }
  if (e.ordered == 0) return e;
  e.offTheory = std::fabs(e.orders[0] - pTh) / pTh;
  if (e.ordered == 1) {
    e.verdict = AsymptoticVerdict::OneTriplet;
    return e;
  }
  e.spread = (highest - lowest) / (sum / e.ordered);
  if (e.spread <= kOrderSpreadTolerance) {
    e.verdict = AsymptoticVerdict::Steady;
  } else {
    e.verdict = approaching ? AsymptoticVerdict::Approaching : AsymptoticVerdict::Scattered;
  }
  return e;
}

}  // namespace

AsymptoticEvidence asymptoticEvidence(std::span<const double> h, std::span<const double> phi,
                                      double pTh, double noise) {
  return evidenceOf(h, phi, pTh, noise, nullptr);
}

double richardsonExtrapolation(double phi1, double phi2, double r, double p) {
  const double rp = std::pow(r, p);
  return (rp * phi1 - phi2) / (rp - 1.0);
}

double gridConvergenceIndex(double Fs, double relativeChange, double r, double p) {
  return Fs * relativeChange / (std::pow(r, p) - 1.0);
}

StandardResult standardProcedure(std::span<const double> h, std::span<const double> phi,
                                 double exact, const StandardOptions& options) {
  StandardResult out;
  const size_t n = std::min(h.size(), phi.size());
  out.grids = static_cast<int>(n);
  out.exact = exact;
  if (n < 2) return out;
  const bool three = n >= 3;
  const double pTh = options.theoreticalOrder;
  out.Fs =
      options.safetyFactor == options.safetyFactor ? options.safetyFactor : (three ? 1.25 : 3.0);
  out.h1 = h[0];
  out.h2 = h[1];
  out.phi1 = phi[0];
  out.phi2 = phi[1];
  out.r21 = out.h2 / out.h1;
  out.eps21 = out.phi2 - out.phi1;
  out.noiseFloor = noiseFloor(out.phi1, out.phi2, options.noise);
  double phiMax = std::max(std::fabs(out.phi1), std::fabs(out.phi2));
  if (three) {
    out.h3 = h[2];
    out.phi3 = phi[2];
    out.r32 = out.h3 / out.h2;
    out.eps32 = out.phi3 - out.phi2;
    out.noiseFloor = std::max(out.noiseFloor, noiseFloor(out.phi2, out.phi3, options.noise));
    phiMax = std::max(phiMax, std::fabs(out.phi3));
    if (out.eps32 != 0.0) out.R = out.eps21 / out.eps32;
    const Triplet triplet =
        analyseTriplet(out.r21, out.r32, out.phi1, out.phi2, out.phi3, options.noise);
    out.convergence = triplet.convergence;
    out.order = triplet.order;
    out.p = out.order.p;
    out.evidence = evidenceOf(h.first(n), phi.first(n), pTh, options.noise, &triplet);
  } else if (out.eps21 == 0.0) {
    out.convergence = ConvergenceType::NoChange;
    out.order.failure = OrderFailure::NoChange;
  } else if (finite(out.eps21) && ratioNearOne(out.r21)) {
    out.order.failure = OrderFailure::RatioNearOne;
  } else if (std::fabs(out.eps21) <= out.noiseFloor) {
    out.convergence = ConvergenceType::WithinNoise;
    out.order.failure = OrderFailure::WithinNoise;
  } else {
    out.convergence = finite(out.eps21) ? ConvergenceType::TwoGrids : ConvergenceType::Undetermined;
    out.order.failure = OrderFailure::TwoGrids;
    out.p = pTh;
  }

  const bool nearOne = out.order.failure == OrderFailure::RatioNearOne;
  if (nearOne) {
    out.warnings |= kWarnRatioNearOne;
  } else if (out.r21 < kMinRefinementRatio || (three && out.r32 < kMinRefinementRatio)) {
    out.warnings |= kWarnSmallRatio;
  }
  if (out.convergence == ConvergenceType::WithinNoise) out.warnings |= kWarnWithinNoise;
  if (out.convergence == ConvergenceType::OscillatoryConvergence ||
      out.convergence == ConvergenceType::OscillatoryDivergence) {
    out.warnings |= kWarnOscillatory;
  }
  const bool nearZero = std::fabs(out.phi1) < kNearZeroFraction * phiMax;
  if (nearZero) out.warnings |= kWarnPhiNearZero;

  // Relative change of the two finest grids (Celik et al. 2008, eq. 7).
  out.ea21 = std::fabs(out.eps21 / out.phi1);
  if (out.eps21 == 0.0) out.ea21 = 0.0;
  if (!nearOne) out.gciConservative = gridConvergenceIndex(3.0, out.ea21, out.r21, pTh);

  if (out.p == out.p && out.p > 0.0) {
    const double rp = std::pow(out.r21, out.p);
    out.phiExt21 = richardsonExtrapolation(out.phi1, out.phi2, out.r21, out.p);
    out.eExt21 = std::fabs((out.phiExt21 - out.phi1) / out.phiExt21);
    if (out.phiExt21 == out.phi1) out.eExt21 = 0.0;
    out.gciFine21 = gridConvergenceIndex(out.Fs, out.ea21, out.r21, out.p);
    out.gciFine21Absolute = out.Fs * std::fabs(out.eps21) / (rp - 1.0);
    if (three) {
      const double ea32 = out.eps32 == 0.0 ? 0.0 : std::fabs(out.eps32 / out.phi2);
      out.gciCoarse32 = gridConvergenceIndex(out.Fs, ea32, out.r32, out.p);
      // Roache's check, as peers print it: near 1 in the asymptotic range, but see `evidence`.
      const double ratio = out.gciCoarse32 / (rp * out.gciFine21);
      if (finite(out.gciFine21) && out.gciFine21 > 0.0 && finite(ratio)) {
        out.asymptoticRatio = ratio;
      }
      if (out.evidence.verdict == AsymptoticVerdict::Scattered) {
        out.warnings |= kWarnAsymptoticFarOff;
      } else if (out.evidence.verdict == AsymptoticVerdict::Approaching) {
        out.warnings |= kNoteOrdersApproach;
      }
      if (!(out.p >= 0.5 * pTh && out.p <= 2.0 * pTh)) out.warnings |= kWarnOrderFarOff;
      if (out.convergence == ConvergenceType::MonotonicConvergence &&
          (!correctionFactorCalibrated((rp - 1.0) / (std::pow(out.r21, pTh) - 1.0)) ||
           !factorOfSafetyCalibrated(out.p / pTh))) {
        out.warnings |= kWarnOutsideCalibration;
      }
    }
  }
  if (exact == exact) {
    out.errorPhi1 = out.phi1 - exact;
    out.errorExt21 = out.phiExt21 - exact;
    if (exact != 0.0) {
      out.relErrorPhi1 = std::fabs(out.errorPhi1 / exact);
      out.relErrorExt21 = std::fabs(out.errorExt21 / exact);
    }
  }
  return out;
}

}  // namespace kv
