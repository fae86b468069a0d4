#include "estimation/uncertainty.h"
#include "estimation/standard_procedure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace kv {
namespace {


// Three-grid estimates worked by hand (grid 1 finest, Fs = 1.25, p_th = 2):
//
// NASA grid-convergence tutorial: h = 1, 2, 4; f = 0.97050, 0.96854, 0.96178.
//   eps21 = -0.00196, eps32 = -0.00676, r = 2, r^p = 0.00676 / 0.00196 = 169/49,
//   p = ln(169/49) / ln 2 = 1.786170 (as printed), r^p - 1 = 120/49,
//   delta_RE = -0.00196 * 49/120 = -8.0033333e-4,
//   GCI_fine21 = 1.25 (0.00196 / 0.97050) / (120/49) = 1.030826e-3 (0.103083 % as printed),
//   u_gci = 1.25 * 8.0033333e-4 = 1.0004167e-3,
//   CF = (120/49) / (2^2 - 1) = 40/49, |1 - CF| = 9/49 >= 0.125,
//   U_CF = (2 * 9/49 + 1) 8.0033333e-4 = (67/49) 8.0033333e-4 = 1.0943333e-3,
//   P = 1.7861696 / 2 = 0.8930848, U_FS = (1.6 P + 2.45 (1 - P)) |delta_RE|
//        = 1.6908779 * 8.0033333e-4 = 1.3532660e-3.
//
// Celik et al. 2008, Table 1, column 1: cells 18000, 8000, 4500 in 2D, h = cells^(-1/2);
// phi = 6.063, 5.972, 5.863; p = 1.5339690206 (the paper prints 1.53).
//   r21 = sqrt(18000 / 8000) = 1.5, eps21 = -0.091, r21^p = 1.8625954, r21^p - 1 = 0.8625954,
//   delta_RE = -0.091 / 0.8625954 = -0.10549557,
//   e_a21 = 0.091 / 6.063 = 0.0150091, GCI_fine21 = 1.25 * 0.0150091 / 0.8625954
//        = 0.02174987 (2.2 % as printed), u_gci = 0.02174987 * 6.063 = 0.13186947,
//   CF = 0.8625954 / (1.5^2 - 1) = 0.6900764, |1 - CF| = 0.3099236 >= 0.125,
//   U_CF = (2 * 0.3099236 + 1) 0.10549557 = 1.6198473 * 0.10549557 = 0.17088672,
//   P = 1.5339690 / 2 = 0.7669845, U_FS = (1.6 P + 2.45 (1 - P)) 0.10549557
//        = 1.7980632 * 0.10549557 = 0.18968770.
struct WorkedCase {
  const char* source;
  double phi1, eps21, r21, p, gci, uGci, uCf, uFs;
};

const WorkedCase kWorked[] = {
    {"NASA tutorial", 0.97050, 0.96854 - 0.97050, 2.0,
     std::log((0.96178 - 0.96854) / (0.96854 - 0.97050)) / std::log(2.0), 1.030826e-3, 1.0004167e-3,
     1.0943333e-3, 1.3532660e-3},
    {"Celik et al. 2008 Table 1 column 1", 6.063, 5.972 - 6.063, std::sqrt(18000.0 / 8000.0),
     1.5339690206, 0.02174987, 0.13186947, 0.17088672, 0.18968770},
};

TEST(ThreeGridUncertainty, ReproducesTheWorkedCases) {
  for (const WorkedCase& c : kWorked) {
    SCOPED_TRACE(c.source);
    const double tolerance = 1e-6;  // relative: the hand-worked figures keep 8 digits
    const double gci = 1.25 * std::abs(c.eps21 / c.phi1) / (std::pow(c.r21, c.p) - 1.0);
    EXPECT_NEAR(gci, c.gci, tolerance * c.gci);
    EXPECT_NEAR(gciUncertainty(gci, c.phi1).value(), c.uGci, tolerance * c.uGci);
    EXPECT_NEAR(correctionFactorUncertainty(c.eps21, c.r21, c.p, 2.0)->u, c.uCf, tolerance * c.uCf);
    EXPECT_NEAR(factorOfSafetyUncertainty(c.eps21, c.r21, c.p, 2.0)->u, c.uFs, tolerance * c.uFs);
  }
}

TEST(ThreeGridUncertainty, DoesNotApplyWithoutAnOrderOrARatio) {
  struct Case {
    double eps21, r21, p, pTh;
  };
  for (const Case& c :
       {Case{0.1, 2.0, 0.0, 2.0}, Case{0.1, 2.0, -1.0, 2.0}, Case{0.1, 2.0, kNotANumber, 2.0},
        Case{0.1, 1.0, 2.0, 2.0}, Case{0.1, 0.5, 2.0, 2.0}, Case{0.1, 2.0, 2.0, 0.0},
        Case{kNotANumber, 2.0, 2.0, 2.0}, Case{0.1, 2.0, 2000.0, 2.0}}) {
    EXPECT_FALSE(correctionFactorUncertainty(c.eps21, c.r21, c.p, c.pTh));
    EXPECT_FALSE(factorOfSafetyUncertainty(c.eps21, c.r21, c.p, c.pTh));
  }
  EXPECT_FALSE(gciUncertainty(-0.01, 1.0));
  EXPECT_FALSE(gciUncertainty(kNotANumber, 1.0));
}

// Manufactured families phi = 1 + h^p + beta h^(p+1) on h = 0.1, 0.2, 0.4: with beta = 0 the
// Richardson error delta_RE is the true error E = phi1 - 1 itself, so U / |E| is the
// estimator's own factor; a second term moves it a little but every estimate still bounds E.
// The rows take each branch: CF = (2^p - 1) / (2^p_th - 1) = 1 (factor 1.1), 0.88 (|1 - CF|
// below 0.125: 9.6 * 0.12^2 + 1.1), 1/3 and 7/3 (2 |1 - CF| + 1); P = 1, 0.5 and 1.5 (factors
// 1.6, 0.8 + 1.225 and 2.4 + 7.4).
TEST(ThreeGridUncertainty, BoundsTheKnownErrorOfManufacturedFamilies) {
  struct Family {
    double p, pTh, beta;
    double gci, cf, fs;  // expected U / |E|, 0 = only bounded (between 1 and 2)
  };
  for (const Family& f :
       {Family{2.0, 2.0, 0.0, 1.25, 1.1, 1.6}, Family{1.0, 1.0, 0.0, 1.25, 1.1, 1.6},
        Family{1.0, 2.0, 0.0, 1.25, 2.0 * (2.0 / 3.0) + 1.0, 0.8 + 1.225},
        Family{3.0, 2.0, 0.0, 1.25, 2.0 * (4.0 / 3.0) + 1.0, 2.4 + 7.4},
        Family{2.0, std::log2(1.0 + 3.0 / 0.88), 0.0, 1.25, 9.6 * 0.0144 + 1.1, 0.0},
        Family{2.0, 2.0, 0.1, 0.0, 0.0, 0.0}}) {
    std::vector<double> phi;
    for (double h : {0.1, 0.2, 0.4})
      phi.push_back(1.0 + std::pow(h, f.p) + f.beta * std::pow(h, f.p + 1));
    const double eps21 = phi[1] - phi[0];
    const double p = std::log((phi[2] - phi[1]) / eps21) / std::log(2.0);
    const double error = phi[0] - 1.0;
    const double gci = 1.25 * std::abs(eps21 / phi[0]) / (std::pow(2.0, p) - 1.0);
    const double ratios[] = {gciUncertainty(gci, phi[0]).value() / error,
                             correctionFactorUncertainty(eps21, 2.0, p, f.pTh)->u / error,
                             factorOfSafetyUncertainty(eps21, 2.0, p, f.pTh)->u / error};
    const double expected[] = {f.gci, f.cf, f.fs};
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE("estimator " + std::to_string(k) + ", p = " + std::to_string(f.p));
      if (expected[k] != 0.0) {
        EXPECT_NEAR(ratios[k], expected[k], 1e-9);
      } else {
        EXPECT_GE(ratios[k], 1.0);
        EXPECT_LE(ratios[k], 2.0);
      }
    }
  }
}

// The conservative index 3 |eps21| / (r21^p_th - 1), half the range of oscillating values, and
// the edges of the ranges in which CF and FS are taken as calibrated (both edges inside).
TEST(ThreeGridUncertainty, ConservativeOscillationAndCalibratedRanges) {
  EXPECT_DOUBLE_EQ(conservativeGciUncertainty(-0.3, 2.0, 1.0).value(), 0.9);
  EXPECT_FALSE(conservativeGciUncertainty(0.3, 1.0, 2.0));
  EXPECT_FALSE(conservativeGciUncertainty(0.3, 2.0, 0.0));
  EXPECT_DOUBLE_EQ(oscillationUncertainty(6.0042, 5.9624, 6.0909).value(), (6.0909 - 5.9624) / 2);
  EXPECT_DOUBLE_EQ(oscillationUncertainty(-1e308, 1e308, 0.0).value(), 1e308);  // no overflow
  EXPECT_FALSE(oscillationUncertainty(1.0, kNotANumber, 2.0));
  const double below = std::nextafter(2.0, 0.0), above = std::nextafter(2.0, 3.0);
  for (auto [cf, calibrated] : {std::pair{2.0, true}, {above, false}, {0.0, false}, {1e-9, true}}) {
    EXPECT_EQ(correctionFactorCalibrated(cf), calibrated) << cf;
  }
  for (auto [ratio, calibrated] : {std::pair{0.5, true}, {std::nextafter(0.5, 0.0), false},
                                   {2.0, true}, {above, false}, {below, true}, {kNotANumber, false}}) {
    EXPECT_EQ(factorOfSafetyCalibrated(ratio), calibrated) << ratio;
  }
}

// Celik et al. 2008, Table 1, column 1: GCI_fine21 = 0.02174987 at p = 1.5339690206 and
// h1 = 18000^(-1/2) = 0.0074535599; for 1 %:
//   h = h1 (0.01 / 0.02174987)^(1 / 1.5339690) = h1 * 0.60257452 = 0.0044913253,
//   cells = 18000 (h1 / h)^2 = 18000 / 0.60257452^2 = 49573.66.
TEST(TargetGrid, SpacingAndCellsForATargetIndex) {
  const double h1 = 1.0 / std::sqrt(18000.0);
  const double h = targetSpacing(h1, 0.02174987059474789, 0.01, 1.5339690206).value();
  EXPECT_NEAR(h, 0.0044913253, 1e-10);
  EXPECT_NEAR(targetCells(18000.0, h1, h, 2).value(), 49573.66, 0.01);
  // Halving h in 3D takes 8 times the cells, not 2.
  EXPECT_DOUBLE_EQ(targetCells(1000.0, 0.2, 0.1, 3).value(), 8000.0);
  EXPECT_FALSE(targetSpacing(h1, 0.0, 0.01, kNotANumber));
  EXPECT_FALSE(targetCells(1000.0, 0.2, 0.1, 4));
}

// U = 1, 2, 3, 4, NaN against E = 0.5, 4, -1, 0, 1: four pairs, three bounded (4 > 2 is not);
// ratios U/|E| (E = 0 has none) 2, 0.5, 3, sorted 0.5, 2, 3: median 2,
// 10th percentile 0.5 + 0.2 (2 - 0.5) = 0.8, 90th percentile 2 + 0.8 (3 - 2) = 2.8.
TEST(TruthJudgement, ShareMedianAndSpread) {
  const auto judgement = judgeAgainstTruth(std::vector<double>{1, 2, 3, 4, kNotANumber},
                                           std::vector<double>{0.5, 4, -1, 0, 1})
                             .value();
  EXPECT_EQ(judgement.count, 4u);
  EXPECT_EQ(judgement.bounded, 3u);
  EXPECT_DOUBLE_EQ(judgement.boundedShare, 0.75);
  EXPECT_EQ(judgement.ratioCount, 3u);
  EXPECT_DOUBLE_EQ(judgement.medianRatio, 2.0);
  EXPECT_DOUBLE_EQ(judgement.ratioP10, 0.8);
  EXPECT_DOUBLE_EQ(judgement.ratioP90, 2.8);
  EXPECT_FALSE(judgeAgainstTruth(std::vector<double>{kNotANumber}, std::vector<double>{1.0}));
  EXPECT_FALSE(judgeAgainstTruth(std::vector<double>{1.0}, std::vector<double>{}));
  const auto exact = judgeAgainstTruth(std::vector<double>{0.0}, std::vector<double>{0.0});
  EXPECT_EQ(exact->bounded, 1u);
  EXPECT_EQ(exact->ratioCount, 0u);
  EXPECT_EQ(exact->medianRatio, 0.0);
}

// Fs = 1.25 from p = 0.5 up to just below 1.05 p_th, with data that are not scattered; else 3.
TEST(SafetyFactor, BoundariesOfTheObservedOrder) {
  EXPECT_EQ(safetyFactor(0.5, 2.0, false), 1.25);
  EXPECT_EQ(safetyFactor(std::nextafter(0.5, 0.0), 2.0, false), 3.0);
  for (double pTh : {1.0, 2.0}) {
    EXPECT_EQ(safetyFactor(std::nextafter(1.05 * pTh, 0.0), pTh, false), 1.25) << pTh;
    EXPECT_EQ(safetyFactor(1.05 * pTh, pTh, false), 3.0) << pTh;
    EXPECT_EQ(safetyFactor(pTh, pTh, true), 3.0) << pTh;
  }
  EXPECT_EQ(safetyFactor(std::nan(""), 2.0, false), 3.0);
}

// A range of orders judged to the digits orders are shown with: an order lies inside exactly
// when its three-digit form reads back inside the range, just either side of half a unit.
TEST(OrderRange, JudgedToTheDigitsShown) {
  struct Case {
    double p, low, high;
    bool within;
  };
  for (const Case& c : {
           Case{2.004, 0.5, 2.0, true},  // shown "2"
           Case{2.0049, 0.5, 2.0, true},
           Case{2.0051, 0.5, 2.0, false},  // shown "2.01"
           Case{1.0049, 0.5, 1.0, true},
           Case{1.0051, 0.5, 1.0, false},
           Case{1.5049, 0.5, 1.5, true},
           Case{1.5051, 0.5, 1.5, false},
           Case{0.49951, 0.5, 2.0, true},  // shown "0.5"
           Case{0.49949, 0.5, 2.0, false},  // shown "0.499"
           Case{12.049, 0.5, 12.0, true},
           Case{12.051, 0.5, 12.0, false},
           Case{1.0, 0.5, 2.0, true},
           Case{std::nan(""), 0.5, 2.0, false},
       }) {
    SCOPED_TRACE(c.p);
    EXPECT_EQ(orderWithin(c.p, c.low, c.high), c.within);
    if (std::isnan(c.p)) continue;
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.*g", kOrderDigits, c.p);
    const double read = std::strtod(shown, nullptr);
    EXPECT_EQ(read >= c.low && read <= c.high, c.within) << shown;
  }
}

}  // namespace
}  // namespace kv
