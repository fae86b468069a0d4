// What every CSV table of a study shares, whatever its rows are (the grids of a table of
// quantities, the runs of a space-time table): the header's first column (h, or cells with
// --cells --dim D), one field per column on every row, and the rules of its fields
// (cases/table_rules.h), each fault named by the file and the line. The CSV itself (delimiter,
// quotes, comments) is text/csv.h; numbers are the Decimal grammar of text/number.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cases/table_rules.h"
#include "text/csv.h"

namespace kv::study {

struct CsvOptions {
  bool cells = false;  // the first column holds cell counts (also when its header is "cells")
  int dimension = 0;   // D of h = cells^(-1/D); 0: not given
};

// The reader of one table: the rules above, its messages naming the file and the line.
class CsvTable : public TableRules {
 public:
  // `row` names what a data row is in messages: "grid", "run".
  CsvTable(const std::string& file, const CsvOptions& options, std::string row);

  // Splits the header line; checks its first column (h or cells) against the options. The
  // fields are valid until the next split.
  const CsvLine& header(std::string_view line, size_t number);
  // Splits a data row; refuses one without a field per column of the header.
  const CsvLine& row(std::string_view line, size_t number);

  const std::string& name() const { return rows().file(); }  // the file in messages
  size_t columns() const { return columns_; }

 private:
  CsvOptions options_;
  CsvLine fields_;
  char delimiter_ = ',';
  size_t columns_ = 0;
};

}  // namespace kv::study
