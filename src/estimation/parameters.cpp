#include "estimation/parameters.h"

namespace kv {

EstimationParameters estimationParameters(const RunParameters& run) {
  EstimationParameters p;
  p.pL = run.pL;
  p.deltaP = run.deltaP;
  p.Fs = run.Fs;
  p.refinement = static_cast<Refinement>(run.refinementType);
  p.bisection = {run.maxIterations, run.tolerance, run.pUMin, run.pUMax};
  if (run.hasExact()) p.exactValue = run.exactValue;
  return p;
}

}  // namespace kv
