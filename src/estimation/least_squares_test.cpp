#include "estimation/least_squares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace kv {
namespace {

// Eça & Hoekstra's own tool, tutorial case: 60, 50, 40, 30, 20 cells in 1D (h/h1 = 1, 1.2, 1.5,
// 2, 3); its printed free-order fits, to their printed digits (half a unit of the last digit).
TEST(LeastSquares, ReproducesTheTutorialFitsOfEcaAndHoekstra) {
  const std::vector<double> h = {1.0 / 60, 1.0 / 50, 1.0 / 40, 1.0 / 30, 1.0 / 20};
  const std::vector<double> phi = {0.1030, 0.1045, 0.1069, 0.1121, 0.1236};
  const LeastSquaresResult result = leastSquaresUncertainty(h, phi, 2.0);
  ASSERT_EQ(result.status, LeastSquaresStatus::ok);
  struct Printed {
    std::size_t index;
    double phi0, alpha, p, sigma;
  };
  for (const Printed& printed : {Printed{0, 9.7959E-2, 4.9783E-3, 1.4928, 1.6308E-4},
                                 Printed{1, 9.8112E-2, 4.8480E-3, 1.5121, 1.5615E-4}}) {
    const LeastSquaresFit& fit = result.fits[printed.index];
    SCOPED_TRACE(std::string(fit.name));
    EXPECT_NEAR(fit.phi0, printed.phi0, 0.5E-6);
    EXPECT_NEAR(fit.alpha, printed.alpha, 0.5E-7);
    EXPECT_NEAR(fit.p, printed.p, 0.5E-4);
    EXPECT_NEAR(fit.sigma, printed.sigma, 0.5E-8);
    EXPECT_FALSE(fit.pAtBracketEnd);
  }
  // The weighted fit scatters less and its order lies in [0.5, 2]: it is chosen, with Fs = 1.25
  // (sigma is well below the data range (0.1236 - 0.1030) / 4).
  EXPECT_EQ(result.chosenFit().name, "pw");
  EXPECT_EQ(result.fs, 1.25);
  EXPECT_DOUBLE_EQ(result.dataRange, (0.1236 - 0.1030) / 4);
  // U(phi_1) = 1.25 alpha + sigma + |phi_1 - phi_fit,1| = 6.256E-3 (references, section 1).
  EXPECT_NEAR(result.u[0], 6.256E-3, 0.5E-6);
}

// Manufactured families phi = phi0 + alpha h^p + beta h^q (+ seeded noise of a given size),
// whose true error phi_i - phi0 is known: on data in the asymptotic range the uncertainty of
// every grid bounds it. The grids go in shuffled, and the per-grid outputs follow that order.
TEST(LeastSquares, BoundsTheKnownErrorOfManufacturedFamilies) {
  struct Family {
    double alpha, p, beta, q, noise, pTh;
    const char* chosen;
    double fs;
  };
  const double phi0 = 1.0;
  for (const Family& family : {
           Family{0.5, 2.0, 0.0, 0.0, 0.0, 2.0, "p", 1.25},     // clean, second order
           Family{0.5, 1.0, 0.0, 0.0, 0.0, 2.0, "p", 1.25},     // first order below p_th
           Family{-0.5, 1.0, 0.0, 0.0, 0.0, 1.0, "", 1.25},     // from below, p = p_th = 1:
                                                                // rounding puts the fitted p
                                                                // on either side of p_th, and
                                                                // chooses "p" or the exact "h"
           Family{0.5, 0.45, 0.0, 0.0, 0.0, 2.0, "h+h2", 3.0},  // p < 0.5: a fixed-order fit
           Family{0.5, 2.2, 0.0, 0.0, 0.0, 2.0, "h2", 3.0},     // above 1.05 p_th: Fs = 3
           Family{0.5, 3.0, 0.0, 0.0, 0.0, 2.0, "h2", 3.0},     // above p_th: a one-term fit
           Family{0.5, 2.0, 0.2, 3.0, 0.0, 2.0, "h2", 3.0},     // a second term: p = 2.55 > p_th
           Family{0.5, 2.0, 0.0, 0.0, 1e-4, 2.0, "", 1.25},     // noise 2 % of the finest error:
                                                                // p near 2, below 1.05 p_th
       }) {
    SCOPED_TRACE("p = " + std::to_string(family.p) + ", noise = " + std::to_string(family.noise));
    std::vector<double> h = {0.01, 0.0125, 0.016, 0.02, 0.025, 0.032};
    std::mt19937 random(14);  // the output of mt19937 is fixed by the standard
    std::shuffle(h.begin(), h.end(), random);
    auto noise = [&] { return family.noise * (static_cast<double>(random()) / 0x1p31 - 1.0); };
    std::vector<double> phi, trueError;
    for (double hi : h) {
      const double x = hi / 0.01;  // the fits are in h/h1
      trueError.push_back(family.alpha * std::pow(x, family.p) * 0.01 +
                          family.beta * std::pow(x, family.q) * 0.01 + noise());
      phi.push_back(phi0 + trueError.back());
    }
    const LeastSquaresResult result = leastSquaresUncertainty(h, phi, family.pTh);
    ASSERT_EQ(result.status, LeastSquaresStatus::ok);
    if (*family.chosen != '\0') {  // with noise either side of p_th may be right
      EXPECT_EQ(result.chosenFit().name.substr(0, result.chosenFit().name.find('w')),
                family.chosen);
    }
    EXPECT_EQ(result.fs, family.fs);
    if (family.noise == 0.0 && family.beta == 0.0) {  // the root of dS/dp: p to 1e-12
      EXPECT_NEAR(result.fits[0].p, family.p, 1e-12 * family.p);
      EXPECT_NEAR(result.fits[1].p, family.p, 1e-12 * family.p);
    }
    for (std::size_t i = 0; i < h.size(); ++i) {
      EXPECT_LE(std::abs(trueError[i]), result.u[i]) << "grid h = " << h[i];
      // With Fs = 1.25 the fit is close to the truth: U is about 1.25 |E|, no more.
      if (family.fs == 1.25) {
        EXPECT_LE(result.u[i], 1.3 * std::abs(trueError[i])) << "grid h = " << h[i];
      }
    }
  }
}

TEST(LeastSquares, FlagsAnOrderOnTheBracketEnd) {
  const std::vector<double> h = {1.0, 1.25, 1.5, 2.0, 3.0};
  std::vector<double> steep, logarithmic;
  for (double x : h) {
    steep.push_back(1.0 + 1e-12 * std::pow(x, 30.0));
    logarithmic.push_back(1.0 + std::log(x));  // the limit of (x^p - 1)/p as p -> 0
  }
  const LeastSquaresResult high = leastSquaresUncertainty(h, steep, 2.0);
  EXPECT_TRUE(high.pAtBracketEnd);
  EXPECT_EQ(high.p, kLeastSquaresOrderMax);
  const LeastSquaresResult low = leastSquaresUncertainty(h, logarithmic, 2.0);
  EXPECT_TRUE(low.pAtBracketEnd);
  EXPECT_EQ(low.p, kLeastSquaresOrderMin);
  EXPECT_NE(low.chosenFit().model, ErrorModel::freeOrder);  // p < 0.5
}

// The free-order fit as a plain scan (the procedure as first written here): every p of the scan
// and of the golden-section search fitted alone, by the centred sums, with its powers from exp.
struct ReferenceFit {
  double p, phi0, alpha, s;
};

ReferenceFit referenceFit(const std::vector<double>& x, const std::vector<double>& phi,
                          const std::vector<double>& w, double p) {
  const std::size_t n = x.size();
  std::vector<double> X(n);
  double weight = 0, meanX = 0, meanPhi = 0, squares = 0, sxx = 0, sxphi = 0, s = 0;
  for (std::size_t i = 0; i < n; ++i) {
    X[i] = std::exp(p * std::log(x[i]));
    weight += w[i], meanX += w[i] * X[i], meanPhi += w[i] * phi[i], squares += w[i] * X[i] * X[i];
  }
  meanX /= weight, meanPhi /= weight;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += w[i] * (X[i] - meanX) * (X[i] - meanX);
    sxphi += w[i] * (X[i] - meanX) * (phi[i] - meanPhi);
  }
  if (!std::isfinite(sxx) || !std::isfinite(squares) || !(sxx > 1e-24 * squares)) {
    return {p, 0, 0, std::numeric_limits<double>::infinity()};
  }
  const double alpha = sxphi / sxx, phi0 = meanPhi - alpha * meanX;
  for (std::size_t i = 0; i < n; ++i) {
    s += w[i] * (phi[i] - phi0 - alpha * X[i]) * (phi[i] - phi0 - alpha * X[i]);
  }
  return {p, phi0, alpha, std::isfinite(s) ? s : std::numeric_limits<double>::infinity()};
}

ReferenceFit referenceFreeOrder(const std::vector<double>& x, const std::vector<double>& phi,
                                const std::vector<double>& w) {
  const double step = (kLeastSquaresOrderMax - kLeastSquaresOrderMin) / 400;
  auto scanned = [&](int k) { return k >= 400 ? kLeastSquaresOrderMax : 0.01 + step * k; };
  int best = 0;
  ReferenceFit bestFit{0, 0, 0, std::numeric_limits<double>::infinity()};
  for (int k = 0; k <= 400; ++k) {
    const ReferenceFit fit = referenceFit(x, phi, w, scanned(k));
    if (fit.s < bestFit.s) bestFit = fit, best = k;
  }
  double a = scanned(std::max(best - 1, 0)), b = scanned(best + 1);
  const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
  ReferenceFit c = referenceFit(x, phi, w, b - ratio * (b - a));
  ReferenceFit d = referenceFit(x, phi, w, a + ratio * (b - a));
  while (b - a > 1e-10 * std::max(1.0, std::abs(a))) {
    if (c.s <= d.s) {
      b = d.p, d = c, c = referenceFit(x, phi, w, b - ratio * (b - a));
    } else {
      a = c.p, c = d, d = referenceFit(x, phi, w, a + ratio * (b - a));
    }
  }
  ReferenceFit fit = referenceFit(x, phi, w, 0.5 * (a + b));
  for (const ReferenceFit& other : {c, d}) {
    if (other.s < fit.s) fit = other;
  }
  return bestFit.s <= fit.s ? bestFit : fit;
}

// S of the fit in x^p in long double, from the residuals: the yardstick of both searches.
long double exactS(const std::vector<double>& x, const std::vector<double>& phi,
                   const std::vector<double>& w, double p) {
  const std::size_t n = x.size();
  std::vector<long double> X(n);
  long double weight = 0, meanX = 0, meanPhi = 0, sxx = 0, sxphi = 0, s = 0;
  for (std::size_t i = 0; i < n; ++i) {
    X[i] = std::pow(static_cast<long double>(x[i]), static_cast<long double>(p));
    weight += w[i], meanX += w[i] * X[i], meanPhi += w[i] * phi[i];
  }
  meanX /= weight, meanPhi /= weight;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += w[i] * (X[i] - meanX) * (X[i] - meanX);
    sxphi += w[i] * (X[i] - meanX) * (phi[i] - meanPhi);
  }
  const long double alpha = sxphi / sxx, phi0 = meanPhi - alpha * meanX;
  for (std::size_t i = 0; i < n; ++i) {
    s += w[i] * (phi[i] - phi0 - alpha * X[i]) * (phi[i] - phi0 - alpha * X[i]);
  }
  return s;
}

// Random series of 4 to 8 grids, shuffled or not: power laws exact or noisy (from rounding
// level to 30 % of the error), oscillating, near-constant values, flat but for the coarsest
// grid, and orders at the bracket's ends. The plain scan places p only to the golden section's
// 1e-10, and no closer than the order within which its S, summed from residuals of size
// rounding times phi, cannot tell orders apart (often 1e-8 of p, with noise); the root of dS/dp
// is not so bound, so the orders are compared through S: the fit's order minimises S (in long
// double) at least as well as the plain scan's, up to that rounding; and its phi0 + alpha x^p
// and sigma are those of the plain fit at its order.
TEST(LeastSquares, FreeOrderFitsMinimiseSAtLeastAsWellAsAPlainScanOnRandomSeries) {
  constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 3000; ++trial) {
    const int kind = trial % 8;  // noise by trial % 4; 4 flat, 5 oscillating, 6 ends, 7 constant
    const std::size_t n = 4 + static_cast<std::size_t>(unit(random) * 5);
    double order = 0.05 + 6.0 * unit(random);
    if (kind == 6) {
      order = unit(random) < 0.5 ? 0.01 + 0.02 * unit(random) : 19 + 2 * unit(random);
    }
    const double alpha = (unit(random) < 0.5 ? -1 : 1) * std::pow(10.0, -4.0 * unit(random));
    const double noise = std::array<double, 4>{0.0, 1e-12, 1e-3, 0.3}[trial % 4];
    std::vector<double> h, phi;
    double spacing = 0.001 + unit(random);
    for (std::size_t i = 0; i < n; ++i) {
      h.push_back(spacing);
      const double sign = kind == 5 && i % 2 == 1 ? -1.0 : 1.0;
      phi.push_back(2.0 + sign * alpha * std::pow(spacing, order) +
                    noise * std::abs(alpha) * (2.0 * unit(random) - 1.0));
      spacing *= 1.05 + 1.5 * unit(random);
    }
    for (std::size_t i = 0; i + 1 < n && kind == 4; ++i) phi[i] = 2.0 + 1e-15 * unit(random);
    for (std::size_t i = 0; i < n && kind == 7; ++i) phi[i] = 1.0 + 1e-9 * unit(random);
    if (trial % 3 == 0) std::shuffle(h.begin(), h.end(), random);
    const LeastSquaresResult result = leastSquaresUncertainty(h, phi, 2.0);
    ASSERT_EQ(result.status, LeastSquaresStatus::ok);
    const double hMin = *std::min_element(h.begin(), h.end());
    std::vector<double> x, ones(n, 1.0), w;
    for (double value : h) x.push_back(value / hMin);
    double inverseSum = 0;
    for (double value : x) inverseSum += 1.0 / value;
    for (double value : x) w.push_back((1.0 / value) / inverseSum);
    std::array<ReferenceFit, 2> plain;
    std::array<double, 2> sigmaRounding;
    for (int f = 0; f < 2; ++f) {
      const std::vector<double>& weights = f == 1 ? w : ones;
      plain[f] = referenceFreeOrder(x, phi, weights);
      const LeastSquaresFit& fit = result.fits[f];
      SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::string(fit.name));
      // The plain scan's rounding of S: residuals off by 4 eps (|phi| + |phi0| + |alpha X|).
      double size = 0, weight = 0;
      for (std::size_t i = 0; i < n; ++i) {
        size = std::max(size, std::abs(phi[i]) + std::abs(plain[f].phi0) +
                                  std::abs(plain[f].alpha * std::pow(x[i], plain[f].p)));
        weight += weights[i];
      }
      const double e = 4 * kEpsilon * size;
      const double rounding = 4 * (2 * e * std::sqrt(weight * plain[f].s) + weight * e * e);
      ASSERT_LE(exactS(x, phi, weights, fit.p), exactS(x, phi, weights, plain[f].p) + rounding);
      const ReferenceFit at = referenceFit(x, phi, weights, fit.p);
      for (double xi : x) {
        EXPECT_NEAR(fit.valueAt(xi), at.phi0 + at.alpha * std::pow(xi, fit.p), 1e-12 * size);
      }
      const double dof = static_cast<double>(n - 3), scale = f == 1 ? static_cast<double>(n) : 1;
      sigmaRounding[f] = std::sqrt(scale * rounding / dof);
      EXPECT_NEAR(fit.sigma, std::sqrt(scale * at.s / dof), sigmaRounding[f]);
    }
    // The choice and Fs that the plain scan's fits make (the fixed-order fits are the same),
    // unless a comparison that decides them is within the plain sigmas' own error (rounding,
    // and on near-exact series the excess S of an order off by up to 1e-10): the same.
    std::array<double, 2> sigma, sigmaError;
    for (int f = 0; f < 2; ++f) {
      sigma[f] = std::sqrt((f == 1 ? n : 1) * plain[f].s / (n - 3.0));
      sigmaError[f] = std::abs(sigma[f] - result.fits[f].sigma) + sigmaRounding[f];
    }
    const int kept = sigma[1] < sigma[0] ? 1 : 0;
    const double p = plain[kept].p;
    const bool freeChosen = p >= 0.5 && p <= 2.0;
    const double chosenSigma = freeChosen ? sigma[kept] : result.sigma;
    auto near = [](double a, double b) { return std::abs(a - b) <= 1e-6 * std::abs(b); };
    if (std::abs(sigma[0] - sigma[1]) <= sigmaError[0] + sigmaError[1] ||
        near(sigma[0], sigma[1]) || near(p, 0.5) || near(p, 2.0) || near(p, 2.1) ||
        near(chosenSigma, result.dataRange) || !near(result.p, p)) {
      continue;
    }
    SCOPED_TRACE("trial " + std::to_string(trial));
    EXPECT_EQ(result.chosen == static_cast<std::size_t>(kept), freeChosen);
    const bool tight = chosenSigma < result.dataRange && p >= 0.5 && p < 2.1;
    EXPECT_EQ(result.fs, tight ? 1.25 : 3.0);
  }
}

TEST(LeastSquares, DegenerateInputsGiveAStatusAndNoNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::vector<double> h, phi;
    double pTh;
    LeastSquaresStatus status;
  };
  for (const Case& c : {
           Case{{1, 2, 3}, {1, 2, 3}, 2.0, LeastSquaresStatus::tooFewGrids},
           Case{{1, 2, 3, 4}, {1, 2, 3}, 2.0, LeastSquaresStatus::sizeMismatch},
           Case{{1, 2, 3, 4}, {1, nan, 3, 4}, 2.0, LeastSquaresStatus::notFinite},
           Case{{1, 2, 3, 4}, {1, 2, 3, 4}, nan, LeastSquaresStatus::notFinite},
           Case{{1, 0, 3, 4}, {1, 2, 3, 4}, 2.0, LeastSquaresStatus::nonPositiveSpacing},
           Case{{1, 2, 3, 2}, {1, 2, 3, 4}, 2.0, LeastSquaresStatus::equalSpacings},
           Case{{1, 2, 3, 4}, {5, 5, 5, 5}, 2.0, LeastSquaresStatus::allValuesEqual},
           Case{{1, 2, 3, 4}, {1, 2, 3, 4}, 0.0, LeastSquaresStatus::badTheoreticalOrder},
           Case{{1, 2, 3, 4}, {1e308, -1e308, 1e308, -1e308}, 2.0, LeastSquaresStatus::notFinite},
           // Precedence: the counts first, then anything not finite, then the spacings.
           Case{{1, 2, 3}, {1, 2, 3, 4}, 2.0, LeastSquaresStatus::sizeMismatch},
           Case{{1, 0, 3, 4}, {1, nan, 3, 4}, 2.0, LeastSquaresStatus::notFinite},
           Case{{1, 2, 2, 4}, {5, 5, 5, 5}, 2.0, LeastSquaresStatus::equalSpacings},
       }) {
    const LeastSquaresResult result = leastSquaresUncertainty(c.h, c.phi, c.pTh);
    EXPECT_EQ(result.status, c.status) << leastSquaresStatusText(c.status);
    EXPECT_TRUE(result.u.empty());
    EXPECT_EQ(result.fs, 0.0);
  }
}

// A field's way: one plan for the spacings, one result reused point after point (values of all
// kinds, and points that fail). Every number equals the one-call function's, which scans every
// order: the blocks the plan skips cannot hold the minimum. The per-grid vectors keep their
// storage once large enough, also across failed points; more than 16 grids work the same.
TEST(LeastSquares, APlanReusedOverAFieldGivesTheOneCallResults) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937_64 random(31);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t grids : {5u, 20u}) {
    std::vector<double> h;
    for (double spacing = 0.01; h.size() < grids; spacing *= 1.1 + unit(random)) {
      h.push_back(spacing);
    }
    std::shuffle(h.begin(), h.end(), random);
    const LeastSquaresPlan plan = makeLeastSquaresPlan(h, 2.0);
    ASSERT_EQ(plan.status, LeastSquaresStatus::ok);
    LeastSquaresResult result;
    const double* storage = nullptr;
    for (int point = 0; point < 400; ++point) {
      const double order = 0.1 + 5.0 * unit(random), noise = point % 3 == 0 ? 0.0 : 1e-2;
      std::vector<double> phi;
      for (double hi : h) {
        const double sign = point % 4 == 1 ? -1 : 1;
        phi.push_back(1.0 + sign * std::pow(hi, order) * (1 + noise * unit(random)));
      }
      if (point % 50 == 7) phi[1] = nan;
      if (point % 50 == 8) phi.assign(grids, 3.0);
      leastSquaresUncertainty(plan, phi, result);
      const LeastSquaresResult expected = leastSquaresUncertainty(h, phi, 2.0);
      SCOPED_TRACE("grids " + std::to_string(grids) + ", point " + std::to_string(point));
      ASSERT_EQ(result.status, expected.status);
      EXPECT_EQ(result.u, expected.u);
      EXPECT_EQ(result.error, expected.error);
      EXPECT_EQ(result.residual, expected.residual);
      EXPECT_EQ(result.chosen, expected.chosen);
      EXPECT_EQ(result.fs, expected.fs);
      for (std::size_t k = 0; k < result.fits.size(); ++k) {
        EXPECT_EQ(result.fits[k].p, expected.fits[k].p);
        EXPECT_EQ(result.fits[k].phi0, expected.fits[k].phi0);
        EXPECT_EQ(result.fits[k].alpha, expected.fits[k].alpha);
        EXPECT_EQ(result.fits[k].sigma, expected.fits[k].sigma);
      }
      if (result.status == LeastSquaresStatus::ok) {
        if (storage == nullptr) storage = result.u.data();
        EXPECT_EQ(result.u.data(), storage);
      }
    }
  }
  EXPECT_EQ(leastSquaresUncertainty(LeastSquaresPlan{}, {}).status,
            LeastSquaresStatus::tooFewGrids);
}

}  // namespace
}  // namespace kv
