#include "estimation/apparent_order.h"

#include <cassert>

#include "base/numerics.h"
#include "estimation/grid_view.h"

namespace kv {

namespace {

double variableRatioResidual(double p, double r21, double r32, double q) {
  double logArgument = ((realPower(r21, p) - 1.0) * q) / (realPower(r32, p) - 1.0);
  return p * log10(r21) - log10(logArgument);
}

}  // namespace

void apparentOrder(const EstimationParameters& params, std::span<const double> hs,
                   std::span<const double> Xs, int firstGrid, std::span<double> orders,
                   std::span<int32_t> counts) {
  const int N = static_cast<int>(hs.size());
  assert(Xs.size() >= hs.size() && orders.size() >= hs.size() && counts.size() >= hs.size());
  GridView h(hs), X(Xs);
  GridView order(orders);
  GridView count(counts);
  for (int i = 1; i <= N; ++i) {
    order(i) = undefinedValue;
    count(i) = 0;
  }
  if (N < firstGrid) return;
  for (int i = firstGrid; i <= N; ++i) {
    double d = X(i) - X(i - 1);
    double q = 0.0;
    if (d != 0.0) q = (X(i - 1) - X(i - 2)) / d;
    if (!(q > 0.0)) continue;
    if (params.refinement == Refinement::Constant) {
      double r21 = h(i - 1) / h(i);
      order(i) = log10(q) / log10(r21);
    } else if (params.refinement == Refinement::Variable) {
      double r21 = h(i - 1) / h(i);
      double r32 = h(i - 2) / h(i - 1);
      solveVariableRatioOrder(params.bisection, params.bisection.pMin, params.bisection.pMax, r21,
                              r32, q, count(i), order(i));
    }
  }
}

void solveVariableRatioOrder(const Bisection& bisection, double pLow, double pHigh, double r21,
                             double r32, double q, int32_t& count, double& order) {
  // 64-bit, so that maxIterations + 1 cannot overflow.
  const int64_t maxIterations = bisection.maxIterations;
  double lo = pLow;
  double hi = pHigh;
  int64_t k = 1;
  while (k <= maxIterations) {
    double mid = (lo + hi) * 0.5;
    order = mid;
    double fLo = variableRatioResidual(lo, r21, r32, q);
    double fMid = variableRatioResidual(mid, r21, r32, q);
    if (fLo * fMid > 0.0) {
      lo = mid;
      ++k;
      continue;
    }
    count = static_cast<int32_t>(k);
    if (hi - lo <= bisection.tolerance) break;
    hi = mid;
    ++k;
  }
  // A root found at the last permitted iteration counts as a failure.
  if (k == maxIterations || k == maxIterations + 1) order = undefinedValue;
}

}  // namespace kv
