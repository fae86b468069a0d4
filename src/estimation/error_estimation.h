// The computation stage of a run: turns the spacings h and grid values Th into every derived
// array of the grid series. Reads no file and writes none; a quantity that cannot be formed
// is stored as undefinedValue (an iteration count as 0).
#pragma once

#include "run/run.h"

namespace kv {

// In this order: computeExtrapolations, twoTermExtrapolation, threeTermExtrapolation; every
// pE entry set to undefinedValue; with an exact solution computeTrueErrors and
// computeEffectiveOrders; computeErrorEstimators; computeGci; computeLevelTable.
// Expects the arrays allocated for run.grid.count grids and h, Th, pV (and exactValue) read.
void runErrorEstimation(Run& run);

}  // namespace kv
