#include "estimation/standard_procedure.h"

#include <algorithm>
#include <cmath>

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
    case ConvergenceType::Undetermined:
      break;
  }
  return "undetermined";
}

ConvergenceType classifyConvergence(double eps21, double eps32) {
  if (!finite(eps21) || !finite(eps32)) return ConvergenceType::Undetermined;
  if (eps21 == 0.0 && eps32 == 0.0) return ConvergenceType::NoChange;
  if (eps21 == 0.0 || eps32 == 0.0) return ConvergenceType::Undetermined;
  const double R = eps21 / eps32;
  if (R > 0.0) return R < 1.0 ? ConvergenceType::MonotonicConvergence
                              : ConvergenceType::MonotonicDivergence;
  return R > -1.0 ? ConvergenceType::OscillatoryConvergence
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
      return "phi1 = phi2 (eps21 = 0): no observed order";
    case OrderFailure::CoarseNoChange:
      return "phi2 = phi3 (eps32 = 0): no observed order";
    case OrderFailure::Diverging:
      return "diverging: no positive order fits";
    case OrderFailure::NoRoot:
      return "no solution of the order equation";
  }
  return "";
}

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
  const bool diverging = std::fabs(ratio) <= 1.0;
  if (!(r21 > 1.0 && r32 > 1.0 && finite(L))) {
    result.failure = OrderFailure::NoRoot;
    return result;
  }
  const double lnR21 = std::log(r21);
  if (r21 == r32) {
    // Constant ratio: q = 0 (Celik et al. 2008, eq. 3).
    const double p = L / lnR21;
    if (p > 0.0 && p <= kMaxObservedOrder) {
      result.p = p;
    } else {
      result.failure = diverging ? OrderFailure::Diverging : OrderFailure::NoRoot;
    }
    return result;
  }
  const double s = ratio > 0.0 ? 1.0 : -1.0;
  // F(p) = p ln r21 - q(p) - ln|eps32/eps21|; a root p > 0 is the observed order.
  auto F = [&](double p) {
    return p * lnR21 - std::log((std::pow(r21, p) - s) / (std::pow(r32, p) - s)) - L;
  };
  // Scan geometrically from 1e-6 up to the largest order, for the first change of sign.
  double lo = 1e-6;
  double fLo = F(lo);
  double hi = lo;
  bool bracketed = false;
  while (lo < kMaxObservedOrder) {
    hi = std::min(lo * 1.25 + 1e-3, kMaxObservedOrder);
    const double fHi = F(hi);
    if (!finite(fHi)) break;
    if (fLo == 0.0 || (fLo < 0.0) != (fHi < 0.0)) {
      bracketed = true;
      break;
    }
    lo = hi;
    fLo = fHi;
  }
  if (!bracketed) {
    result.failure = diverging ? OrderFailure::Diverging : OrderFailure::NoRoot;
    return result;
  }
  // Bisection: the bracket halves at every step, so the result is within 1e-12 of a root.
  int iterations = 0;
  while (hi - lo > 1e-12 && iterations < 200) {
    const double mid = 0.5 * (lo + hi);
    const double fMid = F(mid);
    if (fMid == 0.0) {
      lo = hi = mid;
      break;
    }
    if ((fMid < 0.0) == (fLo < 0.0)) {
      lo = mid;
      fLo = fMid;
    } else {
      hi = mid;
    }
    ++iterations;
  }
  result.p = 0.5 * (lo + hi);
  result.iterations = iterations;
  return result;
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
  out.Fs = options.safetyFactor == options.safetyFactor ? options.safetyFactor
                                                        : (three ? 1.25 : 3.0);
  out.h1 = h[0];
  out.h2 = h[1];
  out.phi1 = phi[0];
  out.phi2 = phi[1];
  out.r21 = out.h2 / out.h1;
  out.eps21 = out.phi2 - out.phi1;
  double phiMax = std::max(std::fabs(out.phi1), std::fabs(out.phi2));
  if (three) {
    out.h3 = h[2];
    out.phi3 = phi[2];
    out.r32 = out.h3 / out.h2;
    out.eps32 = out.phi3 - out.phi2;
    phiMax = std::max(phiMax, std::fabs(out.phi3));
    if (out.eps32 != 0.0) out.R = out.eps21 / out.eps32;
    out.convergence = classifyConvergence(out.eps21, out.eps32);
    out.order = observedOrder(out.r21, out.r32, out.eps21, out.eps32);
    out.p = out.order.p;
  } else if (out.eps21 == 0.0) {
    out.convergence = ConvergenceType::NoChange;
    out.order.failure = OrderFailure::NoChange;
  } else {
    out.convergence = finite(out.eps21) ? ConvergenceType::TwoGrids : ConvergenceType::Undetermined;
    out.order.failure = OrderFailure::TwoGrids;
    out.p = pTh;
  }

  if (out.r21 < kMinRefinementRatio || (three && out.r32 < kMinRefinementRatio)) {
    out.warnings |= kWarnSmallRatio;
  }
  const bool nearZero = std::fabs(out.phi1) < kNearZeroFraction * phiMax;
  if (nearZero) out.warnings |= kWarnPhiNearZero;

  // Relative change of the two finest grids (Celik et al. 2008, eq. 7).
  out.ea21 = std::fabs(out.eps21 / out.phi1);
  if (out.eps21 == 0.0) out.ea21 = 0.0;
  out.gciConservative = gridConvergenceIndex(3.0, out.ea21, out.r21, pTh);

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
      // Roache's check of the asymptotic range: near 1 when it is reached.
      out.asymptoticRatio = out.gciCoarse32 / (rp * out.gciFine21);
      if (!(std::fabs(out.asymptoticRatio - 1.0) <= kAsymptoticTolerance)) {
        out.warnings |= kWarnAsymptoticFarOff;
      }
      if (!(out.p >= 0.5 * pTh && out.p <= 2.0 * pTh)) out.warnings |= kWarnOrderFarOff;
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
