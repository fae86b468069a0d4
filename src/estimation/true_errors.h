// True errors against the exact value, and the effective orders at which they fall. Both run
// only when the run has an exact solution.
#pragma once

#include "run/run.h"

namespace kv {

// E(X)(i) = exactValue - X(i) for
//
//   Th                          i = 1..N
//   Ti_12                       i = 2..N
//   Ti_23, Ti_13, Ti_bi         i = 3..N
//   Ti_pU, Tc_12, Tc_13         i = 3..N, all three undefinedValue where Ti_pU(i) > definedLimit
//   Ti_tri                      i = 4..N
//   Tbi_pU                      i = 5..N, undefinedValue where Tbi_pU(i) > definedLimit
void computeTrueErrors(Run& run);

// pE(X)(i) = log10(R) / log10(r21),  R = E(X)(i-1) / E(X)(i),  r21 = h(i-1) / h(i),
//
// for Th (i = 2..N), Ti_pU, Tc_12, Tc_13 (i = 4..N) and Tbi_pU (i = 6..N). The entry keeps
// its marker when E(i) = 0, when R is not > 0, or (all but Th) when E(i) is not
// < definedLimit; E(i-1) is not tested, so a marker there enters R as a number.
// The pE arrays must hold undefinedValue beforehand.
void computeEffectiveOrders(Run& run);

}  // namespace kv
