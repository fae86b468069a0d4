// A space-time case: the runs of an unsteady computation that refine the grid, the time step or
// both, as a CSV table whose second column is the time step dt:
//
//   h,dt,drag,lift,iter_err        (or cells,dt,... with --cells --dim D)
//   0.01,0.002,1.234,0.567,1e-7    one row per run, in any order
//   exact,,1.230,                  optional: exact values (no dt), an empty field where unknown
//
// Iterative errors, optional, in columns anywhere after dt: `iter_err` for every quantity, or
// `iter_err:NAME` for quantity NAME alone (it then takes the place of `iter_err` for NAME). An
// empty field is a run whose iterative error is not known; the magnitude is used.
//
// The CSV is that of every table (text/csv.h, study/csv_table.h): the same delimiters, quotes,
// comments, numbers and messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cases/csv_table.h"
#include "cases/study_case.h"

namespace kv::study {

// The most runs a space-time table may hold: its fit searches two orders over every run, and
// refinement studies of unsteady flows have tens of runs, not hundreds.
inline constexpr size_t kMaxSpaceTimeRuns = 200;
// The most quantities: each is fitted apart, in up to a second with many runs.
inline constexpr size_t kMaxSpaceTimeQuantities = 1000;

struct SpaceTimeQuantity {
  std::string name;
  std::vector<double> values;   // per run
  double exact = kNotANumber;   // NaN: unknown
  std::vector<double> iterErr;  // per run (NaN: unknown), or empty when none is given
};

// The head's h and cells are per run, finest first: by h, then by dt.
struct SpaceTimeCase : CaseHead {
  std::vector<double> dt;     // per run
  std::vector<size_t> lines;  // the line of each run
  std::vector<SpaceTimeQuantity> quantities;
};

// Whether `text` is a space-time table: its header (the first line that is not blank or a
// comment) starts with h or cells, then dt.
bool isSpaceTimeTable(std::string_view text);

// Parses `text`, read from `file`; throws Failure with the line of the first fault.
SpaceTimeCase parseSpaceTimeCase(std::string_view text, const std::string& file,
                                 const CsvOptions& options);

}  // namespace kv::study
