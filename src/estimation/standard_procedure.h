// The standard grid-convergence procedure for one quantity (Celik et al. 2008, J. Fluids Eng.
// 130, 078001, after Roache): refinement ratios, convergence type, observed order,
// Richardson extrapolation, relative errors and grid convergence indices on the three finest
// grids, and the true errors when the exact value is known.
//
// NOTE the grid numbering: here grid 1 is the FINEST grid (h1 < h2 < h3), as in the published
// procedure. The classic run numbers its grids the other way (grid 1 the coarsest).
//
// Free functions over spans and scalars; no state, safe to call from any thread.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

namespace kv {

inline constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

enum class ConvergenceType : uint8_t {
  MonotonicConvergence,    // 0 < R < 1
  OscillatoryConvergence,  // -1 < R < 0
  MonotonicDivergence,     // R >= 1
  OscillatoryDivergence,   // R <= -1
  TwoGrids,                // only two grids: no ratio R
  NoChange,                // phi1 = phi2 = phi3
  Undetermined,            // eps21 = 0 or eps32 = 0 (but not both), or a value not finite
};

// The lower-case, hyphenated name of a convergence type ("monotonic-convergence", ...).
std::string_view convergenceName(ConvergenceType type);

// The type of the three-grid ratio R = eps21 / eps32.
ConvergenceType classifyConvergence(double eps21, double eps32);

// Why the observed order could not be formed.
enum class OrderFailure : uint8_t {
  None,
  TwoGrids,       // no third grid
  NoChange,       // eps21 = eps32 = 0
  FineNoChange,   // eps21 = 0: phi1 = phi2
  CoarseNoChange, // eps32 = 0: phi2 = phi3
  Diverging,      // |eps21| >= |eps32| in a way no positive order explains
  NoRoot,         // the order equation has no root in (0, kMaxObservedOrder]
};

// A short text for a failure ("" for None).
std::string_view orderFailureText(OrderFailure failure);

inline constexpr double kMaxObservedOrder = 100.0;

struct ObservedOrder {
  double p = kNotANumber;
  OrderFailure failure = OrderFailure::None;
  int iterations = 0;  // bisection steps (0 with a constant ratio: closed form)
};

// The observed order p of three grids with the ratios r21 = h2/h1, r32 = h3/h2 (both > 1) and
// the changes eps21 = phi2 - phi1, eps32 = phi3 - phi2 (Celik et al. 2008, eqs. 3-5):
//
//   p ln r21 = ln|eps32/eps21| + q(p),   q(p) = ln((r21^p - s)/(r32^p - s)),
//   s = sign(eps32/eps21).
//
// The published form takes the absolute value of the right-hand side, which turns a diverging
// series into a spurious positive order; here a diverging series has no order. With a
// constant ratio q = 0 and p = ln|eps32/eps21| / ln r21. Otherwise the root is bracketed by a
// geometric scan of (0, kMaxObservedOrder] and refined by bisection to a width of 1e-12.
ObservedOrder observedOrder(double r21, double r32, double eps21, double eps32);

// phi_ext = (r^p phi1 - phi2) / (r^p - 1) (Celik et al. 2008, eq. 6).
double richardsonExtrapolation(double phi1, double phi2, double r, double p);

// GCI = Fs e_a / (r^p - 1) (Roache; Celik et al. 2008, eq. 8), e_a a relative change.
double gridConvergenceIndex(double Fs, double relativeChange, double r, double p);

// Warnings a reviewer would raise, as bits of StandardResult::warnings.
enum Warning : uint32_t {
  kWarnSmallRatio = 1u << 0,        // r21 or r32 below kMinRefinementRatio
  kWarnOrderFarOff = 1u << 1,       // p outside [p_th / 2, 2 p_th]
  kWarnAsymptoticFarOff = 1u << 2,  // asymptotic ratio outside [0.9, 1.1]
  kWarnPhiNearZero = 1u << 3,       // |phi1| tiny beside the values: relative errors meaningless
};

inline constexpr double kMinRefinementRatio = 1.3;      // Celik et al. 2008: r > 1.3
inline constexpr double kAsymptoticTolerance = 0.1;     // |ratio - 1| above this is flagged
inline constexpr double kNearZeroFraction = 1e-3;       // |phi1| below this share of max|phi|

struct StandardOptions {
  double theoreticalOrder = 2.0;
  // Safety factor; NaN: 1.25 with three or more grids, 3 with two (Roache; Celik et al. 2008).
  double safetyFactor = kNotANumber;
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
  double ea21 = kNotANumber, eExt21 = kNotANumber;  // relative, as fractions
  double gciFine21 = kNotANumber, gciCoarse32 = kNotANumber;  // relative, as fractions
  double gciFine21Absolute = kNotANumber;  // Fs |eps21| / (r21^p - 1), in the units of phi
  double asymptoticRatio = kNotANumber;    // GCI_coarse32 / (r21^p GCI_fine21)
  // The conservative alternative when p is far from theory: p_th and Fs = 3.
  double gciConservative = kNotANumber;
  // With an exact value: errors phi - exact, and relative to |exact| (NaN when exact = 0).
  double exact = kNotANumber;
  double errorPhi1 = kNotANumber, errorExt21 = kNotANumber;
  double relErrorPhi1 = kNotANumber, relErrorExt21 = kNotANumber;
  uint32_t warnings = 0;

  bool hasOrder() const { return order.failure == OrderFailure::None && p == p; }
};

// The standard procedure on grids ordered FINEST FIRST: h[0] < h[1] < ... (at least two grids;
// only the three finest are used), values phi[i] on grid i, `exact` NaN when unknown.
StandardResult standardProcedure(std::span<const double> h, std::span<const double> phi,
                                 double exact, const StandardOptions& options);

}  // namespace kv
