#include "estimation/verdict.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "estimation/space_time.h"

namespace kv {
namespace {

const double kUlp = std::ldexp(1.0, -52);  // the spacing of doubles at 1

std::vector<double> powerLaw(std::vector<double> h, double phi0, double c, double q) {
  for (double& x : h) x = phi0 + c * std::pow(x, q);
  return h;
}

struct VerdictCase {
  const char* name;
  std::vector<double> h, phi;
  ConvergenceType type;
  double p;  // NaN: no observed order
  std::vector<std::string> codes;
  double noise = kNotANumber;
  double pTh = 2.0;
};

// Series and what a reviewer should read about them: the type, the order and the findings.
TEST(Verdict, TypesOrdersAndFindings) {
  const double none = kNotANumber, g = 1.0 + 1e-7;
  const std::vector<double> h124{1, 2, 4}, h1248{1, 2, 4, 8};
  const std::string diverging = "diverging: no positive order fits";
  using T = ConvergenceType;
  // clang-format off
  const VerdictCase cases[] = {
      // R = 8/7 > 1, yet the order equation gives p = 2 and phi_ext = 1 exactly.
      {"1 + h^2 on h = 1, 3, 4", {1, 3, 4}, {2, 10, 17}, T::MonotonicConvergence, 2, {}},
      // |eps32| > |eps21|, yet no positive order explains so small a coarse change at r32 = 2.
      {"unequal ratios, coarse change too small", {1, 1.5, 3}, {10, 11, 12.2},
       T::MonotonicDivergence, none, {diverging}},
      {"ratio 1 + 1e-7", {1, g, g * g}, {1, 1.1, 1.2}, T::Undetermined, none, {"ratio~1"}},
      {"ratio 1.2", {1, 1.2, 1.44}, powerLaw({1, 1.2, 1.44}, 1, 1, 2),
       T::MonotonicConvergence, 2, {"ratio<1.3"}},
      {"a few ulps", h124, {1, 1 + kUlp, 1 + 3 * kUlp}, T::WithinNoise, none, {"within-noise"}},
      {"subnormal changes", h124, {1e-310, 2e-310, 4e-310}, T::WithinNoise, none,
       {"within-noise"}},
      {"within the user's noise", h124, {1, 1.0001, 1.0003}, T::WithinNoise, none,
       {"within-noise"}, 1e-3},
      {"two grids a ulp apart", {1, 2}, {1, 1 + kUlp}, T::WithinNoise, none, {"within-noise"}},
      {"fine pair within noise", h124, {1, 1 + kUlp, 2}, T::Undetermined, none,
       {"phi1 = phi2 (eps21 = 0 or within noise): no observed order"}},
      {"no change", h124, {1, 1, 1}, T::NoChange, none, {"all values equal: nothing to estimate"}},
      {"phi1 = 0", h124, {0, 1, 3}, T::MonotonicConvergence, 1, {"phi1 near 0"}},
      {"oscillatory divergence", h124, {1, 2, 1.5}, T::OscillatoryDivergence, none,
       {diverging, "oscillatory"}},
      {"monotonic divergence", h124, {1, 2, 2.5}, T::MonotonicDivergence, none, {diverging}},
      // The published check GCI32 / (r^p GCI21) is phi1/phi2 = 0.52 here; the orders agree.
      {"exact h^1.5 on four grids", h1248, powerLaw(h1248, 1, 1, 1.5),
       T::MonotonicConvergence, 1.5, {}},
      // Orders 3 (finest) and 2: spread, and the finest the farther from p_th = 2.
      {"scattered orders", h1248, {100, 101, 109, 141}, T::MonotonicConvergence, 3,
       {"CF/FS outside calibration", "not asymptotic"}},
      {"orders approaching", h1248,
       {100, 101, 101 + std::pow(2, 2.2), 101 + std::pow(2, 2.2) + std::pow(2, 4.8)},
       T::MonotonicConvergence, 2.2, {"orders approach p_th"}},
      {"p = 4 from theory 1", h124, {1, 1.0625, 2.0625}, T::MonotonicConvergence, 4,
       {"p far from theory", "CF/FS outside calibration"}, none, 1.0},
  };
  // clang-format on
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    const StandardResult r =
        standardProcedure(c.h, c.phi, kNotANumber, {.theoreticalOrder = c.pTh, .noise = c.noise});
    EXPECT_EQ(convergenceName(r.convergence), convergenceName(c.type));
    if (std::isnan(c.p)) {
      EXPECT_FALSE(r.hasOrder()) << r.p;
      EXPECT_TRUE(std::isnan(r.phiExt21) && std::isnan(r.gciFine21));
    } else {
      EXPECT_NEAR(r.p, c.p, 1e-9);
    }
    std::vector<std::string> codes;
    for (const StatusFinding& f : statusFindings(r, c.pTh)) {
      codes.emplace_back(f.code);
      EXPECT_FALSE(f.message.empty());
    }
    EXPECT_EQ(codes, c.codes);
  }
}

// Celik et al. 2008, Table 1: column 1 converges monotonically at p = 1.534; column 3
// oscillates (6.0042, 5.9624, 6.0909).
TEST(Verdict, EstimatesThatApplyToEachTriplet) {
  auto cells = [](std::vector<double> n) {
    for (double& x : n) x = std::pow(x, -0.5);
    return n;
  };
  const StandardResult monotonic = standardProcedure(
      cells({18000, 8000, 4500}), std::vector{6.063, 5.972, 5.863}, kNotANumber, {});
  EXPECT_FALSE(showConservativeGci(monotonic, 2.0));
  EXPECT_TRUE(correctionFactorFor(monotonic, 2.0) && factorOfSafetyFor(monotonic, 2.0));
  EXPECT_FALSE(oscillationUncertaintyFor(monotonic));
  // 3 |eps21| / (1.5^2 - 1) = 0.2184; as a share of phi1 the 3.60 % the reference sheet prints.
  EXPECT_NEAR(conservativeGciUncertainty(monotonic.eps21, monotonic.r21, 2.0).value(), 0.2184,
              1e-12);
  EXPECT_NEAR(monotonic.gciConservative, 0.0360, 5e-5);

  const StandardResult oscillating = standardProcedure(
      cells({18000, 4500, 980}), std::vector{6.0042, 5.9624, 6.0909}, kNotANumber, {});
  EXPECT_TRUE(showConservativeGci(oscillating, 2.0));
  EXPECT_FALSE(correctionFactorFor(oscillating, 2.0) || factorOfSafetyFor(oscillating, 2.0));
  EXPECT_NEAR(oscillationUncertaintyFor(oscillating).value(), (6.0909 - 5.9624) / 2, 1e-15);

  // phi1 = 0: no asymptotic ratio rather than 0 from an infinite relative index.
  const StandardResult zero =
      standardProcedure(std::vector{1.0, 2.0, 4.0}, std::vector{0.0, 1.0, 3.0}, kNotANumber, {});
  EXPECT_TRUE(std::isnan(zero.asymptoticRatio));
}

// Each bit of Warning, from the first to the last, has one entry and a code of its own.
TEST(Verdict, EveryWarningBitHasOneCode) {
  uint32_t seen = 0;
  std::set<std::string_view> codes;
  for (const StatusText& s : statusTexts()) {
    EXPECT_EQ(seen & s.bit, 0u) << s.code;
    seen |= s.bit;
    EXPECT_TRUE(codes.insert(s.code).second && s.code.find(';') == std::string_view::npos);
  }
  EXPECT_EQ(seen, 2u * kNoteOrdersApproach - 1u);
  EXPECT_EQ(static_cast<size_t>(std::popcount(seen)), statusTexts().size());  // one bit each
}

// One table of every finding: codes unique and free of ';', the standard procedure's rows first
// (with a bit each), least squares' and the space-time fits' codes as they are printed.
TEST(Verdict, OneTableOfEveryFinding) {
  std::set<std::string_view> codes;
  for (const StatusText& row : findingTexts()) {
    EXPECT_TRUE(codes.insert(row.code).second && row.code.find(';') == std::string_view::npos);
    EXPECT_EQ(row.bit != 0, &row < statusTexts().data() + statusTexts().size()) << row.code;
  }
  const char* const spaceTime[] = {"order-range",    "assumed-order",  "few-runs",
                                   "no-order",       "no-change",      "scatter",
                                   "grid-dominates", "time-dominates", "iterative-error"};
  for (std::size_t k = 0; k < std::size(spaceTime); ++k) {
    const auto code = static_cast<SpaceTimeWarningCode>(
        static_cast<std::size_t>(SpaceTimeWarningCode::orderRange) + k);
    EXPECT_EQ(spaceTimeWarningCode(code), spaceTime[k]);
  }
  // Besides them, least squares' and a table's missing values.
  EXPECT_EQ(findingTexts().size(), statusTexts().size() + 1 + std::size(spaceTime) + 1);
  EXPECT_EQ(findingTexts().back().code, "missing values");

  LeastSquaresResult ls;
  ls.pAtBracketEnd = true;
  std::vector<StatusFinding> findings;
  appendLeastSquaresFindings(ls, true, findings);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "ls order at bracket end");
  EXPECT_EQ(findings[0].message,
            "the least-squares free order lies at an end of its bracket [0.01, 20]: no order fits "
            "the data; the least-squares U rests on the fixed-order fits");
}

}  // namespace
}  // namespace kv
