#include "estimation/least_squares.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <tuple>
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

// The one-term fits phi0 + alpha X, X_i = x_i^p, at `count` orders at once, order j with the
// weights of data[j], from the weighted means and the centred sums; S is summed from the
// residuals themselves. `powers` holds X_i of order j at [i * count + j]. The loops run across
// the orders, so that independent fits overlap, while every order sees the same operations in
// the same sequence as if fitted alone: a fit's numbers do not depend on its companions.
template <std::size_t count>
void fitPowers(const double* powers, const std::array<const PowerFitData*, count>& data,
               std::array<LinearFit, count>& fits) {
  const std::size_t n = data[0]->phi.size();
  std::array<double, count> meanX{}, squares{}, sxx{}, sxphi{}, c0{}, c1{}, s{};
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      const double w = data[j]->w[i];
      meanX[j] += w * X[j];
      squares[j] += w * X[j] * X[j];
    }
  }
  for (std::size_t j = 0; j < count; ++j) meanX[j] /= data[j]->weight;
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      const double w = data[j]->w[i];
      sxx[j] += w * (X[j] - meanX[j]) * (X[j] - meanX[j]);
      sxphi[j] += w * (X[j] - meanX[j]) * data[j]->centred[i];
    }
  }
  std::array<bool, count> valid{};
  for (std::size_t j = 0; j < count; ++j) {
    // Finite and not degenerate (|v| <= max is false for NaN and infinities).
    valid[j] = std::abs(sxx[j]) <= kLargest && std::abs(squares[j]) <= kLargest &&
               sxx[j] > 1e-24 * squares[j];
    c1[j] = valid[j] ? sxphi[j] / sxx[j] : 0.0;
    c0[j] = valid[j] ? data[j]->meanPhi - c1[j] * meanX[j] : 0.0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double* X = powers + i * count;
    for (std::size_t j = 0; j < count; ++j) {
      const double r = data[j]->phi[i] - c0[j] - c1[j] * X[j];
      s[j] += data[j]->w[i] * r * r;
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
      powers[i * count + j] = logX[i] == 0.0           ? 1.0
                              : j > 0 && p[j] == p[j - 1] ? powers[i * count + j - 1]
                                                          : std::exp(p[j] * logX[i]);
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

// The scan's orders: kScanPoints equal steps over the bracket, its end exactly.
double scannedOrder(std::size_t k) {
  const double step =
      (kLeastSquaresOrderMax - kLeastSquaresOrderMin) / static_cast<double>(kScanPoints - 1);
  return k + 1 >= kScanPoints ? kLeastSquaresOrderMax
                              : kLeastSquaresOrderMin + step * static_cast<double>(k);
}

// Which orders of the scan may hold the smallest S of a one-term fit in x^p, found cheaply, so
// that S is computed exactly (fitPowers) only there. At every scanned order, S is estimated
// from uncentred sums, S ~ Syy - Sxd^2 / sxx, with X_i = x_i^p from an exp every eighth order
// times exp(m step ln x_i); the estimate comes with a bound of its distance to the exact S
// (the rounding of the sums, the error of the powers, and that of the exact computation
// itself), four times over. Every order whose S may be no larger than the smallest upper bound
// is a candidate; where the estimate cannot be trusted (overflow, X nearly constant), the order
// is a candidate too. The exact minimum of the scan is so always among the candidates.
class ScanBounds {
 public:
  static constexpr std::size_t kAnchor = 8;

  ScanBounds(std::span<const double> logX) : n_(logX.size()), powers_(n_ * kScanPoints) {
    // |X - x^p| <= delta X: a few roundings, and the order p rounded differently (a few ulp of
    // the bracket's end, times ln x).
    double maxLog = 0.0;
    for (double value : logX) maxLog = std::max(maxLog, value);
    delta_ = 16.0 * kEpsilon + 64.0 * kEpsilon * kLeastSquaresOrderMax * maxLog;
    const double step = scannedOrder(1) - scannedOrder(0);
    for (std::size_t i = 0; i < n_; ++i) {
      double* X = powers_.data() + i * kScanPoints;
      if (logX[i] == 0.0) {
        std::fill(X, X + kScanPoints, 1.0);
        finest_ = i;
        continue;
      }
      std::array<double, kAnchor> factor;
      for (std::size_t m = 0; m < kAnchor; ++m) {
        factor[m] = std::exp(static_cast<double>(m) * step * logX[i]);
      }
      for (std::size_t k = 0; k < kScanPoints; k += kAnchor) {
        const double anchor = std::exp(scannedOrder(k) * logX[i]);
        for (std::size_t m = 0; m < kAnchor && k + m < kScanPoints; ++m) {
          X[k + m] = anchor * factor[m];
        }
      }
      if (logX[i] > logX[coarsest_]) coarsest_ = i;
    }
  }

  // The candidates for the smallest S with the weights and centred values of `data`.
  void candidates(const PowerFitData& data, std::vector<std::size_t>& out) const {
    const double* w = data.w.data();
    const double n = static_cast<double>(n_);
    double syy = 0.0, sumWd = 0.0, absWd = 0.0, maxPhi = 0.0;
    for (std::size_t i = 0; i < n_; ++i) {
      syy += w[i] * data.centred[i] * data.centred[i];
      sumWd += w[i] * data.centred[i];
      absWd += w[i] * std::abs(data.centred[i]);
      maxPhi = std::max(maxPhi, std::abs(data.phi[i]));
    }
    std::array<double, kScanPoints> sx{}, sxx{}, sxd{}, lower, upper, margin;
    for (std::size_t i = 0; i < n_; ++i) {
      const double* X = powers_.data() + i * kScanPoints;
      const double wd = w[i] * data.centred[i];
      if (i == finest_) {  // X = 1 throughout
        for (std::size_t k = 0; k < kScanPoints; ++k) sx[k] += w[i], sxx[k] += w[i], sxd[k] += wd;
        continue;
      }
      for (std::size_t k = 0; k < kScanPoints; ++k) {
        sx[k] += w[i] * X[k];
        sxx[k] += w[i] * X[k] * X[k];
        sxd[k] += wd * X[k];
      }
    }
    const double* maxX = powers_.data() + coarsest_ * kScanPoints;
    const double sumError = (4.0 * n + 8.0) * kEpsilon + 2.0 * delta_;
    const double perWeight = 1.0 / data.weight;
    for (std::size_t k = 0; k < kScanPoints; ++k) {
      const double spread = sxx[k] - sx[k] * sx[k] * perWeight;
      const double inverse = 1.0 / spread;
      // Errors of Sxd (with the centring's leftover sum of w d) and of sxx.
      const double e1 = sumError * maxX[k] * absWd + 2.0 * std::abs(sumWd) * sx[k] * perWeight;
      const double e2 = (6.0 * n + 8.0) * kEpsilon * sxx[k] + 4.0 * delta_ * sxx[k];
      const double t = sxd[k] * sxd[k] * inverse;
      const double difference = syy - t;
      const double s = 0.5 * (difference + std::abs(difference));  // no less than 0
      // The exact computation's own rounding: residuals up to m, coefficients rounded; its term
      // 8 eps m sqrt(s W) bounded by 1e-6 s + 16e6 (eps m)^2 W.
      const double m = 2.0 * maxPhi + 2.0 * std::abs(sxd[k]) * inverse * maxX[k];
      const double exact = 1e-6 * s + 2e7 * kEpsilon * kEpsilon * m * m * data.weight +
                           100.0 * n * n * kEpsilon * kEpsilon * syy;
      const double error =
          4.0 * ((4.0 * n + 4.0) * kEpsilon * syy +
                 (2.0 * std::abs(sxd[k]) * e1 + e1 * e1 + 2.0 * t * e2) * inverse + exact);
      lower[k] = s - error;
      upper[k] = s + error;
      // Positive when sxx is finite and its error small beside the spread of X.
      margin[k] = spread - (2.0 * (6.0 * n + 8.0) * kEpsilon + 8.0 * delta_ + 1e-20) * sxx[k];
    }
    // (Comparisons kept out of the loop above, which so vectorises.)
    std::array<double, 4> least4 = {kInfinity, kInfinity, kInfinity, kInfinity};
    for (std::size_t k = 0; k < kScanPoints; ++k) {
      const double bound = margin[k] > 0.0 ? upper[k] : kInfinity;
      least4[k % 4] = bound < least4[k % 4] ? bound : least4[k % 4];
    }
    const double least = std::min({least4[0], least4[1], least4[2], least4[3]});
    out.resize(kScanPoints);
    std::size_t found = 0;
    for (std::size_t k = 0; k < kScanPoints; ++k) {  // without branches: few are candidates
      out[found] = k;
      found += !((margin[k] > 0.0) & (upper[k] <= kLargest) & (lower[k] > least));
    }
    out.resize(found);
  }

 private:
  static constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  std::size_t n_;
  std::size_t coarsest_ = 0;
  std::size_t finest_ = 0;
  double delta_ = 0.0;
  std::vector<double> powers_;  // X_i at scanned order k at [i * kScanPoints + k]
};

// The unweighted and the weighted free-order fits together: S(p) of both scanned over the
// bracket (exactly at the candidates of ScanBounds, kBatch orders at a time), then golden-
// section search on each scanned minimum's neighbourhood, the two searches side by side; an
// end of the bracket wins when S is no larger there.
std::array<LeastSquaresFit, 2> fitFreeOrder(std::span<const double> x, std::span<const double> phi,
                                            std::span<const double> ones,
                                            std::span<const double> weights) {
  constexpr std::size_t kBatch = 4;
  const std::size_t n = x.size();
  std::vector<double> logX(n);
  for (std::size_t i = 0; i < n; ++i) logX[i] = std::log(x[i]);
  std::vector<double> powers(n * kBatch);
  const std::array<PowerFitData, 2> data = {PowerFitData(phi, ones), PowerFitData(phi, weights)};

  const auto scanned = scannedOrder;
  const ScanBounds bounds(logX);
  std::vector<std::size_t> candidates;
  std::array<std::size_t, 2> best{};
  std::array<double, 2> bestS = {kInfinity, kInfinity};
  for (std::size_t f = 0; f < 2; ++f) {
    bounds.candidates(data[f], candidates);
    for (std::size_t c0 = 0; c0 < candidates.size(); c0 += kBatch) {
      std::array<double, kBatch> p;
      for (std::size_t j = 0; j < kBatch; ++j) {  // the last one repeated
        p[j] = scanned(candidates[std::min(c0 + j, candidates.size() - 1)]);
      }
      powersAt(logX, p, powers.data());
      std::array<LinearFit, kBatch> fits;
      std::array<const PowerFitData*, kBatch> lanes;
      lanes.fill(&data[f]);
      fitPowers(powers.data(), lanes, fits);
      for (std::size_t j = 0; j < kBatch && c0 + j < candidates.size(); ++j) {
        if (fits[j].s < bestS[f]) {
          bestS[f] = fits[j].s;
          best[f] = candidates[c0 + j];
        }
      }
    }
  }

  // Both searches step together, their fits side by side (a finished one repeats its order).
  const std::array<const PowerFitData*, 2> both = {&data[0], &data[1]};
  auto s = [&](std::array<double, 2> p) {
    std::array<LinearFit, 2> fit;
    powersAt<2>(logX, p, powers.data());
    fitPowers(powers.data(), both, fit);
    return fit;
  };
  std::array<GoldenSection, 2> search = {
      GoldenSection(scanned(best[0] == 0 ? 0 : best[0] - 1), scanned(best[0] + 1)),
      GoldenSection(scanned(best[1] == 0 ? 0 : best[1] - 1), scanned(best[1] + 1))};
  while (!search[0].finished() || !search[1].finished()) {
    const std::array<LinearFit, 2> fit = s({search[0].next(), search[1].next()});
    for (std::size_t f = 0; f < 2; ++f) {
      if (!search[f].finished()) search[f].take(fit[f].s);
    }
  }

  std::array<double, 2> order;
  for (std::size_t f = 0; f < 2; ++f) {
    double sp;
    std::tie(order[f], sp) = search[f].best();
    if (bestS[f] <= sp) order[f] = scanned(best[f]);
  }
  const std::array<LinearFit, 2> linear = s(order);
  std::array<LeastSquaresFit, 2> fits;
  for (std::size_t f = 0; f < 2; ++f) {
    LeastSquaresFit& fit = fits[f];
    fit.model = ErrorModel::freeOrder;
    fit.weighted = f == 1;
    fit.phi0 = linear[f].c[0];
    fit.alpha = linear[f].c[1];
    fit.p = order[f];
    fit.sigma = standardDeviation(linear[f].s, n, 3, fit.weighted);
    fit.pAtBracketEnd = fit.p == kLeastSquaresOrderMin || fit.p == kLeastSquaresOrderMax;
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
