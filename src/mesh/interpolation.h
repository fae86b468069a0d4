// Values of a source point cloud carried to other points (targets) by local least squares: for
// each target, a polynomial fitted to the values at the nearest source points, evaluated at the
// target. This is how the solutions of a refinement study on grids that share no points are
// brought to one set of study points.
//
// Why the degree matters. A scheme of order p leaves a discretisation error ~ C h^p in each
// solution; the observed order is read from how the differences between solutions shrink. A
// solution sampled at other points than its own is changed by the interpolation error too. A
// polynomial of total degree K reproduces every polynomial of degree <= K exactly, so on smooth
// data its error is the Taylor remainder, O(rho^{K+1}) with rho ~ h the size of the
// neighbourhood. Linear interpolation (K = 1) thus adds O(h^2): for a second-order scheme that is
// as large as the very error being measured, and the observed order it gives is off by O(1). With
// K = p the added error is O(h^{p+1}), one order smaller than the discretisation error, and the
// observed order tends to p as h -> 0. Hence the default K = p_th (for p_th = 1, 2, 3).
// On the manufactured study of convergence_test.cpp (second-order error on four jittered
// non-nested lattices, h = 1/20 to 1/160), the observed order is within 0.05 of 2 at 97 % or
// more of the interior points with K = 2, at a few per cent with K = 1 (median error in p
// 0.6 to 0.9), and everywhere within 0.01 with K = 3: the pollution left by K = p shrinks
// only as O(h), so K = p + 1 is worth its cost where the grids are coarse.
//
// The fit at a target t, in d dimensions with degree K:
//   - the k nearest source points x_1..x_k (k = 2 m by default, m = C(d+K, K) the number of
//     monomials: twice the unknowns, so that the fit is overdetermined and smooths, yet local);
//   - coordinates u_i = (x_i - t) / r, centred on the target and scaled by r, the distance to the
//     k-th neighbour, so that |u_i| <= 1 whatever the units and the spacing;
//   - weights w_i = (1 - (|x_i - t| / (1.5 r))^2)^2: smooth, largest at the target, still 0.31 at
//     the farthest neighbour, so that near points count more without the fit resting on few;
//   - the weighted least-squares problem  min_a sum_i w_i (sum_j a_j u_i^{alpha_j} - f_i)^2,
//     solved as the scaled Vandermonde system sqrt(w_i) u_i^{alpha_j} with its columns scaled to
//     unit length, by Householder QR (never the normal equations, which square the condition),
//     then R's inverse, or R's singular values (Jacobi rotations) when R is nearly singular;
//   - the value at the target is the constant coefficient a_0 = sum_i c_i f_i: the stencil
//     weights c_i depend on the points only, so all quantities share one fit.
//
// Status of each target, in this order:
//   exact     the nearest source point lies within `coincidence` x h_loc of the target (nested
//             grids): its value is taken as it is, with no fit;
//   outside   the target lies outside the region the source covers, and no value is given:
//               (a) the nearest source point is farther than `outsideDistance` x h_loc, or
//               (b) no source point lies beyond the target in the direction g from the
//                   neighbours' centroid to the target, max_i (x_i - t).g/|g| below
//                   -`outsideMargin` x h_loc, among the k nearest nor among the 4k nearest.
//             (a) catches holes and targets off concave boundaries (an L's re-entrant corner,
//             an annulus's hole), where the neighbours still surround the target; (b) catches
//             targets beyond a convex boundary even when they are close to it. The margin keeps
//             the points of a curved wall: a finer grid's straight-sided boundary cuts inside the
//             true curve by ~ h^2 / (8 R) for a radius R, far less than a quarter spacing.
//             Targets beyond the boundary by less than these tolerances are fitted as inside.
//             A point cloud without cells does not tell a hole from a large cell: a target in a
//             gap wider than 2 x `outsideDistance` local spacings is taken as outside.
//   interpolation-unreliable  the target is inside, but the fit cannot be trusted:
//               - points lie beyond the target only past the k nearest (a gap wider than the
//                 neighbourhood: the fit would extrapolate from one side);
//               - fewer neighbours than monomials;
//               - the condition number of the fit above `maxCondition` (neighbours nearly on a
//                 line or a plane);
//               - the value at the target depends on a polynomial that vanishes on every
//                 neighbour (neighbours on a line or plane, the target off it).
//   ok        the fitted value.
// h_loc, the local spacing, is the mean over the k neighbours of the distance from each to the
// nearest other one of them.
//
// The condition number is the Frobenius one, ||A||_F ||A^+||_F (at least the 2-norm one, at
// most sqrt(m) times it), of the column-scaled weighted Vandermonde matrix A, over its singular
// values above 1e-11 of the largest; smaller ones are round-off and make a null space, which is
// harmless when the target lies on the line or plane of the neighbours (the fit is then the fit
// within it). Measured on jittered lattices, uniform random points and lattices stretched up to
// 4:1, in 1 to 3 dimensions and degrees 1 to 3, it stays below about 10^3; the default bound 10^4
// keeps a factor of ten above that.
//
// Limits. The neighbourhood is isotropic: on a grid stretched more than about 4:1 (boundary
// layers) the nearest points crowd along the fine direction, and targets between the coarse
// lines come out as outside or interpolation-unreliable (never as a wrong value); scaling the
// coordinates along the stretched direction before building the clouds avoids it. Very
// irregular point sets (gaps several times the neighbours' spacing) are flagged the same way.
//
// A NaN among the source values reaches the targets that use it. All functions here are
// thread-safe; interpolate() may spread the targets over several threads itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/kd_tree.h"
#include "mesh/point_cloud.h"

namespace kv::mesh {

enum class InterpolationStatus : uint8_t { Ok = 0, Exact = 1, Outside = 2, Unreliable = 3 };
inline constexpr int kInterpolationStatuses = 4;

// "ok", "exact", "outside", "interpolation-unreliable".
std::string_view statusName(InterpolationStatus status);

inline constexpr int kMaxDegree = 3;

// The degree that keeps the interpolation error an order below a scheme of order p_th: K = p_th
// for p_th = 1, 2, 3 (a non-integer order rounded up, an order above 3 gets 3, below 1 gets 1).
int defaultDegree(double theoreticalOrder);

// The number of monomials of total degree <= `degree` in `dim` variables: C(dim+degree, degree).
size_t monomialCount(int dim, int degree);

// Twice the number of monomials.
size_t defaultNeighbours(int dim, int degree);

struct InterpolationOptions {
  int degree = 2;                // 1 (linear) to 3
  size_t neighbours = 0;         // k; 0 for defaultNeighbours(); at most kMaxNeighbours
  double coincidence = 1e-9;     // exact: nearest source point within this x h_loc
  double outsideDistance = 3.0;  // outside (a): nearest source point beyond this x h_loc
  double outsideMargin = 0.25;   // outside (b): beyond the farthest neighbour by this x h_loc
  double maxCondition = 1e4;     // interpolation-unreliable above this condition number
  unsigned threads = 1;          // 0: one per hardware thread
};
inline constexpr size_t kMaxNeighbours = 1000;

struct Interpolated {
  std::vector<InterpolationStatus> status;  // one per target
  std::vector<std::vector<double>> values;  // one per source quantity, one value per target;
                                            // NaN where outside or unreliable
  std::vector<double> condition;            // of each fit; NaN where no fit was made
};

// Interpolates every quantity of `source`, indexed by `tree` (built over source's
// coordinates), to the `targets` (source.dim coordinates per target, point after point).
// Returns why it cannot, for a source that does not pass validate(), a tree of another cloud,
// targets that are not whole points, or options out of range; `out` is then left empty.
std::optional<std::string> interpolate(const PointCloud& source, const KdTree& tree,
                                       std::span<const double> targets,
                                       const InterpolationOptions& options, Interpolated& out);

}  // namespace kv::mesh
