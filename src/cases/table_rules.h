// The rules of the fields of a study's tables, whoever splits the table: the CSV reader
// (cases/csv_table.h), or a front end that holds the table in memory (the Python module's
// DataFrames, dicts and lists). A field is the text of a CSV field or a number held as one; each
// fault is refused with the same message wherever it is found, only its place is named as its
// table names its rows (a file's lines, or the rows of a table in memory).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kv::study {

// The name pandas gives the unnamed first column of a file when it reads one (its index, written
// by to_csv()).
inline constexpr std::string_view kPandasIndexName = "Unnamed: 0";

// A field of a table: its text, or a number held as one (not read again; NaN and inf included).
struct TableField {
  std::string_view text;
  std::optional<double> number;

  TableField() = default;
  TableField(std::string_view t) : text(t) {}  // NOLINT: a CSV field is its text
  static TableField of(double x) {
    TableField f;
    f.number = x;
    return f;
  }
  // No text and no number: an empty CSV field, a None.
  bool empty() const { return !number && text.empty(); }
  // Whether the field is the keyword `lowerCase`, whatever its case.
  bool keyword(std::string_view lowerCase) const;
  // The field as messages show it: its text, or the number's shortest form (nan, inf, -inf).
  std::string shown() const;
};

// Where the rows of a table come from, as messages name them.
class TableRows {
 public:
  // The lines of `file` (the name as messages show it): row numbers are line numbers, a failure
  // reads "FILE:LINE: ...", a row in a message "line LINE".
  explicit TableRows(std::string file);
  // Rows held in memory: row k (from 1) is `label(k - 1)` ("row 3", "h[2]"), row 0 the table as
  // a whole (its column names); a failure reads "LABEL: ..." (row 0: the message alone), a row in
  // a message LABEL.
  explicit TableRows(std::function<std::string(size_t)> label);

  std::string name(size_t row) const;
  [[noreturn]] void fail(size_t row, const std::string& message) const;
  // The file of a table of lines; "" for rows in memory.
  const std::string& file() const { return file_; }

 private:
  std::string file_;
  std::function<std::string(size_t)> label_;
};

// The checks of the fields of a table whose first column is h (or cells, h = cells^(-1/D)) and
// whose other columns are numbers named by the header. `row` names what a data row is in
// messages: "grid", "run".
class TableRules {
 public:
  TableRules(TableRows rows, std::string row, bool cells = false, int dimension = 0);

  // The name of quantity column `column` (0-based, as the table counts its columns), checked:
  // not empty, not seen before (`seen` holds the names so far).
  std::string quantityName(const TableField& field, size_t column, size_t row,
                           std::set<std::string>& seen) const;
  // Refuses more than kMaxTableQuantities quantity columns.
  void checkQuantityCount(size_t quantities, size_t row) const;

  // The spacing h of a row's first field (h, or cells^(-1/D)): a positive, finite number;
  // `cellCount` gets the count, or NaN when the column is h.
  double spacing(const TableField& field, size_t row, double& cellCount) const;
  // A value of column `column` on a data row: a number, not an empty field. Values that are not
  // finite (nan, inf) are studied, not refused: the quantity comes out undetermined, as a point
  // of a field does.
  double value(const TableField& field, size_t row, const std::string& column) const;
  // The same where an empty field is a missing value (a table of quantities): nothing for it.
  std::optional<double> presentValue(const TableField& field, size_t row, const std::string& column) const;
  // A value of an exact row: a finite number, or NaN (unknown) for an empty field and for NaN
  // held as a number (how pandas holds an empty field). The text nan or inf is refused.
  double exactValue(const TableField& field, size_t row, const std::string& column) const;
  // Any number of the Decimal grammar (not-finite ones included), or one held as a number.
  double number(const TableField& field, size_t row, const std::string& column) const;

  [[noreturn]] void fail(size_t row, const std::string& message) const { rows_.fail(row, message); }
  // Refuses pandas' index column, which DataFrame.to_csv() writes first unless index=False: in a
  // file an unnamed first column before `first` (h or cells), in a DataFrame read from one a
  // first column `name` (pandas' "Unnamed: 0") holding 0, 1, 2, ... Says how to save without it.
  [[noreturn]] void refuseIndexColumn(size_t row, std::string_view name, std::string_view first) const;

  const TableRows& rows() const { return rows_; }
  bool cells() const { return cells_; }
  int dimension() const { return dimension_; }

 protected:
  TableRows rows_;
  std::string row_;
  bool cells_ = false;
  int dimension_ = 0;
};

}  // namespace kv::study
