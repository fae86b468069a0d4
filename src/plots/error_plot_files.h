// Plot data files of the error plots: the true errors against the grid spacing with their
// reference lines, and the reference lines of the estimated-error plots. Every value is a
// decimal logarithm; a grid that cannot be plotted gets an empty record.
#pragma once

#include "model/run_data.h"

namespace kv {

// Writes the twelve true-error files, one after the other: "Eh.dat", "Ei_12.dat", "Ei_13.dat",
// "Ei_23.dat", "Ei_bi.dat", "Ei_tri.dat", "Ei_pU.dat", "Ec_12.dat", "Ec_13.dat", "Ebi.dat", then
// the reference lines "E_pL_p2.dat" and "E_p3.dat". Meant for runs with an exact solution.
void writeTrueErrorPlotFiles(const RunData& run);

// The two sets of estimated-error reference lines; they differ in the estimators that bound the
// lines from below.
enum class EstimateReferenceSet {
  First,   // Uri_tri, Uri_bi, Uri_pU, Uri_23, Uri_13, Ud, Uri_12 at the finest grid
  Second,  // Uc_13, Uc_12, Uri_pU, Uri_13, Uri_12 at the finest grid
};

// Writes "U_pL.dat", "U_p2.dat" and "U_p3.dat" for `set`.
void writeEstimateReferenceFiles(const RunData& run, EstimateReferenceSet set);

}  // namespace kv
