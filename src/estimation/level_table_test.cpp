#include "estimation/level_table.h"

#include <gtest/gtest.h>

#include "estimation/extrapolation.h"
#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::typicalParameters;

TEST(LevelTable, SecondLevelRemovesTheFourthOrderTerm) {
  // Th = 1 + h^2 + h^4, pL = 2, deltaP = 2.
  estimation_test::TestRun run;
  makeRun(run, typicalParameters(), {1, 0.5, 0.25}, {3.0, 1.3125, 1.06640625});
  computeExtrapolations(run);
  computeLevelTable(run);
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.T_i(2, 1), 0.75);
  EXPECT_EQ(g.T_i(3, 1), 0.984375);
  EXPECT_EQ(g.T_i(3, 2), 1.0);
  EXPECT_EQ(g.Uri_12_T_i(3, 1), 0.015625);
  EXPECT_EQ(g.Uri_12_T_i(3, 2), undefinedValue);
}

TEST(LevelTable, EachLevelUsesTheRatioOfItsOwnGridAndItsOwnOrder) {
  // pV = 1, 3, 5 on ratios 2, 3, 4: level 3 at grid 4 divides by 4^5 - 1.
  RunParameters params = typicalParameters();
  params.pL = 1;
  estimation_test::TestRun run;
  makeRun(run, params, {24, 12, 4, 1}, {5.0, 3.0, 2.5, 2.25});
  computeExtrapolations(run);
  computeLevelTable(run);
  const GridSeries& g = run.grid;
  double t42 = g.T_i(4, 1) + (g.T_i(4, 1) - g.T_i(3, 1)) / 63.0;
  double t32 = g.T_i(3, 1) + (g.T_i(3, 1) - g.T_i(2, 1)) / 26.0;
  EXPECT_EQ(g.T_i(4, 2), t42);
  EXPECT_EQ(g.T_i(4, 3), t42 + (t42 - t32) / 1023.0);
  EXPECT_EQ(g.Uri_12_T_i(4, 2), g.T_i(4, 3) - t42);
}

}  // namespace
}  // namespace kv
