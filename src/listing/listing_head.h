// The head of the listing: title, date and time of the run, the echo of the parameters and the
// table of the grids (the run stamp is built by the session beforehand).
#pragma once

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv {

// Writes the head, the echo of the parameters and the grid table to the listing.
void writeInputEcho(FormattedRecordWriter& listing, const RunData& run);

}  // namespace kv
