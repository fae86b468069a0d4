// Error estimators of the grid value Th(i) that need no exact solution, and the grid
// convergence indices. r21 = h(i-1)/h(i); Ti_pU(i) > definedLimit marks a grid without an
// apparent order, where every estimator that needs one is undefinedValue.
#pragma once

#include "run/run.h"

namespace kv {

// In this order:
//
//   Ud(i)     = |Th(i) - Th(i-1)|                                  i = 2..N
//   Uri_12(i) = Ti_12(i) - Th(i)                                   i = 2..N
//   Uri_13(i) = Ti_13(i) - Th(i),  Uri_23(i) = Ti_23(i) - Th(i),
//   Uri_bi(i) = Ti_bi(i) - Th(i)                                   i = 3..N
//   Uri_pU(i) = Ti_pU(i) - Th(i)
//   Uri_p(i)  = sign * M,  M = |Uri_12(i)| unless |Uri_pU(i)| is strictly greater,
//               sign = -1 when Th(i) - Th(i-1) < 0, else +1
//   Uc_12(i)  = |Ti_12(i) - Ti_pU(i)| * 0.5,  Uc_13(i) = |Ti_13(i) - Ti_pU(i)| * 0.5
//   Uri_tri(i) = Ti_tri(i) - Th(i)                                 i = 4..N
void computeErrorEstimators(Run& run);

//   GCI_pL(i) = Fs * |Th(i) - Th(i-1)| / (r21^pL - 1)             i = 2..N, integer power
//   GCI_p(i)  = Fs * |Th(i) - Th(i-1)| / (r21^p - 1)              i = 3..N, real power,
//               p = pL when pL <= pU(Th)(i), else pU(Th)(i)
void computeGci(Run& run);

}  // namespace kv
