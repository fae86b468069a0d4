// summary.csv and the table on standard output. The columns are a table of (name, kind,
// accessor): a new column is a new row of the table. The kind says how the column is stored where
// columns are typed (summary.h5): numbers as doubles (NaN where the CSV field is empty), counts as
// integers, a category as its code (its names: categoryName), text as text.
#pragma once

#include <cstdint>
#include <span>
#include <vector>
#include <string>
#include <string_view>

#include "study/study.h"

namespace kv::study {

enum class ColumnKind : uint8_t { Text, Count, Number, Category };

struct SummaryColumn {
  std::string_view name;
  ColumnKind kind = ColumnKind::Number;
  // Number, Count and Category: the value (NaN where none exists; a category's code).
  double (*number)(const QuantityStudy&) = nullptr;
  // Text: the text ("" where none exists), valid while the quantity's study is.
  std::string_view (*text)(const QuantityStudy&) = nullptr;
  bool targetOnly = false;  // written only when a target GCI was asked for
  // Category: the name of each code (summary.h5 keeps the code, the CSV its name).
  std::span<const std::string_view> categories = {};
};

std::span<const SummaryColumn> summaryColumns();
// The column of that name, or null.
const SummaryColumn* summaryColumn(std::string_view name);
// The columns written, in order: all, or all but the target columns.
std::vector<const SummaryColumn*> writtenColumns(bool withTarget);

// The name of a category's code (a convergence type, a least-squares fit), for a category column.
std::string_view categoryName(const SummaryColumn& column, uint8_t code);
size_t categoryCount(const SummaryColumn& column);

// Appends `text` as one CSV field: as it is, or in double quotes (quotes doubled) where it holds
// a comma, a quote or a line end.
void appendCsvField(std::string& out, std::string_view text);

// The CSV field of a column (unquoted): a number in its shortest form, a word, or "".
std::string summaryField(const SummaryColumn& column, const QuantityStudy& q);

// The text of the last number of each column, kept by a thread that writes many rows: the
// spacings and ratios of a field are the same on every row and are formatted once.
struct SummaryRowCache {
  std::vector<uint64_t> bits;
  std::vector<std::string> text;
};

// Appends one CSV row of a quantity (no line end), fields quoted where they must be; the target
// columns only with `withTarget`.
void appendSummaryRow(std::string& out, const QuantityStudy& q, bool withTarget = false,
                      SummaryRowCache* cache = nullptr);
std::string summaryRow(const QuantityStudy& q, bool withTarget = false);

// The header line of summary.csv, with its line end.
std::string summaryHeader(bool withTarget = false);
// The same with the columns a kind of field adds after the others (PointDecoration: the
// coordinates of grids that share no points).
std::string summaryHeader(bool withTarget, std::span<const std::string_view> extraColumns);

// The whole of summary.csv: the header and one row per quantity, LF line ends.
std::string summaryCsv(const StudyResult& study);

// The aligned table for a terminal: quantity, convergence, p, phi1, phi_ext21, GCI_fine21 %.
std::string summaryTable(const StudyResult& study);

// One line per estimator judged against the true errors ("" without exact values), e.g.
// "truth: GCI bounds 9 of 10 quantities (90 %), U/|E| median 1.8, 10-90 % 1.2 to 3.1".
std::string judgementLines(const StudyResult& study);

// For a terminal, below the table: each quantity with findings on one line (wrapped), its codes
// with their severities, then what --strict fails on.
std::string findingLines(const StudyResult& study);

}  // namespace kv::study
