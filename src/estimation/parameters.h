// What the estimation of one quantity needs besides its spacings and values: the orders of the
// true error, the safety factor, how the grids were refined, the bisection of the apparent
// order on variable ratios and, when known, the exact value.
#pragma once

#include <cstdint>
#include <optional>

#include "model/run_parameters.h"

namespace kv {

// How consecutive grids are refined. The input is a plain integer; a value other than these two
// is kept as it is and gives no apparent order anywhere.
enum class Refinement : int32_t {
  Constant = 1,  // one ratio: pU = log(q) / log(r21)
  Variable = 2,  // any ratios: pU by bisection (solveVariableRatioOrder)
};

// The bisection of the apparent order on a variable refinement ratio.
struct Bisection {
  int32_t maxIterations = 0;
  double tolerance = 0.0;  // on the width of the bracket
  double pMin = 0.0;       // the bracket
  double pMax = 0.0;
};

struct EstimationParameters {
  int32_t pL = 0;      // asymptotic order of the true error
  int32_t deltaP = 0;  // step between consecutive true orders
  double Fs = 0.0;     // safety factor of the grid convergence indices
  Refinement refinement = Refinement::Constant;
  Bisection bisection;
  std::optional<double> exactValue;  // true errors and effective orders only when given
};

// The estimation parameters of a classic run: the exact value only when hasExact().
EstimationParameters estimationParameters(const RunParameters& run);

}  // namespace kv
