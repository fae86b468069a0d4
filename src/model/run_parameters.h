// The run's scalar parameters, in the order in which the input files supply them, and the
// texts derived from them before the listing head is written.
#pragma once

#include <cstdint>
#include <string>

#include "base/numerics.h"

namespace kv {

// A real per-grid entry that cannot be formed holds undefinedValue; a stored value above
// definedLimit counts as undefined (the tests are one-sided: a large negative value is defined).
inline constexpr double undefinedValue = 1.0e11;
inline constexpr double definedLimit = 1.0e10;

// The tests against definedLimit. Each call site keeps its own boundary, so the three are not
// complements of each other: exactly definedLimit (or a NaN) is neither defined nor undefined.
//  - a value is defined when it is strictly below the limit (a NaN is not);
//  - a value is undefined when it is strictly above the limit (a NaN is not);
//  - an order is usable when 0 < p <= definedLimit (a NaN is not).
// "Not defined" is written !isDefined(v), which a NaN and the limit itself pass.
constexpr bool isDefined(double v) { return v < definedLimit; }
constexpr bool isUndefined(double v) { return v > definedLimit; }
constexpr bool isDefinedOrder(double p) { return p > 0.0 && p <= definedLimit; }

// Fixed lengths of the text fields.
inline constexpr size_t kFileNameLength = 50;
inline constexpr size_t kTitleLength = 90;
inline constexpr size_t kRunDateLength = 12;
inline constexpr size_t kRunTimeLength = 8;
inline constexpr size_t kPlotTitleLength = 102;

struct RunParameters {
  std::string mainDataFile = std::string(kFileNameLength, ' ');  // the start file's value
  int32_t variableNumber = 0;  // which value record of the grid and exact-solution files
  std::string listingFile = std::string(kFileNameLength, ' ');
  int32_t hasExactSolution = 0;  // 1 = an exact value is given (hasExact()); any other = none
  std::string exactSolutionFile = std::string(kFileNameLength, ' ');
  int32_t pL = 0;      // asymptotic order of the true error
  int32_t deltaP = 0;  // step between consecutive true orders
  double Fs = 0.0;     // safety factor of the grid convergence indices
  int32_t refinementType = 0;  // 1 = constant ratio, 2 = variable ratio, other = no order
  int32_t maxIterations = 0;   // bisection limit for pU with a variable ratio
  double tolerance = 0.0;      // bisection tolerance
  double pUMin = 0.0;          // bisection bracket
  double pUMax = 0.0;
  int32_t gridCount = 0;  // N, as read (a negative count allocates nothing)
  std::string title = std::string(kTitleLength, ' ');
  double exactValue = 0.0;  // stays 0.0 unless the exact-solution file is read

  // Built by the run sequence before the listing head.
  std::string runDate = std::string(kRunDateLength, ' ');   // "(6/1/2026)  "
  std::string runTime = std::string(kRunTimeLength, ' ');   // "9:5:7   "
  std::string plotTitle = std::string(kPlotTitleLength, ' ');  // "title (6/1/2026)'"

  bool hasExact() const { return hasExactSolution == 1; }
};

// pV(m) = pL + (m - 1) * deltaP: the true order of level m, for any m >= 1, formed in 64 bits
// and wrapped to 32 like every order sum.
constexpr int32_t trueOrder(int32_t pL, int32_t deltaP, int m) {
  return wrapToInt32(int64_t{pL} + int64_t{m - 1} * int64_t{deltaP});
}
inline int32_t trueOrder(const RunParameters& params, int m) {
  return trueOrder(params.pL, params.deltaP, m);
}

}  // namespace kv
