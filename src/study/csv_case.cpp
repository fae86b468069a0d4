#include "study/csv_case.h"

#include <cmath>
#include <optional>
#include <set>

#include "text/csv.h"
#include "text/number.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

struct Line {
  std::string_view text;
  size_t number;
};

std::optional<double> parseNumber(std::string_view s) {
  double value = 0.0;
  if (!readReal(s, value, NumberGrammar::Decimal)) return std::nullopt;
  return value;
}

class Parser {
 public:
  Parser(const std::string& file, const CsvOptions& options) : options_(options) {
    c_.file = file;
    name_ = displayName(file);
  }

  StudyCase parse(std::string_view text) {
    if (text.empty() || text == "\xEF\xBB\xBF") throw InputError(name_, 1, "the file is empty: write a header row (h,name,...) and one row per grid");
    CsvLines lines(text);
    Line line;
    if (!lines.next(line.text, line.number)) throw InputError(name_, 1, "the file holds no data, only blank or comment lines: write a header row (h,name,...) and one row per grid");
    header(line);
    size_t lastLine = line.number;
    while (lines.next(line.text, line.number)) {
      row(line);
      lastLine = line.number;
    }
    if (c_.h.size() < 2) {
      throw InputError(name_, lastLine,
                       "only " + std::to_string(c_.h.size()) +
                           " grid: a study needs the values of two grids at least (three for an observed order)");
    }
    sortFinestFirst(c_);
    return std::move(c_);
  }

 private:
  void header(const Line& line) {
    delimiter_ = csvDelimiter(line.text);
    fields_.split(line.text, delimiter_);
    const CsvLine& fields = fields_;
    const std::string_view first = fields[0];
    const bool cells = csvKeyword(first, "cells");
    if (!cells && !csvKeyword(first, "h")) {
      throw InputError(name_, line.number,
                       "missing header: the first row must name the columns, starting with h "
                       "(spacing) or cells (cell count), e.g. h,drag,lift; found '" + std::string(first) + "'");
    }
    if (cells != options_.cells && options_.cells) {
      throw InputError(name_, line.number, "--cells was given but the first column is h: name it cells, or drop --cells");
    }
    cells_ = cells;
    if (cells_ && options_.dimension == 0) {
      throw InputError(name_, line.number, "the first column holds cell counts: give --cells --dim D (D = 1, 2 or 3) so that h = cells^(-1/D)");
    }
    if (fields.size() < 2) {
      throw InputError(name_, line.number, "the header has no quantity column: name one column per quantity after the first, separated by , ; or tab");
    }
    if (fields.size() - 1 > kMaxTableQuantities) {
      throw InputError(name_, line.number,
                       std::to_string(fields.size() - 1) + " quantities: a table holds at most " +
                           std::to_string(kMaxTableQuantities) +
                           " (give the values of a field in point files named by an h,file table, or in an HDF5 file)");
    }
    std::set<std::string_view> seen;
    c_.quantities.reserve(fields.size() - 1);
    for (size_t k = 1; k < fields.size(); ++k) {
      if (fields[k].empty()) {
        throw InputError(name_, line.number, "column " + std::to_string(k + 1) + " has no name: name every quantity");
      }
      if (!seen.insert(fields[k]).second) {
        throw InputError(name_, line.number, "the quantity name '" + toUtf8(fields[k]) + "' appears twice: give each column its own name");
      }
      c_.quantities.push_back({toUtf8(fields[k]), {}, kNotANumber});
    }
    columns_ = fields.size();
    c_.dimension = cells_ ? options_.dimension : 0;
  }

  [[noreturn]] void notANumber(const Line& line, const std::string& column, std::string_view value) {
    const std::string text(value);
    std::string field = text;
    for (char& ch : field) if (ch == ',') ch = '.';
    if (text.find(',') != std::string::npos && parseNumber(field)) {
      throw InputError(name_, line.number, "column '" + column + "': '" + text + "' has a decimal comma: write 0.1, not 0,1");
    }
    throw InputError(name_, line.number, "column '" + column + "': '" + text + "' is not a number");
  }

  void row(const Line& line) {
    fields_.split(line.text, delimiter_);
    const CsvLine& fields = fields_;
    if (fields.size() != columns_) {
      std::string message = std::to_string(fields.size()) + " fields, but the header has " +
                            std::to_string(columns_) + " columns: give one value per column";
      if (delimiter_ == ',' && fields.size() > columns_) message += " (a decimal comma? write 0.1, not 0,1)";
      throw InputError(name_, line.number, message);
    }
    if (csvKeyword(fields[0], "exact")) {
      if (exactLine_ != 0) {
        throw InputError(name_, line.number, "a second exact row (the first is line " + std::to_string(exactLine_) + "): keep one");
      }
      exactLine_ = line.number;
      for (size_t k = 1; k < columns_; ++k) {
        if (fields[k].empty()) continue;
        std::optional<double> v = parseNumber(fields[k]);
        if (!v) notANumber(line, c_.quantities[k - 1].name, fields[k]);
        if (!std::isfinite(*v)) {
          throw InputError(name_, line.number, "column '" + c_.quantities[k - 1].name + "': the exact value '" + std::string(fields[k]) + "' is not finite: leave the field empty when it is unknown");
        }
        c_.quantities[k - 1].exact = *v;
      }
      return;
    }
    const std::string first = cells_ ? "cells" : "h";
    std::optional<double> x = parseNumber(fields[0]);
    if (!x) notANumber(line, first, fields[0]);
    if (!std::isfinite(*x) || *x <= 0.0) {
      throw InputError(name_, line.number, first + " = '" + std::string(fields[0]) + "': it must be a positive, finite number");
    }
    if (cells_) {
      c_.cells.push_back(*x);
      c_.h.push_back(std::pow(*x, -1.0 / options_.dimension));
    } else {
      c_.h.push_back(*x);
    }
    if (c_.h.size() > kMaxGrids) {
      throw InputError(name_, line.number, "more than " + std::to_string(kMaxGrids) + " grids: a study takes at most " +
                                               std::to_string(kMaxGrids));
    }
    c_.lines.push_back(line.number);
    for (size_t k = 1; k < columns_; ++k) {
      const std::string& column = c_.quantities[k - 1].name;
      if (fields[k].empty()) {
        throw InputError(name_, line.number, "column '" + column + "' is empty: every grid needs a value of every quantity");
      }
      // A value that is not finite (nan, inf) is studied, not refused: the quantity comes out
      // undetermined, as a point of a field does.
      std::optional<double> v = parseNumber(fields[k]);
      if (!v) notANumber(line, column, fields[k]);
      c_.quantities[k - 1].values.push_back(*v);
    }
  }

  CsvOptions options_;
  CsvLine fields_;
  StudyCase c_;
  std::string name_;
  char delimiter_ = ',';
  bool cells_ = false;
  size_t columns_ = 0;
  size_t exactLine_ = 0;
};

}  // namespace

StudyCase parseCsvCase(std::string_view text, const std::string& file, const CsvOptions& options) {
  return Parser(file, options).parse(text);
}

bool looksLikeCsv(std::string_view text) {
  CsvLines lines(text);
  std::string_view line;
  size_t number = 0;
  if (!lines.next(line, number)) return false;
  CsvLine fields;
  fields.split(line, csvDelimiter(line));
  return csvKeyword(fields[0], "h") || csvKeyword(fields[0], "cells");
}

}  // namespace kv::study
