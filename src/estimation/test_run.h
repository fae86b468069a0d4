// The tests of the estimation: typical parameters, and the series-level steps taking a run's
// data built by hand (testing_support::makeRun).
#pragma once

#include <vector>

#include "estimation/error_estimation.h"
#include "estimation/error_estimators.h"
#include "estimation/extrapolation.h"
#include "estimation/level_table.h"
#include "estimation/true_errors.h"
#include "model/run_data.h"
#include "run_builder.h"

namespace kv::estimation_test {

// The rounding allowed where a test's figures are worked out by hand in decimals.
inline constexpr double kRounding = 1e-14;

// Parameters of a typical run: pL = 2, deltaP = 2, constant ratio, Fs = 3, the bisection of
// the variable ratio on [0.3, 4.1] with tolerance 0.001 and at most 100 iterations.
inline RunParameters typicalParameters() {
  RunParameters p;
  p.pL = 2;
  p.deltaP = 2;
  p.Fs = 3.0;
  p.refinementType = 1;
  p.maxIterations = 100;
  p.tolerance = 0.001;
  p.pUMin = 0.3;
  p.pUMax = 4.1;
  return p;
}

struct TestRun : RunData {
  EstimationParameters estimation() const { return estimationParameters(params); }
};

using testing_support::makeRun;

inline void runErrorEstimation(TestRun& r) { estimateSeries(r.estimation(), r.grid); }
inline void computeExtrapolations(TestRun& r) { kv::computeExtrapolations(r.estimation(), r.grid); }
inline void twoTermExtrapolation(TestRun& r) { kv::twoTermExtrapolation(r.estimation(), r.grid); }
inline void threeTermExtrapolation(TestRun& r) {
  kv::threeTermExtrapolation(r.estimation(), r.grid);
}
inline void computeTrueErrors(TestRun& r) { kv::computeTrueErrors(r.params.exactValue, r.grid); }
inline void computeEffectiveOrders(TestRun& r) { kv::computeEffectiveOrders(r.grid); }
inline void computeErrorEstimators(TestRun& r) { kv::computeErrorEstimators(r.grid); }
inline void computeGci(TestRun& r) { kv::computeGci(r.estimation(), r.grid); }
inline void computeLevelTable(TestRun& r) { kv::computeLevelTable(r.estimation(), r.grid); }

}  // namespace kv::estimation_test
