#include "model/grid_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace kv {
namespace {

TEST(GridSeries, AllocationStartsInputsAtZeroAndDerivedValuesUndefined) {
  GridSeries g;
  g.allocate(4);
  EXPECT_EQ(g.count, 4);
  EXPECT_EQ(g.h.size(), 4);
  EXPECT_EQ(g.h(4), 0.0);
  EXPECT_EQ(g.Th(1), 0.0);
  EXPECT_EQ(g.gridFile(2), std::string(50, ' '));
  EXPECT_EQ(g.pV_text(3), "  ");
  EXPECT_EQ(g.Ti_12(1), undefinedValue);
  EXPECT_EQ(g.E_Tbi_pU(4), undefinedValue);
  EXPECT_EQ(g.GCI_p(2), undefinedValue);
  EXPECT_EQ(g.it_pU_Tbi_pU(4), 0);
  EXPECT_EQ(g.T_i.rows(), 4);
  EXPECT_EQ(g.T_i(4, 3), undefinedValue);
  g.T_i(4, 3) = 1.5;
  g.T_i(4, 2) = 2.5;
  g.T_i(3, 2) = 3.5;
  EXPECT_EQ(g.T_i(4, 3), 1.5);
  EXPECT_EQ(g.T_i(4, 2), 2.5);
  EXPECT_EQ(g.T_i(3, 2), 3.5);
}

TEST(GridSeries, NegativeAndZeroCountsAllocateNothing) {
  for (int32_t n : {0, -5}) {
    GridSeries g;
    g.allocate(n);
    EXPECT_EQ(g.count, 0);
    EXPECT_EQ(g.Th.size(), 0);
    EXPECT_EQ(g.T_i.rows(), 0);
  }
  GridSeries one;
  one.allocate(1);
  EXPECT_EQ(one.Th.size(), 1);
}

TEST(GridSeries, RunDataBeyondTheMemoryBoundEndsTheRun) {
  EXPECT_LT(runDataBytes(2000), 40e6);
  EXPECT_GT(runDataBytes(20000), kMaxRunDataBytes);
  for (int32_t n : {20000, 100000, 2147483647}) {
    GridSeries g;
    EXPECT_EXIT(g.allocate(n), ::testing::ExitedWithCode(41),
                "^kestrovanilque: severe \\(41\\): insufficient virtual memory\n$");
  }
}

TEST(TrueOrder, FormulaAndTwoCharacterText) {
  RunParameters p;
  p.pL = 2;
  p.deltaP = 2;
  EXPECT_EQ(trueOrder(p, 1), 2);
  EXPECT_EQ(trueOrder(p, 4), 8);
  p.pL = 1;
  p.deltaP = 50;
  EXPECT_EQ(trueOrder(p, 3), 101);
  EXPECT_EQ(twoCharacterText(2), " 2");
  EXPECT_EQ(twoCharacterText(-1), "-1");
  EXPECT_EQ(twoCharacterText(12), "12");
  EXPECT_EQ(twoCharacterText(101), "**");
  EXPECT_EQ(twoCharacterText(-10), "**");
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The three tests against definedLimit at their boundaries: each keeps its own, so exactly
// the limit is an order that can be used, yet neither a defined nor an undefined value.
TEST(DefinedValues, BoundariesOfTheThreeTests) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double above = std::nextafter(definedLimit, 2 * definedLimit);
  const double below = std::nextafter(definedLimit, 0.0);
  struct Case {
    double v;
    bool defined, undefined, order;
  };
  for (const Case& c : {Case{below, true, false, true}, Case{definedLimit, false, false, true},
                        Case{above, false, true, false}, Case{undefinedValue, false, true, false},
                        Case{0.0, true, false, false}, Case{-1e300, true, false, false},
                        Case{1e-300, true, false, true}, Case{nan, false, false, false}}) {
    EXPECT_EQ(isDefined(c.v), c.defined) << c.v;
    EXPECT_EQ(isUndefined(c.v), c.undefined) << c.v;
    EXPECT_EQ(isDefinedOrder(c.v), c.order) << c.v;
  }
}

}  // namespace
}  // namespace kv
