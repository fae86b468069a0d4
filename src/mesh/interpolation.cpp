#include "mesh/interpolation.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>

namespace kv::mesh {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The weight function reaches zero at this multiple of the distance to the k-th neighbour.
constexpr double kWeightReach = 1.5;
// A target with no neighbour beyond it is looked at again with this many times more neighbours.
constexpr size_t kWiderSearch = 4;
// Singular values at most this fraction of the largest are round-off: a null space.
constexpr double kNullSingularValue = 1e-11;
// Up to this Frobenius condition number, R is inverted as it is; beyond it (which every R with
// a singular value in the null space's range exceeds), its singular values are computed.
constexpr double kSingularCondition = 1e10;
// The largest part of e_0 in the null space for which the value at the target is determined.
constexpr double kUndetermined = 1e-8;

// The exponents of the monomials of total degree <= K in d variables, the constant first.
struct Monomials {
  int dim = 0;
  int degree = 0;
  std::vector<std::array<int, 3>> exponents;

  Monomials(int d, int k) : dim(d), degree(k) {
    for (int total = 0; total <= k; ++total) {
      for (int a = total; a >= 0; --a) {
        if (d == 1) {
          if (a == total) exponents.push_back({a, 0, 0});
          continue;
        }
        for (int b = total - a; b >= 0; --b) {
          int c = total - a - b;
          if (d == 2 && c != 0) continue;
          exponents.push_back({a, b, c});
        }
      }
    }
  }
};

// The fit's working arrays, one set per thread.
struct Workspace {
  std::vector<uint32_t> indices;
  std::vector<double> squared;
  std::vector<double> a;  // k x m, column after column
  std::vector<double> rootWeight;
  std::vector<double> diagonal;  // of R
  std::vector<double> r;         // m x m: R, then U S
  std::vector<double> v;         // m x m: V
  std::vector<double> singular;  // m
  std::vector<double> z;         // k

  Workspace(size_t k, size_t m)
      : indices(kWiderSearch * k),
        squared(kWiderSearch * k),
        a(k * m),
        rootWeight(k),
        diagonal(m),
        r(m * m),
        v(m * m),
        singular(m),
        z(k) {}
};

// The stencil of one target: value = sum of weights[i] * f[indices[i]] over `count` points.
struct Stencil {
  InterpolationStatus status = InterpolationStatus::Outside;
  size_t count = 0;
  double condition = kNaN;
};

double squaredDistance(const double* a, const double* b, int dim) {
  double s = 0;
  for (int d = 0; d < dim; ++d) s += (a[d] - b[d]) * (a[d] - b[d]);
  return s;
}

// The singular value decomposition R = U S V' of the m x m matrix `r` (column after column) by
// one-sided Jacobi rotations (Hestenes): the columns of r are rotated pairwise until orthogonal,
// the same rotations applied to v (from the identity). Then r holds U S (column j is s_j u_j)
// and v holds V.
void singularValueDecomposition(std::vector<double>& r, std::vector<double>& v, size_t m) {
  std::fill(v.begin(), v.begin() + static_cast<ptrdiff_t>(m * m), 0.0);
  for (size_t j = 0; j < m; ++j) v[j * m + j] = 1;
  for (int sweep = 0; sweep < 60; ++sweep) {
    bool rotated = false;
    for (size_t p = 0; p + 1 < m; ++p) {
      for (size_t q = p + 1; q < m; ++q) {
        double* bp = &r[p * m];
        double* bq = &r[q * m];
        double alpha = 0, beta = 0, gamma = 0;
        for (size_t i = 0; i < m; ++i) {
          alpha += bp[i] * bp[i];
          beta += bq[i] * bq[i];
          gamma += bp[i] * bq[i];
        }
        if (std::abs(gamma) <= 1e-15 * std::sqrt(alpha * beta)) continue;
        rotated = true;
        double zeta = (beta - alpha) / (2 * gamma);
        double t = std::copysign(1.0, zeta) / (std::abs(zeta) + std::sqrt(1 + zeta * zeta));
        double c = 1 / std::sqrt(1 + t * t);
        double s = c * t;
        auto rotate = [&](double* x, double* y) {
          for (size_t i = 0; i < m; ++i) {
            double a = x[i], b = y[i];
            x[i] = c * a - s * b;
            y[i] = s * a + c * b;
          }
        };
        rotate(bp, bq);
        rotate(&v[p * m], &v[q * m]);
      }
    }
    if (!rotated) break;
  }
}

// The least-squares stencil of the k neighbours found for target t (in ws.indices and
// ws.squared); the weights are left in ws.z. Returns the condition number, or infinity when
// the neighbours do not determine the value at the target.
double fitStencil(const double* coordinates, const double* t, const Monomials& monomials, size_t k,
                  Workspace& ws) {
  const int dim = monomials.dim;
  const size_t m = monomials.exponents.size();
  const double radius = std::sqrt(ws.squared[k - 1]);
  const double reach = kWeightReach * radius;
  // The weighted scaled Vandermonde matrix.
  for (size_t i = 0; i < k; ++i) {
    const double* x = coordinates + static_cast<size_t>(ws.indices[i]) * dim;
    double powers[3][kMaxDegree + 1];
    for (int d = 0; d < dim; ++d) {
      double u = (x[d] - t[d]) / radius;
      powers[d][0] = 1;
      for (int e = 1; e <= monomials.degree; ++e) powers[d][e] = powers[d][e - 1] * u;
    }
    double q = std::sqrt(ws.squared[i]) / reach;
    ws.rootWeight[i] = 1 - q * q;
    for (size_t j = 0; j < m; ++j) {
      double v = ws.rootWeight[i];
      for (int d = 0; d < dim; ++d) v *= powers[d][monomials.exponents[j][d]];
      ws.a[j * k + i] = v;
    }
  }
  // Columns scaled to unit length: the condition number then measures how independent the
  // monomials are on these points, not how their sizes differ (which a stretched neighbourhood,
  // as in a boundary layer, makes large). A monomial that vanishes on every neighbour stays a
  // zero column.
  double constantNorm = 0;
  for (size_t j = 0; j < m; ++j) {
    double* col = &ws.a[j * k];
    double norm = 0;
    for (size_t i = 0; i < k; ++i) norm += col[i] * col[i];
    norm = std::sqrt(norm);
    if (j == 0) constantNorm = norm;
    if (norm == 0) continue;
    for (size_t i = 0; i < k; ++i) col[i] /= norm;
  }
  // Householder QR: column j below the diagonal becomes the reflector v_j (H_j = I - 2vv'/v'v),
  // R's diagonal goes to ws.diagonal and its upper part stays above the diagonal.
  for (size_t j = 0; j < m; ++j) {
    double* v = &ws.a[j * k];
    double norm = 0;
    for (size_t i = j; i < k; ++i) norm += v[i] * v[i];
    norm = std::sqrt(norm);
    double alpha = v[j] > 0 ? -norm : norm;
    ws.diagonal[j] = alpha;
    v[j] -= alpha;
    double vv = 0;
    for (size_t i = j; i < k; ++i) vv += v[i] * v[i];
    if (vv == 0) continue;
    for (size_t c = j + 1; c < m; ++c) {
      double* col = &ws.a[c * k];
      double s = 0;
      for (size_t i = j; i < k; ++i) s += v[i] * col[i];
      s = 2 * s / vv;
      for (size_t i = j; i < k; ++i) col[i] -= s * v[i];
    }
  }
  // The usual case: R clearly non-singular. Its inverse X gives both the Frobenius condition
  // number ||R||_F ||X||_F and y = R^{-T} e_0 (the first row of X); a_0 = (Q y)' (sqrt(w) f).
  std::fill(ws.z.begin(), ws.z.begin() + static_cast<ptrdiff_t>(k), 0.0);
  double condition = std::numeric_limits<double>::infinity();
  double normR = 0, normX = 0;
  for (size_t c = 0; c < m; ++c) {
    ws.r[c * m + c] = 1 / ws.diagonal[c];
    normR += ws.diagonal[c] * ws.diagonal[c];
    normX += ws.r[c * m + c] * ws.r[c * m + c];
    for (size_t i = c; i-- > 0;) {
      double s = 0;
      for (size_t l = i + 1; l <= c; ++l) s += ws.a[l * k + i] * ws.r[c * m + l];
      ws.r[c * m + i] = -s / ws.diagonal[i];
      normR += ws.a[c * k + i] * ws.a[c * k + i];
      normX += ws.r[c * m + i] * ws.r[c * m + i];
    }
  }
  condition = std::sqrt(normR * normX);
  if (condition <= kSingularCondition) {
    for (size_t i = 0; i < m; ++i) ws.z[i] = ws.r[i * m];
  } else {
    // Nearly singular: the singular values tell the null space, made of the polynomials that
    // vanish on every neighbour (all of them on one plane, say). The value at the target is
    // still determined when such a polynomial vanishes at the target too (the target on that
    // plane): e_0 is then orthogonal to the null space, and the minimum-norm solution gives it.
    for (size_t c = 0; c < m; ++c) {
      for (size_t i = 0; i < m; ++i) {
        ws.r[c * m + i] = i < c ? ws.a[c * k + i] : (i == c ? ws.diagonal[c] : 0.0);
      }
    }
    singularValueDecomposition(ws.r, ws.v, m);
    double largest = 0;
    for (size_t j = 0; j < m; ++j) {
      double norm = 0;
      for (size_t i = 0; i < m; ++i) norm += ws.r[j * m + i] * ws.r[j * m + i];
      ws.singular[j] = std::sqrt(norm);
      largest = std::max(largest, ws.singular[j]);
    }
    double undetermined = 0;  // squared length of e_0's part in the null space
    double sum = 0, inverseSum = 0;
    for (size_t j = 0; j < m; ++j) {
      if (ws.singular[j] <= kNullSingularValue * largest) {
        undetermined += ws.v[j * m] * ws.v[j * m];
        continue;
      }
      sum += ws.singular[j] * ws.singular[j];
      inverseSum += 1 / (ws.singular[j] * ws.singular[j]);
      // y = sum_j V_0j / s_j^2 (s_j u_j): the minimum-norm solution's e_0 row.
      double scale = ws.v[j * m] / (ws.singular[j] * ws.singular[j]);
      for (size_t i = 0; i < m; ++i) ws.z[i] += scale * ws.r[j * m + i];
    }
    if (std::sqrt(undetermined) > kUndetermined) return std::numeric_limits<double>::infinity();
    condition = std::sqrt(sum * inverseSum);
  }
  for (size_t j = m; j-- > 0;) {
    const double* v = &ws.a[j * k];
    double vv = 0, s = 0;
    for (size_t i = j; i < k; ++i) {
      vv += v[i] * v[i];
      s += v[i] * ws.z[i];
    }
    if (vv == 0) continue;
    s = 2 * s / vv;
    for (size_t i = j; i < k; ++i) ws.z[i] -= s * v[i];
  }
  for (size_t i = 0; i < k; ++i) ws.z[i] *= ws.rootWeight[i] / constantNorm;
  return condition;
}

// Finds the stencil of target t; its points are ws.indices[0..count), its weights ws.z.
Stencil stencilOf(const PointCloud& source, const KdTree& tree, const double* t,
                  const Monomials& monomials, size_t k, const InterpolationOptions& options,
                  Workspace& ws) {
  Stencil result;
  const int dim = source.dim;
  const double* x = source.coordinates.data();
  size_t found =
      tree.nearest({t, static_cast<size_t>(dim)}, k, ws.indices.data(), ws.squared.data());
  if (found == 0) return result;  // no source points, or a target that is not a point
  auto point = [&](size_t i) { return x + static_cast<size_t>(ws.indices[i]) * dim; };
  // h_loc: the mean distance from each neighbour to the nearest other one.
  double spacing = 0;
  for (size_t i = 0; i < found; ++i) {
    double nearest = std::numeric_limits<double>::infinity();
    for (size_t j = 0; j < found; ++j) {
      if (j != i) nearest = std::min(nearest, squaredDistance(point(i), point(j), dim));
    }
    spacing += std::sqrt(nearest);
  }
  spacing /= static_cast<double>(found);
  const double distance = std::sqrt(ws.squared[0]);
  if (distance == 0 || (found > 1 && distance <= options.coincidence * spacing)) {
    result.status = InterpolationStatus::Exact;
    result.count = 1;
    ws.z[0] = 1;
    return result;
  }
  if (found == 1) {
    result.status = InterpolationStatus::Unreliable;
    return result;
  }
  if (distance > options.outsideDistance * spacing) return result;
  double g[3] = {t[0], dim > 1 ? t[1] : 0, dim > 2 ? t[2] : 0};
  for (size_t i = 0; i < found; ++i) {
    for (int d = 0; d < dim; ++d) g[d] -= point(i)[d] / static_cast<double>(found);
  }
  double gNorm = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
  if (gNorm > 0) {
    // The farthest any of the first `count` neighbours lies beyond the target along g.
    auto ahead = [&](size_t count) {
      double farthest = -std::numeric_limits<double>::infinity();
      for (size_t i = 0; i < count; ++i) {
        double s = 0;
        for (int d = 0; d < dim; ++d) s += (point(i)[d] - t[d]) * g[d];
        farthest = std::max(farthest, s / gNorm);
      }
      return farthest;
    };
    if (ahead(found) < -options.outsideMargin * spacing) {
      // Nothing beyond among the k nearest. The region may still go on past a gap wider than
      // the neighbourhood (irregular or stretched spacing): then the target is inside, but a fit
      // to the k nearest would extrapolate from one side.
      size_t more = tree.nearest({t, static_cast<size_t>(dim)}, kWiderSearch * k, ws.indices.data(),
                                 ws.squared.data());
      if (ahead(more) >= -options.outsideMargin * spacing) {
        result.status = InterpolationStatus::Unreliable;
      }
      return result;
    }
  }
  result.status = InterpolationStatus::Unreliable;
  if (found < monomials.exponents.size()) return result;
  result.condition = fitStencil(x, t, monomials, found, ws);
  if (!(result.condition <= options.maxCondition)) return result;
  result.status = InterpolationStatus::Ok;
  result.count = found;
  return result;
}

std::optional<std::string> checkOptions(const InterpolationOptions& options) {
  if (options.degree < 1 || options.degree > kMaxDegree) {
    return "the interpolation degree is 1, 2 or 3, not " + std::to_string(options.degree);
  }
  if (options.neighbours > kMaxNeighbours) {
    return "at most " + std::to_string(kMaxNeighbours) + " neighbours are used";
  }
  if (!(options.coincidence >= 0 && options.coincidence < 1)) {
    return "the coincidence tolerance is a fraction of the spacing, at least 0 and below 1";
  }
  if (!(options.outsideDistance > 0 && std::isfinite(options.outsideDistance))) {
    return "the outside distance is a positive multiple of the spacing";
  }
  if (!(options.outsideMargin >= 0 && std::isfinite(options.outsideMargin))) {
    return "the outside margin is a multiple of the spacing, at least 0";
  }
  if (!(options.maxCondition >= 1)) return "the largest condition number is at least 1";
  return std::nullopt;
}

// The targets in the order of a Z-order (Morton) curve over their bounding box: consecutive
// targets are then near each other and so are their neighbours, which keeps the tree's nodes and
// the source points they lead to in the cache (on random targets this halves the time).
std::vector<size_t> spatialOrder(std::span<const double> targets, int dim) {
  const size_t n = targets.size() / static_cast<size_t>(dim);
  double low[3], high[3];
  std::fill(low, low + 3, std::numeric_limits<double>::infinity());
  std::fill(high, high + 3, -std::numeric_limits<double>::infinity());
  for (size_t i = 0; i < targets.size(); ++i) {
    int d = static_cast<int>(i % static_cast<size_t>(dim));
    if (!std::isfinite(targets[i])) continue;
    low[d] = std::min(low[d], targets[i]);
    high[d] = std::max(high[d], targets[i]);
  }
  const int bits = 63 / dim;
  const double cells = std::ldexp(1.0, bits);
  std::vector<std::pair<uint64_t, size_t>> keyed(n);
  for (size_t p = 0; p < n; ++p) {
    uint64_t key = 0;
    for (int d = 0; d < dim; ++d) {
      double x = targets[p * static_cast<size_t>(dim) + static_cast<size_t>(d)];
      double f = high[d] > low[d] ? (x - low[d]) / (high[d] - low[d]) : 0.0;
      f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
      uint64_t cell = std::min(static_cast<uint64_t>(f * cells), (uint64_t{1} << bits) - 1);
      for (int b = 0; b < bits; ++b) key |= ((cell >> b) & 1) << (b * dim + d);
    }
    keyed[p] = {key, p};
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<size_t> order(n);
  for (size_t p = 0; p < n; ++p) order[p] = keyed[p].second;
  return order;
}

}  // namespace

std::string_view statusName(InterpolationStatus status) {
  switch (status) {
    case InterpolationStatus::Ok:
      return "ok";
    case InterpolationStatus::Exact:
      return "exact";
    case InterpolationStatus::Outside:
      return "outside";
    case InterpolationStatus::Unreliable:
      return "interpolation-unreliable";
  }
  return "?";
}

int defaultDegree(double theoreticalOrder) {
  if (!(theoreticalOrder > 1)) return 1;
  if (theoreticalOrder > 2) return 3;
  return 2;
}

size_t monomialCount(int dim, int degree) {
  size_t count = 1;  // C(dim + degree, degree), built up as a product of binomials
  for (int i = 1; i <= degree; ++i)
    count = count * static_cast<size_t>(dim + i) / static_cast<size_t>(i);
  return count;
}

size_t defaultNeighbours(int dim, int degree) { return 2 * monomialCount(dim, degree); }

std::optional<std::string> interpolate(const PointCloud& source, const KdTree& tree,
                                       std::span<const double> targets,
                                       const InterpolationOptions& options, Interpolated& out) {
  out = Interpolated{};
  if (auto error = validate(source)) return "source: " + *error;
  if (tree.dim() != source.dim || tree.size() != source.size()) {
    return "the k-d tree is not built over the source points";
  }
  if (targets.size() % static_cast<size_t>(source.dim) != 0) {
    return "the target coordinates are not a whole number of points";
  }
  if (auto error = checkOptions(options)) return error;
  const Monomials monomials(source.dim, options.degree);
  const size_t k =
      options.neighbours ? options.neighbours : defaultNeighbours(source.dim, options.degree);
  const size_t n = targets.size() / static_cast<size_t>(source.dim);
  out.status.assign(n, InterpolationStatus::Outside);
  out.condition.assign(n, kNaN);
  out.values.assign(source.quantities.size(), std::vector<double>(n, kNaN));

  const std::vector<size_t> order = spatialOrder(targets, source.dim);
  constexpr size_t kChunk = 1024;
  const size_t chunks = (n + kChunk - 1) / kChunk;
  std::atomic<size_t> next{0};
  auto work = [&] {
    Workspace ws(k, monomials.exponents.size());
    for (size_t c; (c = next.fetch_add(1)) < chunks;) {
      for (size_t o = c * kChunk; o < std::min(n, (c + 1) * kChunk); ++o) {
        const size_t p = order[o];
        const double* t = targets.data() + p * static_cast<size_t>(source.dim);
        Stencil s = stencilOf(source, tree, t, monomials, k, options, ws);
        out.status[p] = s.status;
        out.condition[p] = s.condition;
        for (size_t q = 0; q < source.quantities.size(); ++q) {
          if (s.count == 0) continue;
          const std::vector<double>& f = source.quantities[q].values;
          double value = ws.z[0] * f[ws.indices[0]];  // an exact copy keeps even a -0
          for (size_t i = 1; i < s.count; ++i) value += ws.z[i] * f[ws.indices[i]];
          out.values[q][p] = value;
        }
      }
    }
  };
  unsigned threads = options.threads ? options.threads : std::thread::hardware_concurrency();
  threads = static_cast<unsigned>(std::clamp<size_t>(threads, 1, std::max<size_t>(chunks, 1)));
  std::vector<std::thread> pool;
  try {
    for (unsigned i = 1; i < threads; ++i) pool.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: those started and this one share the work.
  }
  work();
  for (std::thread& thread : pool) thread.join();
  return std::nullopt;
}

}  // namespace kv::mesh
