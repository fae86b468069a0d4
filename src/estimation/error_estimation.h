// The estimation of one quantity: from its spacings h and grid values Th, every derived series
// (apparent orders, extrapolations, convergent values, true errors and effective orders when the
// exact value is given, the estimators and the level tables). Free functions over the data: no
// file, no global state, safe to call from several threads on different series. A quantity
// that cannot be formed is stored as undefinedValue (an iteration count as 0).
#pragma once

#include <span>

#include "estimation/parameters.h"
#include "model/grid_series.h"

namespace kv {

// In this order: computeExtrapolations, twoTermExtrapolation, threeTermExtrapolation; every
// pE entry set to undefinedValue; with an exact value computeTrueErrors and
// computeEffectiveOrders; computeErrorEstimators; computeGci; computeLevelTable.
// Expects g allocated and its h and Th filled.
void estimateSeries(const EstimationParameters& params, GridSeries& g);

// The same for spacings h and values (one per grid, grid 1 the coarsest, as many values as
// spacings) into a series of its own. Throws std::bad_alloc when the series does not fit.
GridSeries estimateSeries(const EstimationParameters& params, std::span<const double> h,
                          std::span<const double> values);

}  // namespace kv
