#include "cases/table_rules.h"

#include <charconv>
#include <cmath>

#include "base/error.h"
#include "base/limits.h"
#include "text/csv.h"
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

bool TableField::keyword(std::string_view lowerCase) const { return !number && csvKeyword(text, lowerCase); }

std::string TableField::shown() const {
  if (!number) return std::string(text);
  if (std::isnan(*number)) return "nan";
  if (std::isinf(*number)) return *number > 0 ? "inf" : "-inf";
  char out[32];
  return std::string(out, std::to_chars(out, out + sizeof out, *number).ptr);
}

TableRows::TableRows(std::string file) : file_(std::move(file)) {}

TableRows::TableRows(std::function<std::string(size_t)> label) : label_(std::move(label)) {}

std::string TableRows::name(size_t row) const {
  if (!label_) return "line " + std::to_string(row);
  return row == 0 ? std::string("the column names") : label_(row - 1);
}

void TableRows::fail(size_t row, const std::string& message) const {
  if (!label_) throw Failure(file_, row, message);
  throw Failure("", 0, row == 0 ? message : label_(row - 1) + ": " + message);
}

TableRules::TableRules(TableRows rows, std::string row, bool cells, int dimension)
    : rows_(std::move(rows)), row_(std::move(row)), cells_(cells), dimension_(dimension) {}

std::string TableRules::quantityName(const TableField& field, size_t column, size_t row,
                                     std::set<std::string>& seen) const {
  if (field.empty())
    fail(row, "column " + std::to_string(column + 1) + " has no name: name every quantity");
  std::string name = toUtf8(field.shown());
  // A second column of grids would be studied as if it were a quantity: it is no quantity.
  if (csvKeyword(name, "h") || csvKeyword(name, "cells")) {
    fail(row, "column " + std::to_string(column + 1) + " is named " + name +
                  ": a table gives its grids by one column (h or cells), its first");
  }
  if (!seen.insert(name).second) {
    fail(row, "the quantity name '" + name + "' appears twice: give each column its own name");
  }
  return name;
}

void TableRules::checkQuantityCount(size_t quantities, size_t row) const {
  if (quantities > kMaxTableQuantities) {
    fail(row, std::to_string(quantities) + " quantities: a table holds at most " +
                  std::to_string(kMaxTableQuantities) +
                  " (give the values of a field in point files named by an h,file table, or in an "
                  "HDF5 file)");
  }
}

double TableRules::number(const TableField& field, size_t row, const std::string& column) const {
  if (field.number) return *field.number;
  if (std::optional<double> v = decimal(field.text)) return *v;
  const std::string text(field.text);
  std::string point = text;
  for (char& ch : point) {
    if (ch == ',') ch = '.';
  }
  if (text.find(',') != std::string::npos && decimal(point)) {
    fail(row, "column '" + column + "': '" + text + "' has a decimal comma: write 0.1, not 0,1");
  }
  fail(row, "column '" + column + "': '" + text + "' is not a number");
}

double TableRules::spacing(const TableField& field, size_t row, double& cellCount) const {
  const std::string first = cells_ ? "cells" : "h";
  const double x = number(field, row, first);
  if (!std::isfinite(x) || x <= 0.0) {
    fail(row, first + " = '" + field.shown() + "': it must be a positive, finite number");
  }
  cellCount = cells_ ? x : NAN;
  return cells_ ? std::pow(x, -1.0 / dimension_) : x;
}

double TableRules::value(const TableField& field, size_t row, const std::string& column) const {
  if (field.empty()) {
    fail(row, "column '" + column + "' is empty: every " + row_ + " needs a value of every quantity");
  }
  return number(field, row, column);
}

std::optional<double> TableRules::presentValue(const TableField& field, size_t row, const std::string& column) const {
  if (field.empty()) return std::nullopt;
  return number(field, row, column);
}

void TableRules::refuseIndexColumn(size_t row, std::string_view name, std::string_view first) const {
  const std::string save = "save the table with to_csv(path, index=False)";
  if (name.empty()) {
    fail(row, "the first column has no name and " + std::string(first) +
                  " comes second, as pandas writes its index with to_csv(): " + save);
  }
  fail(row, "column '" + std::string(name) + "' holds 0, 1, 2, ...: pandas' index, written by to_csv() and read back "
            "as a column: read the file with read_csv(path, index_col=0), or " + save);
}

double TableRules::exactValue(const TableField& field, size_t row, const std::string& column) const {
  if (field.empty() || (field.number && std::isnan(*field.number))) return NAN;
  const double v = number(field, row, column);
  if (!std::isfinite(v)) {
    fail(row, "column '" + column + "': the exact value '" + field.shown() +
                  "' is not finite: leave the field empty when it is unknown");
  }
  return v;
}

}  // namespace kv::study
