#include "cases/csv_case.h"

#include <set>

#include "text/csv.h"

namespace kv::study {

namespace {

class Parser {
 public:
  Parser(const std::string& file, const CsvOptions& options) : table_(file, options, "grid") { c_.file = file; }

  StudyCase parse(std::string_view text) {
    const std::string& name = table_.name();
    if (text.empty() || text == "\xEF\xBB\xBF") throw Failure(name, 1, "the file is empty: write a header row (h,name,...) and one row per grid");
    CsvLines lines(text);
    std::string_view line;
    size_t number = 0;
    if (!lines.next(line, number)) throw Failure(name, 1, "the file holds no data, only blank or comment lines: write a header row (h,name,...) and one row per grid");
    header(line, number);
    size_t lastLine = number;
    while (lines.next(line, number)) {
      row(line, number);
      lastLine = number;
    }
    if (c_.h.size() < 2) {
      throw Failure(name, lastLine,
                       "only " + std::to_string(c_.h.size()) +
                           " grid: a study needs the values of two grids at least (three for an observed order)");
    }
    sortFinestFirst(c_);
    return std::move(c_);
  }

 private:
  void header(std::string_view line, size_t number) {
    const CsvLine& fields = table_.header(line, number);
    if (fields.size() < 2) {
      table_.fail(number, "the header has no quantity column: name one column per quantity after the first, separated by , ; or tab");
    }
    table_.checkQuantityCount(fields.size() - 1, number);
    std::set<std::string> seen;
    c_.quantities.reserve(fields.size() - 1);
    for (size_t k = 1; k < fields.size(); ++k) {
      c_.quantities.push_back({table_.quantityName(fields[k], k, number, seen), {}, kNotANumber});
    }
    c_.dimension = table_.cells() ? table_.dimension() : 0;
  }

  void row(std::string_view line, size_t number) {
    const CsvLine& fields = table_.row(line, number);
    const size_t columns = table_.columns();
    if (csvKeyword(fields[0], "exact")) {
      if (exactLine_ != 0) {
        table_.fail(number, "a second exact row (the first is line " + std::to_string(exactLine_) + "): keep one");
      }
      exactLine_ = number;
      for (size_t k = 1; k < columns; ++k) {
        c_.quantities[k - 1].exact = table_.exactValue(fields[k], number, c_.quantities[k - 1].name);
      }
      return;
    }
    double cells = 0.0;
    c_.h.push_back(table_.spacing(fields[0], number, cells));
    if (c_.h.size() > kMaxGrids) {
      table_.fail(number, "more than " + std::to_string(kMaxGrids) + " grids: a study takes at most " +
                              std::to_string(kMaxGrids));
    }
    if (table_.cells()) c_.cells.push_back(cells);
    c_.lines.push_back(number);
    for (size_t k = 1; k < columns; ++k) {
      Quantity& q = c_.quantities[k - 1];
      q.values.push_back(table_.value(fields[k], number, q.name));
    }
  }

  CsvTable table_;
  StudyCase c_;
  size_t exactLine_ = 0;
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
