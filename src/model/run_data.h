// The data of one run: its parameters and its grid series. The app fills it (input reading and
// estimation); every output stage only reads it.
#pragma once

#include "model/grid_series.h"
#include "model/run_parameters.h"

namespace kv {

struct RunData {
  RunParameters params;
  GridSeries grid;
};

}  // namespace kv
