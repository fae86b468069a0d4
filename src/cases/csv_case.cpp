#include "cases/csv_case.h"

#include <algorithm>
#include <vector>

#include "cases/quantity_table.h"
#include "text/csv.h"

namespace kv::study {

namespace {

// Splits the text; the table's rules are QuantityTable's.
class Parser {
 public:
  Parser(const std::string& file, const CsvOptions& options) : table_(file, options, "grid"), quantities_(table_, file) {}

  StudyCase parse(std::string_view text) {
    const std::string& name = table_.name();
    if (text.empty() || text == "\xEF\xBB\xBF") throw Failure(name, 1, "the file is empty: write a header row (h,name,...) and one row per grid");
    CsvLines lines(text);
    std::string_view line;
    size_t number = 0;
    if (!lines.next(line, number)) throw Failure(name, 1, "the file holds no data, only blank or comment lines: write a header row (h,name,...) and one row per grid");
    quantities_.names(fieldsOf(table_.header(line, number), 1), number);
    size_t lastLine = number;
    while (lines.next(line, number)) {
      quantities_.row(fieldsOf(table_.row(line, number), 0), number);
      lastLine = number;
    }
    return quantities_.finish(lastLine);
  }

 private:
  std::span<const TableField> fieldsOf(const CsvLine& line, size_t first) {
    fields_.assign(line.fields().begin() + static_cast<std::ptrdiff_t>(std::min(first, line.size())), line.fields().end());
    return fields_;
  }

  CsvTable table_;
  QuantityTable quantities_;
  std::vector<TableField> fields_;
};

}  // namespace

StudyCase parseCsvCase(std::string_view text, const std::string& file, const CsvOptions& options) {
  return Parser(file, options).parse(text);
}

bool looksLikeCsv(std::string_view text) {
  CsvLine fields;
  return csvHeader(text, fields) && (csvKeyword(fields[0], "h") || csvKeyword(fields[0], "cells"));
}

}  // namespace kv::study
