// A run object built directly from spacings and grid values, for the tests of the stage.
#pragma once

#include <vector>

#include "run/run.h"

namespace kv::estimation_test {

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

// Allocates the arrays of a fresh run as the input reader does and fills h, Th and pV.
inline void makeRun(Run& run, const RunParameters& params, const std::vector<double>& h,
                    const std::vector<double>& Th) {
  run.params = params;
  run.params.gridCount = static_cast<int32_t>(h.size());
  run.grid.allocate(run.params.gridCount);
  for (int i = 1; i <= run.grid.count; ++i) {
    run.grid.h(i) = h[static_cast<size_t>(i - 1)];
    run.grid.Th(i) = Th[static_cast<size_t>(i - 1)];
    run.grid.pV(i) = trueOrder(run.params, i);
  }
}

}  // namespace kv::estimation_test
