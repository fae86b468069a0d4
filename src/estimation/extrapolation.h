// Richardson extrapolations and convergent values of the grid values Th. Every quantity is
// stored at the finest grid it uses; r21 = h(i-1)/h(i), r32 = h(i-2)/h(i-1), r31 = r21 * r32.
// Powers with pL or deltaP in the exponent are integer powers, powers with an apparent order
// are real powers.
#pragma once

#include "run/run.h"

namespace kv {

// An apparent order is usable when 0 < p <= definedLimit (a NaN is not).
bool isDefinedOrder(double p);

// In this order:
//
//   pU(Th), it_pU(Th)       apparentOrder of Th from grid 3
//   Ti_12(i)  = Th(i)   + (Th(i)   - Th(i-1)) / (r21^pL - 1)              i = 2..N
//   Ti_23(i)  = Th(i-1) + (Th(i-1) - Th(i-2)) / (r32^pL - 1)              i = 3..N
//   Ti_13(i)  = Th(i)   + (Th(i)   - Th(i-2)) / (r31^pL - 1)
//   Ti_pU(i)  = Th(i)   + (Th(i)   - Th(i-1)) / (r21^pU(Th)(i) - 1)
//   Tc_12(i)  = (Ti_12(i) + Ti_pU(i)) * 0.5
//   Tc_13(i)  = (Ti_13(i) + Ti_pU(i)) * 0.5
//   pU and it_pU of Ti_pU, Tc_12, Tc_13    apparentOrder from grid 5
//   Tbi_pU(i) = Ti_pU(i) + (Ti_pU(i) - Ti_pU(i-1)) / (r21^pU(Ti_pU)(i) - 1)   i = 5..N
//   pU(Tbi_pU), it_pU(Tbi_pU)              apparentOrder from grid 7
//
// Ti_pU, Tc_12 and Tc_13 are undefinedValue where pU(Th)(i) is not a defined order, Tbi_pU
// where pU(Ti_pU)(i) is not.
void computeExtrapolations(Run& run);

// Removes the error terms of orders pL and pL + deltaP together from three grids, with the
// one ratio r = h(1)/h(2) for every grid:
//
//   A = r^(2 pL + deltaP),  B = r^deltaP + 1,  K = -(r^pL * B),  D = K + A + 1
//   Ti_bi(i) = (A * Th(i) + K * Th(i-1) + Th(i-2)) / D,   i = 3..N.
void twoTermExtrapolation(Run& run);

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
void threeTermExtrapolation(Run& run);

}  // namespace kv
