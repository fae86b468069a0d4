// True errors against the exact value, and the effective orders at which they fall (the
// observed order of the true error, Eça & Hoekstra 2014). Grid numbers count from 1 (the
// coarsest); entries before a quantity's first grid are left as they are.
#pragma once

#include <span>

#include "estimation/parameters.h"
#include "model/grid_series.h"

namespace kv {

// E(i) = exact - X(i) for i = firstGrid..N, or undefinedValue where guard(i) is undefined
// (an empty guard tests nothing).
void trueError(double exact, std::span<const double> X, int firstGrid,
               std::span<const double> guard, std::span<double> E);

// pE(i) = log10(R) / log10(r21),  R = E(i-1) / E(i),  r21 = h(i-1) / h(i),  i = firstGrid..N.
// The entry keeps what it holds when E(i) = 0, when R is not > 0, or (with testMarker) when
// E(i) is not defined; E(i-1) is not tested, so a marker there enters R as a number.
void effectiveOrder(std::span<const double> h, std::span<const double> E, int firstGrid,
                    bool testMarker, std::span<double> pE);

// The true errors of the series:
//
//   Th                          i = 1..N
//   Ti_12                       i = 2..N
//   Ti_23, Ti_13, Ti_bi         i = 3..N
//   Ti_pU, Tc_12, Tc_13         i = 3..N, all three undefinedValue where Ti_pU(i) is undefined
//   Ti_tri                      i = 4..N
//   Tbi_pU                      i = 5..N, undefinedValue where Tbi_pU(i) is undefined
void computeTrueErrors(double exact, GridSeries& g);

// pE of Th (i = 2..N), Ti_pU, Tc_12, Tc_13 (i = 4..N, testing the marker) and Tbi_pU (i = 6..N,
// testing the marker). The pE arrays must hold undefinedValue beforehand.
void computeEffectiveOrders(GridSeries& g);

}  // namespace kv
