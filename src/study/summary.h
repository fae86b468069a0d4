// summary.csv and the table on standard output. The columns are a table of (name, accessor):
// a new column is a new row of the table.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "study/study.h"

namespace kv::study {

struct SummaryColumn {
  std::string_view name;
  // The field of one quantity: a number in its shortest form, a word, or "" where none exists.
  std::string (*field)(const QuantityStudy&);
};

std::span<const SummaryColumn> summaryColumns();

// One CSV row of a quantity (no line end), fields quoted where they must be.
std::string summaryRow(const QuantityStudy& q);

// The header line of summary.csv, with its line end.
std::string summaryHeader();

// The whole of summary.csv: the header and one row per quantity, LF line ends.
std::string summaryCsv(const StudyResult& study);

// The aligned table for a terminal: quantity, convergence, p, phi1, phi_ext21, GCI_fine21 %.
std::string summaryTable(const StudyResult& study);

}  // namespace kv::study
