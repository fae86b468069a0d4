// A study case given as a CSV table:
//
//   h,drag,lift          (or "cells,..."; the delimiter , ; or tab is taken from this line)
//   0.01,1.234,0.567     one row per grid, in any order
//   0.02,,0.571          an empty field: that quantity has no value on this grid
//   exact,1.230,         optional: exact values, an empty field where unknown
//
// '#' starts a comment line; blank lines are skipped; a UTF-8 byte-order mark and CR LF line
// ends are accepted. Numbers use a decimal point and are read with std::from_chars.
#pragma once

#include <string>
#include <string_view>

#include "cases/csv_table.h"
#include "cases/study_case.h"

namespace kv::study {

// Parses `text`, read from `file`; throws Failure with the line of the first fault.
StudyCase parseCsvCase(std::string_view text, const std::string& file, const CsvOptions& options);

// Whether `text` looks like a CSV case: its first line that is not blank or a comment starts
// with the field h or cells.
bool looksLikeCsv(std::string_view text);

}  // namespace kv::study
