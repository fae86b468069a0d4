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

using EstimatorRule = RowRule<RealArray, int>;

struct EstimatorTableForm {
  std::vector<RealArray> columns;  // columns 1..n, labelled as the series table labels them
  std::vector<EstimatorRule> rules;
};

// With the exact solution: eleven columns.
const EstimatorTableForm& withTrueErrors() {
  constexpr const char* kFull = "(1PE12.4,11(1PE22.14))";
  constexpr const char* kNoTri = "(1PE12.4,6(1PE22.14),22X,4(1PE22.14))";
  constexpr const char* kNoPU = "(1PE12.4,3(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)";
  // clang-format off
  static const EstimatorTableForm form = {
    {
      &G::E_Th,     // 1
      &G::Uri_12,   // 2
      &G::Uri_13,   // 3
      &G::Uri_pU,   // 4
      &G::Uri_23,   // 5
      &G::Uri_bi,   // 6
      &G::Uri_tri,  // 7
      &G::Uc_12,    // 8
      &G::Uc_13,    // 9
      &G::E_Tc_12,  // 10
      &G::E_Tc_13,  // 11
    },
    {
      // grids         condition           format  columns
      {1, 1,         {},                 kFull,  {1}},
      {2, 2,         {},                 kFull,  {1, 2}},
      {3, 3,         {defined(&G::Ti_pU)},   kNoTri, {1, 2, 3, 4, 5, 6, 8, 9, 10, 11}},
      {3, 3,         {undefined(&G::Ti_pU)}, kNoPU,  {1, 2, 3, 5, 6}},
      {4, kLastGrid, {defined(&G::Ti_pU)},   kFull,  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {4, kLastGrid, {undefined(&G::Ti_pU)}, kNoPU,  {1, 2, 3, 5, 6, 7}},
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
      &G::Uri_12,   // 1
      &G::Uri_13,   // 2
      &G::Uri_pU,   // 3
      &G::Uri_23,   // 4
      &G::Uri_bi,   // 5
      &G::Uri_tri,  // 6
      &G::Uc_12,    // 7
      &G::Uc_13,    // 8
    },
    {
      // grids         condition           format  columns
      {1, 1,         {},                 kFull,  {}},
      {2, 2,         {},                 kFull,  {1}},
      {3, 3,         {defined(&G::Ti_pU)},   kNoTri, {1, 2, 3, 4, 5, 7, 8}},
      {3, 3,         {undefined(&G::Ti_pU)}, kNoPU,  {1, 2, 4, 5}},
      {4, kLastGrid, {defined(&G::Ti_pU)},   kFull,  {1, 2, 3, 4, 5, 6, 7, 8}},
      {4, kLastGrid, {undefined(&G::Ti_pU)}, kNoPU,  {1, 2, 4, 5, 6}},
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
  for (RealArray column : form.columns) labels.push_back(seriesOf(column).listingLabel);
  writeHeader(listing, wideHeader(), labels);
  writeScheduledRows(
      listing, grid, form.rules, [&grid](RealArray array, int i) { return (grid.*array)(i); },
      [&grid, &form](int column, int i) -> FormatItem {
        return (grid.*form.columns[static_cast<size_t>(column - 1)])(i);
      });
}

}  // namespace kv
