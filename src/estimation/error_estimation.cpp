#include "estimation/error_estimation.h"

#include "estimation/error_estimators.h"
#include "estimation/extrapolation.h"
#include "estimation/level_table.h"
#include "estimation/true_errors.h"

namespace kv {

void runErrorEstimation(Run& run) {
  computeExtrapolations(run);
  twoTermExtrapolation(run);
  threeTermExtrapolation(run);
  GridSeries& g = run.grid;
  for (GridArray<double>* pE : {&g.pE_Th, &g.pE_Ti_pU, &g.pE_Tc_12, &g.pE_Tc_13, &g.pE_Tbi_pU}) {
    for (int i = 1; i <= g.count; ++i) (*pE)(i) = undefinedValue;
  }
  if (run.params.hasExact()) {
    computeTrueErrors(run);
    computeEffectiveOrders(run);
  }
  computeErrorEstimators(run);
  computeGci(run);
  computeLevelTable(run);
}

}  // namespace kv
