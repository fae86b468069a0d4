// Tables of quantities from Python (a pandas DataFrame or a dict of columns, shaped like a CSV
// case) and the summary of their study as a DataFrame.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

#include "options.h"
#include "study/study.h"

namespace kv::python {

// The table's columns: `h` or `cells` (any case; with cells, `dimension` gives h =
// cells^(-1/D)), then one per quantity. A row whose index label or h field is "exact", or the
// mapping `exact` (quantity -> value), gives exact values. The rows are read as the rows of a
// CSV table, by its rules (cases/quantity_table.h): None is an empty field (a missing value),
// pandas' index read back as a first column 'Unnamed: 0' is refused, NaN and inf are
// values; faults are named by the row ("row 3: ..."). Throws OptionError for a table of the
// wrong shape (TypeError for one that is neither), Failure for a fault of its rows.
study::StudyCase tableCase(pybind11::handle table, pybind11::handle exact, std::optional<int64_t> dimension);

// The columns of summary.csv as a DataFrame: numbers as float64 (NaN where the CSV field is
// empty), grids as int64, the texts and the convergence type as str.
pybind11::object summaryFrame(const study::StudyResult& study);

}  // namespace kv::python
