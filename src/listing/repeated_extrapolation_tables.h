// The seven level tables of the repeated Richardson extrapolation: one row per grid, one column
// per level, each table showing one quantity of every level beside the same quantity of Th.
// They share one writer; the members differ only in their labels, their cells, the first row
// that carries level values and whether a row can be left out.
#pragma once

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv {

enum class LevelMember {
  T,       // the values T_i
  DT,      // their change from the previous grid
  E,       // their true errors
  ERatio,  // E(Th) over the true error of each level
  Uri12,   // the Richardson estimates Uri_12(T_i)
  UOverE,  // estimate over true error, minus one
  URatio,  // Uri_12(Th) over the estimate of each level
};

// Appends the table of `member` to the listing: an empty line, the header line, then the rows.
// The members E, ERatio and UOverE exist only with an exact solution; without one they write
// nothing.
void writeLevelTable(FormattedRecordWriter& listing, const RunData& run, LevelMember member);

// The stages of the seven tables, in the order of their members above.
void writeTTable(FormattedRecordWriter& listing, const RunData& run);
void writeDTTable(FormattedRecordWriter& listing, const RunData& run);
void writeETable(FormattedRecordWriter& listing, const RunData& run);
void writeERatioTable(FormattedRecordWriter& listing, const RunData& run);
void writeUri12Table(FormattedRecordWriter& listing, const RunData& run);
void writeUOverETable(FormattedRecordWriter& listing, const RunData& run);
void writeURatioTable(FormattedRecordWriter& listing, const RunData& run);

}  // namespace kv
