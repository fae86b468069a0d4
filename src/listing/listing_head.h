// The head of the listing: title, date and time of the run, the echo of the parameters and the
// table of the grids.
#pragma once

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv {

// A local date and time of day.
struct LocalTime {
  int year, month, day, hour, minute, second;
};

// The local clock now.
LocalTime currentLocalTime();

// Fills runDate, "(" day "/" month "/" year ")" in 12 characters, and runTime,
// hour ":" minute ":" second in 8, every number without leading zeros:
// 6 January 2026, 9 h 05 min 07 s gives "(6/1/2026)  " and "9:5:7   ".
void buildRunStamp(RunParameters& params, const LocalTime& now);

// plotTitle = trimmed title + " " + trimmed runDate + "'", in 102 characters.
void buildPlotTitle(RunParameters& params);

// Writes the head, the echo of the parameters and the grid table to the listing.
void writeInputEcho(FormattedRecordWriter& listing, const RunData& run);

}  // namespace kv
