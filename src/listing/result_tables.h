// The listing tables of orders, values, estimators and ratios. Each one appends its table to
// the listing (open on unit 10) and only reads the run data.
#pragma once

#include <cstdint>

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv {

// The order table of one member: pE, pU, their departures from the member's reference order
// and it_pU.
void writeOrderTable(FormattedRecordWriter& listing, const RunData& run, OrderMember member);

// Th beside every extrapolated and convergent value.
void writeValueTable(FormattedRecordWriter& listing, const RunData& run);
// The change of each of those sequences from the previous grid.
void writeDifferenceTable(FormattedRecordWriter& listing, const RunData& run);
// The true errors of the same sequences (only run with an exact solution).
void writeTrueErrorTable(FormattedRecordWriter& listing, const RunData& run);

// The estimators of the error of Th, beside the true errors when the exact solution is known.
void writeEstimatorTable(FormattedRecordWriter& listing, const RunData& run);

// Estimated over true errors (only run with an exact solution).
void writeEffectivityTable(FormattedRecordWriter& listing, const RunData& run);
// Uri_p, GCI_pL, GCI_p and their ratios to Uri_12 and, with an exact solution, to E(Th).
void writeGciTable(FormattedRecordWriter& listing, const RunData& run);
// True errors of the extrapolations over each other (only run with an exact solution).
void writeTrueErrorRatioTable(FormattedRecordWriter& listing, const RunData& run);
// Estimators over Uri_12 and the convergent estimators.
void writeEstimatorRatioTable(FormattedRecordWriter& listing, const RunData& run);

}  // namespace kv
