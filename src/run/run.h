// The run object: everything one run knows, owned by the run sequence and passed by reference
// to every stage. Stages run in a fixed order, which is the only coordination between them.
#pragma once

#include <optional>

#include "run/grid_series.h"
#include "run/run_parameters.h"
#include "text/record_writer.h"

namespace kv {

struct Run {
  RunParameters params;
  GridSeries grid;
  // The listing file (unit 10), open from the listing head to the end of the output stages.
  std::optional<FormattedRecordWriter> listing;
};

// A stage of the run: an operation on the run object, without result.
using Stage = void (*)(Run&);

}  // namespace kv
