// Richardson extrapolations and convergent values of the grid values Th (Richardson; Roache;
// Celik et al. 2008, eq. 6). Every quantity is stored at the finest grid it uses; grid numbers
// count from 1 (the coarsest), r21 = h(i-1)/h(i), r32 = h(i-2)/h(i-1), r31 = r21 * r32. Powers
// with pL or deltaP in the exponent are integer powers, powers with an apparent order are real
// powers. Every span holds at least h.size() entries; entries before a quantity's first grid
// are left as they are.
#pragma once

#include <cstdint>
#include <span>

#include "estimation/parameters.h"
#include "model/grid_series.h"

namespace kv {

//   Ti_12(i) = Th(i)   + (Th(i)   - Th(i-1)) / (r21^pL - 1)              i = 2..N
//   Ti_23(i) = Th(i-1) + (Th(i-1) - Th(i-2)) / (r32^pL - 1)              i = 3..N
//   Ti_13(i) = Th(i)   + (Th(i)   - Th(i-2)) / (r31^pL - 1)              i = 3..N
void fixedOrderExtrapolations(int32_t pL, std::span<const double> h, std::span<const double> Th,
                              std::span<double> Ti_12, std::span<double> Ti_23,
                              std::span<double> Ti_13);

//   Y(i) = X(i) + (X(i) - X(i-1)) / (r21^pU(i) - 1)        i = firstGrid..N,
// undefinedValue where pU(i) is not a defined order: Ti_pU from Th (grid 3 on, pU of Th),
// Tbi_pU from Ti_pU (grid 5 on, pU of Ti_pU).
void observedOrderExtrapolation(std::span<const double> h, std::span<const double> X,
                                std::span<const double> pU, int firstGrid, std::span<double> Y);

//   Tc_12(i) = (Ti_12(i) + Ti_pU(i)) * 0.5,  Tc_13(i) = (Ti_13(i) + Ti_pU(i)) * 0.5   i = 3..N,
// undefinedValue where pU(Th)(i) is not a defined order.
void convergentValues(std::span<const double> pU_Th, std::span<const double> Ti_12,
                      std::span<const double> Ti_13, std::span<const double> Ti_pU,
                      std::span<double> Tc_12, std::span<double> Tc_13);

// Removes the error terms of orders pL and pL + deltaP together from three grids, with the
// one ratio r = h(1)/h(2) for every grid:
//
//   A = r^(2 pL + deltaP),  B = r^deltaP + 1,  K = -(r^pL * B),  D = K + A + 1
//   Ti_bi(i) = (A * Th(i) + K * Th(i-1) + Th(i-2)) / D,   i = 3..N.
void twoTermExtrapolation(int32_t pL, int32_t deltaP, std::span<const double> h,
                          std::span<const double> Th, std::span<double> Ti_bi);

// Removes the error terms of orders pL, pL + deltaP and pL + 2 deltaP together from four
// grids, with r = h(1)/h(2):
//
//   Ti_tri(i) = [ r^(3pL+3dP) Th(i) - (r^(2pL+dP) + r^(2pL+2dP) + r^(2pL+3dP)) Th(i-1)
//                 + (r^pL + r^(pL+dP) + r^(pL+2dP)) Th(i-2) - Th(i-3) ]
//               / [ (r^pL - 1) (r^(pL+dP) - 1) (r^(pL+2dP) - 1) ],   i = 4..N,
//
// computed once, before the loop, in the unfactored form in which every coefficient and the
// denominator carry the factor (s - 1)^3 (s + 1): with y = r^pL, s = r^deltaP,
// G = s^3 - s^2 - s + 1 and H = s^6 - s^5 - s^4 + s^2 + s - 1,
//
//   c1 = ((1 - s^2) y G + y H) y^2 s          (of Th(i))
//   c2 = y ((s^3 - 1) y G - (s + 1) y H)      (of Th(i-1))
//   c3 = y H                                  (of Th(i-2))
//   c4 = (1 - s) G                            (of Th(i-3))
//   D  = (y^2 s + 1 - y s - y) y H + (y^2 s^3 + y^3 s + 1 - y^3 s^3 - y^2 - s) G
//
//   Ti_tri(i) = (c1 Th(i) + c2 Th(i-1) + c3 Th(i-2) + c4 Th(i-3)) / D.
//
// deltaP = 0 makes every coefficient and D zero, so every Ti_tri is NaN.
void threeTermExtrapolation(int32_t pL, int32_t deltaP, std::span<const double> h,
                            std::span<const double> Th, std::span<double> Ti_tri);

// The same on the series of one quantity, in this order:
//
//   pU(Th), it_pU(Th)       apparentOrder of Th from grid 3
//   Ti_12, Ti_23, Ti_13, Ti_pU, Tc_12, Tc_13
//   pU and it_pU of Ti_pU, Tc_12, Tc_13    apparentOrder from grid 5
//   Tbi_pU                                 from grid 5
//   pU(Tbi_pU), it_pU(Tbi_pU)              apparentOrder from grid 7
void computeExtrapolations(const EstimationParameters& params, GridSeries& g);
void twoTermExtrapolation(const EstimationParameters& params, GridSeries& g);
void threeTermExtrapolation(const EstimationParameters& params, GridSeries& g);

}  // namespace kv
