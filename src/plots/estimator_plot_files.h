// Plot data files of the estimators of the error of Th: the logarithms of their magnitudes
// against log10(h), eight files, one after the other.
#pragma once

#include "model/run_data.h"

namespace kv {

void writeEstimatorPlotFiles(const RunData& run);

}  // namespace kv
