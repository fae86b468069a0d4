// Error estimators of the grid value Th(i) that need no exact solution, and the grid
// convergence indices (Roache; Celik et al. 2008, eq. 7-10; Stern et al. 2001 for the
// convergent estimators). Grid numbers count from 1 (the coarsest); r21 = h(i-1)/h(i); an
// undefined Ti_pU(i) marks a grid without an apparent order, where every estimator that needs
// one is undefinedValue.
#pragma once

#include <span>

#include "estimation/parameters.h"
#include "model/grid_series.h"

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
void computeErrorEstimators(GridSeries& g);

//   GCI_pL(i) = Fs * |Th(i) - Th(i-1)| / (r21^pL - 1)             i = 2..N, integer power
//   GCI_p(i)  = Fs * |Th(i) - Th(i-1)| / (r21^p - 1)              i = 3..N, real power,
//               p = pL when pL <= pU(Th)(i), else pU(Th)(i); undefinedValue where Ti_pU(i)
//               is undefined
void gridConvergenceIndices(double Fs, int32_t pL, std::span<const double> h,
                            std::span<const double> Th, std::span<const double> pU_Th,
                            std::span<const double> Ti_pU, std::span<double> GCI_pL,
                            std::span<double> GCI_p);
void computeGci(const EstimationParameters& params, GridSeries& g);

}  // namespace kv
