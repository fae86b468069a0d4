#include "estimation/level_table.h"

#include "estimation/numerics.h"

namespace kv {

void computeLevelTable(Run& run) {
  GridSeries& g = run.grid;
  const int N = g.count;
  for (int i = 2; i <= N; ++i) g.T_i(i, 1) = g.Ti_12(i);
  for (int j = 2; j <= N - 1; ++j) {
    for (int i = j + 1; i <= N; ++i) {
      double r21 = g.h(i - 1) / g.h(i);
      g.T_i(i, j) = g.T_i(i, j - 1) +
                    (g.T_i(i, j - 1) - g.T_i(i - 1, j - 1)) / (integerPower(r21, g.pV(j)) - 1.0);
    }
  }
  for (int j = 1; j <= N - 2; ++j) {
    for (int i = j + 2; i <= N; ++i) g.Uri_12_T_i(i, j) = g.T_i(i, j + 1) - g.T_i(i, j);
  }
}

}  // namespace kv
