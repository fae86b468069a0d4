#include "cases/csv_table.h"

#include <cmath>
#include <optional>

#include "base/error.h"
#include "cases/study_case.h"
#include "text/number.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

std::optional<double> decimal(std::string_view s) {
  double value = 0.0;
  if (!readReal(s, value, NumberGrammar::Decimal)) return std::nullopt;
  return value;
}

}  // namespace

CsvTable::CsvTable(const std::string& file, const CsvOptions& options, std::string row)
    : options_(options), name_(displayName(file)), row_(std::move(row)) {}

void CsvTable::fail(size_t line, const std::string& message) const {
  throw Failure(name_, line, message);
}

const CsvLine& CsvTable::header(std::string_view line, size_t number) {
  delimiter_ = csvDelimiter(line);
  fields_.split(line, delimiter_);
  const std::string_view first = fields_[0];
  const bool cells = csvKeyword(first, "cells");
  if (!cells && !csvKeyword(first, "h")) {
    fail(number,
         "missing header: the first row must name the columns, starting with h "
         "(spacing) or cells (cell count), e.g. h,drag,lift; found '" +
             std::string(first) + "'");
  }
  if (!cells && options_.cells) {
    fail(number, "--cells was given but the first column is h: name it cells, or drop --cells");
  }
  cells_ = cells;
  if (cells_ && options_.dimension == 0) {
    fail(number,
         "the first column holds cell counts: give --cells --dim D (D = 1, 2 or 3) so that h = "
         "cells^(-1/D)");
  }
  columns_ = fields_.size();
  return fields_;
}

const CsvLine& CsvTable::row(std::string_view line, size_t number) {
  fields_.split(line, delimiter_);
  if (fields_.size() != columns_) {
    std::string message = std::to_string(fields_.size()) + " fields, but the header has " +
                          std::to_string(columns_) + " columns: give one value per column";
    if (delimiter_ == ',' && fields_.size() > columns_)
      message += " (a decimal comma? write 0.1, not 0,1)";
    fail(number, message);
  }
  return fields_;
}

std::string CsvTable::quantityName(std::string_view field, size_t column, size_t line,
                                   std::set<std::string>& seen) const {
  if (field.empty())
    fail(line, "column " + std::to_string(column + 1) + " has no name: name every quantity");
  std::string name = toUtf8(field);
  if (!seen.insert(name).second) {
    fail(line, "the quantity name '" + name + "' appears twice: give each column its own name");
  }
  return name;
}

void CsvTable::checkQuantityCount(size_t quantities, size_t line) const {
  if (quantities > kMaxTableQuantities) {
    fail(line, std::to_string(quantities) + " quantities: a table holds at most " +
                   std::to_string(kMaxTableQuantities) +
                   " (give the values of a field in point files named by an h,file table, or in an "
                   "HDF5 file)");
  }
}

double CsvTable::number(std::string_view field, size_t line, const std::string& column) const {
  if (std::optional<double> v = decimal(field)) return *v;
  const std::string text(field);
  std::string point = text;
  for (char& ch : point) {
    if (ch == ',') ch = '.';
  }
  if (text.find(',') != std::string::npos && decimal(point)) {
    fail(line, "column '" + column + "': '" + text + "' has a decimal comma: write 0.1, not 0,1");
  }
  fail(line, "column '" + column + "': '" + text + "' is not a number");
}

double CsvTable::spacing(std::string_view field, size_t line, double& cellCount) const {
  const std::string first = cells_ ? "cells" : "h";
  const double x = number(field, line, first);
  if (!std::isfinite(x) || x <= 0.0) {
    fail(line, first + " = '" + std::string(field) + "': it must be a positive, finite number");
  }
  cellCount = cells_ ? x : NAN;
  return cells_ ? std::pow(x, -1.0 / options_.dimension) : x;
}

double CsvTable::value(std::string_view field, size_t line, const std::string& column) const {
  if (field.empty()) {
    fail(line,
         "column '" + column + "' is empty: every " + row_ + " needs a value of every quantity");
  }
  // A value that is not finite (nan, inf) is studied, not refused: the quantity comes out
  // undetermined, as a point of a field does.
  return number(field, line, column);
}

double CsvTable::exactValue(std::string_view field, size_t line, const std::string& column) const {
  if (field.empty()) return NAN;
  const double v = number(field, line, column);
  if (!std::isfinite(v)) {
    fail(line, "column '" + column + "': the exact value '" + std::string(field) +
                   "' is not finite: leave the field empty when it is unknown");
  }
  return v;
}

}  // namespace kv::study
