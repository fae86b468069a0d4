#include "estimation/true_errors.h"

#include <gtest/gtest.h>

#include <cmath>

#include "estimation/extrapolation.h"
#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::typicalParameters;

void runWithExactValue(estimation_test::TestRun& run, const std::vector<double>& h, const std::vector<double>& Th,
                       double exactValue) {
  RunParameters params = typicalParameters();
  params.hasExactSolution = 1;
  params.exactValue = exactValue;
  makeRun(run, params, h, Th);
  computeExtrapolations(run);
  twoTermExtrapolation(run);
  threeTermExtrapolation(run);
  computeTrueErrors(run);
  computeEffectiveOrders(run);
}

TEST(EffectiveOrders, ZeroErrorAndSignChangeFormNoOrder) {
  // E(Th) = 1, 0.5, 0 (exact hit), then -0.25 (a sign change after a zero), then 0.125 and
  // 0.0625 (sign change, then a clean first order).
  estimation_test::TestRun run;
  runWithExactValue(run, {32, 16, 8, 4, 2, 1}, {0, 0.5, 1, 1.25, 0.875, 0.9375}, 1.0);
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.pE_Th(2), 1.0);
  EXPECT_EQ(g.pE_Th(3), undefinedValue);  // E(3) = 0
  EXPECT_EQ(g.pE_Th(4), undefinedValue);  // E(3) = 0 gives R = 0
  EXPECT_EQ(g.pE_Th(5), undefinedValue);  // sign change
  EXPECT_EQ(g.pE_Th(6), 1.0);
}

TEST(EffectiveOrders, MarkerAtThePreviousGridEntersTheRatio) {
  // No apparent order at grids 3 and 5 (oscillation), one at grid 4.
  estimation_test::TestRun run;
  runWithExactValue(run, {16, 8, 4, 2, 1}, {0.0, 1.0, 0.5, 0.375, 0.5}, 0.5);
  const GridSeries& g = run.grid;
  ASSERT_EQ(g.E_Ti_pU(3), undefinedValue);
  EXPECT_EQ(g.E_Tc_12(3), undefinedValue);
  EXPECT_EQ(g.E_Tc_13(3), undefinedValue);
  ASSERT_GT(g.E_Ti_pU(4), 0.0);
  EXPECT_EQ(g.pE_Ti_pU(4), std::log10(undefinedValue / g.E_Ti_pU(4)) / std::log10(2.0));
  // At grid 5 the marker is E(i) itself: no order, although R = E(4) / 1e11 > 0.
  ASSERT_EQ(g.E_Ti_pU(5), undefinedValue);
  EXPECT_EQ(g.pE_Ti_pU(5), undefinedValue);
}

TEST(EffectiveOrders, LargeNegativeErrorCountsAsDefined) {
  // The test against the limit is one-sided: errors near -1e11 still give an order.
  estimation_test::TestRun run;
  runWithExactValue(run, {8, 4, 2, 1}, {1.0, 1.25, 1.3125, 1.328125}, -1e11);
  ASSERT_LT(run.grid.E_Ti_pU(4), -definedLimit);
  EXPECT_EQ(run.grid.pE_Ti_pU(4), 0.0);  // both errors round to the same value
}

}  // namespace
}  // namespace kv
