// The least-squares estimate of the discretization uncertainty (Eça & Hoekstra 2014, J. Comput.
// Phys. 262, 104-130): error models fitted to the values of four or more grids, a fit chosen by
// the observed order and the standard deviations, and an uncertainty for every grid.
//
// Grids may come in any order. The spacings enter the fits relative to the finest one,
// x_i = h_i / h_min, so the coefficients below are those of h/h1 (h1 the finest spacing); the
// weights and the uncertainties do not depend on that scale.
//
// The error models (Eça & Hoekstra 2014, Section 3):
//
//   "p":    phi = phi0 + alpha x^p          (p free: three parameters)
//   "h":    phi = phi0 + alpha x            (two parameters)
//   "h2":   phi = phi0 + alpha x^2          (two parameters)
//   "h+h2": phi = phi0 + alpha1 x + alpha2 x^2  (three parameters)
//
// each fitted twice, minimising S = sum_i w_i (phi_i - phi_fit,i)^2 with
//
//   unweighted: w_i = 1;         weighted ("w" suffix): w_i = (1/h_i) / sum_j (1/h_j).
//
// For the free order, S(p) is minimised over the bracket [0.01, 20] of order_search.h: a scan of
// the bracket (401 equally spaced orders), then the order between the scanned minimum's
// neighbours where dS/dp vanishes; for each p, phi0 and alpha come from the linear fit in x^p.
// A minimum on the bracket's end is flagged.
//
// How (everything that depends on the spacings alone is computed once, in a plan shared by all
// the points of a field). With W = sum_i w_i, the centred values d_i = phi_i - sum_j w_j phi_j / W
// and, at each order, u_i = X_i - sum_j w_j X_j / W (X_i = x_i^p), the fit in x^p leaves
//
//   S(p) = Syy - Sxd^2 / Sxx,   Syy = sum_i w_i d_i^2,  Sxd = sum_i w_i u_i d_i,
//                               Sxx = sum_i w_i u_i^2,
//
// so that at a scanned order S is Syy - t^2 with t = sum_i a_i phi_i, a_i = w_i u_i / sqrt(Sxx)
// tabled in the plan (sum_i a_i = 0, so phi may be taken relative to any one grid's value): n
// products per order. The plan also bounds, for every block of 16 orders, |a_k - g - (k - c) s|
// (g the a of the block's centre order c, s their slope over the block) by a radius R; then
// |t_k| <= |g.phi| + m |s.phi| + R |d| (Cauchy-Schwarz; m the largest |k - c|), and a block
// whose bound stays below the largest |t| at a centre cannot hold the smallest S: only the
// others are scanned order by order, which finds the same order as scanning them all.
//
// Between the scanned minimum's neighbours the order is the root of
//
//   dS/dp = -2 H / Sxx^2,   H = Sxd (A Sxx - Sxd B),   A = sum_i w_i u'_i d_i,
//                                                    B = sum_i w_i u_i X'_i,
//   dH/dp = A^2 Sxx + Sxd A' Sxx - Sxd^2 B',         A' = sum_i w_i X''_i d_i,
//                                                    B' = sum_i w_i (u'_i^2 + u_i X''_i),
//
// (X' = X ln x, X'' = X ln^2 x, u' = X' - sum_j w_j X'_j / W, all from the powers scaled by the
// coarsest grid's, which S does not notice), found by Newton's method from the root of the cubic
// through H and dH/dp at both neighbours, kept inside the bracket by the sign of H. Where the
// fit is well conditioned the root of dS/dp is found to a few units of rounding, where
// minimising S by comparing its values could not place the order closer than about the square
// root of the rounding of S. Where the slope does not bracket a single root (S flat to
// rounding, or not finite), the plain search of order_search.h finds it: S computed from the
// residuals at every scanned order, then golden-section search between the scanned minimum's
// neighbours to 1e-10 of the order, S also tried at the middle of the final interval. At the
// order found, phi0, alpha and S come from the weighted means and the residuals, and the
// scanned order wins where its S is no larger.
//
// Standard deviations, with n_g grids and n_par parameters:
//
//   unweighted: sigma = sqrt( sum_i r_i^2 / (n_g - n_par) ),
//   weighted:   sigma = sqrt( n_g sum_i w_i r_i^2 / (n_g - n_par) ),   r_i = phi_i - phi_fit,i.
//
// Of the weighted and unweighted versions of a model, the one with the smaller sigma is kept
// (the unweighted one on a tie). With p the order of the kept free-order fit and p_th the
// theoretical order (2 in the published procedure, which is written for second-order methods;
// the same rules are applied with p_th in its place):
//
//   0.5 <= p <= p_th:  the free-order fit;
//   p > p_th:          of the kept "h" and "h2" fits, the one with the smaller sigma;
//   p < 0.5:           of the kept "h", "h2" and "h+h2" fits, the one with the smallest sigma;
//
// the bounds compared exactly, or, in a plan made with `printedOrderRange` (the families of the
// space-time fits, space_time.h), to the digits orders are shown with (orderWithin,
// uncertainty.h: 2.004 is not above 2).
//
// With the data range  dphi = (phi_max - phi_min) / (n_g - 1)  and sigma that of the chosen fit:
//
//   Fs = safetyFactor(p, p_th, sigma >= dphi)  (uncertainty.h: 1.25 or 3);
//   sigma <  dphi:  U_i = Fs |eps_i| + sigma + |phi_i - phi_fit,i|,
//   sigma >= dphi:  U_i = 3 (sigma / dphi) (|eps_i| + sigma + |phi_i - phi_fit,i|),
//
// where eps_i = phi_fit,i - phi0 is the chosen fit's error estimate at grid i.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "estimation/order_search.h"

namespace kv {

enum class LeastSquaresStatus {
  ok,
  tooFewGrids,         // fewer than four grids
  sizeMismatch,        // h and phi of different lengths
  notFinite,           // a NaN or infinite h, phi or p_th
  nonPositiveSpacing,  // some h <= 0
  equalSpacings,       // two grids with the same h
  allValuesEqual,      // no data range: nothing to fit
  badTheoreticalOrder  // p_th <= 0
};

// A short English phrase for a status ("fewer than four grids", ...).
std::string_view leastSquaresStatusText(LeastSquaresStatus status);

enum class ErrorModel { freeOrder, firstOrder, secondOrder, firstAndSecondOrder };

// The names of the fits, in the order of LeastSquaresResult::fits.
inline constexpr std::array<std::string_view, 8> kLeastSquaresFitNames = {"p",  "pw",  "h",    "hw",
                                                                          "h2", "h2w", "h+h2", "h+h2w"};

struct LeastSquaresFit {
  ErrorModel model = ErrorModel::freeOrder;
  bool weighted = false;
  std::string_view name;  // "p", "h", "h2", "h+h2", with a "w" suffix when weighted
  double phi0 = 0.0;
  // The coefficient of x^p, x, x^2, or x (then alpha2 that of x^2); alpha2 is 0 for the
  // one-term models.
  double alpha = 0.0;
  double alpha2 = 0.0;
  // The order of the leading term: the fitted p, or 1, 2, 1 for "h", "h2", "h+h2".
  double p = 0.0;
  double sigma = 0.0;
  // Free order only: the minimum of S(p) lies at an end of the bracket [0.01, 20].
  bool pAtBracketEnd = false;

  // phi_fit at the relative spacing x = h / h_min.
  double valueAt(double x) const;
};

struct LeastSquaresResult {
  LeastSquaresStatus status = LeastSquaresStatus::ok;
  // Every fit, in the order p, pw, h, hw, h2, h2w, h+h2, h+h2w.
  std::array<LeastSquaresFit, 8> fits{};
  std::size_t chosen = 0;  // index of the chosen fit in fits
  double p = 0.0;          // order of the kept free-order fit (the one that decides the choice)
  bool pAtBracketEnd = false;
  double fs = 0.0;
  double sigma = 0.0;      // of the chosen fit
  double dataRange = 0.0;  // dphi
  // Per grid, in the order of the input spans: the chosen fit's error estimate eps_i, its
  // residual |phi_i - phi_fit,i| and the uncertainty U_i. Empty unless status is ok.
  std::vector<double> error;
  std::vector<double> residual;
  std::vector<double> u;

  const LeastSquaresFit& chosenFit() const { return fits[chosen]; }
};

// The bracket of the free order (order_search.h), under the names least squares has long had.
inline constexpr double kLeastSquaresOrderMin = kOrderMin;
inline constexpr double kLeastSquaresOrderMax = kOrderMax;

// Everything of the procedure that depends only on the spacings and p_th (the relative
// spacings, the weights, the orthogonalised bases of the fixed-order models, and at every
// scanned order the powers and the projections above), computed once for all the points of a
// field. Read-only once made: one plan may serve any number of threads at once.
struct LeastSquaresTables;  // the tables themselves, private to the implementation

struct LeastSquaresPlan {
  // ok, or what is wrong with h or p_th alone (fewer than four grids, a spacing that is not
  // finite or not positive, two equal spacings, p_th not finite or not positive).
  LeastSquaresStatus status = LeastSquaresStatus::tooFewGrids;
  std::size_t grids = 0;  // the number of spacings
  double pTh = 0.0;
  bool printedOrderRange = false;  // the range [0.5, p_th] of the choice to the shown digits
  std::shared_ptr<const LeastSquaresTables> tables;  // null unless status is ok
};

LeastSquaresPlan makeLeastSquaresPlan(std::span<const double> h, double pTh);

// The whole procedure above for the values phi of one point on the plan's grids (phi_i on the
// grid of h_i, in the order of the spacings the plan was made from). The per-grid vectors of
// `result` are resized, not reallocated once large enough: with one result kept per thread, a
// point allocates nothing unless it has more than 16 grids. A status other than ok leaves
// every number at zero and the per-grid vectors empty.
void leastSquaresUncertainty(const LeastSquaresPlan& plan, std::span<const double> phi,
                             LeastSquaresResult& result);
LeastSquaresResult leastSquaresUncertainty(const LeastSquaresPlan& plan,
                                           std::span<const double> phi);

// The same for one set of grids (h_i, phi_i): makes the plan and uses it once.
LeastSquaresResult leastSquaresUncertainty(std::span<const double> h, std::span<const double> phi,
                                           double pTh, bool printedOrderRange = false);

}  // namespace kv
