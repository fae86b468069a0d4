// The input reader: the first stage of a run. It lets the user edit the start file and the
// main data file, reads the run parameters, allocates the grid series, reads the exact value
// (when there is one) and one value per grid from the grid files. It writes nothing.
#pragma once

#include <cstdint>

#include "model/run_data.h"
#include "text/list_directed.h"

namespace kv {

// Reads every input file into `run` (parameters and the input arrays of the grid series).
// Any failure to read ends the run with its fatal line before anything is written.
void readInput(RunData& run);

// The parts of readInput, each over an open reader:
// the run parameters (the first thirteen values of the main data file);
void readParameters(ListDirectedReader& in, RunParameters& p);
// then, with the grid series allocated, the grid file names and the title;
void readGridNames(ListDirectedReader& in, RunData& run);
// `count` records of an integer (discarded) and a real, `value` ending with the last real
// (the exact-solution file);
void readValueRecords(ListDirectedReader& in, int32_t count, double& value);
// a grid file: its spacing, then its value records.
void readGridFile(ListDirectedReader& in, int32_t variableNumber, double& h, double& value);

}  // namespace kv
