// The output stages of orders, values, estimators and ratios. Each one appends its table to
// the listing (run.listing, open on unit 10) and writes its plot data files, if any, one at a
// time on the plot unit. They only read the run data.
#pragma once

#include <cstdint>

#include "run/run.h"

namespace kv {

// The five analysed sequences of the order report, in the order the run writes them.
enum class OrderMember : uint8_t { Th, Ti_pU, Tbi_pU, Tc_12, Tc_13 };

// The order report of one member: its listing table of pE, pU, their departures from the
// member's reference order and it_pU, then its order file (Th, Ti_pU and Tbi_pU only), its pE
// file and its pU file.
void writeOrderReport(Run& run, OrderMember member);

// Th beside every extrapolated and convergent value.
void writeValueTable(Run& run);
// The change of each of those sequences from the previous grid.
void writeDifferenceTable(Run& run);
// The true errors of the same sequences (only run with an exact solution).
void writeTrueErrorTable(Run& run);

// The estimators of the error of Th, beside the true errors when the exact solution is known,
// then the eight plot data files of their magnitudes.
void writeEstimatedErrorReport(Run& run);

// Estimated over true errors (only run with an exact solution).
void writeEffectivityTable(Run& run);
// Uri_p, GCI_pL, GCI_p and their ratios to Uri_12 and, with an exact solution, to E(Th).
void writeGciTable(Run& run);
// True errors of the extrapolations over each other (only run with an exact solution).
void writeTrueErrorRatioTable(Run& run);
// Estimators over Uri_12 and the convergent estimators.
void writeEstimatorRatioTable(Run& run);

}  // namespace kv
