#include "estimation/error_estimation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "estimation/test_run.h"

namespace kv {
namespace {

using estimation_test::makeRun;
using estimation_test::kRounding;
using estimation_test::typicalParameters;

TEST(RunErrorEstimation, SecondOrderSeriesThroughEveryStep) {
  RunParameters params = typicalParameters();
  params.hasExactSolution = 1;
  params.exactValue = 4.0 / 3;
  estimation_test::TestRun run;
  makeRun(run, params, {4, 2, 1}, {1.0, 1.25, 1.3125});
  runErrorEstimation(run);
  const GridSeries& g = run.grid;
  EXPECT_EQ(g.pU_Th(3), 2.0);
  EXPECT_NEAR(g.Ti_12(3), 4.0 / 3, kRounding);
  EXPECT_NEAR(g.Ti_13(3), 4.0 / 3, kRounding);
  EXPECT_NEAR(g.Tc_12(3), 4.0 / 3, kRounding);
  EXPECT_NEAR(g.E_Th(3), 1.0 / 48, kRounding);
  EXPECT_NEAR(g.E_Ti_12(3), 0.0, kRounding);
  EXPECT_NEAR(g.pE_Th(2), 2.0, kRounding);
  EXPECT_NEAR(g.pE_Th(3), 2.0, kRounding);
  EXPECT_EQ(g.Ud(3), 0.0625);
  EXPECT_NEAR(g.Uri_p(3), 0.0625 / 3, kRounding);
  EXPECT_EQ(g.GCI_pL(3), 0.0625);
  EXPECT_EQ(g.GCI_p(3), 0.0625);
  EXPECT_EQ(g.T_i(3, 1), g.Ti_12(3));
}

class GridRanges : public ::testing::TestWithParam<int> {};

// Th = 1 + h^2 + h^3 with pL = 2, deltaP = 1 on a ratio of 1.6 and the variable-ratio search:
// every order is found and every error is nonzero, so each array is formed exactly from its
// first grid on, and nothing is written before it.
TEST_P(GridRanges, EachArrayIsFormedFromItsFirstGrid) {
  const int N = GetParam();
  RunParameters params = typicalParameters();
  params.deltaP = 1;
  params.refinementType = 2;
  params.pUMin = 0.5;
  params.pUMax = 6.0;
  params.tolerance = 1e-9;
  params.hasExactSolution = 1;
  params.exactValue = 1.0;
  std::vector<double> h, Th;
  for (int i = 0; i < N; ++i) {
    h.push_back(std::pow(1.6, -i));
    Th.push_back(1.0 + h.back() * h.back() + h.back() * h.back() * h.back());
  }
  estimation_test::TestRun run;
  makeRun(run, params, h, Th);
  runErrorEstimation(run);
  const GridSeries& g = run.grid;
  // Each series of the one table, formed from the first grid it names.
  for (const RealSeries& f : derivedSeries()) {
    for (int i = 1; i <= N; ++i) {
      double v = (g.*f.array)(i);
      if (i < f.firstGrid) {
        EXPECT_EQ(v, undefinedValue) << f.name << "(" << i << ")";
      } else {
        EXPECT_TRUE(std::isfinite(v) && v != undefinedValue) << f.name << "(" << i << ") " << v;
      }
    }
  }
  for (const CountSeries& c : countSeries()) {
    for (int i = 1; i <= N; ++i) EXPECT_EQ((g.*c.array)(i) > 0, i >= c.firstGrid) << c.name << i;
  }
  for (int i = 2; i <= N; ++i) {
    for (int j = 1; j < i; ++j) {
      EXPECT_NE(g.T_i(i, j), undefinedValue) << "T_i(" << i << ", " << j << ")";
      EXPECT_EQ(g.Uri_12_T_i(i, j) == undefinedValue, j == i - 1) << i << ", " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, GridRanges, ::testing::Values(0, 1, 2, 4, 7));

TEST(RunErrorEstimation, WithoutExactSolutionNoErrorIsWrittenAndEveryEffectiveOrderIsUnset) {
  RunParameters params = typicalParameters();
  params.hasExactSolution = 2;  // only 1 means an exact solution
  params.exactValue = 1.0;
  estimation_test::TestRun run;
  makeRun(run, params, {8, 4, 2, 1}, {2.0, 1.25, 1.0625, 1.015625});
  GridSeries& g = run.grid;
  g.pE_Th(3) = 5.0;  // the stage resets every effective order
  runErrorEstimation(run);
  for (int i = 1; i <= 4; ++i) {
    for (double v : {g.pE_Th(i), g.pE_Ti_pU(i), g.pE_Tc_12(i), g.pE_Tc_13(i), g.pE_Tbi_pU(i),
                     g.E_Th(i), g.E_Ti_12(i), g.E_Ti_tri(i)}) {
      EXPECT_EQ(v, undefinedValue) << i;
    }
  }
  EXPECT_NE(g.Ti_tri(4), undefinedValue);
}

TEST(RunErrorEstimation, RatioOfOneDividesByZeroAndTheRunGoesOn) {
  RunParameters params = typicalParameters();
  params.hasExactSolution = 1;
  params.exactValue = 1.0;
  estimation_test::TestRun run;
  makeRun(run, params, {1, 1, 0.5, 0.25}, {1.5, 1.25, 1.0625, 1.015625});
  runErrorEstimation(run);
  const GridSeries& g = run.grid;
  EXPECT_TRUE(std::isinf(g.Ti_12(2)));
  EXPECT_TRUE(std::isinf(g.GCI_pL(2)));
  EXPECT_TRUE(std::isinf(g.pE_Th(2)));
  EXPECT_TRUE(std::isnan(g.Ti_bi(3)) || std::isinf(g.Ti_bi(3)));  // r = h(1)/h(2) = 1
  EXPECT_TRUE(std::isinf(g.T_i(2, 1)));
  EXPECT_NEAR(g.Ti_12(4), 1.0, kRounding);  // grids past the equal pair are unaffected
  EXPECT_NEAR(g.pE_Th(4), 2.0, kRounding);
}

// Th = T + C h^p on a constant ratio r: the apparent order is p and Ti_pU is T, to rounding.
struct PowerLawCase {
  double p, r;
  int N;
};

class PowerLawSeries : public ::testing::TestWithParam<PowerLawCase> {};

// The finest term C h(N)^p stays above 1e-6, so that rounding of T = 1 costs at most about
// 1e-9 in the ratio of differences.
constexpr double kOrderTolerance = 1e-7;
constexpr double kLimitTolerance = 1e-12;

TEST_P(PowerLawSeries, ApparentOrderAndExtrapolationRecoverTheLaw) {
  const auto [p, r, N] = GetParam();
  const double T = 1.0, C = 0.75;
  std::vector<double> h, Th;
  for (int i = 0; i < N; ++i) {
    h.push_back(2.0 * std::pow(r, -i));
    Th.push_back(T + C * std::pow(h.back(), p));
  }
  estimation_test::TestRun run;
  makeRun(run, typicalParameters(), h, Th);
  runErrorEstimation(run);
  for (int i = 3; i <= N; ++i) {
    EXPECT_NEAR(run.grid.pU_Th(i), p, kOrderTolerance) << "grid " << i;
    EXPECT_NEAR(run.grid.Ti_pU(i), T, kLimitTolerance) << "grid " << i;
  }
}

std::vector<PowerLawCase> powerLawCases() {
  std::vector<PowerLawCase> cases;
  for (double p : {0.5, 1.0, 1.7, 2.0, 3.0, 4.5}) {
    for (double r : {1.25, 1.5, 2.0, 3.0}) {
      for (int N : {3, 4, 6, 9}) {
        if (0.75 * std::pow(2.0 * std::pow(r, 1 - N), p) >= 1e-6) cases.push_back({p, r, N});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Sweep, PowerLawSeries, ::testing::ValuesIn(powerLawCases()),
                         [](const auto& info) {
                           std::string name = "p";
                           name.append(std::to_string(info.param.p))
                               .append("_r")
                               .append(std::to_string(info.param.r))
                               .append("_N")
                               .append(std::to_string(info.param.N));
                           for (char& c : name) {
                             if (c == '.') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The estimation of one quantity from spans, with no run: the same bits as the series of a run
// given the same spacings and values, and the same again when four threads estimate at once.
TEST(EstimateSeries, FromSpansAgreesWithTheRunAndAcrossThreads) {
  std::mt19937_64 random(12);
  std::uniform_real_distribution<double> jitter(0.9, 1.1);
  RunParameters params = estimation_test::typicalParameters();
  params.refinementType = 2;
  params.hasExactSolution = 1;
  params.exactValue = 1.0;
  std::vector<std::vector<double>> hs, values;
  for (int k = 0; k < 8; ++k) {
    std::vector<double> h, v;
    for (int i = 0; i < 9; ++i) {
      h.push_back(std::pow(1.5, -i) * jitter(random));
      v.push_back(1.0 + 0.3 * h.back() * h.back() * jitter(random));
    }
    hs.push_back(h);
    values.push_back(v);
  }
  const EstimationParameters estimation = estimationParameters(params);
  auto same = [](const GridSeries& a, const GridSeries& b) {
    for (const RealSeries& s : derivedSeries()) {
      for (int i = 1; i <= a.count; ++i) {
        double x = (a.*s.array)(i), y = (b.*s.array)(i);
        if (std::memcmp(&x, &y, sizeof x) != 0) return false;
      }
    }
    for (int i = 2; i <= a.count; ++i) {
      for (int j = 1; j < i; ++j) {
        double x = a.T_i(i, j), y = b.T_i(i, j);
        if (std::memcmp(&x, &y, sizeof x) != 0) return false;
      }
    }
    return true;
  };
  std::vector<GridSeries> sequential;
  for (size_t k = 0; k < hs.size(); ++k) {
    estimation_test::TestRun run;
    makeRun(run, params, hs[k], values[k]);
    estimation_test::runErrorEstimation(run);
    sequential.push_back(estimateSeries(estimation, hs[k], values[k]));
    EXPECT_TRUE(same(run.grid, sequential.back())) << k;
  }
  std::vector<GridSeries> parallel(hs.size());
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (size_t k = t; k < hs.size(); k += 4) {
        parallel[k] = estimateSeries(estimation, hs[k], values[k]);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t k = 0; k < hs.size(); ++k) EXPECT_TRUE(same(sequential[k], parallel[k])) << k;
}

}  // namespace
}  // namespace kv
