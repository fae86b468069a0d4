// The input reader: the first stage of a run. It lets the user edit the start file and the
// main data file, reads the run parameters, allocates the grid series, reads the exact value
// (when there is one) and one value per grid from the grid files. It writes nothing.
#pragma once

#include <string>
#include <string_view>

#include "model/run_data.h"

namespace kv {

// The start file, looked up in the current directory; its one value names the main data file.
inline constexpr const char* kStartFile = "Kestrovanilque.in";

// Reads every input file into `run` (parameters and the input arrays of the grid series).
// Any failure to read ends the run with its fatal line before anything is written.
void readInput(RunData& run);

}  // namespace kv
