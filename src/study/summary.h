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
  bool targetOnly = false;  // written only when a target GCI was asked for
};

std::span<const SummaryColumn> summaryColumns();

// One CSV row of a quantity (no line end), fields quoted where they must be; the target
// columns only with `withTarget`.
std::string summaryRow(const QuantityStudy& q, bool withTarget = false);

// The header line of summary.csv, with its line end.
std::string summaryHeader(bool withTarget = false);

// The whole of summary.csv: the header and one row per quantity, LF line ends.
std::string summaryCsv(const StudyResult& study);

// The aligned table for a terminal: quantity, convergence, p, phi1, phi_ext21, GCI_fine21 %.
std::string summaryTable(const StudyResult& study);

// One line per estimator judged against the true errors ("" without exact values), e.g.
// "truth: GCI bounds 9 of 10 quantities (90 %), U/|E| median 1.8, 10-90 % 1.2 to 3.1".
std::string judgementLines(const StudyResult& study);

}  // namespace kv::study
