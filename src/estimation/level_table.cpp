#include "estimation/level_table.h"

#include "base/numerics.h"
#include "estimation/grid_view.h"

namespace kv {

void levelTable(int32_t pL, int32_t deltaP, std::span<const double> hs,
                std::span<const double> Ti_12s, LevelTable& T_i, LevelTable& Uri_12_T_i) {
  const int N = static_cast<int>(hs.size());
  GridView h(hs), Ti_12(Ti_12s);
  for (int i = 2; i <= N; ++i) T_i(i, 1) = Ti_12(i);
  for (int j = 2; j <= N - 1; ++j) {
    const int32_t pV = trueOrder(pL, deltaP, j);
    for (int i = j + 1; i <= N; ++i) {
      double r21 = h(i - 1) / h(i);
      T_i(i, j) = T_i(i, j - 1) + (T_i(i, j - 1) - T_i(i - 1, j - 1)) / (integerPower(r21, pV) - 1.0);
    }
  }
  for (int j = 1; j <= N - 2; ++j) {
    for (int i = j + 2; i <= N; ++i) Uri_12_T_i(i, j) = T_i(i, j + 1) - T_i(i, j);
  }
}

void computeLevelTable(const EstimationParameters& params, GridSeries& g) {
  levelTable(params.pL, params.deltaP, g.h.span(), g.Ti_12.span(), g.T_i, g.Uri_12_T_i);
}

}  // namespace kv
