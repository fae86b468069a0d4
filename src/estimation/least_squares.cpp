#include "estimation/least_squares.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

namespace kv {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLargest = std::numeric_limits<double>::max();
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

// What the one-term fits in x^p share at every p: the weights, their sum and the weighted mean
// of phi, and the centred values phi_i - mean.
struct PowerFitData {
  PowerFitData(std::span<const double> phi, std::span<const double> w) : phi(phi), w(w) {
    for (std::size_t i = 0; i < phi.size(); ++i) {
      weight += w[i];
      meanPhi += w[i] * phi[i];
    }
    meanPhi /= weight;
    centred.resize(phi.size());
    for (std::size_t i = 0; i < phi.size(); ++i) centred[i] = phi[i] - meanPhi;
  }
  std::span<const double> phi, w;
  double weight = 0.0, meanPhi = 0.0;
  std::vector<double> centred;
};

// The one-term fits phi0 + alpha X, X_i = x_i^p, at `count` orders at once, from the weighted
// means and the centred sums; S is summed from the residuals themselves. `powers` holds X_i of
// order j at [i * count + j]. The loops run across the orders, so they vectorise, while every
// order sees the same operations in the same sequence as if fitted alone: a fit's numbers do
// not depend on the orders it is batched with.
template <std::size_t count>
void fitPowers(const double* powers, const PowerFitData& data, std::array<LinearFit, count>& fits) {
  const std::size_t n = data.phi.size();
  const double* w = data.w.data();
  std::array<double, count> meanX{}, squares{}, sxx{}, sxphi{}, c0{}, c1{}, s{};
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      meanX[j] += w[i] * X[j];
      squares[j] += w[i] * X[j] * X[j];
    }
  }
  for (std::size_t j = 0; j < count; ++j) meanX[j] /= data.weight;
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      sxx[j] += w[i] * (X[j] - meanX[j]) * (X[j] - meanX[j]);
      sxphi[j] += w[i] * (X[j] - meanX[j]) * data.centred[i];
    }
  }
  std::array<bool, count> valid{};
  for (std::size_t j = 0; j < count; ++j) {
    // Finite and not degenerate (|v| <= max is false for NaN and infinities).
    valid[j] = std::abs(sxx[j]) <= kLargest && std::abs(squares[j]) <= kLargest &&
               sxx[j] > 1e-24 * squares[j];
    c1[j] = valid[j] ? sxphi[j] / sxx[j] : 0.0;
    c0[j] = valid[j] ? data.meanPhi - c1[j] * meanX[j] : 0.0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      const double r = data.phi[i] - c0[j] - c1[j] * X[j];
      s[j] += w[i] * r * r;
    }
  }
  for (std::size_t j = 0; j < count; ++j) {
    fits[j].c = {c0[j], c1[j], 0.0};
    fits[j].s = valid[j] && s[j] <= kLargest ? s[j] : kInfinity;
  }
}

// X_i = x_i^p = exp(p ln x_i) for `count` orders, laid out as fitPowers reads them. The finest
// grid (ln x = 0) needs no exp.
template <std::size_t count>
void powersAt(std::span<const double> logX, const std::array<double, count>& p, double* powers) {
  for (std::size_t i = 0; i < logX.size(); ++i) {
    for (std::size_t j = 0; j < count; ++j) {
      powers[i * count + j] = logX[i] == 0.0 ? 1.0 : std::exp(p[j] * logX[i]);
    }
  }
}

double standardDeviation(double s, std::size_t grids, std::size_t parameters, bool weighted) {
  const double n = static_cast<double>(grids);
  const double dof = static_cast<double>(grids - parameters);
  return std::sqrt((weighted ? n * s : s) / dof);
}

// Golden-section search for the minimum of S(p) on [a, b], one evaluation at a time: the caller
// evaluates S at next() and hands it to take(), until finished(). Two searches can so run side
// by side. At the end, best() is the smallest of S at the middle of the final interval and at
// its two inner points.
class GoldenSection {
 public:
  GoldenSection(double a, double b)
      : a_(a), b_(b), c_(b - kRatio * (b - a)), d_(a + kRatio * (b - a)), next_(c_) {}

  bool finished() const { return stage_ == Stage::finished; }
  double next() const { return next_; }

  void take(double s) {
    switch (stage_) {
      case Stage::first:
        sc_ = s;
        next_ = d_;
        stage_ = Stage::second;
        return;
      case Stage::second:
        sd_ = s;
        break;
      case Stage::narrowing:
        (nextIsC_ ? sc_ : sd_) = s;
        break;
      case Stage::middle:
        sMiddle_ = s;
        stage_ = Stage::finished;
        return;
      case Stage::finished:
        return;
    }
    stage_ = Stage::narrowing;
    if (!(b_ - a_ > kOrderTolerance * std::max(1.0, std::abs(a_)))) {
      next_ = 0.5 * (a_ + b_);
      stage_ = Stage::middle;
    } else if (sc_ <= sd_) {
      b_ = d_;
      d_ = c_;
      sd_ = sc_;
      c_ = b_ - kRatio * (b_ - a_);
      next_ = c_;
      nextIsC_ = true;
    } else {
      a_ = c_;
      c_ = d_;
      sc_ = sd_;
      d_ = a_ + kRatio * (b_ - a_);
      next_ = d_;
      nextIsC_ = false;
    }
  }

  // The order with the smallest S found and that S.
  std::pair<double, double> best() const {
    double p = 0.5 * (a_ + b_), sp = sMiddle_;
    if (sc_ < sp) p = c_, sp = sc_;
    if (sd_ < sp) p = d_, sp = sd_;
    return {p, sp};
  }

 private:
  enum class Stage { first, second, narrowing, middle, finished };
  static constexpr double kRatio = 0.6180339887498949;  // (sqrt(5) - 1) / 2
  double a_, b_, c_, d_;
  double sc_ = 0.0, sd_ = 0.0, sMiddle_ = 0.0;
  double next_;
  bool nextIsC_ = true;
  Stage stage_ = Stage::first;
};

// The unweighted and the weighted free-order fits together: S(p) of both scanned over the
// bracket (the powers x_i^p shared, kBatch orders at a time), then golden-section search on
// each scanned minimum's neighbourhood; an end of the bracket wins when S is no larger there.
std::array<LeastSquaresFit, 2> fitFreeOrder(std::span<const double> x, std::span<const double> phi,
                                            std::span<const double> ones,
                                            std::span<const double> weights) {
  constexpr std::size_t kBatch = 8;
  const std::size_t n = x.size();
  std::vector<double> logX(n);
  for (std::size_t i = 0; i < n; ++i) logX[i] = std::log(x[i]);
  std::vector<double> powers(n * kBatch);
  const std::array<PowerFitData, 2> data = {PowerFitData(phi, ones), PowerFitData(phi, weights)};

  const double step =
      (kLeastSquaresOrderMax - kLeastSquaresOrderMin) / static_cast<double>(kScanPoints - 1);
  auto scanned = [&](std::size_t k) {
    return k + 1 >= kScanPoints ? kLeastSquaresOrderMax
                                : kLeastSquaresOrderMin + step * static_cast<double>(k);
  };
  std::array<std::size_t, 2> best{};
  std::array<double, 2> bestS = {kInfinity, kInfinity};
  for (std::size_t k0 = 0; k0 < kScanPoints; k0 += kBatch) {
    std::array<double, kBatch> p;
    for (std::size_t j = 0; j < kBatch; ++j) p[j] = scanned(k0 + j);  // the last one repeated
    powersAt(logX, p, powers.data());
    for (std::size_t f = 0; f < 2; ++f) {
      std::array<LinearFit, kBatch> fits;
      fitPowers(powers.data(), data[f], fits);
      for (std::size_t j = 0; j < kBatch && k0 + j < kScanPoints; ++j) {
        if (fits[j].s < bestS[f]) {
          bestS[f] = fits[j].s;
          best[f] = k0 + j;
        }
      }
    }
  }

  auto s = [&](double p, std::size_t f) {
    std::array<LinearFit, 1> fit;
    powersAt<1>(logX, {p}, powers.data());
    fitPowers(powers.data(), data[f], fit);
    return fit[0];
  };
  std::array<GoldenSection, 2> search = {
      GoldenSection(scanned(best[0] == 0 ? 0 : best[0] - 1), scanned(best[0] + 1)),
      GoldenSection(scanned(best[1] == 0 ? 0 : best[1] - 1), scanned(best[1] + 1))};
  while (!search[0].finished() || !search[1].finished()) {
    for (std::size_t f = 0; f < 2; ++f) {
      if (!search[f].finished()) search[f].take(s(search[f].next(), f).s);
    }
  }

  std::array<LeastSquaresFit, 2> fits;
  for (std::size_t f = 0; f < 2; ++f) {
    auto [p, sp] = search[f].best();
    if (bestS[f] <= sp) p = scanned(best[f]);
    const LinearFit linear = s(p, f);
    LeastSquaresFit& fit = fits[f];
    fit.model = ErrorModel::freeOrder;
    fit.weighted = f == 1;
    fit.phi0 = linear.c[0];
    fit.alpha = linear.c[1];
    fit.p = p;
    fit.sigma = standardDeviation(linear.s, n, 3, fit.weighted);
    fit.pAtBracketEnd = p == kLeastSquaresOrderMin || p == kLeastSquaresOrderMax;
  }
  return fits;
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
  const std::array<LeastSquaresFit, 2> freeOrder = fitFreeOrder(x, phi, ones, weights);
  for (std::size_t m = 0; m < models.size(); ++m) {
    for (bool weighted : {false, true}) {
      const std::span<const double> w = weighted ? weights : ones;
      LeastSquaresFit& fit = result.fits[2 * m + (weighted ? 1 : 0)];
      fit = models[m] == ErrorModel::freeOrder ? freeOrder[weighted ? 1 : 0]
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
