// The discretization uncertainty of an unsteady quantity from runs that refine the grid, the
// time step or both (Eça, Vaz, Toxopeus & Hoekstra 2019, "Numerical errors in unsteady flow
// simulations", J. Verif. Valid. Uncert. Quantif. 4; after Eça, Hoekstra & Vaz 2015). With
// r_i = h_i / h_1 and t_i = tau_i / tau_1 (h_1, tau_1 the smallest cell size and time step of
// the runs), the error is taken as the sum of a grid and a time term:
//
//   phi_i = phi0 + alpha_x r_i^p_x + alpha_t t_i^p_t.
//
// Runs may come in any order; the per-run outputs follow the input order. Two cell sizes (time
// steps) are the same grid (time step) when they differ by no more than `levelTolerance` of the
// larger. The design is recognised from the runs, the first that applies:
//
// (a) constant Courant number: tau_i / h_i the same for every run, three runs or more. The same
//     to `courantTolerance` (1e-6): the spread (max - min) / max of tau_i / h_i (courantSpread)
//     at most that, which inputs rounded to eight digits or so (h = 0.33333333, 0.16666667,
//     0.083333333 with tau = 0.01, 0.005, 0.0025: 3e-8) meet and distinct Courant numbers do
//     not. The two terms are then one power of h/h_1 and cannot be separated: the
//     single-variable procedures in h are used with p_th = min(p_x,th, p_t,th) (the lower order
//     wins as h -> 0): the three-run procedure below with three runs, the least-squares
//     procedure of Eça & Hoekstra 2014 (least_squares.h) with four or more. Reported:
//     p_x = p_t = p (t_i = r_i, so the order is that of either variable), alpha_x = alpha (the
//     whole error), alpha_t = NaN (not separable).
//
// (b) a grid family at one time step and a time-step family on one grid sharing the finest
//     run c (h_1, tau_1): every run has h = h_1 or tau = tau_1, three grids or more at tau_1 and
//     three time steps or more on h_1 (five runs or more). Each family is then refined where the
//     other variable's error is smallest, so that an interaction of the two errors that the sum
//     of the terms leaves out (a term in h tau) disturbs its observed order least, and the
//     finest run, whose U is u_num, is a run of both families. An L through another run (the
//     grids at 2 tau_1, say) is left to design c, which fits the same model to any layout.
//     Each family is fitted alone in its own variable (p_x,th for the grids, p_t,th for the
//     time steps), by the three-run procedure or, with four runs or more, by least squares.
//     The grid fit's limit holds the time error at tau_c and the time fit's limit the grid
//     error at h_c, so that
//
//       phi0 = phi0_x + phi0_t - phi_c,
//       U_i  = U_x(h_i) + U_t(tau_i),
//
//     U_x(h) the grid family's uncertainty of its run on grid h, U_t(tau) the time family's of
//     its run at step tau. The errors are added, not combined in quadrature: they are biases of
//     one solution, often of one sign, not independent random errors, and the sum is never
//     below the root-sum-square. Reported: sigma and Fs are the larger of the two families'.
//
// (c) otherwise, five runs or more over two grids or more and two time steps or more: the
//     least-squares fit of the whole model, minimising S = sum_i w_i (phi_i - phi_fit,i)^2 with
//
//       unweighted: w_i = 1;   weighted: w_i = (1/r_i + 1/t_i) / sum_j (1/r_j + 1/t_j),
//
//       unweighted: sigma = sqrt( S / (n - k) ),   weighted: sigma = sqrt( n S / (n - k) ),
//
//     k the number of fitted parameters (5 with both orders free, 4 with one, 3 with none).
//     For fixed orders phi0, alpha_x, alpha_t solve a linear least-squares problem (Gram-Schmidt
//     on the centred columns); free orders are searched in the bracket [0.01, 20] of
//     order_search.h: a scan (step 0.1 in each free order), then Nelder-Mead from the scan's
//     three best local minima (one free order: the search of order_search.h, a scan by 0.05 and
//     golden-section search).
//     Candidate models, each fitted both ways (the smaller sigma kept, the unweighted on a tie),
//     those with n > k only:
//       p_x: free, or fixed at 1, 2 or p_x,th, with three grids or more; with two grids only
//            p_x = p_x,th (two levels do not determine an order; Roache 1997, Annu. Rev. Fluid
//            Mech. 29, 123-160: two grids take the theoretical order and Fs = 3);
//       p_t: the same with the time steps and p_t,th.
//     A free order is acceptable when 0.5 <= p <= p_th (the rule by which Eça & Hoekstra 2014
//     keep a free-order fit: above p_th the fit claims an error falling faster than the scheme
//     allows, below 0.5 the power is not determined by the data), the bounds judged to the
//     three digits orders are shown with (orderWithin, uncertainty.h: 2.004 lies in [0.5, 2],
//     2.006 does not), and not on the bracket's end. A fit is admissible when its free orders
//     are all acceptable. The chosen fit is the free fit, the one with every order free that
//     the runs can give (both; the one with three levels or more when the other has two), when
//     it is admissible; otherwise, as Eça et al. (2019) choose (and Eça & Hoekstra 2014 in one
//     variable), the admissible fit with the smallest sigma, whatever its number of free
//     orders (the first on a tie). With five runs no fit has both orders free: the admissible
//     fit with the smallest sigma.
//     With the data range  dphi = (phi_max - phi_min) / (n - 1), the observed orders those of
//     the fit with both orders free (when it exists) and sigma that of the chosen fit:
//
//       Fs = max(safetyFactor(p_x, p_x,th, s), safetyFactor(p_t, p_t,th, s))  (uncertainty.h,
//            s: sigma >= dphi): 1.25 only when both lie in [0.5, 1.05 p_th) and the data are
//            not scattered; 3 without observed orders or with them on the bracket's end;
//       e_i = |alpha_x| r_i^p_x + |alpha_t| t_i^p_t,
//       sigma <  dphi:  U_i = Fs e_i + sigma + |phi_i - phi_fit,i|,
//       sigma >= dphi:  U_i = 3 (sigma / dphi) (e_i + sigma + |phi_i - phi_fit,i|),
//
//     as Eça & Hoekstra 2014 do in one variable. The two terms enter e_i with their magnitudes:
//     where they have opposite signs they cancel at some runs by accident of the pairing of h
//     and tau, and that cancellation is no evidence of a small error.
//
// The three-run procedure (one variable, spacings x, three runs): the observed order p of
// standardProcedure (Celik et al. 2008, J. Fluids Eng. 130, 078001) and
//
//   Fs = safetyFactor(p, p_th, no scatter)  (uncertainty.h: 1.25 near theory, else 3);
//   p_used = min(p, p_th),  phi0 = richardsonExtrapolation(phi_1, phi_2, r21, p_used),
//   alpha = phi_1 - phi0,   U_i = Fs |phi_i - phi0|,
//
// which is the GCI of the finest run (and Roache's coarse-grid GCI of the second). Without an
// observed order (divergence, two equal values) there is no U (NaN). A family whose values are
// all equal has no error in its variable: alpha = 0, U = 0, p = NaN.
//
// u_num is U of the finest run (smallest h, then smallest tau).
//
// Designs a and b also report their families (design a: every run, in h; design b: the grid
// family, then the time-step family), each with its fit phi_fit = phi0 + alpha x^p + alpha2 x^2
// (x = h/h_1 or tau/tau_1; alpha2 is 0 but for the least-squares model "h+h2", whose p is 1) and,
// with four runs or more, the least-squares result with every fit tried.
//
// Warnings (thresholds in SpaceTimeOptions):
//   order-range     an observed order outside [0.5, p_th] (to the digits shown, as above): a
//                   fixed-order fit, or Fs = 3, used; the families of designs a and b judge
//                   their least-squares choice (least_squares.h) to the same digits;
//   assumed-order   a variable at two levels: its order is taken as p_th (design c);
//   few-runs        five runs with three levels of both: the orders cannot both be fitted;
//   no-order        a three-run family without an observed order: no U;
//   no-change       a family whose values do not change: its error is taken as zero;
//   scatter         sigma >= dphi: U scaled by 3 sigma / dphi;
//   grid-dominates / time-dominates  (designs b, c) the estimated errors of the two terms at
//                   r = t = 1 (|e_x| = |alpha_x|, |e_t| = |alpha_t| for one-term models) differ
//                   by `dominanceRatio` or more: refining the other variable will not help;
//   iterative-error the largest iterative error given is `iterativeRatio` of dphi or more: the
//                   differences between runs are not resolved; converge the iterations first
//                   (Eça et al. 2019: refining is pointless while the iterative error dominates).
//
// Free functions over spans; no state, safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "estimation/least_squares.h"
#include "estimation/verdict.h"

namespace kv {

enum class SpaceTimeDesign : uint8_t { none, constantCourant, separateFamilies, combinedFit };

// "none", "constant-courant", "grid-and-time-families", "space-time-fit".
std::string_view spaceTimeDesignName(SpaceTimeDesign design);
// 'a', 'b', 'c' ('-' for none).
char spaceTimeDesignLetter(SpaceTimeDesign design);

enum class SpaceTimeStatus : uint8_t {
  ok,
  sizeMismatch,  // h, dt, phi of different counts, or iterative errors neither absent nor one a run
  notFinite,     // a NaN or infinite h, dt or phi, or a fit that overflows
  nonPositive,   // some h or dt <= 0
  badOptions,    // a theoretical order or a threshold that is not positive and finite
  duplicateRun,  // two runs on the same grid at the same time step
  allValuesEqual,  // nothing to fit
  unknownDesign,   // the runs fit none of the three designs
  degenerate,      // no model could be fitted (dependent columns)
};

// "ok", "size-mismatch", "not-finite", "non-positive", "bad-options", "duplicate-run",
// "all-equal", "unknown-design", "degenerate".
std::string_view spaceTimeStatusCode(SpaceTimeStatus status);

// The findings the space-time fits raise: orderRange to iterativeError of the one table of
// findings (verdict.h).
using SpaceTimeWarningCode = FindingId;

// The codes of the header comment ("order-range", ...), from that table.
std::string_view spaceTimeWarningCode(SpaceTimeWarningCode code);

struct SpaceTimeWarning {
  SpaceTimeWarningCode code;
  std::string message;  // one sentence
};

struct SpaceTimeOptions {
  double gridOrder = 2.0;  // p_x,th
  // p_t,th. 1 by default: the smaller assumption is the conservative one (an observed order of
  // 2 is then taken as unproven and gets Fs = 3); set 2 for second-order time integration.
  double timeOrder = 1.0;
  double levelTolerance = 1e-9;  // relative: same grid, same time step
  // Relative: one Courant number, the spread (max - min) / max of dt/h at most this (design a).
  double courantTolerance = 1e-6;
  double dominanceRatio = 100.0;  // two orders of magnitude
  double iterativeRatio = 0.1;    // of dphi
};

// One fit of the whole model (design c).
struct SpaceTimeFit {
  bool freeX = true, freeT = true;  // which orders were fitted
  bool weighted = false;
  bool valid = false;         // false: dependent columns or a number that overflows
  bool atBracketEnd = false;  // a free order on an end of the bracket [0.01, 20]
  std::size_t parameters = 5;
  double phi0 = 0.0, alphaX = 0.0, alphaT = 0.0, px = 0.0, pt = 0.0;
  double sigma = 0.0;

  // "px free pt free", "px=2 pt=1", ..., with " weighted" when weighted.
  std::string name() const;
  // phi_fit at r = h / h_1, t = tau / tau_1.
  double valueAt(double r, double t) const;
};

// A family of runs fitted in one variable (designs a and b).
struct SpaceTimeFamily {
  bool inTime = false;            // fitted in tau (true) or in h
  std::vector<std::size_t> runs;  // its runs, indices into the input
  // "gci" (three runs), "zero" (the values do not change), or the least-squares fit's name.
  std::string model;
  // NaN where the family has no fit (three runs without an observed order).
  double phi0 = 0.0, alpha = 0.0, alpha2 = 0.0, p = 0.0, observedP = 0.0, sigma = 0.0, fs = 0.0;
  std::vector<double> u;  // per run of `runs`
  std::optional<LeastSquaresResult> leastSquares;  // four runs or more: every fit tried

  // phi_fit at x = h / h_1 (or tau / tau_1).
  double valueAt(double x) const;
};

// The spread of the Courant numbers of the runs, (max - min) / max of dt_i / h_i: 0 at one
// Courant number; NaN without runs, with counts that differ or a ratio not positive and finite.
double courantSpread(std::span<const double> h, std::span<const double> dt);

// One model fitted to the runs (h_i, dt_i, phi_i): px, pt fixed, or NaN for a free order.
// Expects finite positive h and dt and as many of each as values; invalid when n <= k.
SpaceTimeFit fitSpaceTimeModel(std::span<const double> h, std::span<const double> dt,
                               std::span<const double> phi, bool weighted, double px, double pt);

struct SpaceTimeResult {
  SpaceTimeStatus outcome = SpaceTimeStatus::ok;
  SpaceTimeDesign design = SpaceTimeDesign::none;
  std::size_t runs = 0, grids = 0, timeSteps = 0;
  std::string model;  // the chosen model (see the header comment)
  // NaN where a value does not exist.
  double phi0 = 0.0, px = 0.0, pt = 0.0, alphaX = 0.0, alphaT = 0.0, sigma = 0.0, fs = 0.0;
  // The free-fit orders the choice was made from (NaN where none was fitted).
  double observedPx = 0.0, observedPt = 0.0;
  std::vector<double> u;  // per run, in input order
  double uNum = 0.0;
  std::size_t finest = 0;  // index of the finest run
  // "ok", or the warning codes joined by "; "; on refusal the status code.
  std::string status;
  std::vector<SpaceTimeWarning> warnings;
  std::string refusal;  // one line, empty unless refused
  // Design c: every model fitted, the chosen one at `chosen`.
  std::vector<SpaceTimeFit> fits;
  std::size_t chosen = 0;
  // Designs a (one family) and b (the grid family, then the time-step family).
  std::vector<SpaceTimeFamily> families;

  bool refused() const { return outcome != SpaceTimeStatus::ok; }
  bool has(SpaceTimeWarningCode code) const;
};

// The whole procedure above. iterErr is empty or one per run (NaN: unknown; the magnitude is
// used). A refused set has every number at zero, empty vectors, and a refusal line.
SpaceTimeResult spaceTimeStudy(std::span<const double> h, std::span<const double> dt,
                               std::span<const double> phi, std::span<const double> iterErr,
                               const SpaceTimeOptions& options);

}  // namespace kv
