// The seven level tables of the repeated Richardson extrapolation: one row per grid, one column
// per level, each table showing one quantity of every level beside the same quantity of Th.
// They share one writer; the members differ only in their labels, their cells, the first row
// that carries level values and whether a row can be left out.
#pragma once

#include "run/run.h"

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
void writeLevelTable(Run& run, LevelMember member);

// The stages of the seven tables, in the order of their members above.
void writeTTable(Run& run);
void writeDTTable(Run& run);
void writeETable(Run& run);
void writeERatioTable(Run& run);
void writeUri12Table(Run& run);
void writeUOverETable(Run& run);
void writeURatioTable(Run& run);

}  // namespace kv
