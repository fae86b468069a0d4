// The standard grid-convergence procedure for one quantity (Celik et al. 2008, J. Fluids Eng.
// 130, 078001, after Roache): refinement ratios, convergence type, observed order,
// Richardson extrapolation, relative errors and grid convergence indices on the three finest
// grids, the true errors when the exact value is known, and the evidence of the asymptotic
// range that the orders of successive triplets of grids give.
//
// NOTE the grid numbering: here grid 1 is the FINEST grid (h1 < h2 < h3), as in the published
// procedure. The classic run numbers its grids the other way (grid 1 the coarsest).
//
// Free functions over spans and scalars; no state, safe to call from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

namespace kv {

inline constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// The type of a triplet of grids, from the sign s = sign(eps32/eps21) and the order equation
// (see observedOrder): monotonic when s > 0, oscillatory when s < 0; converging when the order
// equation has a root p > 0, diverging when it has none. The root exists exactly when
//
//   s > 0:  ln|eps32/eps21| > ln(ln r32 / ln r21),
//   s < 0:  |eps32| > |eps21|,
//
// so that with a constant ratio (r21 = r32) the types are those of R = eps21/eps32:
// 0 < R < 1, -1 < R < 0, R >= 1, R <= -1. With unequal ratios R alone misleads: phi = 1 + h^2 on
// h = 1, 3, 4 has R = 8/7 yet the order equation gives p = 2 exactly.
//
// The last three types are not conditions of convergence: two grids, no change at all, and
// every change within the noise floor (see noiseFloor). Keep the order: the numbers are written
// to files.
enum class ConvergenceType : uint8_t {
  MonotonicConvergence,    // s > 0, a root p > 0
  OscillatoryConvergence,  // s < 0, a root p > 0
  MonotonicDivergence,     // s > 0, no root p > 0
  OscillatoryDivergence,   // s < 0, no root p > 0
  TwoGrids,                // only two grids: no ratio R
  NoChange,                // phi1 = phi2 = phi3
  Undetermined,            // eps21 or eps32 zero or within noise (not both), a refinement
                           // ratio near 1 or not above 1, or a value not finite
  WithinNoise,             // eps21 and eps32 both within the noise floor, not both zero
};

// How many convergence types there are (their codes run from 0).
inline constexpr size_t kConvergenceTypeCount = static_cast<size_t>(ConvergenceType::WithinNoise) + 1;

// The lower-case, hyphenated name of a convergence type ("monotonic-convergence", ...,
// "within-noise").
std::string_view convergenceName(ConvergenceType type);

// The type by R = eps21/eps32 alone: right for a constant ratio only.
ConvergenceType classifyConvergence(double eps21, double eps32);

// The type by the sign of eps32/eps21 and the order equation (above); with r21 = r32 the same as
// classifyConvergence(eps21, eps32). Undetermined when a change is zero or not finite, or when a
// ratio is not above 1 (the ratios unequal).
ConvergenceType classifyConvergence(double r21, double r32, double eps21, double eps32);

// Why the observed order could not be formed. Keep the order: the numbers are written to files.
enum class OrderFailure : uint8_t {
  None,
  TwoGrids,        // no third grid
  NoChange,        // eps21 = eps32 = 0
  FineNoChange,    // eps21 = 0 or within noise: phi1 = phi2
  CoarseNoChange,  // eps32 = 0 or within noise: phi2 = phi3
  Diverging,       // the order equation has no root p > 0
  NoRoot,          // its root is beyond kMaxObservedOrder, or a ratio is not above 1
  WithinNoise,     // eps21 and eps32 both within the noise floor
  RatioNearOne,    // |r21 - 1| or |r32 - 1| below kMinRatioExcess
};

// A short text for a failure ("" for None).
std::string_view orderFailureText(OrderFailure failure);

inline constexpr double kMaxObservedOrder = 100.0;

// Refinement ratios r with |r - 1| below this are refused: the grids are practically the same.
// With r = 1 + 1e-3 the discretisation error changes between the two grids by about p (r - 1),
// 0.2 % of itself at p = 2, less than iterative convergence usually leaves, while the order
// equation divides by ln r ~ r - 1; spacings written with six significant digits still give
// ratios accurate to 1e-5, far inside the bound.
inline constexpr double kMinRatioExcess = 1e-3;

// |r - 1| < kMinRatioExcess.
bool ratioNearOne(double r);

// The noise floor of a difference b - a of two values:
//
//   nu = max(kNoiseUlps ulp(max(|a|, |b|)), DBL_MIN, noise),
//
// ulp(x) the spacing of doubles at x. Each stored value is within half an ulp of what was
// computed; kNoiseUlps = 64 ulp (1.4e-14 relative) covers the round-off of a value computed
// by a few dozen operations, or of thousands in a random walk (sqrt(n)/2 ulp). A difference
// below DBL_MIN is subnormal: fewer than 53 significant bits, no ratio of it is meaningful.
// `noise` is the user's absolute level (iterative convergence, printed digits); NaN or negative
// means none. A difference |b - a| <= nu is within noise.
inline constexpr double kNoiseUlps = 64.0;
double noiseFloor(double a, double b, double noise);

struct ObservedOrder {
  double p = kNotANumber;
  OrderFailure failure = OrderFailure::None;
  int iterations = 0;  // evaluations of the order equation (0 with a constant ratio: closed form)
};

// The observed order p of three grids with the ratios r21 = h2/h1, r32 = h3/h2 (both > 1) and
// the changes eps21 = phi2 - phi1, eps32 = phi3 - phi2 (Celik et al. 2008, eqs. 3-5):
//
//   p ln r21 = ln|eps32/eps21| + q(p),   q(p) = ln((r21^p - s)/(r32^p - s)),
//   s = sign(eps32/eps21).
//
// The published form takes the absolute value of the right-hand side, which turns a diverging
// series into a spurious positive order; here a diverging series has no order. With a
// constant ratio q = 0 and p = ln|eps32/eps21| / ln r21.
//
// Otherwise, with a = ln r21, b = ln r32 and L = ln|eps32/eps21|, the root of
//
//   F(p) = g(p) - L,
//   s > 0:  g(p) = ln(e^(pb) - 1) - ln(1 - e^(-pa)),   g(0+) = ln(b/a),
//   s < 0:  g(p) = pb + ln(1 + e^(-pb)) - ln(1 + e^(-pa)),   g(0+) = 0,
//
// is sought. g' > 0 for both signs (s > 0: g' = b/(1 - e^(-pb)) - a/(e^(pa) - 1) and
// x/(1 - e^(-x)) > 1 > x/(e^x - 1)), and g grows like pb: there is one root p > 0 when
// F(0+) < 0 and none otherwise (Diverging). It is found by Newton's method on the bracket
// (0, kMaxObservedOrder], a step that leaves the bracket or does not halve the previous one
// replaced by bisection, to a relative step of 1e-14; a root beyond kMaxObservedOrder is
// NoRoot. With s > 0, g is convex or concave over the whole axis (g'' has the sign of b - a),
// so Newton converges from one side in a few steps; with s < 0, F' > 0 points every step
// towards the root and the bracket catches an overshoot.
ObservedOrder observedOrder(double r21, double r32, double eps21, double eps32);

// The type and observed order of three grids (grid 1 the finest) from their ratios and values,
// with the noise floor of each change (noiseFloor, the user's level `noise`):
//   not finite                        -> Undetermined, NoRoot;
//   eps21 = eps32 = 0                 -> NoChange;
//   a ratio near 1 (ratioNearOne)     -> Undetermined, RatioNearOne;
//   both changes within noise         -> WithinNoise;
//   one change within noise (or zero) -> Undetermined, FineNoChange or CoarseNoChange;
//   otherwise classifyConvergence(r21, r32, ...) and observedOrder.
struct Triplet {
  ConvergenceType convergence = ConvergenceType::Undetermined;
  ObservedOrder order;
};
Triplet analyseTriplet(double r21, double r32, double phi1, double phi2, double phi3, double noise);

// The evidence of the asymptotic range. Roache's check GCI_coarse32 / (r21^p GCI_fine21) ~ 1 is
// no evidence when p is the observed order of the same three grids: with relative indices and
// s > 0 the order equation makes it phi1/phi2 exactly, whatever the data. The evidence is in
// the observed orders p_1, p_2, ... of successive triplets (grids 1-2-3, 2-3-4, ...; p_1 the
// finest), over the run of them from the finest that have an order:
//
//   spread = (max p_k - min p_k) / mean p_k,
//   Steady       spread <= kOrderSpreadTolerance: the leading error term dominates on every
//                grid of the run (exact data phi0 + c h^q give spread 0 for any q);
//   Approaching  not steady, but |p_k - p_th| shrinks strictly from each triplet to the next
//                finer one;
//   Scattered    neither: the grids are not in the asymptotic range;
//   OneTriplet   three grids, or only the finest triplet has an order: nothing but the
//                distance of p_1 from p_th (offTheory = |p_1 - p_th| / p_th);
//   None         the finest triplet has no order.
// kOrderSpreadTolerance = 0.1: at r = 2 and p = 2 a change of 0.2 in p moves the GCI by about 18 %,
// within the 25 % that the safety factor 1.25 adds.
inline constexpr double kOrderSpreadTolerance = 0.1;

enum class AsymptoticVerdict : uint8_t { None, OneTriplet, Steady, Approaching, Scattered };

struct AsymptoticEvidence {
  static constexpr int kKept = 8;  // orders kept for reports, finest first
  AsymptoticVerdict verdict = AsymptoticVerdict::None;
  int triplets = 0;  // successive triplets: grids - 2
  int ordered = 0;   // the run of them, from the finest, that have an order
  std::array<double, kKept> orders{kNotANumber, kNotANumber, kNotANumber, kNotANumber,
                                   kNotANumber, kNotANumber, kNotANumber, kNotANumber};
  double spread = kNotANumber;     // over the run, two orders or more
  double offTheory = kNotANumber;  // |p_1 - p_th| / p_th
};

// The evidence from grids ordered FINEST FIRST (h[0] < h[1] < ...), each triplet analysed by
// analyseTriplet with the noise level `noise`. Allocates nothing.
AsymptoticEvidence asymptoticEvidence(std::span<const double> h, std::span<const double> phi,
                                      double pTh, double noise);

// phi_ext = (r^p phi1 - phi2) / (r^p - 1) (Celik et al. 2008, eq. 6).
double richardsonExtrapolation(double phi1, double phi2, double r, double p);

// GCI = Fs e_a / (r^p - 1) (Roache; Celik et al. 2008, eq. 8), e_a a relative change.
double gridConvergenceIndex(double Fs, double relativeChange, double r, double p);

// Findings a reviewer would raise, as bits of StandardResult::warnings; their codes and
// messages are in verdict.h. Keep the values: they are written to files.
enum Warning : uint32_t {
  kWarnSmallRatio = 1u << 0,          // r21 or r32 below kMinRefinementRatio (not near 1)
  kWarnOrderFarOff = 1u << 1,         // p outside [p_th / 2, 2 p_th]
  kWarnAsymptoticFarOff = 1u << 2,    // orders of successive triplets Scattered
  kWarnPhiNearZero = 1u << 3,         // |phi1| tiny beside the values: relative errors meaningless
  kWarnRatioNearOne = 1u << 4,        // a ratio near 1: no order (OrderFailure::RatioNearOne)
  kWarnWithinNoise = 1u << 5,         // every change within the noise floor
  kWarnOscillatory = 1u << 6,         // eps32/eps21 < 0: CF and FS do not apply
  kWarnOutsideCalibration = 1u << 7,  // CF or FS used outside its calibrated range
  kNoteOrdersApproach = 1u << 8,      // orders of successive triplets Approaching p_th
};

inline constexpr double kMinRefinementRatio = 1.3;  // Celik et al. 2008: r > 1.3
inline constexpr double kNearZeroFraction = 1e-3;   // |phi1| below this share of max|phi|

struct StandardOptions {
  double theoreticalOrder = 2.0;
  // Safety factor; NaN: 1.25 with three or more grids, 3 with two (Roache; Celik et al. 2008).
  double safetyFactor = kNotANumber;
  // The absolute noise level of the values (iterative convergence, printed digits); changes
  // within it carry no information (see noiseFloor). NaN: none beyond round-off.
  double noise = kNotANumber;
};

// Everything the standard procedure gives for one quantity. A value that does not exist is NaN.
struct StandardResult {
  int grids = 0;
  double h1 = kNotANumber, h2 = kNotANumber, h3 = kNotANumber;
  double r21 = kNotANumber, r32 = kNotANumber;
  double phi1 = kNotANumber, phi2 = kNotANumber, phi3 = kNotANumber;
  double eps21 = kNotANumber, eps32 = kNotANumber;
  double R = kNotANumber;  // eps21 / eps32
  ConvergenceType convergence = ConvergenceType::Undetermined;
  ObservedOrder order;
  double p = kNotANumber;  // the order used: observed with three grids, theoretical with two
  double Fs = kNotANumber;
  double phiExt21 = kNotANumber;
  double ea21 = kNotANumber, eExt21 = kNotANumber;            // relative, as fractions
  double gciFine21 = kNotANumber, gciCoarse32 = kNotANumber;  // relative, as fractions
  double gciFine21Absolute = kNotANumber;  // Fs |eps21| / (r21^p - 1), in the units of phi
  // The published check GCI_coarse32 / (r21^p GCI_fine21), printed as peers print it; NaN when
  // GCI_fine21 is zero or not finite. Not evidence of the asymptotic range: see `evidence`.
  double asymptoticRatio = kNotANumber;
  // The conservative alternative when p is far from theory: p_th and Fs = 3.
  double gciConservative = kNotANumber;
  // With an exact value: errors phi - exact, and relative to |exact| (NaN when exact = 0).
  double exact = kNotANumber;
  double errorPhi1 = kNotANumber, errorExt21 = kNotANumber;
  double relErrorPhi1 = kNotANumber, relErrorExt21 = kNotANumber;
  // The larger noise floor of eps21 and eps32 (noiseFloor), in the units of phi.
  double noiseFloor = kNotANumber;
  AsymptoticEvidence evidence;
  uint32_t warnings = 0;

  bool hasOrder() const { return order.failure == OrderFailure::None && p == p; }
};

// The standard procedure on grids ordered FINEST FIRST: h[0] < h[1] < ... (at least two grids;
// the three finest give the order and the indices, all of them the asymptotic evidence),
// values phi[i] on grid i, `exact` NaN when unknown.
StandardResult standardProcedure(std::span<const double> h, std::span<const double> phi,
                                 double exact, const StandardOptions& options);

}  // namespace kv
