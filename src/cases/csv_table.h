// What every CSV table of a study shares, whatever its rows are (the grids of a table of
// quantities, the runs of a space-time table): the header's first column (h, or cells with
// --cells --dim D), the names of the quantity columns, one field per column on every row, and the
// numbers, each refused with the same message wherever it is found. The CSV itself (delimiter,
// quotes, comments) is text/csv.h; numbers are the Decimal grammar of text/number.h.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "base/limits.h"
#include "text/csv.h"

namespace kv::study {

struct CsvOptions {
  bool cells = false;  // the first column holds cell counts (also when its header is "cells")
  int dimension = 0;   // D of h = cells^(-1/D); 0: not given
};

// The reader of one table: the rules above, its messages naming the file and the line.
class CsvTable {
 public:
  // `row` names what a data row is in messages: "grid", "run".
  CsvTable(const std::string& file, const CsvOptions& options, std::string row);

  // Splits the header line; checks its first column (h or cells) against the options. The
  // fields are valid until the next split.
  const CsvLine& header(std::string_view line, size_t number);
  // Splits a data row; refuses one without a field per column of the header.
  const CsvLine& row(std::string_view line, size_t number);

  // The name of quantity column `column` (0-based) of the header, checked: not empty, not seen
  // before (`seen` holds the names so far).
  std::string quantityName(std::string_view field, size_t column, size_t line,
                           std::set<std::string>& seen) const;
  // Refuses more than kMaxTableQuantities quantity columns.
  void checkQuantityCount(size_t quantities, size_t line) const;

  // The spacing h of a row's first field (h, or cells^(-1/D)); `cellCount` gets the count, or
  // NaN when the column is h.
  double spacing(std::string_view field, size_t line, double& cellCount) const;
  // A value of column `column` on a data row: a number (nan and inf are studied, not refused).
  double value(std::string_view field, size_t line, const std::string& column) const;
  // A value of an exact row: a finite number, or NaN for an empty field (unknown).
  double exactValue(std::string_view field, size_t line, const std::string& column) const;
  // Any number of the Decimal grammar (not-finite ones included).
  double number(std::string_view field, size_t line, const std::string& column) const;

  [[noreturn]] void fail(size_t line, const std::string& message) const;

  const std::string& name() const { return name_; }  // the file in messages
  bool cells() const { return cells_; }
  int dimension() const { return options_.dimension; }
  size_t columns() const { return columns_; }

 private:
  CsvOptions options_;
  std::string name_;
  std::string row_;
  CsvLine fields_;
  char delimiter_ = ',';
  bool cells_ = false;
  size_t columns_ = 0;
};

}  // namespace kv::study
