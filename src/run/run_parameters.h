// The run's scalar parameters, in the order in which the input files supply them, and the
// texts derived from them before the listing head is written.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// A real per-grid entry that cannot be formed holds undefinedValue; a stored value above
// definedLimit counts as undefined (the tests are one-sided: a large negative value is defined).
inline constexpr double undefinedValue = 1.0e11;
inline constexpr double definedLimit = 1.0e10;

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
  int32_t hasExactSolution = 0;  // 1 = an exact value is given; only "= 1" is ever tested
  std::string exactSolutionFile = std::string(kFileNameLength, ' ');
  int32_t pL = 0;      // asymptotic order of the true error
  int32_t deltaP = 0;  // step between consecutive true orders
  double Fs = 0.0;     // safety factor of the grid convergence indices
  int32_t refinementType = 0;  // 1 = constant ratio, 2 = variable ratio
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

  // Result of the latest launch of an external program; stored and never consulted.
  int32_t lastLaunchStatus = 0;

  bool hasExact() const { return hasExactSolution == 1; }
};

}  // namespace kv
