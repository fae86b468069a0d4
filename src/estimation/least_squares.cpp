#include "estimation/least_squares.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>

namespace kv {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::size_t kScanPoints = 401;  // steps of about 0.05 over the order bracket
constexpr double kOrderTolerance = 1e-10;

constexpr std::array<std::string_view, 8> kFitNames = {"p",  "pw",  "h",    "hw",
                                                       "h2", "h2w", "h+h2", "h+h2w"};

// Weighted linear least squares  phi ~ c0 + c1 f1(x) + c2 f2(x)  with `columns` (2 or 3)
// basis functions, by modified Gram-Schmidt on the columns scaled by sqrt(w_i) (better
// conditioned than the normal equations). The residual sum S = sum_i w_i r_i^2 is +infinity
// when the columns are dependent or a number overflows.
struct LinearFit {
  std::array<double, 3> c{};
  double s = kInfinity;
};

LinearFit fitLinear(std::span<const std::array<double, 3>> basis, std::span<const double> phi,
                    std::span<const double> w, std::size_t columns) {
  const std::size_t n = phi.size();
  std::vector<std::array<double, 3>> q(n);
  std::vector<double> b(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double root = std::sqrt(w[i]);
    for (std::size_t k = 0; k < columns; ++k) q[i][k] = root * basis[i][k];
    b[i] = root * phi[i];
  }
  std::array<std::array<double, 3>, 3> r{};
  std::array<double, 3> y{};
  LinearFit fit;
  for (std::size_t k = 0; k < columns; ++k) {
    double original = 0.0;
    for (std::size_t i = 0; i < n; ++i) original += q[i][k] * q[i][k];
    for (std::size_t j = 0; j < k; ++j) {
      double dot = 0.0;
      for (std::size_t i = 0; i < n; ++i) dot += q[i][j] * q[i][k];
      r[j][k] = dot;
      for (std::size_t i = 0; i < n; ++i) q[i][k] -= dot * q[i][j];
    }
    double norm = 0.0;
    for (std::size_t i = 0; i < n; ++i) norm += q[i][k] * q[i][k];
    if (!std::isfinite(norm) || !(norm > 1e-24 * original)) return fit;
    norm = std::sqrt(norm);
    r[k][k] = norm;
    for (std::size_t i = 0; i < n; ++i) q[i][k] /= norm;
    double dot = 0.0;
    for (std::size_t i = 0; i < n; ++i) dot += q[i][k] * b[i];
    y[k] = dot;
    for (std::size_t i = 0; i < n; ++i) b[i] -= dot * q[i][k];
  }
  for (std::size_t k = columns; k-- > 0;) {
    double sum = y[k];
    for (std::size_t j = k + 1; j < columns; ++j) sum -= r[k][j] * fit.c[j];
    fit.c[k] = sum / r[k][k];
  }
  // The residuals from the coefficients (not from the projection), as they will be reported.
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    double value = 0.0;
    for (std::size_t k = 0; k < columns; ++k) value += fit.c[k] * basis[i][k];
    s += w[i] * (phi[i] - value) * (phi[i] - value);
  }
  fit.s = std::isfinite(s) ? s : kInfinity;
  return fit;
}

// The one-term fit phi0 + alpha X, X_i = x_i^p = exp(p ln x_i), at a given p, from the weighted
// means and the centred sums (no allocation: `powers` holds the X_i). It runs some nine hundred
// times per free-order fit, so it stays lean; S is summed from the residuals themselves.
LinearFit fitPower(std::span<const double> logX, std::span<const double> phi,
                   std::span<const double> w, double p, std::vector<double>& powers) {
  LinearFit fit;
  double weight = 0.0, meanX = 0.0, meanPhi = 0.0, squares = 0.0;
  for (std::size_t i = 0; i < logX.size(); ++i) {
    powers[i] = std::exp(p * logX[i]);
    weight += w[i];
    meanX += w[i] * powers[i];
    meanPhi += w[i] * phi[i];
    squares += w[i] * powers[i] * powers[i];
  }
  meanX /= weight;
  meanPhi /= weight;
  double sxx = 0.0, sxphi = 0.0;
  for (std::size_t i = 0; i < logX.size(); ++i) {
    sxx += w[i] * (powers[i] - meanX) * (powers[i] - meanX);
    sxphi += w[i] * (powers[i] - meanX) * (phi[i] - meanPhi);
  }
  if (!std::isfinite(sxx) || !std::isfinite(squares) || !(sxx > 1e-24 * squares)) return fit;
  fit.c[1] = sxphi / sxx;
  fit.c[0] = meanPhi - fit.c[1] * meanX;
  double s = 0.0;
  for (std::size_t i = 0; i < logX.size(); ++i) {
    const double r = phi[i] - fit.c[0] - fit.c[1] * powers[i];
    s += w[i] * r * r;
  }
  fit.s = std::isfinite(s) ? s : kInfinity;
  return fit;
}

double standardDeviation(double s, std::size_t grids, std::size_t parameters, bool weighted) {
  const double n = static_cast<double>(grids);
  const double dof = static_cast<double>(grids - parameters);
  return std::sqrt((weighted ? n * s : s) / dof);
}

// The free-order fit: S(p) scanned over the bracket, then golden-section search on the scanned
// minimum's neighbourhood; an end of the bracket wins when S is no larger there.
LeastSquaresFit fitFreeOrder(std::span<const double> x, std::span<const double> phi,
                             std::span<const double> w, bool weighted) {
  std::vector<double> powers(x.size());
  std::vector<double> logX(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) logX[i] = std::log(x[i]);
  auto s = [&](double p) { return fitPower(logX, phi, w, p, powers).s; };
  const double step =
      (kLeastSquaresOrderMax - kLeastSquaresOrderMin) / static_cast<double>(kScanPoints - 1);
  auto scanned = [&](std::size_t k) {
    return k + 1 == kScanPoints ? kLeastSquaresOrderMax
                                : kLeastSquaresOrderMin + step * static_cast<double>(k);
  };
  std::size_t best = 0;
  double bestS = kInfinity;
  for (std::size_t k = 0; k < kScanPoints; ++k) {
    const double value = s(scanned(k));
    if (value < bestS) {
      bestS = value;
      best = k;
    }
  }
  double a = scanned(best == 0 ? 0 : best - 1);
  double b = scanned(best + 1 == kScanPoints ? best : best + 1);
  const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
  double c = b - ratio * (b - a);
  double d = a + ratio * (b - a);
  double sc = s(c);
  double sd = s(d);
  while (b - a > kOrderTolerance * std::max(1.0, std::abs(a))) {
    if (sc <= sd) {
      b = d;
      d = c;
      sd = sc;
      c = b - ratio * (b - a);
      sc = s(c);
    } else {
      a = c;
      c = d;
      sc = sd;
      d = a + ratio * (b - a);
      sd = s(d);
    }
  }
  double p = 0.5 * (a + b);
  double sp = s(p);
  if (sc < sp) p = c, sp = sc;
  if (sd < sp) p = d, sp = sd;
  if (bestS <= sp) p = scanned(best), sp = bestS;

  LeastSquaresFit fit;
  fit.model = ErrorModel::freeOrder;
  fit.weighted = weighted;
  const LinearFit linear = fitPower(logX, phi, w, p, powers);
  fit.phi0 = linear.c[0];
  fit.alpha = linear.c[1];
  fit.p = p;
  fit.sigma = standardDeviation(linear.s, x.size(), 3, weighted);
  fit.pAtBracketEnd = p == kLeastSquaresOrderMin || p == kLeastSquaresOrderMax;
  return fit;
}

LeastSquaresFit fitFixedOrder(ErrorModel model, std::span<const double> x,
                              std::span<const double> phi, std::span<const double> w,
                              bool weighted) {
  std::vector<std::array<double, 3>> basis(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double x2 = x[i] * x[i];
    basis[i] = model == ErrorModel::firstOrder    ? std::array<double, 3>{1.0, x[i], 0.0}
               : model == ErrorModel::secondOrder ? std::array<double, 3>{1.0, x2, 0.0}
                                                  : std::array<double, 3>{1.0, x[i], x2};
  }
  const std::size_t columns = model == ErrorModel::firstAndSecondOrder ? 3 : 2;
  const LinearFit linear = fitLinear(basis, phi, w, columns);
  LeastSquaresFit fit;
  fit.model = model;
  fit.weighted = weighted;
  fit.phi0 = linear.c[0];
  fit.alpha = linear.c[1];
  fit.alpha2 = linear.c[2];
  fit.p = model == ErrorModel::secondOrder ? 2.0 : 1.0;
  fit.sigma = standardDeviation(linear.s, x.size(), columns, weighted);
  return fit;
}

LeastSquaresStatus checkInput(std::span<const double> h, std::span<const double> phi, double pTh) {
  if (h.size() != phi.size()) return LeastSquaresStatus::sizeMismatch;
  if (h.size() < 4) return LeastSquaresStatus::tooFewGrids;
  if (!std::isfinite(pTh)) return LeastSquaresStatus::notFinite;
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (!std::isfinite(h[i]) || !std::isfinite(phi[i])) return LeastSquaresStatus::notFinite;
  }
  for (double value : h) {
    if (!(value > 0.0)) return LeastSquaresStatus::nonPositiveSpacing;
  }
  if (!(pTh > 0.0)) return LeastSquaresStatus::badTheoreticalOrder;
  std::vector<double> sorted(h.begin(), h.end());
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    return LeastSquaresStatus::equalSpacings;
  }
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  if (*low == *high) return LeastSquaresStatus::allValuesEqual;
  return LeastSquaresStatus::ok;
}

}  // namespace

std::string_view leastSquaresStatusText(LeastSquaresStatus status) {
  switch (status) {
    case LeastSquaresStatus::ok:
      return "ok";
    case LeastSquaresStatus::tooFewGrids:
      return "fewer than four grids";
    case LeastSquaresStatus::sizeMismatch:
      return "spacings and values of different counts";
    case LeastSquaresStatus::notFinite:
      return "a value that is not a finite number";
    case LeastSquaresStatus::nonPositiveSpacing:
      return "a spacing that is not positive";
    case LeastSquaresStatus::equalSpacings:
      return "two grids with the same spacing";
    case LeastSquaresStatus::allValuesEqual:
      return "all values equal";
    case LeastSquaresStatus::badTheoreticalOrder:
      return "a theoretical order that is not positive";
  }
  return "unknown";
}

double LeastSquaresFit::valueAt(double x) const {
  switch (model) {
    case ErrorModel::freeOrder:
      return phi0 + alpha * std::pow(x, p);
    case ErrorModel::firstOrder:
      return phi0 + alpha * x;
    case ErrorModel::secondOrder:
      return phi0 + alpha * x * x;
    case ErrorModel::firstAndSecondOrder:
      return phi0 + alpha * x + alpha2 * x * x;
  }
  return phi0;
}

LeastSquaresResult leastSquaresUncertainty(std::span<const double> h, std::span<const double> phi,
                                           double pTh) {
  LeastSquaresResult result;
  result.status = checkInput(h, phi, pTh);
  if (result.status != LeastSquaresStatus::ok) return result;

  const std::size_t n = h.size();
  const double hMin = *std::min_element(h.begin(), h.end());
  std::vector<double> x(n);
  std::vector<double> ones(n, 1.0);
  std::vector<double> weights(n);
  double inverseSum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = h[i] / hMin;
    inverseSum += 1.0 / x[i];
  }
  for (std::size_t i = 0; i < n; ++i) weights[i] = (1.0 / x[i]) / inverseSum;

  constexpr std::array<ErrorModel, 4> models = {ErrorModel::freeOrder, ErrorModel::firstOrder,
                                                ErrorModel::secondOrder,
                                                ErrorModel::firstAndSecondOrder};
  std::array<std::size_t, 4> kept{};
  for (std::size_t m = 0; m < models.size(); ++m) {
    for (bool weighted : {false, true}) {
      const std::span<const double> w = weighted ? weights : ones;
      LeastSquaresFit& fit = result.fits[2 * m + (weighted ? 1 : 0)];
      fit = models[m] == ErrorModel::freeOrder ? fitFreeOrder(x, phi, w, weighted)
                                               : fitFixedOrder(models[m], x, phi, w, weighted);
      fit.name = kFitNames[2 * m + (weighted ? 1 : 0)];
    }
    kept[m] = result.fits[2 * m + 1].sigma < result.fits[2 * m].sigma ? 2 * m + 1 : 2 * m;
  }

  const LeastSquaresFit& free = result.fits[kept[0]];
  result.p = free.p;
  result.pAtBracketEnd = free.pAtBracketEnd;
  auto smallest = [&](std::initializer_list<std::size_t> candidates) {
    std::size_t choice = *candidates.begin();
    for (std::size_t c : candidates) {
      if (result.fits[c].sigma < result.fits[choice].sigma) choice = c;
    }
    return choice;
  };
  if (result.p < 0.5) {
    result.chosen = smallest({kept[1], kept[2], kept[3]});
  } else if (result.p > pTh) {
    result.chosen = smallest({kept[1], kept[2]});
  } else {
    result.chosen = kept[0];
  }

  const LeastSquaresFit& chosen = result.chosenFit();
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  result.dataRange = (*high - *low) / static_cast<double>(n - 1);
  result.sigma = chosen.sigma;
  const bool scattered = !(result.sigma < result.dataRange);
  result.fs = !scattered && result.p >= 0.5 && result.p < 1.05 * pTh ? 1.25 : 3.0;
  result.error.resize(n);
  result.residual.resize(n);
  result.u.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double fitted = chosen.valueAt(x[i]);
    result.error[i] = fitted - chosen.phi0;
    result.residual[i] = std::abs(phi[i] - fitted);
    const double sum = std::abs(result.error[i]) + result.sigma + result.residual[i];
    result.u[i] = scattered
                      ? 3.0 * (result.sigma / result.dataRange) * sum
                      : result.fs * std::abs(result.error[i]) + result.sigma + result.residual[i];
    if (!std::isfinite(result.u[i])) {
      // Values so large that the fit overflows: no numbers rather than garbage.
      LeastSquaresResult failed;
      failed.status = LeastSquaresStatus::notFinite;
      return failed;
    }
  }
  return result;
}

}  // namespace kv
