#include "estimation/least_squares.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "estimation/order_search.h"
#include "estimation/uncertainty.h"

namespace kv {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLargest = std::numeric_limits<double>::max();
// The scan of the order bracket: 401 orders, steps of about 0.05.
constexpr OrderScan kScan = OrderScan::evenly(401);
constexpr std::size_t kScanPoints = kScan.points;
constexpr std::size_t kScanBlock = 16;     // orders summed side by side in the scan
constexpr std::size_t kScanBlocks = (kScanPoints + kScanBlock - 1) / kScanBlock;
constexpr std::size_t kScanStride = kScanBlocks * kScanBlock;
constexpr double kRootTolerance = 1e-12;   // relative, of Newton's last step
constexpr std::size_t kNewtonSteps = 16;
constexpr std::size_t kInlineGrids = 16;   // grids a point works on without the heap
constexpr std::size_t kScratchPerGrid = 13;  // and kScratchExtra
constexpr std::size_t kScratchExtra = 3;

constexpr std::array<ErrorModel, 3> kFixedModels = {
    ErrorModel::firstOrder, ErrorModel::secondOrder, ErrorModel::firstAndSecondOrder};

double scannedOrder(std::size_t k) { return kScan.order(k); }

}  // namespace

// The plan's tables (see the header); the values at scanned order k of grid i, or of the r-th
// grid of `others`, at [i * kScanStride + k] or [r * kScanStride + k].
struct LeastSquaresTables {
  // A fixed-order model's columns f_k(x_i) scaled by sqrt(w_i) and orthonormalised by modified
  // Gram-Schmidt (q, with q = Q and r = R of the scaled basis), or `dependent` columns.
  struct Orthogonal {
    std::vector<std::array<double, 3>> q;
    std::array<std::array<double, 3>, 3> r{};
    bool dependent = false;
  };

  std::size_t n = 0;
  std::size_t finest = 0, coarsest = 0;
  std::vector<double> x, logX;
  std::vector<double> logScaled;                // ln(x_i / x_coarsest) <= 0
  std::array<std::vector<double>, 2> w, rootW;  // unweighted (ones) and weighted; their roots
  std::array<double, 2> weight{};               // sum_i w_i
  std::array<std::vector<std::array<double, 3>>, 3> basis;  // of h, h2, h+h2: 1, x, x^2
  std::array<std::array<Orthogonal, 3>, 2> orthogonal;      // [weighting][model]
  // The same, both weightings side by side: q at [(i * 3 + k) * 2 + f], w and sqrt(w) at
  // [i * 2 + f].
  std::array<std::vector<double>, 3> pairedQ;
  std::vector<double> pairedW, pairedRootW;
  std::vector<double> scaled;   // (x_i / x_coarsest)^p at [i * kScanStride + k]
  std::vector<double> factor;   // x_coarsest^p at [k]
  std::vector<std::size_t> others;              // every grid but the finest, in order
  // a_i of the header, per weighting (and a last row for the finest grid, minus the others' sum)
  std::array<std::vector<double>, 2> projection;
  std::array<std::vector<double>, 2> excluded;    // 0, or +infinity where the fit degenerates
  // Per weighting and block of kScanBlock orders (see tabulateBlocks): the projections g of the
  // block's centre order and their slope s (at [r * kScanBlocks + b]), the largest distance of
  // an order from the centre, and the radius (-infinity when no order of the block is kept).
  std::array<std::vector<double>, 2> centre, trend, reach, radius;
  std::array<double, 2> roundingScale{};  // bounds |g| + reach |s| and |a|
};

namespace {

// Per-point working storage: on the stack up to kInlineGrids grids, on the heap beyond.
class Scratch {
 public:
  explicit Scratch(std::size_t grids) {
    if (grids > kInlineGrids) heap_.resize(grids * kScratchPerGrid + kScratchExtra);
  }
  std::span<double> take(std::size_t count) {
    double* base = heap_.empty() ? inline_.data() : heap_.data();
    const std::span<double> out(base + used_, count);
    used_ += count;
    return out;
  }

 private:
  std::array<double, kInlineGrids * kScratchPerGrid + kScratchExtra> inline_;
  std::vector<double> heap_;
  std::size_t used_ = 0;
};

// Weighted linear least squares  phi ~ c0 + c1 f1(x) + c2 f2(x)  with `columns` (2 or 3) basis
// functions, from the plan's orthonormalised columns: y = Q^T (sqrt(w) phi) one column at a
// time, the rest of sqrt(w) phi deflated after each, then R c = y (better conditioned than the
// normal equations). S = sum_i w_i r_i^2 is +infinity when the columns are dependent or a
// number overflows. The unweighted and the weighted fit go side by side, each with the
// operations of a fit alone.
struct LinearFit {
  std::array<double, 3> c{};
  double s = kInfinity;
};

template <std::size_t columns>
std::array<LinearFit, 2> fitFixed(const LeastSquaresTables& t, std::size_t model,
                                  std::span<const double> phi, std::span<double> storage) {
  const std::size_t n = phi.size();
  const double* q = t.pairedQ[model].data();  // q of weighting f at [(i * 3 + k) * 2 + f]
  const double* w = t.pairedW.data();         // w and sqrt(w) at [i * 2 + f]
  const double* root = t.pairedRootW.data();
  double* b = storage.data();                 // at [i * 2 + f]
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t f = 0; f < 2; ++f) b[i * 2 + f] = root[i * 2 + f] * phi[i];
  }
  std::array<std::array<double, 2>, columns> y{};
  for (std::size_t k = 0; k < columns; ++k) {
    std::array<double, 2> dot{};
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t f = 0; f < 2; ++f) dot[f] += q[(i * 3 + k) * 2 + f] * b[i * 2 + f];
    }
    y[k] = dot;
    if (k + 1 == columns) break;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t f = 0; f < 2; ++f) b[i * 2 + f] -= dot[f] * q[(i * 3 + k) * 2 + f];
    }
  }
  std::array<LinearFit, 2> fits;
  for (std::size_t f = 0; f < 2; ++f) {
    const LeastSquaresTables::Orthogonal& o = t.orthogonal[f][model];
    for (std::size_t k = columns; k-- > 0;) {
      double sum = y[k][f];
      for (std::size_t j = k + 1; j < columns; ++j) sum -= o.r[k][j] * fits[f].c[j];
      fits[f].c[k] = sum / o.r[k][k];
    }
  }
  // The residuals from the coefficients (not from the projection), as they will be reported.
  const std::vector<std::array<double, 3>>& basis = t.basis[model];
  std::array<double, 2> s{};
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t f = 0; f < 2; ++f) {
      double value = 0.0;
      for (std::size_t k = 0; k < columns; ++k) value += fits[f].c[k] * basis[i][k];
      s[f] += w[i * 2 + f] * (phi[i] - value) * (phi[i] - value);
    }
  }
  for (std::size_t f = 0; f < 2; ++f) {
    if (t.orthogonal[f][model].dependent) {
      fits[f] = LinearFit{};
    } else {
      fits[f].s = std::isfinite(s[f]) ? s[f] : kInfinity;
    }
  }
  return fits;
}

// Modified Gram-Schmidt on the columns sqrt(w_i) f_k(x_i).
LeastSquaresTables::Orthogonal orthogonalise(std::span<const std::array<double, 3>> basis,
                                             std::span<const double> root, std::size_t columns) {
  const std::size_t n = basis.size();
  LeastSquaresTables::Orthogonal out;
  std::vector<std::array<double, 3>>& q = out.q;
  q.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < columns; ++k) q[i][k] = root[i] * basis[i][k];
  }
  for (std::size_t k = 0; k < columns; ++k) {
    double original = 0.0;
    for (std::size_t i = 0; i < n; ++i) original += q[i][k] * q[i][k];
    for (std::size_t j = 0; j < k; ++j) {
      double dot = 0.0;
      for (std::size_t i = 0; i < n; ++i) dot += q[i][j] * q[i][k];
      out.r[j][k] = dot;
      for (std::size_t i = 0; i < n; ++i) q[i][k] -= dot * q[i][j];
    }
    double norm = 0.0;
    for (std::size_t i = 0; i < n; ++i) norm += q[i][k] * q[i][k];
    if (!std::isfinite(norm) || !(norm > 1e-24 * original)) {
      out.dependent = true;
      return out;
    }
    norm = std::sqrt(norm);
    out.r[k][k] = norm;
    for (std::size_t i = 0; i < n; ++i) q[i][k] /= norm;
  }
  return out;
}

// What the one-term fits in x^p share at every p: the weights, their sum and the weighted mean
// of phi, and the centred values phi_i - mean (kept in `storage`).
struct PowerFitData {
  PowerFitData(std::span<const double> phi, std::span<const double> w, std::span<double> storage)
      : phi(phi), w(w), centred(storage) {
    for (std::size_t i = 0; i < phi.size(); ++i) {
      weight += w[i];
      meanPhi += w[i] * phi[i];
    }
    meanPhi /= weight;
    for (std::size_t i = 0; i < phi.size(); ++i) centred[i] = phi[i] - meanPhi;
  }
  std::span<const double> phi, w;
  double weight = 0.0, meanPhi = 0.0;
  std::span<double> centred;
};

// The one-term fit phi0 + alpha X with X_i = x_i^p given, from the weighted means and the
// centred sums; S is summed from the residuals themselves. Valid when the sums are finite and X
// not nearly constant.
LinearFit fitPower(const double* X, const PowerFitData& data) {
  const std::size_t n = data.phi.size();
  double meanX = 0.0, squares = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    meanX += data.w[i] * X[i];
    squares += data.w[i] * X[i] * X[i];
  }
  meanX /= data.weight;
  double sxx = 0.0, sxphi = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += data.w[i] * (X[i] - meanX) * (X[i] - meanX);
    sxphi += data.w[i] * (X[i] - meanX) * data.centred[i];
  }
  // Finite and not degenerate (|v| <= max is false for NaN and infinities).
  const bool valid = std::abs(sxx) <= kLargest && std::abs(squares) <= kLargest &&
                     sxx > 1e-24 * squares;
  const double c1 = valid ? sxphi / sxx : 0.0;
  const double c0 = valid ? data.meanPhi - c1 * meanX : 0.0;
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = data.phi[i] - c0 - c1 * X[i];
    s += data.w[i] * r * r;
  }
  LinearFit fit;
  fit.c = {c0, c1, 0.0};
  fit.s = valid && s <= kLargest ? s : kInfinity;
  return fit;
}

// X_i = x_i^p = exp(p ln x_i); no exp where ln x_i = 0.
void powersAt(std::span<const double> logX, double p, std::span<double> X) {
  for (std::size_t i = 0; i < logX.size(); ++i) {
    X[i] = logX[i] == 0.0 ? 1.0 : std::exp(p * logX[i]);
  }
}

double standardDeviation(double s, std::size_t grids, std::size_t parameters, bool weighted) {
  const double n = static_cast<double>(grids);
  const double dof = static_cast<double>(grids - parameters);
  return std::sqrt((weighted ? n * s : s) / dof);
}

// H and dH/dp of the header, from the terms that do not depend on phi (at the scaled powers X
// of the plan's ln(x / x_coarsest) and the weights w): w_i u_i, w_i u'_i, w_i X''_i (n each),
// then Sxx, B and B'; and the centred values d. S decreases with p where H > 0.
struct Slope {
  double h = 0.0, dh = 0.0;
};

constexpr std::size_t slopeTermCount(std::size_t n) { return 3 * n + 3; }

void slopeTerms(const double* X, std::span<const double> logScaled, std::span<const double> w,
                double weight, double* terms) {
  const std::size_t n = w.size();
  double mean = 0.0, mean1 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    mean += w[i] * X[i];
    mean1 += w[i] * logScaled[i] * X[i];
  }
  mean /= weight;
  mean1 /= weight;
  double sxx = 0.0, b = 0.0, b1 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double u = X[i] - mean;
    const double x1 = logScaled[i] * X[i];  // dX/dp
    const double x2 = logScaled[i] * x1;    // d2X/dp2
    const double u1 = x1 - mean1;
    terms[i] = w[i] * u;
    terms[n + i] = w[i] * u1;
    terms[2 * n + i] = w[i] * x2;
    sxx += w[i] * u * u;
    b += w[i] * u * x1;
    b1 += w[i] * (u1 * u1 + u * x2);
  }
  terms[3 * n] = sxx;
  terms[3 * n + 1] = b;
  terms[3 * n + 2] = b1;
}

Slope slopeOf(const double* terms, std::span<const double> d) {
  const std::size_t n = d.size();
  double sxd = 0.0, a = 0.0, a1 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxd += terms[i] * d[i];
    a += terms[n + i] * d[i];
    a1 += terms[2 * n + i] * d[i];
  }
  const double sxx = terms[3 * n], b = terms[3 * n + 1], b1 = terms[3 * n + 2];
  return {sxd * (a * sxx - sxd * b), a * a * sxx + sxd * a1 * sxx - sxd * sxd * b1};
}

// exp(p_k ln x) at every scanned order into out[k * stride]: an exp every eighth order, times
// exp(m step ln x) between.
void tabulatePowers(double logValue, double* out, std::size_t stride) {
  constexpr std::size_t kAnchor = 8;
  if (logValue == 0.0) {
    for (std::size_t k = 0; k < kScanPoints; ++k) out[k * stride] = 1.0;
    return;
  }
  const double step = scannedOrder(1) - scannedOrder(0);
  std::array<double, kAnchor> factor;
  for (std::size_t m = 0; m < kAnchor; ++m) {
    factor[m] = std::exp(static_cast<double>(m) * step * logValue);
  }
  for (std::size_t k = 0; k < kScanPoints; k += kAnchor) {
    const double anchor = std::exp(scannedOrder(k) * logValue);
    for (std::size_t m = 0; m < kAnchor && k + m < kScanPoints; ++m) {
      out[(k + m) * stride] = anchor * factor[m];
    }
  }
}

// Every block's linear model of the projections of weighting f: a_k = g + (k - centre) s + e_k
// with g the projections of the block's centre order, s their least-squares slope over the
// block and |e_k| <= radius (Euclidean, over all the grids, the finest's component being minus
// the others' sum, so that every sum over the grids is zero).
void tabulateBlocks(LeastSquaresTables& t, std::size_t f) {
  constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  const std::size_t rows = t.others.size(), all = rows + 1;
  const double* excluded = t.excluded[f].data();
  // The projections over all the grids, the finest's last (a row of the table the scan does not
  // read), at [r * kScanStride + k]; the squares of their norms.
  std::vector<double>& a = t.projection[f];
  double* finest = a.data() + rows * kScanStride;
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < kScanStride; ++k) finest[k] -= a[r * kScanStride + k];
  }
  std::vector<double> squares(kScanStride, 0.0);
  for (std::size_t r = 0; r < all; ++r) {
    const double* row = a.data() + r * kScanStride;
    for (std::size_t k = 0; k < kScanStride; ++k) squares[k] += row[k] * row[k];
  }
  double largest = 0.0, steepest = 0.0;
  for (std::size_t k = 0; k < kScanPoints; ++k) {
    if (excluded[k] == 0.0) largest = std::max(largest, squares[k]);
  }
  largest = std::sqrt(largest);

  t.centre[f].assign(rows * kScanBlocks, 0.0);
  t.trend[f].assign(rows * kScanBlocks, 0.0);
  t.reach[f].assign(kScanBlocks, 0.0);
  t.radius[f].assign(kScanBlocks, -kInfinity);
  std::vector<double> g(all), slope(all);
  std::array<double, kScanBlock> offset, keep, error;
  for (std::size_t b = 0; b < kScanBlocks; ++b) {
    const std::size_t first = b * kScanBlock;
    // The centre: the kept order nearest the block's middle.
    std::size_t centre = kScanStride;
    for (std::size_t j = 0; j < kScanBlock && centre == kScanStride; ++j) {
      const std::size_t k = j % 2 == 0 ? first + kScanBlock / 2 + j / 2
                                       : first + kScanBlock / 2 - (j + 1) / 2;
      if (excluded[k] == 0.0) centre = k;
    }
    if (centre == kScanStride) continue;
    double weight = 0.0, reach = 0.0;
    for (std::size_t m = 0; m < kScanBlock; ++m) {
      keep[m] = excluded[first + m] == 0.0 ? 1.0 : 0.0;
      offset[m] = static_cast<double>(first + m) - static_cast<double>(centre);
      weight += keep[m] * offset[m] * offset[m];
      if (keep[m] != 0.0) reach = std::max(reach, std::abs(offset[m]));
    }
    for (std::size_t r = 0; r < all; ++r) g[r] = a[r * kScanStride + centre];
    std::fill(slope.begin(), slope.end(), 0.0);
    for (std::size_t m = 0; m < kScanBlock; ++m) {  // (the rows' sums side by side)
      const double coefficient = weight > 0.0 ? keep[m] * offset[m] / weight : 0.0;
      for (std::size_t r = 0; r < rows; ++r) {
        slope[r] += coefficient * (a[r * kScanStride + first + m] - g[r]);
      }
    }
    slope[rows] = 0.0;
    for (std::size_t r = 0; r < rows; ++r) slope[rows] -= slope[r];
    error.fill(0.0);
    for (std::size_t r = 0; r < all; ++r) {
      const double* row = a.data() + r * kScanStride + first;
      for (std::size_t m = 0; m < kScanBlock; ++m) {
        const double e = row[m] - (g[r] + offset[m] * slope[r]);
        error[m] += e * e;
      }
    }
    double radius = 0.0, slopeNorm = 0.0;
    for (std::size_t m = 0; m < kScanBlock; ++m) radius = std::max(radius, keep[m] * error[m]);
    for (double value : slope) slopeNorm += value * value;
    radius = std::sqrt(radius);
    slopeNorm = std::sqrt(slopeNorm);
    steepest = std::max(steepest, slopeNorm);
    for (std::size_t r = 0; r < rows; ++r) {
      t.centre[f][r * kScanBlocks + b] = g[r];
      t.trend[f][r * kScanBlocks + b] = slope[r];
    }
    t.reach[f][b] = reach;
    // (With the rounding of e's computation.)
    const double scale = static_cast<double>(rows + 4) * kEpsilon * (largest + reach * slopeNorm);
    t.radius[f][b] = radius * (1.0 + 1e-10) + 4.0 * scale;
  }
  t.roundingScale[f] = largest + static_cast<double>(kScanBlock) * steepest;
}

// The plan's tables of the free order: the scaled powers at every scanned order and, per
// weighting, the projections a_i = w_i u_i / sqrt(Sxx) of them (zero, and the order excluded,
// where the fit in x^p degenerates: its sums, in x^p itself, not finite, or Sxx <= 1e-24
// sum_i w_i X_i^2, which scaling X does not change). Order by order side by side.
void tabulateScan(LeastSquaresTables& t, bool pruning) {
  const std::size_t n = t.n;
  t.scaled.assign(n * kScanStride, 0.0);
  t.factor.assign(kScanStride, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    tabulatePowers(t.logScaled[i], t.scaled.data() + i * kScanStride, 1);
    if (i != t.finest) t.others.push_back(i);
  }
  tabulatePowers(t.logX[t.coarsest], t.factor.data(), 1);
  std::vector<double> mean(kScanStride), squares(kScanStride), spread(kScanStride);
  for (std::size_t f = 0; f < 2; ++f) {
    const std::vector<double>& w = t.w[f];
    std::fill(mean.begin(), mean.end(), 0.0);
    std::fill(squares.begin(), squares.end(), 0.0);
    std::fill(spread.begin(), spread.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const double* X = t.scaled.data() + i * kScanStride;
      for (std::size_t k = 0; k < kScanStride; ++k) {
        mean[k] += w[i] * X[k];
        squares[k] += w[i] * X[k] * X[k];
      }
    }
    for (std::size_t k = 0; k < kScanStride; ++k) mean[k] /= t.weight[f];
    for (std::size_t i = 0; i < n; ++i) {
      const double* X = t.scaled.data() + i * kScanStride;
      for (std::size_t k = 0; k < kScanStride; ++k) {
        spread[k] += w[i] * (X[k] - mean[k]) * (X[k] - mean[k]);
      }
    }
    t.excluded[f].assign(kScanStride, kInfinity);
    for (std::size_t k = 0; k < kScanPoints; ++k) {
      const double largest = squares[k] * t.factor[k] * t.factor[k];
      const bool kept = largest <= kLargest && spread[k] > 1e-24 * squares[k] && spread[k] > 0.0;
      t.excluded[f][k] = kept ? 0.0 : kInfinity;
      spread[k] = kept ? spread[k] : 0.0;
    }
    for (std::size_t k = 0; k < kScanStride; ++k) {  // 1 / sqrt(Sxx), or 0
      spread[k] = spread[k] > 0.0 ? 1.0 / std::sqrt(spread[k]) : 0.0;
    }
    t.projection[f].assign((t.others.size() + 1) * kScanStride, 0.0);
    for (std::size_t r = 0; r < t.others.size(); ++r) {
      const std::size_t i = t.others[r];
      const double* X = t.scaled.data() + i * kScanStride;
      double* a = t.projection[f].data() + r * kScanStride;
      for (std::size_t k = 0; k < kScanStride; ++k) a[k] = w[i] * (X[k] - mean[k]) * spread[k];
    }
    if (pruning) {
      tabulateBlocks(t, f);
    } else {  // every block scanned whole
      t.centre[f].assign(t.others.size() * kScanBlocks, 0.0);
      t.trend[f].assign(t.others.size() * kScanBlocks, 0.0);
      t.reach[f].assign(kScanBlocks, 0.0);
      t.radius[f].assign(kScanBlocks, kInfinity);
    }
  }
}

LeastSquaresStatus checkSpacings(std::span<const double> h, double pTh) {
  if (h.size() < 4) return LeastSquaresStatus::tooFewGrids;
  if (!std::isfinite(pTh)) return LeastSquaresStatus::notFinite;
  for (double value : h) {
    if (!std::isfinite(value)) return LeastSquaresStatus::notFinite;
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
  return LeastSquaresStatus::ok;
}

// The checks of h, p_th and phi in the order of their precedence: the counts, too few grids,
// anything not finite, then the rest of the spacings' faults, then no data range.
LeastSquaresStatus checkValues(const LeastSquaresPlan& plan, std::span<const double> phi) {
  if (phi.size() != plan.grids) return LeastSquaresStatus::sizeMismatch;
  if (plan.status == LeastSquaresStatus::tooFewGrids ||
      plan.status == LeastSquaresStatus::notFinite) {
    return plan.status;
  }
  for (double value : phi) {
    if (!std::isfinite(value)) return LeastSquaresStatus::notFinite;
  }
  if (plan.status != LeastSquaresStatus::ok || !plan.tables) return plan.status;
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  if (*low == *high) return LeastSquaresStatus::allValuesEqual;
  return LeastSquaresStatus::ok;
}

// ---- The free order of one point ----

// S = Syy - t^2 at the kScanBlock orders of a block (a: its first column of projections; every
// sum begun by its first product). (__restrict: the compiler then vectorises all of it.)
void scanBlock(const double* __restrict a, std::size_t rows, const double* __restrict c,
               double syy, const double* __restrict excluded, double* __restrict s) {
  for (std::size_t m = 0; m < kScanBlock; ++m) s[m] = a[m] * c[0];
  for (std::size_t r = 1; r < rows; ++r) {
    const double* row = a + r * kScanStride;
    const double value = c[r];
    for (std::size_t m = 0; m < kScanBlock; ++m) s[m] += row[m] * value;
  }
  for (std::size_t m = 0; m < kScanBlock; ++m) s[m] = (syy - s[m] * s[m]) + excluded[m];
}

// The scanned order of the smallest S = Syy - t^2 (the first of equal ones), t = sum_r a_r c_r
// with c the values relative to the finest grid's and d the centred ones; kScanPoints when
// every order is excluded. Block by block of kScanBlock orders: t at every block's centre and
// its trend first; then only the blocks where |t| may reach the largest |t| at a centre (by the
// bound of tabulateBlocks, the rounding of every t allowed for) are scanned order by order. The
// other blocks cannot hold the smallest S.
std::size_t scanMinimum(const LeastSquaresTables& t, std::size_t f, std::span<const double> c,
                        std::span<const double> d, double syy) {
  constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
  const std::size_t rows = t.others.size();
  const double* radius = t.radius[f].data();
  double squaresC = 0.0, squaresD = 0.0;
  for (double value : c) squaresC += value * value;
  for (double value : d) squaresD += value * value;
  const double spread = std::sqrt(squaresD) * (1.0 + 1e-10);
  const double rounding =
      2.02 * static_cast<double>(t.n) * kEpsilon * t.roundingScale[f] * std::sqrt(squaresC);
  // t at the centres and its trend, every sum begun by its first product (as the blocks' below),
  // then how far |t| may reach in each block: |g.c| + reach |s.c| + radius |d| (with c the
  // values but the finest's and d centred, g.c = g.d). A block without a kept order has zero
  // vectors and a radius of -infinity.
  std::array<double, kScanBlocks> middle, trend, bound;
  const double* centre = t.centre[f].data();
  const double* slope = t.trend[f].data();
  for (std::size_t b = 0; b < kScanBlocks; ++b) {
    middle[b] = centre[b] * c[0];
    trend[b] = slope[b] * c[0];
  }
  for (std::size_t r = 1; r < rows; ++r) {
    const double value = c[r];
    for (std::size_t b = 0; b < kScanBlocks; ++b) {
      middle[b] += centre[r * kScanBlocks + b] * value;
      trend[b] += slope[r * kScanBlocks + b] * value;
    }
  }
  const double* reach = t.reach[f].data();
  for (std::size_t b = 0; b < kScanBlocks; ++b) {
    middle[b] = std::abs(middle[b]);
    bound[b] = middle[b] + (reach[b] * std::abs(trend[b]) + (radius[b] * spread + rounding));
  }
  // (Four running maxima: no long chain of dependent comparisons.)
  double top0 = 0.0, top1 = 0.0, top2 = 0.0, top3 = 0.0;
  for (std::size_t b = 0; b + 4 <= kScanBlocks; b += 4) {
    top0 = std::max(top0, middle[b]);
    top1 = std::max(top1, middle[b + 1]);
    top2 = std::max(top2, middle[b + 2]);
    top3 = std::max(top3, middle[b + 3]);
  }
  for (std::size_t b = kScanBlocks / 4 * 4; b < kScanBlocks; ++b) top0 = std::max(top0, middle[b]);
  const double top = std::max(std::max(top0, top1), std::max(top2, top3));

  std::size_t best = kScanPoints;
  double bestS = kInfinity;
  const double* excluded = t.excluded[f].data();
  for (std::size_t b = 0; b < kScanBlocks; ++b) {
    if (!(bound[b] >= top)) continue;
    const std::size_t k0 = b * kScanBlock;
    std::array<double, kScanBlock> s;
    scanBlock(t.projection[f].data() + k0, rows, c.data(), syy, excluded + k0, s.data());
    for (std::size_t m = 0; m < kScanBlock; ++m) {
      if (s[m] < bestS) bestS = s[m], best = k0 + m;
    }
  }
  return best;
}

// A root of H bracketed by lo (H > 0) and hi (H < 0), where the slopes are `atLo` and `atHi`:
// Newton's method from where the cubic through H and dH/dp at both ends vanishes, falling back
// on bisection when a step leaves the bracket or does not halve. Stops when a step is below
// kRootTolerance, or takes the last step unchecked when Newton's error after it,
// |H''/(2 H')| step^2 (H'' from H' at both ends, ten times over), is below it; or when the steps
// no longer shrink once small (rounding decides the rest). The powers x_i^p of the root are
// left in X. nullopt if H is not finite or the steps do not settle.
std::optional<double> rootOfSlope(double lo, double hi, Slope atLo, Slope atHi,
                                  const LeastSquaresTables& t, std::span<const double> w,
                                  double weight, std::span<const double> d, std::span<double> X,
                                  std::span<double> scaled, std::span<double> terms) {
  // Hermite cubic on s in [0, 1] between the ends; its root by Newton from the secant's.
  const double width = hi - lo;
  const double h0 = atLo.h, h1 = atHi.h, m0 = width * atLo.dh, m1 = width * atHi.dh;
  double s = h0 / (h0 - h1);
  for (int step = 0; step < 4; ++step) {
    const double s2 = s * s, s3 = s2 * s;
    const double value = (2 * s3 - 3 * s2 + 1) * h0 + (s3 - 2 * s2 + s) * m0 +
                         (3 * s2 - 2 * s3) * h1 + (s3 - s2) * m1;
    const double slope = (6 * s2 - 6 * s) * (h0 - h1) + (3 * s2 - 4 * s + 1) * m0 +
                         (3 * s2 - 2 * s) * m1;
    const double next = s - value / slope;
    if (!(next > 0.0 && next < 1.0)) break;
    s = next;
  }
  double p = lo + s * width;
  double previous = width;
  const double curvature = std::abs(atHi.dh - atLo.dh) / width;
  for (std::size_t iteration = 0; iteration < kNewtonSteps; ++iteration) {
    powersAt(t.logX, p, X);
    const double scale = std::exp(-p * t.logX[t.coarsest]);
    for (std::size_t i = 0; i < X.size(); ++i) scaled[i] = X[i] * scale;
    slopeTerms(scaled.data(), t.logScaled, w, weight, terms.data());
    const Slope at = slopeOf(terms.data(), d);
    if (!std::isfinite(at.h) || !std::isfinite(at.dh)) return std::nullopt;
    if (at.h > 0.0) {
      lo = p;
    } else if (at.h < 0.0) {
      hi = p;
    } else {
      return p;
    }
    const double step = -at.h / at.dh;
    const double size = std::abs(step);
    if (size <= kRootTolerance * p) return p;
    if (size > 0.5 * previous && previous < 1e-6 * p) return p;  // at the level of rounding
    double next = p + step;
    if (next > lo && next < hi &&
        5.0 * curvature * step * step <= kRootTolerance * std::abs(at.dh) * p) {
      // x^(p + step) = x^p exp(step ln x): for so small a step, three terms of the series.
      const double change = step * t.logX[t.coarsest];
      if (std::abs(change) <= 1e-4) {
        for (std::size_t i = 0; i < X.size(); ++i) {
          const double y = step * t.logX[i];
          X[i] *= 1.0 + y * (1.0 + y * (0.5 + y * (1.0 / 6.0)));
        }
      } else {
        powersAt(t.logX, next, X);
      }
      return next;
    }
    if (!(next > lo && next < hi) || size > 0.5 * previous) next = 0.5 * (lo + hi);
    if (!(hi - lo > kRootTolerance * p)) return p;
    previous = std::abs(next - p);
    p = next;
  }
  return std::nullopt;
}

// One free-order fit: its order and the fit.
struct FreeOrderFit {
  double p = 0.0;
  LinearFit linear;
};

// The powers x_i^p at scanned order k, scaled (of x_i / x_coarsest) or not.
void scannedPowers(const LeastSquaresTables& t, std::size_t k, bool scaled, std::span<double> X) {
  for (std::size_t i = 0; i < t.n; ++i) {
    const double value = t.scaled[i * kScanStride + k];
    X[i] = scaled ? value : t.logX[i] == 0.0 ? 1.0 : value * t.factor[k];
  }
}

FreeOrderFit fitAtScannedOrder(const LeastSquaresTables& t, std::size_t k,
                               const PowerFitData& data, std::span<double> X) {
  scannedPowers(t, k, false, X);
  return {scannedOrder(k), fitPower(X.data(), data)};
}

// By the scan of the projections and the root of the slope (see the header). nullopt where
// that does not settle the order: the plain search below decides then.
std::optional<FreeOrderFit> fastFreeOrder(const LeastSquaresTables& t, std::size_t f,
                                          std::span<const double> c, std::span<const double> d,
                                          double syy, const PowerFitData& data,
                                          std::span<double> work, std::span<double> scaled,
                                          std::span<double> terms, std::span<double> X) {
  const std::span<const double> w = t.w[f];
  const std::size_t k = scanMinimum(t, f, c, d, syy);
  if (k >= kScanPoints) return std::nullopt;
  const FreeOrderFit scanned = fitAtScannedOrder(t, k, data, X);
  if (!(scanned.linear.s < kInfinity)) return std::nullopt;
  auto slopeAtOrder = [&](std::size_t order) {
    scannedPowers(t, order, true, scaled);
    slopeTerms(scaled.data(), t.logScaled, w, t.weight[f], terms.data());
    return slopeOf(terms.data(), d);
  };
  const Slope at = slopeAtOrder(k);
  if (!std::isfinite(at.h) || !std::isfinite(at.dh) || at.h == 0.0) return std::nullopt;
  const bool rightwards = at.h > 0.0;  // S still decreasing: the minimum lies above p_k
  if (rightwards ? k + 1 == kScanPoints : k == 0) return scanned;  // on the bracket's end
  const std::size_t neighbour = rightwards ? k + 1 : k - 1;
  const Slope there = slopeAtOrder(neighbour);
  if (!(rightwards ? there.h < 0.0 : there.h > 0.0) || !std::isfinite(there.dh)) {
    return std::nullopt;  // no single root between them
  }
  const std::optional<double> root =
      rightwards ? rootOfSlope(scannedOrder(k), scannedOrder(neighbour), at, there, t, w,
                               t.weight[f], d, work, scaled, terms)
                 : rootOfSlope(scannedOrder(neighbour), scannedOrder(k), there, at, t, w,
                               t.weight[f], d, work, scaled, terms);
  if (!root) return std::nullopt;
  const LinearFit refined = fitPower(work.data(), data);
  if (scanned.linear.s <= refined.s) return scanned;
  std::copy(work.begin(), work.end(), X.begin());
  return FreeOrderFit{*root, refined};
}

// S from the residuals at every scanned order (the plan's powers), then golden-section search
// between the scanned minimum's neighbours, S also tried at the middle of its final interval;
// the scanned order wins when S is no larger there.
FreeOrderFit plainFreeOrder(const LeastSquaresTables& t, const PowerFitData& data,
                            std::span<double> X) {
  const ScannedMinimum found = searchOrder(
      kScan,
      [&](std::size_t k, double) {
        scannedPowers(t, k, false, X);
        return fitPower(X.data(), data).s;
      },
      [&](double p) {
        powersAt(t.logX, p, X);
        return fitPower(X.data(), data).s;
      },
      true);
  if (found.fromScan) return fitAtScannedOrder(t, found.scanned, data, X);
  powersAt(t.logX, found.best.p, X);
  return {found.best.p, fitPower(X.data(), data)};
}

// The unweighted and the weighted free-order fits, with the powers of each at its order.
std::array<LeastSquaresFit, 2> fitFreeOrder(const LeastSquaresTables& t,
                                            std::span<const double> phi, Scratch& scratch,
                                            const std::array<std::span<double>, 2>& powers) {
  const std::size_t n = t.n;
  // phi relative to the finest grid's value, scaled by a power of two to below 1 (S only
  // scales, and no square overflows).
  const std::span<double> relative = scratch.take(n);
  double largest = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    relative[i] = phi[i] - phi[t.finest];
    largest = std::max(largest, std::abs(relative[i]));
  }
  const bool usable = largest <= kLargest;
  int exponent = 0;
  std::frexp(largest, &exponent);
  const double scale = std::ldexp(1.0, std::clamp(-exponent, -1000, 1000));
  const std::span<double> c = scratch.take(t.others.size());
  for (std::size_t r = 0; r < t.others.size(); ++r) c[r] = relative[t.others[r]] * scale;
  for (std::size_t i = 0; i < n; ++i) relative[i] *= scale;
  const std::span<double> d = scratch.take(n);
  const std::span<double> work = scratch.take(n), scaled = scratch.take(n);
  const std::span<double> terms = scratch.take(slopeTermCount(n));
  const std::span<double> centred = scratch.take(n);

  std::array<LeastSquaresFit, 2> fits;
  for (std::size_t f = 0; f < 2; ++f) {
    const std::span<const double> w = t.w[f];
    const PowerFitData data(phi, w, centred);
    std::optional<FreeOrderFit> found;
    if (usable) {
      double mean = 0.0;
      for (std::size_t i = 0; i < n; ++i) mean += w[i] * relative[i];
      mean /= t.weight[f];
      double syy = 0.0;
      for (std::size_t i = 0; i < n; ++i) {
        d[i] = relative[i] - mean;
        syy += w[i] * d[i] * d[i];
      }
      found = fastFreeOrder(t, f, c, d, syy, data, work, scaled, terms, powers[f]);
    }
    const FreeOrderFit free = found ? *found : plainFreeOrder(t, data, powers[f]);
    LeastSquaresFit& fit = fits[f];
    fit.model = ErrorModel::freeOrder;
    fit.weighted = f == 1;
    fit.phi0 = free.linear.c[0];
    fit.alpha = free.linear.c[1];
    fit.p = free.p;
    fit.sigma = standardDeviation(free.linear.s, n, 3, fit.weighted);
    fit.pAtBracketEnd = atBracketEnd(fit.p);
  }
  return fits;
}

// The unweighted and the weighted fit of fixed-order model `model` (h, h2, h+h2).
std::array<LeastSquaresFit, 2> fitFixedOrder(const LeastSquaresTables& t, std::size_t model,
                                             std::span<const double> phi,
                                             std::span<double> storage) {
  const std::size_t columns = kFixedModels[model] == ErrorModel::firstAndSecondOrder ? 3 : 2;
  const std::array<LinearFit, 2> linear =
      columns == 3 ? fitFixed<3>(t, model, phi, storage) : fitFixed<2>(t, model, phi, storage);
  std::array<LeastSquaresFit, 2> fits;
  for (std::size_t f = 0; f < 2; ++f) {
    LeastSquaresFit& fit = fits[f];
    fit.model = kFixedModels[model];
    fit.weighted = f == 1;
    fit.phi0 = linear[f].c[0];
    fit.alpha = linear[f].c[1];
    fit.alpha2 = linear[f].c[2];
    fit.p = fit.model == ErrorModel::secondOrder ? 2.0 : 1.0;
    fit.sigma = standardDeviation(linear[f].s, t.n, columns, fit.weighted);
  }
  return fits;
}

// Every number back to zero and the per-grid vectors empty, their storage kept.
void clear(LeastSquaresResult& result) {
  std::vector<double> error = std::move(result.error), residual = std::move(result.residual),
                      u = std::move(result.u);
  result = LeastSquaresResult{};
  error.clear();
  residual.clear();
  u.clear();
  result.error = std::move(error);
  result.residual = std::move(residual);
  result.u = std::move(u);
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

namespace {

// The plan, with the blocks' bounds of the scan (which pay for themselves over a few points
// only) or without.
LeastSquaresPlan makePlan(std::span<const double> h, double pTh, bool pruning) {
  LeastSquaresPlan plan;
  plan.grids = h.size();
  plan.pTh = pTh;
  plan.status = checkSpacings(h, pTh);
  if (plan.status != LeastSquaresStatus::ok) return plan;

  auto tables = std::make_shared<LeastSquaresTables>();
  LeastSquaresTables& t = *tables;
  const std::size_t n = h.size();
  t.n = n;
  const double hMin = *std::min_element(h.begin(), h.end());
  t.x.resize(n);
  t.logX.resize(n);
  double inverseSum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    t.x[i] = h[i] / hMin;
    t.logX[i] = std::log(t.x[i]);
    inverseSum += 1.0 / t.x[i];
    if (t.logX[i] == 0.0) t.finest = i;
    if (t.logX[i] > t.logX[t.coarsest]) t.coarsest = i;
  }
  t.logScaled.resize(n);
  for (std::size_t i = 0; i < n; ++i) t.logScaled[i] = t.logX[i] - t.logX[t.coarsest];
  t.w[0].assign(n, 1.0);
  t.w[1].resize(n);
  for (std::size_t i = 0; i < n; ++i) t.w[1][i] = (1.0 / t.x[i]) / inverseSum;
  for (std::size_t f = 0; f < 2; ++f) {
    t.rootW[f].resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      t.rootW[f][i] = std::sqrt(t.w[f][i]);
      t.weight[f] += t.w[f][i];
    }
  }
  for (std::size_t m = 0; m < kFixedModels.size(); ++m) {
    t.basis[m].resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double x = t.x[i], x2 = x * x;
      using Row = std::array<double, 3>;
      t.basis[m][i] = kFixedModels[m] == ErrorModel::firstOrder    ? Row{1, x, 0}
                      : kFixedModels[m] == ErrorModel::secondOrder ? Row{1, x2, 0}
                                                                   : Row{1, x, x2};
    }
    const std::size_t columns = kFixedModels[m] == ErrorModel::firstAndSecondOrder ? 3 : 2;
    t.pairedQ[m].assign(n * 3 * 2, 0.0);
    for (std::size_t f = 0; f < 2; ++f) {
      t.orthogonal[f][m] = orthogonalise(t.basis[m], t.rootW[f], columns);
      for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
          t.pairedQ[m][(i * 3 + k) * 2 + f] = t.orthogonal[f][m].q[i][k];
        }
      }
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t f = 0; f < 2; ++f) {
      t.pairedW.push_back(t.w[f][i]);
      t.pairedRootW.push_back(t.rootW[f][i]);
    }
  }
  tabulateScan(t, pruning);
  plan.tables = std::move(tables);
  return plan;
}

}  // namespace

LeastSquaresPlan makeLeastSquaresPlan(std::span<const double> h, double pTh) {
  return makePlan(h, pTh, true);
}

void leastSquaresUncertainty(const LeastSquaresPlan& plan, std::span<const double> phi,
                             LeastSquaresResult& result) {
  clear(result);
  result.status = checkValues(plan, phi);
  if (result.status != LeastSquaresStatus::ok) return;
  const LeastSquaresTables& t = *plan.tables;
  const std::size_t n = t.n;
  Scratch scratch(n);
  const std::array<std::span<double>, 2> powers = {scratch.take(n), scratch.take(n)};

  std::array<std::size_t, 4> kept{};
  const std::span<double> storage = scratch.take(2 * n);
  for (std::size_t m = 0; m < 4; ++m) {
    const std::array<LeastSquaresFit, 2> fits =
        m == 0 ? fitFreeOrder(t, phi, scratch, powers) : fitFixedOrder(t, m - 1, phi, storage);
    for (std::size_t f = 0; f < 2; ++f) {
      result.fits[2 * m + f] = fits[f];
      result.fits[2 * m + f].name = kLeastSquaresFitNames[2 * m + f];
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
  const bool printed = plan.printedOrderRange;
  if (printed ? orderBelow(result.p, kLowestOrder) : result.p < kLowestOrder) {
    result.chosen = smallest({kept[1], kept[2], kept[3]});
  } else if (printed ? orderAbove(result.p, plan.pTh) : result.p > plan.pTh) {
    result.chosen = smallest({kept[1], kept[2]});
  } else {
    result.chosen = kept[0];
  }

  const LeastSquaresFit& chosen = result.chosenFit();
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  result.dataRange = (*high - *low) / static_cast<double>(n - 1);
  result.sigma = chosen.sigma;
  const bool scattered = !(result.sigma < result.dataRange);
  result.fs = safetyFactor(result.p, plan.pTh, scattered);
  result.error.resize(n);
  result.residual.resize(n);
  result.u.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    // The free-order fits' powers x_i^p are at hand.
    const double fitted = chosen.model == ErrorModel::freeOrder
                              ? chosen.phi0 + chosen.alpha * powers[result.chosen][i]
                              : chosen.valueAt(t.x[i]);
    result.error[i] = fitted - chosen.phi0;
    result.residual[i] = std::abs(phi[i] - fitted);
    const double sum = std::abs(result.error[i]) + result.sigma + result.residual[i];
    result.u[i] = scattered
                      ? 3.0 * (result.sigma / result.dataRange) * sum
                      : result.fs * std::abs(result.error[i]) + result.sigma + result.residual[i];
    if (!std::isfinite(result.u[i])) {
      // Values so large that the fit overflows: no numbers rather than garbage.
      clear(result);
      result.status = LeastSquaresStatus::notFinite;
      return;
    }
  }
}

LeastSquaresResult leastSquaresUncertainty(const LeastSquaresPlan& plan,
                                           std::span<const double> phi) {
  LeastSquaresResult result;
  leastSquaresUncertainty(plan, phi, result);
  return result;
}

LeastSquaresResult leastSquaresUncertainty(std::span<const double> h, std::span<const double> phi,
                                           double pTh, bool printedOrderRange) {
  LeastSquaresPlan plan = makePlan(h, pTh, false);
  plan.printedOrderRange = printedOrderRange;
  return leastSquaresUncertainty(plan, phi);
}

}  // namespace kv
