#include "model/grid_series.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(trueOrderText(2), " 2");
  EXPECT_EQ(trueOrderText(-1), "-1");
  EXPECT_EQ(trueOrderText(12), "12");
  EXPECT_EQ(trueOrderText(101), "**");
  EXPECT_EQ(trueOrderText(-10), "**");
}

}  // namespace
}  // namespace kv
