#include "estimation/extrapolation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::kRounding;
using estimation_test::typicalParameters;
// Ti_bi and Ti_tri subtract nearly equal multiples of the grid values: a few hundred ulps.
constexpr double kMultiTermRounding = 1e-12;

TEST(ComputeExtrapolations, TwoGridValuesOnHalvingGrids) {
  estimation_test::TestRun run;
  makeRun(run, typicalParameters(), {4, 2, 1}, {1.0, 1.25, 1.3125});
  computeExtrapolations(run);
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.Ti_12(2), 1.25 + 0.25 / 3);
  EXPECT_EQ(g.Ti_12(3), 1.3125 + 0.0625 / 3);
  EXPECT_EQ(g.Ti_23(3), g.Ti_12(2));
  EXPECT_EQ(g.Ti_13(3), 1.3125 + 0.3125 / 15);
  EXPECT_EQ(g.pU_Th(3), 2.0);
  EXPECT_EQ(g.Ti_pU(3), g.Ti_12(3));
  EXPECT_NEAR(g.Tc_12(3), 4.0 / 3, kRounding);
  EXPECT_NEAR(g.Tc_13(3), 4.0 / 3, kRounding);
}

TEST(ComputeExtrapolations, GridWithoutOrderStillGetsTheTwoGridValues) {
  // Oscillation at grid 3 (q < 0), a clean order at grid 4.
  estimation_test::TestRun run;
  makeRun(run, typicalParameters(), {8, 4, 2, 1}, {0.0, 1.0, 0.5, 0.375});
  computeExtrapolations(run);
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.pU_Th(3), undefinedValue);
  for (const GridArray<double>* a : {&g.Ti_pU, &g.Tc_12, &g.Tc_13}) {
    EXPECT_EQ((*a)(3), undefinedValue);
    EXPECT_LT((*a)(4), definedLimit);
  }
  EXPECT_EQ(g.Ti_12(3), 0.5 - 0.5 / 3);
  EXPECT_EQ(g.Ti_23(3), 1.0 + 1.0 / 3);
  EXPECT_EQ(g.Ti_13(3), 0.5 + 0.5 / 15);
}

TEST(ComputeExtrapolations, NegativeOrderIsNotUsed) {
  estimation_test::TestRun run;
  makeRun(run, typicalParameters(), {4, 2, 1}, {1.0, 1.25, 1.75});
  computeExtrapolations(run);
  EXPECT_LT(run.grid.pU_Th(3), 0.0);
  EXPECT_EQ(run.grid.Ti_pU(3), undefinedValue);
}

TEST(ComputeExtrapolations, MarkerInsideAnExtrapolatedSeriesEntersItsDifferences) {
  // Ti_pU(3) is the marker, so q of Ti_pU at grid 5 is (Ti_pU(4) - 1e11) / (Ti_pU(5) - Ti_pU(4)).
  RunParameters params = typicalParameters();
  estimation_test::TestRun run;
  makeRun(run, params, {16, 8, 4, 2, 1}, {0.0, 1.0, 0.5, 0.375, 0.34});
  computeExtrapolations(run);
  const GridSeries& g = run.grid;
  ASSERT_EQ(g.Ti_pU(3), undefinedValue);
  double q = (g.Ti_pU(4) - undefinedValue) / (g.Ti_pU(5) - g.Ti_pU(4));
  ASSERT_GT(q, 0.0);
  EXPECT_EQ(g.pU_Ti_pU(5), std::log10(q) / std::log10(2.0));
}

struct MultiTermCase {
  const char* name;
  int32_t pL, deltaP;
  double r;
};

class MultiTermExtrapolation : public ::testing::TestWithParam<MultiTermCase> {};

// Th = T + C1 h^p1 + C2 h^p2 (+ C3 h^p3) on a constant ratio: the extrapolation removes the
// terms exactly, up to rounding.
TEST_P(MultiTermExtrapolation, ReproducesTheManufacturedLimit) {
  const MultiTermCase& c = GetParam();
  RunParameters params = typicalParameters();
  params.pL = c.pL;
  params.deltaP = c.deltaP;
  const double T = 0.75;
  std::vector<double> h, two, three;
  for (int i = 0; i < 6; ++i) {
    double hi = std::pow(c.r, -i);
    double p1 = c.pL, p2 = c.pL + c.deltaP, p3 = c.pL + 2 * c.deltaP;
    h.push_back(hi);
    two.push_back(T + 0.5 * std::pow(hi, p1) - 0.25 * std::pow(hi, p2));
    three.push_back(two.back() + 0.125 * std::pow(hi, p3));
  }
  estimation_test::TestRun bi;
  makeRun(bi, params, h, two);
  twoTermExtrapolation(bi);
  estimation_test::TestRun tri;
  makeRun(tri, params, h, three);
  threeTermExtrapolation(tri);
  for (int i = 1; i <= 6; ++i) {
    if (i >= 3) {
      EXPECT_NEAR(bi.grid.Ti_bi(i), T, kMultiTermRounding) << "grid " << i;
    } else {
      EXPECT_EQ(bi.grid.Ti_bi(i), undefinedValue) << "grid " << i;
    }
    if (i >= 4) {
      EXPECT_NEAR(tri.grid.Ti_tri(i), T, kMultiTermRounding) << "grid " << i;
    } else {
      EXPECT_EQ(tri.grid.Ti_tri(i), undefinedValue) << "grid " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiTermExtrapolation,
                         ::testing::Values(MultiTermCase{"Even", 2, 2, 2.0},
                                           MultiTermCase{"FirstOrder", 1, 1, 2.0},
                                           MultiTermCase{"RatioOneAndAHalf", 2, 1, 1.5},
                                           MultiTermCase{"Decreasing", 4, -1, 2.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MultiTermExtrapolation, UsesTheRatioOfTheFirstTwoGridsEverywhere) {
  // The spacings after grid 2 do not enter, whatever refinementType says.
  RunParameters params = typicalParameters();
  params.refinementType = 2;
  std::vector<double> Th = {1.0, 0.4, 0.3, 0.27, 0.26};
  estimation_test::TestRun halving;
  makeRun(halving, params, {1, 0.5, 0.25, 0.125, 0.0625}, Th);
  estimation_test::TestRun irregular;
  makeRun(irregular, params, {1, 0.5, 0.3, 0.2, 0.01}, Th);
  for (estimation_test::TestRun* run : {&halving, &irregular}) {
    twoTermExtrapolation(*run);
    threeTermExtrapolation(*run);
  }
  for (int i = 3; i <= 5; ++i) EXPECT_EQ(halving.grid.Ti_bi(i), irregular.grid.Ti_bi(i));
  for (int i = 4; i <= 5; ++i) EXPECT_EQ(halving.grid.Ti_tri(i), irregular.grid.Ti_tri(i));
}

TEST(MultiTermExtrapolation, ZeroStepMakesTheThreeTermValueNaN) {
  RunParameters params = typicalParameters();
  params.deltaP = 0;
  std::vector<double> h = {1, 0.5, 0.25, 0.125};
  std::vector<double> Th;
  for (double hi : h) Th.push_back(2.0 + hi * hi);
  estimation_test::TestRun run;
  makeRun(run, params, h, Th);
  twoTermExtrapolation(run);
  threeTermExtrapolation(run);
  EXPECT_TRUE(std::isnan(run.grid.Ti_tri(4)));
  // D = (r^pL - 1)^2, and the single term cancels.
  EXPECT_NEAR(run.grid.Ti_bi(3), 2.0, kRounding);
  EXPECT_NEAR(run.grid.Ti_bi(4), 2.0, kRounding);
}

}  // namespace
}  // namespace kv
