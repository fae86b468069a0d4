// Apparent order of accuracy of a series of grid values: the order that three consecutive
// values show through the ratio of their successive differences (Roache; Celik et al. 2008).
#pragma once

#include <cstdint>
#include <span>

#include "estimation/parameters.h"

namespace kv {

// Fills order and count (one entry per grid, grid 1 the coarsest, as h) for the series X on the
// spacings h. Every entry starts at undefinedValue and 0; then, for i = firstGrid..N (nothing
// when N < firstGrid), with grid numbers counted from 1,
//
//   q = (X(i-1) - X(i-2)) / (X(i) - X(i-1)),   q = 0 when X(i) = X(i-1),
//
// and only when q > 0:
//
//   Refinement::Constant:  order(i) = log10(q) / log10(r21),          r21 = h(i-1) / h(i);
//   Refinement::Variable:  order(i) = root p of solveVariableRatioOrder, r32 = h(i-2) / h(i-1).
//
// Any other q or refinement leaves the marker. Series values are not tested: a marker inside X
// enters the differences like any other number. firstGrid must be at least 3; X, order and count
// hold at least h.size() entries.
void apparentOrder(const EstimationParameters& params, std::span<const double> h,
                   std::span<const double> X, int firstGrid, std::span<double> order,
                   std::span<int32_t> count);

// One bisection for the order p of a variable refinement ratio, the root of
//
//   F(p) = p * log10(r21) - log10( ((r21^p - 1) * q) / (r32^p - 1) )
//
// (r21^p (r32^p - 1) / (r21^p - 1) = q; real powers; Celik et al. 2008, eq. 3-5), on the
// bracket [pLow, pHigh], with the bisection's maxIterations and tolerance. Iteration
// k = 1, 2, ... takes mid = (lo + hi) * 0.5, stores order = mid and evaluates F(lo) afresh and
// F(mid):
//
//   F(lo) * F(mid) > 0:  lo = mid (no sign change in the lower half);
//   otherwise:           count = k; stop if hi - lo <= tolerance (the width before halving),
//                        else hi = mid.
//
// The search fails, and order becomes undefinedValue, when it stops at k = maxIterations
// or runs out (k = maxIterations + 1); a failed search may leave a nonzero count. With
// maxIterations <= 0 the loop does not run and only maxIterations = 0 writes the marker, so
// the caller passes entries that already hold undefinedValue and 0.
void solveVariableRatioOrder(const Bisection& bisection, double pLow, double pHigh, double r21,
                             double r32, double q, int32_t& count, double& order);

}  // namespace kv
