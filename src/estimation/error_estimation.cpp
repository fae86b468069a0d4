#include "estimation/error_estimation.h"

#include <algorithm>
#include <cassert>

#include "estimation/error_estimators.h"
#include "estimation/extrapolation.h"
#include "estimation/level_table.h"
#include "estimation/true_errors.h"

namespace kv {

void estimateSeries(const EstimationParameters& params, GridSeries& g) {
  computeExtrapolations(params, g);
  twoTermExtrapolation(params, g);
  threeTermExtrapolation(params, g);
  for (GridArray<double>* pE : {&g.pE_Th, &g.pE_Ti_pU, &g.pE_Tc_12, &g.pE_Tc_13, &g.pE_Tbi_pU}) {
    std::fill(pE->span().begin(), pE->span().end(), undefinedValue);
  }
  if (params.exactValue) {
    computeTrueErrors(*params.exactValue, g);
    computeEffectiveOrders(g);
  }
  computeErrorEstimators(g);
  computeGci(params, g);
  computeLevelTable(params, g);
}

GridSeries estimateSeries(const EstimationParameters& params, std::span<const double> h,
                          std::span<const double> values) {
  assert(values.size() >= h.size());
  GridSeries g;
  g.allocateSeries(static_cast<int>(h.size()));
  std::copy(h.begin(), h.end(), g.h.span().begin());
  std::copy(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(h.size()),
            g.Th.span().begin());
  estimateSeries(params, g);
  return g;
}

}  // namespace kv
