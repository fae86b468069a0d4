#include "estimation/apparent_order.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::kRounding;
using estimation_test::typicalParameters;

// The order of the series X at grid 3 of h, with the given parameters.
struct OrderAtGrid3 {
  double order;
  int32_t count;
};

OrderAtGrid3 orderAtGrid3(const RunParameters& params, const std::vector<double>& h,
                          const std::vector<double>& X) {
  estimation_test::TestRun run;
  makeRun(run, params, h, X);
  GridSeries& g = run.grid;
  apparentOrder(run.estimation(), g.h.span(), g.Th.span(), 3, g.pU_Th.span(), g.it_pU_Th.span());
  EXPECT_EQ(g.pU_Th(1), undefinedValue);
  EXPECT_EQ(g.pU_Th(2), undefinedValue);
  return {g.pU_Th(3), g.it_pU_Th(3)};
}

TEST(ApparentOrder, ConstantRatioClosedForm) {
  // Differences 0.25 and 0.0625 on a ratio of 2: q = 4.
  OrderAtGrid3 r = orderAtGrid3(typicalParameters(), {4, 2, 1}, {1.0, 1.25, 1.3125});
  EXPECT_EQ(r.order, 2.0);
  EXPECT_EQ(r.count, 0);
}

TEST(ApparentOrder, ConstantRatioUsesOnlyTheFinerRatio) {
  // Same q = 4, but h(1) no longer halves: only r21 = 2 enters.
  OrderAtGrid3 r = orderAtGrid3(typicalParameters(), {7, 2, 1}, {1.0, 1.25, 1.3125});
  EXPECT_EQ(r.order, 2.0);
}

TEST(ApparentOrder, SlowerThanLinearChangeGivesANegativeOrderThatIsStored) {
  // q = 0.5 on a ratio of 2.
  OrderAtGrid3 r = orderAtGrid3(typicalParameters(), {4, 2, 1}, {1.0, 1.25, 1.75});
  EXPECT_NEAR(r.order, -1.0, kRounding);
}

struct NoOrderCase {
  const char* name;
  int32_t refinementType;
  std::vector<double> X;
};

class ApparentOrderWithoutOrder : public ::testing::TestWithParam<NoOrderCase> {};

TEST_P(ApparentOrderWithoutOrder, KeepsTheMarkerAndAZeroCount) {
  RunParameters params = typicalParameters();
  params.refinementType = GetParam().refinementType;
  OrderAtGrid3 r = orderAtGrid3(params, {4, 2, 1.5}, GetParam().X);
  EXPECT_EQ(r.order, undefinedValue);
  EXPECT_EQ(r.count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApparentOrderWithoutOrder,
    ::testing::Values(NoOrderCase{"EqualValuesConstant", 1, {1.0, 1.25, 1.25}},
                      NoOrderCase{"EqualValuesVariable", 2, {1.0, 1.25, 1.25}},
                      NoOrderCase{"OscillatingConstant", 1, {1.0, 1.25, 1.125}},
                      NoOrderCase{"OscillatingVariable", 2, {1.0, 1.25, 1.125}},
                      NoOrderCase{"UnknownRefinementType", 3, {17, 5, 3.25}}),
    [](const auto& info) { return std::string(info.param.name); });

// The variable-ratio example: h = 4, 2, 1.5 (r21 = 4/3, r32 = 2), X = 1 + h^2, exact order 2.
struct BisectionCase {
  const char* name;
  int32_t maxIterations;
  double pUMin, pUMax;
  double order;
  int32_t count;
};

class VariableRatioBisection : public ::testing::TestWithParam<BisectionCase> {};

TEST_P(VariableRatioBisection, OrderAndCount) {
  const BisectionCase& c = GetParam();
  RunParameters params = typicalParameters();
  params.refinementType = 2;
  params.maxIterations = c.maxIterations;
  params.pUMin = c.pUMin;
  params.pUMax = c.pUMax;
  OrderAtGrid3 r = orderAtGrid3(params, {4, 2, 1.5}, {17, 5, 3.25});
  EXPECT_EQ(r.order, c.order);
  EXPECT_EQ(r.count, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VariableRatioBisection,
    ::testing::Values(
        BisectionCase{"Converges", 100, 0.3, 4.1, 2.0000732421875, 13},
        // Stops at iteration 13: with 13 allowed that is the last one and counts as a failure.
        BisectionCase{"StopAtLastIterationDiscarded", 13, 0.3, 4.1, undefinedValue, 13},
        BisectionCase{"StopJustBeforeTheLimit", 14, 0.3, 4.1, 2.0000732421875, 13},
        BisectionCase{"RunsOutKeepingItsCount", 5, 0.3, 4.1, undefinedValue, 5},
        BisectionCase{"RootBelowBracket", 100, 2.5, 6.0, undefinedValue, 0},
        BisectionCase{"RootAboveBracket", 100, 0.3, 1.5, undefinedValue, 0},
        BisectionCase{"SingleIterationNeverSucceeds", 1, 0.3, 4.1, undefinedValue, 1},
        BisectionCase{"NoIterations", 0, 0.3, 4.1, undefinedValue, 0},
        BisectionCase{"NegativeLimit", -3, 0.3, 4.1, undefinedValue, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VariableRatioBisection, LargestIterationLimitDoesNotOverflow) {
  RunParameters params = typicalParameters();
  params.refinementType = 2;
  params.maxIterations = std::numeric_limits<int32_t>::max();
  OrderAtGrid3 r = orderAtGrid3(params, {4, 2, 1.5}, {17, 5, 3.25});
  EXPECT_EQ(r.order, 2.0000732421875);
  EXPECT_EQ(r.count, 13);
}

TEST(VariableRatioBisection, EqualRatiosAgreeWithTheClosedForm) {
  RunParameters params = typicalParameters();
  params.refinementType = 2;
  // X = 1 + h^1.5 on h = 4, 2, 1.
  std::vector<double> X = {1 + std::pow(4.0, 1.5), 1 + std::pow(2.0, 1.5), 2.0};
  OrderAtGrid3 r = orderAtGrid3(params, {4, 2, 1}, X);
  EXPECT_NEAR(r.order, 1.5, params.tolerance);
  EXPECT_GT(r.count, 0);
}

}  // namespace
}  // namespace kv
