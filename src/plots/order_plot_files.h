// Plot data files of the orders of the analysed sequences.
#pragma once

#include "model/run_data.h"

namespace kv {

// The order files of one member: its reference-order file (Th, Ti_pU and Tbi_pU only: the
// reference order q on every grid), its pE file and its pU file (each order where it is defined,
// an empty line elsewhere).
void writeOrderPlotFiles(const RunData& run, OrderMember member);

}  // namespace kv
