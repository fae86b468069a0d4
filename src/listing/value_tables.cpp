// The value, difference and true-error tables: Th and the nine extrapolated and convergent
// values of the run side by side, their changes from the previous grid, and their true
// errors. The three share one column layout and one row schedule.
#include <string_view>
#include <vector>

#include "listing/listing_table.h"
#include "listing/result_tables.h"

namespace kv {

namespace {

using G = GridSeries;

// The error's label comes from the series table.
struct SequenceColumn {
  std::string_view valueLabel;
  std::string_view differenceLabel;
  RealArray value;
  RealArray error;
};

// Columns 1..10, each 22 characters wide after the 12 of h.
constexpr SequenceColumn kColumns[] = {
    {"Th", "dTh", &G::Th, &G::E_Th},
    {"Ti_12", "dTi_12", &G::Ti_12, &G::E_Ti_12},
    {"Ti_13", "dTi_13", &G::Ti_13, &G::E_Ti_13},
    {"Ti_pU", "dTi_pU", &G::Ti_pU, &G::E_Ti_pU},
    {"Ti_23", "dTi_23", &G::Ti_23, &G::E_Ti_23},
    {"Ti_bi", "dTi_bi", &G::Ti_bi, &G::E_Ti_bi},
    {"Ti_tri", "dTi_tri", &G::Ti_tri, &G::E_Ti_tri},
    {"Tc_12", "dTc_12", &G::Tc_12, &G::E_Tc_12},
    {"Tc_13", "dTc_13", &G::Tc_13, &G::E_Tc_13},
    {"Tbi_pU", "dTbi_pU", &G::Tbi_pU, &G::E_Tbi_pU},
};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

// Row shapes.
constexpr const char* kFull = "(1PE12.4,10(1PE22.14))";
constexpr const char* kNoTri = "(1PE12.4,6(1PE22.14),22X,3(1PE22.14))";
constexpr const char* kNoPU = "(1PE12.4,3(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)";

using ValueRule = RowRule<RealArray, int>;

// The schedule of the value table, which the true-error table follows as it is and the
// difference table one grid later. The tests look at Ti_pU and Tbi_pU of the row's own grid.
const std::vector<ValueRule>& valueSchedule() {
  constexpr RealArray Ti_pU = &G::Ti_pU;
  constexpr RealArray Tbi_pU = &G::Tbi_pU;
  // clang-format off
  static const std::vector<ValueRule> rules = {
    // grids         condition                            shape   columns
    {1, 1,         {},                                    kFull,  {1}},
    {2, 2,         {},                                    kFull,  {1, 2}},
    {3, 3,         {defined(Ti_pU)},                      kNoTri, {1, 2, 3, 4, 5, 6, 8, 9}},
    {3, 3,         {undefined(Ti_pU)},                    kNoPU,  {1, 2, 3, 5, 6}},
    {4, 4,         {defined(Ti_pU)},                      kFull,  {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {4, 4,         {undefined(Ti_pU)},                    kNoPU,  {1, 2, 3, 5, 6, 7}},
    {5, kLastGrid, {defined(Ti_pU),   defined(Tbi_pU)},   kFull,  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    {5, kLastGrid, {defined(Ti_pU),   undefined(Tbi_pU)}, kFull,  {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {5, kLastGrid, {undefined(Ti_pU), defined(Tbi_pU)},   kNoPU,  {1, 2, 3, 5, 6, 7, 10}},
    {5, kLastGrid, {undefined(Ti_pU), undefined(Tbi_pU)}, kNoPU,  {1, 2, 3, 5, 6, 7}},
  };
  // clang-format on
  return rules;
}

enum class ValueKind : uint8_t { Value, Difference, Error };

void writeSequenceTable(FormattedRecordWriter& listing, const RunData& run, ValueKind kind) {
  static const Format leading(kFull);
  const GridSeries& grid = run.grid;
  std::string_view labels[kColumnCount];
  for (int k = 0; k < kColumnCount; ++k) {
    labels[k] = kind == ValueKind::Value        ? kColumns[k].valueLabel
                : kind == ValueKind::Difference ? kColumns[k].differenceLabel
                                                : seriesOf(kColumns[k].error).listingLabel;
  }
  writeHeader(listing, wideHeader(), labels);

  auto operandAt = [&grid](RealArray array, int i) { return (grid.*array)(i); };
  auto itemAt = [&grid, kind](int column, int i) -> FormatItem {
    const SequenceColumn& c = kColumns[column - 1];
    switch (kind) {
      case ValueKind::Value:
        return (grid.*c.value)(i);
      case ValueKind::Difference:
        return (grid.*c.value)(i) - (grid.*c.value)(i - 1);
      case ValueKind::Error:
        return (grid.*c.error)(i);
    }
    return 0.0;
  };
  // The difference of grid i needs grid i - 1: grid 1 shows h alone and the schedule starts
  // one grid later.
  int shift = kind == ValueKind::Difference ? 1 : 0;
  writeScheduledRows(listing, grid, valueSchedule(), operandAt, itemAt, shift, &leading);
}

}  // namespace

void writeValueTable(FormattedRecordWriter& listing, const RunData& run) {
  writeSequenceTable(listing, run, ValueKind::Value);
}

void writeDifferenceTable(FormattedRecordWriter& listing, const RunData& run) {
  writeSequenceTable(listing, run, ValueKind::Difference);
}

void writeTrueErrorTable(FormattedRecordWriter& listing, const RunData& run) {
  writeSequenceTable(listing, run, ValueKind::Error);
}

}  // namespace kv
