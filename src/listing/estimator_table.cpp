// The estimator table: every estimator of the error of Th, grid by grid, with the true errors
// beside them when the exact solution is known.
#include <cmath>
#include <string_view>
#include <vector>

#include "listing/listing_table.h"
#include "listing/result_tables.h"

namespace kv {

namespace {

using G = GridSeries;

struct EstimatorColumn {
  std::string_view label;
  RealArray value;
};

using EstimatorRule = RowRule<RealArray, int>;

struct EstimatorTableForm {
  std::vector<EstimatorColumn> columns;  // columns 1..n
  std::vector<EstimatorRule> rules;
};

constexpr RealArray Ti_pU = &G::Ti_pU;

// With the exact solution: eleven columns.
const EstimatorTableForm& withTrueErrors() {
  constexpr const char* kFull = "(1PE12.4,11(1PE22.14))";
  constexpr const char* kNoTri = "(1PE12.4,6(1PE22.14),22X,4(1PE22.14))";
  constexpr const char* kNoPU = "(1PE12.4,3(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)";
  // clang-format off
  static const EstimatorTableForm form = {
    {
      {"E(Th)",       &G::E_Th},     // 1
      {"Uri_12(Th)",  &G::Uri_12},   // 2
      {"Uri_13(Th)",  &G::Uri_13},   // 3
      {"Uri_pU(Th)",  &G::Uri_pU},   // 4
      {"Uri_23(Th)",  &G::Uri_23},   // 5
      {"Uri_bi(Th)",  &G::Uri_bi},   // 6
      {"Uri_tri(Th)", &G::Uri_tri},  // 7
      {"Uc(Tc_12)",   &G::Uc_12},    // 8
      {"Uc(Tc_13)",   &G::Uc_13},    // 9
      {"E(Tc_12)",    &G::E_Tc_12},  // 10
      {"E(Tc_13)",    &G::E_Tc_13},  // 11
    },
    {
      // grids         condition           format  columns
      {1, 1,         {},                 kFull,  {1}},
      {2, 2,         {},                 kFull,  {1, 2}},
      {3, 3,         {defined(Ti_pU)},   kNoTri, {1, 2, 3, 4, 5, 6, 8, 9, 10, 11}},
      {3, 3,         {undefined(Ti_pU)}, kNoPU,  {1, 2, 3, 5, 6}},
      {4, kLastGrid, {defined(Ti_pU)},   kFull,  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {4, kLastGrid, {undefined(Ti_pU)}, kNoPU,  {1, 2, 3, 5, 6, 7}},
    },
  };
  // clang-format on
  return form;
}

// Without it: eight columns.
const EstimatorTableForm& estimatesOnly() {
  constexpr const char* kFull = "(1PE12.4,8(1PE22.14))";
  constexpr const char* kNoTri = "(1PE12.4,5(1PE22.14),22X,2(1PE22.14))";
  constexpr const char* kNoPU = "(1PE12.4,2(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)";
  // clang-format off
  static const EstimatorTableForm form = {
    {
      {"Uri_12(Th)",  &G::Uri_12},   // 1
      {"Uri_13(Th)",  &G::Uri_13},   // 2
      {"Uri_pU(Th)",  &G::Uri_pU},   // 3
      {"Uri_23(Th)",  &G::Uri_23},   // 4
      {"Uri_bi(Th)",  &G::Uri_bi},   // 5
      {"Uri_tri(Th)", &G::Uri_tri},  // 6
      {"Uc(Tc_12)",   &G::Uc_12},    // 7
      {"Uc(Tc_13)",   &G::Uc_13},    // 8
    },
    {
      // grids         condition           format  columns
      {1, 1,         {},                 kFull,  {}},
      {2, 2,         {},                 kFull,  {1}},
      {3, 3,         {defined(Ti_pU)},   kNoTri, {1, 2, 3, 4, 5, 7, 8}},
      {3, 3,         {undefined(Ti_pU)}, kNoPU,  {1, 2, 4, 5}},
      {4, kLastGrid, {defined(Ti_pU)},   kFull,  {1, 2, 3, 4, 5, 6, 7, 8}},
      {4, kLastGrid, {undefined(Ti_pU)}, kNoPU,  {1, 2, 4, 5, 6}},
    },
  };
  // clang-format on
  return form;
}

}  // namespace

void writeEstimatorTable(FormattedRecordWriter& listing, const RunData& run) {
  const GridSeries& grid = run.grid;
  const EstimatorTableForm& form = run.params.hasExact() ? withTrueErrors() : estimatesOnly();
  std::vector<std::string_view> labels;
  for (const EstimatorColumn& column : form.columns) labels.push_back(column.label);
  writeHeader(listing, wideHeader(), labels);
  writeScheduledRows(
      listing, grid, form.rules, [&grid](RealArray array, int i) { return (grid.*array)(i); },
      [&grid, &form](int column, int i) -> FormatItem {
        return (grid.*form.columns[static_cast<size_t>(column - 1)].value)(i);
      });
}

}  // namespace kv
