// A table of quantities, row by row, whoever split it: the CSV reader (cases/csv_case.h) or a
// front end holding the table in memory (the Python module's DataFrames, dicts and lists). One
// set of rules for all, each fault refused with the same message, named at its row:
//
//  - the header names one column per quantity after the first: at least one, at most
//    kMaxTableQuantities, each named, no name twice;
//  - a row's first field is h (or a cell count, h = cells^(-1/D)), a positive, finite number, or
//    the keyword exact;
//  - an empty field (a None) on a grid's row is a missing value: the quantity is studied on the
//    grids that have one (Quantity::missing), the others as they are; a value that is not finite
//    (the text nan or inf, or NaN or an infinity held as a number) is studied, not dropped: the
//    quantity comes out undetermined, as a point of a field does. Solvers write nan for a
//    quantity they could not compute, and stored studies keep those rows;
//  - one exact row at most: per quantity a finite value, or unknown (an empty field, or NaN held
//    as a number, how pandas holds an empty field); an exact value nan or inf written as text is
//    refused;
//  - at least two grids and at most kMaxGrids, ordered finest first; two grids of the same h are
//    refused.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "cases/study_case.h"
#include "cases/table_rules.h"

namespace kv::study {

class QuantityTable {
 public:
  // `rules` checks the fields and names the rows (it outlives the table); `file` is the case's
  // file (StudyCase::file).
  QuantityTable(const TableRules& rules, std::string file);

  // The names of the quantity columns (the header after its first column), on row `row`.
  void names(std::span<const TableField> names, size_t row);
  // A row: its first field, then one per quantity.
  void row(std::span<const TableField> fields, size_t row);
  // The exact row, 0 when there is none.
  size_t exactRow() const { return exactRow_; }
  // The case, grids finest first (StudyCase::lines: the row that gave each); `row` is where a
  // table with fewer than two grids is refused (the last row read, or 0: the table).
  StudyCase finish(size_t row);

 private:
  const TableRules& rules_;
  StudyCase c_;
  size_t exactRow_ = 0;
};

// The grids of a case given as numbers in any order (the h, or with rules.cells() the cell
// counts, of rows 1 to N of `rules`), checked and ordered as a table's first column: the case's
// head finest first, StudyCase::lines the row of each grid.
StudyCase gridTable(std::span<const double> first, const TableRules& rules, std::string file);

}  // namespace kv::study
