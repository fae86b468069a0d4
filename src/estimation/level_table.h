// Repeated Richardson extrapolation: level j removes the error term of order pV(j) from
// pairs of level j-1 values, so that the leading term left after level j has order pV(j+1)
// (Richardson; Roache).
#pragma once

#include <cstdint>
#include <span>

#include "estimation/parameters.h"
#include "model/grid_series.h"

namespace kv {

//   T_i(i, 1) = Ti_12(i)                                                   i = 2..N
//   T_i(i, j) = T_i(i, j-1) + (T_i(i, j-1) - T_i(i-1, j-1)) / (r21^pV(j) - 1)
//                                                   j = 2..N-1 in turn, i = j+1..N
//   Uri_12(T_i)(i, j) = T_i(i, j+1) - T_i(i, j)                            j = 1..N-2, i = j+2..N
//
// r21 = h(i-1)/h(i) at every level (the ratio of grid i to the one before it, not one that
// spans the grids of the level); integer power with the true order pV(j) = pL + (j-1) deltaP.
// No entry is tested against definedLimit. Both tables have h.size() rows.
void levelTable(int32_t pL, int32_t deltaP, std::span<const double> h,
                std::span<const double> Ti_12, LevelTable& T_i, LevelTable& Uri_12_T_i);
void computeLevelTable(const EstimationParameters& params, GridSeries& g);

}  // namespace kv
