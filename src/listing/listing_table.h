// The machinery shared by the listing tables of orders, values, estimators and ratios: a table
// is an empty line, a header line of labels at fixed columns, then at most one row per grid,
// chosen by a row schedule. A schedule is data: a list of rules, each naming the grids it
// serves, the tests that the row's own grid must pass, the format of the row and the columns
// it writes after h. The conditions of the rules of one grid exclude each other; a grid that
// passes none of its rules gets no row at all.
#pragma once

#include <cassert>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "model/grid_series.h"
#include "model/run_parameters.h"
#include "text/format.h"
#include "text/record_writer.h"

namespace kv {

// A real or an integer per-grid array of the grid series.
using RealArray = GridArray<double> GridSeries::*;
using CountArray = GridArray<int32_t> GridSeries::*;

// What a test asks of a value. The comparisons with definedLimit are strict and one-sided: a
// value of exactly definedLimit (or a NaN) is neither defined nor undefined, and a large
// negative value is defined.
enum class Check : uint8_t {
  Defined,     // below definedLimit
  Undefined,   // above definedLimit
  NotDefined,  // not below definedLimit: the "otherwise" of Defined
  NonZero,     // different from 0.0, compared exactly
};

inline bool passes(double value, Check check) {
  switch (check) {
    case Check::Defined:
      return isDefined(value);
    case Check::Undefined:
      return isUndefined(value);
    case Check::NotDefined:
      return !isDefined(value);
    case Check::NonZero:
      return value != 0.0;
  }
  return false;
}

// A test of one operand on the row's own grid. The operand is a per-grid array for most
// tables, or a symbolic quantity resolved by the table (the orders of an order member).
template <typename Operand>
struct Test {
  Operand operand;
  Check check;
};

template <typename Operand>
constexpr Test<Operand> defined(Operand operand) {
  return {operand, Check::Defined};
}
template <typename Operand>
constexpr Test<Operand> undefined(Operand operand) {
  return {operand, Check::Undefined};
}
template <typename Operand>
constexpr Test<Operand> notDefined(Operand operand) {
  return {operand, Check::NotDefined};
}
template <typename Operand>
constexpr Test<Operand> nonZero(Operand operand) {
  return {operand, Check::NonZero};
}

// The last grid of a rule that runs to the finest grid ("..gridCount").
inline constexpr int kLastGrid = std::numeric_limits<int>::max();

// One line of a row schedule: grids first..last (counted as the table counts them, see
// writeScheduledRows), the tests that must all pass, the row format exactly as the layout
// gives it, and the columns written after h, in order. A column that the format leaves blank
// is simply not listed; the format's positioning keeps the columns to its right in place.
template <typename Operand, typename Column>
struct RowRule {
  RowRule(int firstGrid, int lastGrid, std::initializer_list<Test<Operand>> rowTests,
          std::string_view formatText, std::initializer_list<Column> rowColumns)
      : first(firstGrid),
        last(lastGrid),
        tests(rowTests),
        format(formatText),
        columns(rowColumns) {}

  int first;
  int last;
  std::vector<Test<Operand>> tests;
  Format format;
  std::vector<Column> columns;
};

// The rows of a table for grids 1..grid.count. The first `shift` grids get a row of h alone,
// written with `leading`; grid i > shift is grid i - shift of the rules (a schedule delayed
// by `shift` grids). The tests are made on grid i itself: operandAt(operand, i) gives the
// value tested, itemAt(column, i) the item written.
template <typename Operand, typename Column, typename OperandAt, typename ItemAt>
void writeScheduledRows(FormattedRecordWriter& out, const GridSeries& grid,
                        const std::vector<RowRule<Operand, Column>>& rules, OperandAt operandAt,
                        ItemAt itemAt, int shift = 0, const Format* leading = nullptr) {
  assert(shift == 0 || leading != nullptr);
  std::vector<FormatItem> items;
  items.reserve(16);
  for (int i = 1; i <= grid.count; ++i) {
    items.clear();
    items.emplace_back(grid.h(i));
    if (i <= shift) {
      out.write(*leading, items);
      continue;
    }
    int scheduled = i - shift;
    for (const RowRule<Operand, Column>& rule : rules) {
      if (scheduled < rule.first || scheduled > rule.last) continue;
      bool pass = true;
      for (const Test<Operand>& test : rule.tests) {
        if (!passes(operandAt(test.operand, i), test.check)) {
          pass = false;
          break;
        }
      }
      if (!pass) continue;
      for (const Column& column : rule.columns) items.push_back(itemAt(column, i));
      out.write(rule.format, items);
      break;
    }
  }
}

// Header lines: an empty line, then "h" at column 3 and the labels of columns 1, 2, ... at
// their columns. A header given fewer labels than its format has places ends after the last
// label given.
//  - wide: columns of 22 characters after h, labels at 15 + 22 (k - 1) (k = 1..11);
//  - narrow: columns of 12 characters after h, labels at 15 + 12 (k - 1) (k = 1..11).
const Format& wideHeader();
const Format& narrowHeader();
void writeHeader(FormattedRecordWriter& out, const Format& header,
                 std::span<const std::string_view> labels);

}  // namespace kv
