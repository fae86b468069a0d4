#include "estimation/apparent_order.h"

#include "estimation/numerics.h"

namespace kv {

namespace {

double variableRatioResidual(double p, double r21, double r32, double q) {
  double logArgument = ((realPower(r21, p) - 1.0) * q) / (realPower(r32, p) - 1.0);
  return p * log10(r21) - log10(logArgument);
}

}  // namespace

void apparentOrder(const RunParameters& params, int N, const GridArray<double>& X,
                   const GridArray<double>& h, int firstGrid, GridArray<double>& order,
                   GridArray<int32_t>& count) {
  for (int i = 1; i <= N; ++i) {
    order(i) = undefinedValue;
    count(i) = 0;
  }
  if (N < firstGrid) return;
  for (int i = firstGrid; i <= N; ++i) {
    double d = X(i) - X(i - 1);
    double q = 0.0;
    if (d != 0.0) q = (X(i - 1) - X(i - 2)) / d;
    if (params.refinementType == 1 && q > 0.0) {
      double r21 = h(i - 1) / h(i);
      order(i) = log10(q) / log10(r21);
    } else if (params.refinementType == 2 && q > 0.0) {
      double r21 = h(i - 1) / h(i);
      double r32 = h(i - 2) / h(i - 1);
      solveVariableRatioOrder(params, params.pUMin, params.pUMax, r21, r32, q, count(i), order(i));
    }
  }
}

void solveVariableRatioOrder(const RunParameters& params, double pLow, double pHigh, double r21,
                             double r32, double q, int32_t& count, double& order) {
  // 64-bit, so that maxIterations + 1 cannot overflow.
  const int64_t maxIterations = params.maxIterations;
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
    if (hi - lo <= params.tolerance) break;
    hi = mid;
    ++k;
  }
  // A root found at the last permitted iteration counts as a failure.
  if (k == maxIterations || k == maxIterations + 1) order = undefinedValue;
}

}  // namespace kv
