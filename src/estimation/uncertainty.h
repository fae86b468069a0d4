// Discretization uncertainties of the finest-grid value phi1 from its three finest grids (grid 1
// the finest, r21 = h2/h1, eps21 = phi2 - phi1), the grid a target uncertainty needs, and the
// judgement of any estimator against known true errors. Every U is absolute: phi1 +- U.
//
// An estimator that does not apply (no positive, finite observed order; a ratio r21 <= 1; ...)
// gives no value (std::nullopt), never a NaN.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace kv {

// The grid convergence index as an absolute uncertainty (Roache; Celik et al. 2008):
//
//   u_gci = GCI_fine21 |phi1|,
//
// GCI_fine21 the relative index (a fraction). Nothing when either is not finite or the index
// is negative.
std::optional<double> gciUncertainty(double gciFine21, double phi1);

// The correction-factor estimate (Stern, Wilson, Coleman & Paterson 2001, J. Fluids Eng. 123,
// 793-802), with p the observed and pTh the theoretical order:
//
//   delta_RE = eps21 / (r21^p - 1),
//   CF = (r21^p - 1) / (r21^pTh - 1),
//   U = [9.6 (1 - CF)^2 + 1.1] |delta_RE|   when |1 - CF| < 0.125,
//   U = [2 |1 - CF| + 1] |delta_RE|         otherwise.
struct CorrectionFactorEstimate {
  double deltaRE;
  double correctionFactor;
  double u;
};
std::optional<CorrectionFactorEstimate> correctionFactorUncertainty(double eps21, double r21,
                                                                    double p, double pTh);

// The factor-of-safety estimate (Xing & Stern 2010, J. Fluids Eng. 132, 061403):
//
//   delta_RE = eps21 / (r21^p - 1),   P = p / pTh,
//   U = [1.6 P + 2.45 (1 - P)] |delta_RE|    for 0 < P <= 1,
//   U = [1.6 P + 14.8 (P - 1)] |delta_RE|    for P > 1.
struct FactorOfSafetyEstimate {
  double deltaRE;
  double orderRatio;  // P
  double u;
};
std::optional<FactorOfSafetyEstimate> factorOfSafetyUncertainty(double eps21, double r21, double p,
                                                                double pTh);

// The factor of safety of an uncertainty that rests on an observed order p, p_th the theoretical
// order (the rule of Eça & Hoekstra 2014, J. Comput. Phys. 262, 104-130, with p_th in place of
// their 2):
//
//   Fs = 1.25  when 0.5 <= p < 1.05 p_th and the data are not scattered,
//   Fs = 3     otherwise (and for a NaN p).
//
// Near theory the observed order is trusted and 1.25 covers what it leaves out. Below 0.5 a
// power law is not determined by the data; well above p_th the order claims an error falling
// faster than the scheme allows; scattered data (least squares: the fit's standard deviation
// not below the mean change between grids) do not follow the error model. Then Fs = 3, the
// factor of an estimate that rests on no observed order (Roache 1997, Annu. Rev. Fluid Mech. 29,
// 123-160: "an error band equal to three times an error estimate"; Roache 2011, J. Fluids Eng.
// 133, 115501: far from theory, revert to p_th and Fs = 3 rather than apply 1.25 blindly).
// Least squares (least_squares.h) and the space-time fits and families (space_time.h) use it;
// the conservative GCI below is its Fs = 3 with p_th.
inline constexpr double kLowestOrder = 0.5;
inline constexpr double kObservedOrderFs = 1.25;
inline constexpr double kConservativeFs = 3.0;
constexpr bool nearTheoreticalOrder(double p, double pTh) {
  return p >= kLowestOrder && p < 1.05 * pTh;
}
constexpr double safetyFactor(double p, double pTh, bool scattered) {
  return !scattered && nearTheoreticalOrder(p, pTh) ? kObservedOrderFs : kConservativeFs;
}

// Observed orders are shown to kOrderDigits significant digits (the space-time messages print
// them "%.3g"), and the space-time fits judge a range of orders at that resolution, so that no
// order is called outside a range it prints inside: p lies in [low, high] when it is no further
// outside than half a unit in the last shown digit of the bound it passes,
//
//   orderTolerance(b) = 0.5 * 10^(floor(log10 b) - kOrderDigits + 1),
//
// 0.005 for a bound of 1, 1.5 or 2, 0.0005 for 0.5. So 2.004 (shown "2") lies in [0.5, 2] and
// 2.006 (shown "2.01") does not; 0.4996 (shown "0.5") lies in it and 0.4994 (shown "0.499") does
// not. The bound itself need not be round: the rule still takes half a unit of its third digit.
// NaN lies in no range. The steady procedures keep their exact comparisons.
inline constexpr int kOrderDigits = 3;
double orderTolerance(double bound);
bool orderBelow(double p, double low);    // p < low - orderTolerance(low)
bool orderAbove(double p, double high);   // p > high + orderTolerance(high)
bool orderWithin(double p, double low, double high);

// The conservative grid convergence index as an absolute uncertainty: the theoretical order and
// Fs = 3 (safetyFactor above, for an order not to be trusted):
//
//   u_gci_th = 3 |eps21| / (r21^pTh - 1).
//
// Nothing when r21 <= 1, pTh <= 0 or a value is not finite.
std::optional<double> conservativeGciUncertainty(double eps21, double r21, double pTh);

// The uncertainty of oscillating values as half their range (Stern, Wilson, Coleman & Paterson
// 2001, J. Fluids Eng. 123, 793-802, for oscillatory convergence; the expression, with S_U and
// S_L the maximum and minimum of the oscillation, is attributed in public code to ITTC
// Recommended Procedure 7.5-03-01-01, section 4.1, where it is given for iterative oscillation;
// not checked against either text), over the values of the three finest grids:
//
//   u_osc = (max(phi1, phi2, phi3) - min(phi1, phi2, phi3)) / 2.
//
// Nothing when a value is not finite.
std::optional<double> oscillationUncertainty(double phi1, double phi2, double phi3);

// The ranges in which the correction-factor and factor-of-safety estimates are taken as
// calibrated. Neither range is printed in the sources at hand; these are this tool's choices:
//  - CF (Stern et al. 2001): |1 - CF| <= 1, i.e. 0 < CF <= 2 (0 < p, r21^p - 1 at most twice
//    r21^pTh - 1). The quadratic branch was fitted near CF = 1 (|1 - CF| < 0.125); the linear
//    branch 2 |1 - CF| + 1 continues it and reaches 3, Roache's most conservative factor, at
//    CF = 0 and CF = 2; beyond, the factor exceeds every safety factor of the GCI literature.
//  - FS (Xing & Stern 2010): 0.5 <= P = p / pTh <= 2, the band in which the observed order is
//    accepted as plausible elsewhere in this tool (p within a factor 2 of theory); at P = 2 the
//    factor is already 18.
inline constexpr double kCalibratedCfDeparture = 1.0;
inline constexpr double kCalibratedOrderRatioMin = 0.5;
inline constexpr double kCalibratedOrderRatioMax = 2.0;
bool correctionFactorCalibrated(double correctionFactor);
bool factorOfSafetyCalibrated(double orderRatio);

// The spacing that would bring GCI_fine21 to the target X (a fraction) at the observed order p,
// the index falling as h^p (Roache; Celik et al. 2008):
//
//   h = h1 (X / GCI_fine21)^(1/p).
std::optional<double> targetSpacing(double h1, double gciFine21, double target, double p);

// The cell count of a grid of spacing h in D dimensions (h ~ N^(-1/D)) from the finest grid's
// N1 and h1:
//
//   N = N1 (h1 / h)^D.
//
// (Not N1 times a refinement ratio: the count grows with the ratio to the power D.)
std::optional<double> targetCells(double cells1, double h1, double h, int dimensions);

// An estimator judged against known true errors over a set of quantities: given per quantity
// its uncertainty U and the true error E of phi1 (quantities where either is NaN are left
// out, and so are infinite ones),
//
//   bounded share = #{|E| <= U} / count,
//   median, p10, p90 of U/|E| over the quantities with E != 0 (a zero true error counts as
//   bounded but has no ratio),
//
// the spread being the 10th to 90th percentile range; percentiles interpolate linearly
// between the sorted ratios (the k-th of n sorted values sits at (k - 1)/(n - 1)). An estimator
// is trustworthy when it bounds the error most of the time (share near 1) and is not wildly
// pessimistic (ratios near 1 to a few). The ratio figures are NaN-free: without any ratio they
// are zero and ratioCount is 0.
struct TruthJudgement {
  std::size_t count = 0;       // quantities with both U and E
  std::size_t bounded = 0;     // of them, those with |E| <= U
  double boundedShare = 0.0;   // bounded / count
  std::size_t ratioCount = 0;  // quantities with E != 0
  double medianRatio = 0.0;
  double ratioP10 = 0.0;
  double ratioP90 = 0.0;
};
// Nothing when the spans differ in length or no quantity has both U and E.
std::optional<TruthJudgement> judgeAgainstTruth(std::span<const double> u,
                                                std::span<const double> trueError);

}  // namespace kv
