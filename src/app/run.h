// An output stage of the run: appends to the listing, writes plot files or shows a plot, from
// the run data it only reads. The run sequence owns the listing writer and passes it in.
#pragma once

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv {

using Stage = void (*)(FormattedRecordWriter& listing, const RunData& run);

}  // namespace kv
