#include "estimation/error_estimators.h"

#include <gtest/gtest.h>

#include <cmath>

#include "estimation/extrapolation.h"
#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::kRounding;
using estimation_test::typicalParameters;

void estimatedRun(estimation_test::TestRun& run, const std::vector<double>& h, const std::vector<double>& Th,
                  int32_t pL = 2) {
  RunParameters params = typicalParameters();
  params.pL = pL;
  makeRun(run, params, h, Th);
  computeExtrapolations(run);
  twoTermExtrapolation(run);
  threeTermExtrapolation(run);
  computeErrorEstimators(run);
  computeGci(run);
}

TEST(ErrorEstimators, SecondOrderSeriesOnHalvingGrids) {
  estimation_test::TestRun run;
  estimatedRun(run, {4, 2, 1}, {1.0, 1.25, 1.3125});
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.Ud(2), 0.25);
  EXPECT_EQ(g.Ud(3), 0.0625);
  EXPECT_NEAR(g.Uri_12(3), 0.0625 / 3, kRounding);
  EXPECT_EQ(g.Uri_pU(3), g.Uri_12(3));
  EXPECT_EQ(g.Uri_p(3), g.Uri_12(3));
  EXPECT_EQ(g.Uc_12(3), 0.0);
  EXPECT_NEAR(g.Uc_13(3), 0.0, kRounding);
  EXPECT_EQ(g.GCI_pL(3), 3 * 0.0625 / 3);
  EXPECT_EQ(g.GCI_p(3), g.GCI_pL(3));
  EXPECT_EQ(g.Uri_23(3), g.Ti_12(2) - 1.3125);
}

TEST(ErrorEstimators, DecreasingSeriesGivesNegativeLargerEstimator) {
  // q = 2 on a ratio of 2: pU = 1 < pL, so the estimator with pU is the larger one.
  estimation_test::TestRun run;
  estimatedRun(run, {4, 2, 1}, {2.0, 1.5, 1.25});
  const GridSeries& g = run.grid;
  ASSERT_EQ(g.pU_Th(3), 1.0);
  EXPECT_EQ(g.Uri_pU(3), -0.25);
  EXPECT_EQ(g.Uri_p(3), -0.25);
  EXPECT_NEAR(g.Uri_12(3), -0.25 / 3, kRounding);
  EXPECT_EQ(g.GCI_p(3), 3 * 0.25 / 1);  // p = pU = 1: larger than GCI_pL
  EXPECT_GT(g.GCI_p(3), g.GCI_pL(3));
}

TEST(ErrorEstimators, SignOfUriPComesFromTheChangeOfTheGridValue) {
  // Spacings that grow (r21 = 0.5) flip the sign of both Richardson estimators, not the
  // sign of the change Th(i) - Th(i-1).
  estimation_test::TestRun run;
  estimatedRun(run, {1, 2, 4}, {1.3125, 1.25, 1.0});
  const GridSeries& g = run.grid;
  ASSERT_EQ(g.pU_Th(3), 2.0);
  EXPECT_GT(g.Uri_12(3), 0.0);
  EXPECT_GT(g.Uri_pU(3), 0.0);
  EXPECT_EQ(g.Uri_p(3), -g.Uri_12(3));
}

TEST(ErrorEstimators, ApparentOrderAboveThePrescribedOneGivesGciPL) {
  // q = 8: pU = 3 > pL = 2, so GCI_p takes pL (as a real power).
  estimation_test::TestRun run;
  estimatedRun(run, {4, 2, 1}, {1.0, 1.5, 1.5625});
  ASSERT_EQ(run.grid.pU_Th(3), 3.0);
  EXPECT_EQ(run.grid.GCI_p(3), run.grid.GCI_pL(3));
  EXPECT_EQ(run.grid.Uri_p(3), run.grid.Uri_12(3));  // |Uri_12| is the larger
}

TEST(ErrorEstimators, GridWithoutApparentOrderKeepsTheOtherEstimators) {
  estimation_test::TestRun run;
  estimatedRun(run, {8, 4, 2, 1}, {0.0, 1.0, 0.5, 0.375});
  const GridSeries& g = run.grid;
  for (const GridArray<double>* a : {&g.Uri_pU, &g.Uri_p, &g.Uc_12, &g.Uc_13, &g.GCI_p}) {
    EXPECT_EQ((*a)(3), undefinedValue);
    EXPECT_LT((*a)(4), definedLimit);
  }
  for (const GridArray<double>* a :
       {&g.Ud, &g.Uri_12, &g.Uri_13, &g.Uri_23, &g.Uri_bi, &g.GCI_pL}) {
    EXPECT_LT(std::fabs((*a)(3)), definedLimit);
  }
}

}  // namespace
}  // namespace kv
