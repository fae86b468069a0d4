// The ratio tables, which judge the error estimates by ratios formed while writing:
// effectivity (estimates against the true error), convergence indices against their safety
// factor, true errors of the extrapolations against each other, and estimates against Uri_12.
// Every divisor of a row is tested against zero first: a grid that fails gets no row.
#include <cmath>
#include <string_view>
#include <vector>

#include "listing/listing_table.h"
#include "listing/result_tables.h"

namespace kv {

namespace {

using G = GridSeries;

// A per-grid value taken as it is or through its magnitude.
struct Term {
  constexpr Term(RealArray values, bool takeMagnitude = false)
      : array(values), magnitude(takeMagnitude) {}
  RealArray array;
  bool magnitude;
};
constexpr Term magnitude(RealArray array) { return {array, true}; }

// What is subtracted from a ratio.
enum class Offset : uint8_t { None, One, Fs };

// A column value: numerator / denominator - offset, or the numerator alone when there is no
// denominator.
struct Quantity {
  Term numerator;
  Term denominator;
  Offset offset;
};
constexpr Quantity plain(RealArray array) { return {array, nullptr, Offset::None}; }
constexpr Quantity ratio(Term numerator, Term denominator) {
  return {numerator, denominator, Offset::None};
}
constexpr Quantity ratioMinusOne(Term numerator, Term denominator) {
  return {numerator, denominator, Offset::One};
}
constexpr Quantity ratioMinusFs(Term numerator, Term denominator) {
  return {numerator, denominator, Offset::Fs};
}

// The arrays the ratio tables read, by the names the tables give them.
constexpr RealArray Ti_pU = &G::Ti_pU;
constexpr RealArray Ud = &G::Ud, Uri_12 = &G::Uri_12, Uri_13 = &G::Uri_13, Uri_pU = &G::Uri_pU,
                    Uri_23 = &G::Uri_23, Uri_bi = &G::Uri_bi, Uri_tri = &G::Uri_tri,
                    Uri_p = &G::Uri_p, GCI_pL = &G::GCI_pL, GCI_p = &G::GCI_p, Uc_12 = &G::Uc_12,
                    Uc_13 = &G::Uc_13;
constexpr RealArray E_Th = &G::E_Th, E_Ti_12 = &G::E_Ti_12, E_Ti_13 = &G::E_Ti_13,
                    E_Ti_pU = &G::E_Ti_pU, E_Ti_23 = &G::E_Ti_23, E_Ti_bi = &G::E_Ti_bi,
                    E_Ti_tri = &G::E_Ti_tri, E_Tc_12 = &G::E_Tc_12, E_Tc_13 = &G::E_Tc_13;

double termAt(const Term& term, const GridSeries& grid, int i) {
  double value = (grid.*term.array)(i);
  return term.magnitude ? std::fabs(value) : value;
}

double quantityAt(const Quantity& quantity, const GridSeries& grid, int i, double Fs) {
  double value = termAt(quantity.numerator, grid, i);
  if (quantity.denominator.array == nullptr) return value;
  value = value / termAt(quantity.denominator, grid, i);
  switch (quantity.offset) {
    case Offset::None:
      return value;
    case Offset::One:
      return value - 1.0;
    case Offset::Fs:
      return value - Fs;
  }
  return value;
}

struct RatioColumn {
  std::string_view label;
  Quantity quantity;
};

using RatioRule = RowRule<RealArray, int>;

struct RatioTable {
  const Format& header;
  std::vector<RatioColumn> columns;  // columns 1..n
  std::vector<RatioRule> rules;
};

void writeRatioTable(FormattedRecordWriter& listing, const RunData& run, const RatioTable& table) {
  const GridSeries& grid = run.grid;
  const double Fs = run.params.Fs;
  std::vector<std::string_view> labels;
  for (const RatioColumn& column : table.columns) labels.push_back(column.label);
  writeHeader(listing, table.header, labels);
  writeScheduledRows(
      listing, grid, table.rules, [&grid](RealArray array, int i) { return (grid.*array)(i); },
      [&grid, &table, Fs](int column, int i) -> FormatItem {
        return quantityAt(table.columns[static_cast<size_t>(column - 1)].quantity, grid, i, Fs);
      });
}

const Format& gciHeader() {
  static const Format header(
      "(/,T3,'h',T15,A,T37,A,T59,A,T81,A,T93,A,T105,A,T117,A,T129,A,T141,A)");
  return header;
}

// Columns 1-3 are 22 characters wide, the ratio columns 12; the last three exist with the
// exact solution only.
std::vector<RatioColumn> gciColumns(bool withTrueError) {
  // clang-format off
  std::vector<RatioColumn> columns = {
    {"Uri_p(Th)",    plain(Uri_p)},
    {"GCI_pL(Th)",   plain(GCI_pL)},
    {"GCI_p(Th)",    plain(GCI_p)},
    {"Urip/U12-1",   ratioMinusOne(Uri_p, Uri_12)},
    {"GpL/|U12|-Fs", ratioMinusFs(GCI_pL, magnitude(Uri_12))},
    {"Gp/|U12|-Fs",  ratioMinusFs(GCI_p, magnitude(Uri_12))},
    {"Urip/Eh-1",    ratioMinusOne(Uri_p, E_Th)},
    {"GpL/|Eh|-Fs",  ratioMinusFs(GCI_pL, magnitude(E_Th))},
    {"Gp/|Eh|-Fs",   ratioMinusFs(GCI_p, magnitude(E_Th))},
  };
  // clang-format on
  if (!withTrueError) columns.erase(columns.begin() + 6, columns.end());
  return columns;
}

}  // namespace

void writeEffectivityTable(FormattedRecordWriter& listing, const RunData& run) {
  constexpr const char* kFull = "(10(1PE12.4))";
  constexpr const char* kNoTri = "(7(1PE12.4),12X,2(1PE12.4))";
  constexpr const char* kShort = "(4(1PE12.4),12X,3(1PE12.4))";
  // clang-format off
  static const RatioTable table = {
    narrowHeader(),
    {
      {"Ud/|Eh|-1",  ratioMinusOne(Ud, magnitude(E_Th))},
      {"U12/Eh-1",   ratioMinusOne(Uri_12, E_Th)},
      {"U13/Eh-1",   ratioMinusOne(Uri_13, E_Th)},
      {"UpU/Eh-1",   ratioMinusOne(Uri_pU, E_Th)},
      {"U23/Eh-1",   ratioMinusOne(Uri_23, E_Th)},
      {"Ubi/Eh-1",   ratioMinusOne(Uri_bi, E_Th)},
      {"Utri/Eh-1",  ratioMinusOne(Uri_tri, E_Th)},
      {"U/|Ec12|-1", ratioMinusOne(Uc_12, magnitude(E_Tc_12))},
      {"U/|Ec13|-1", ratioMinusOne(Uc_13, magnitude(E_Tc_13))},
    },
    {
      // grids         condition                                                        format
      //                                                                                 columns
      {1, 1,         {},                                                                kFull,
                     {}},
      {2, 2,         {nonZero(E_Th)},                                                   kFull,
                     {1, 2}},
      {3, 3,         {nonZero(E_Tc_13), nonZero(E_Tc_12), defined(Ti_pU), nonZero(E_Th)}, kNoTri,
                     {1, 2, 3, 4, 5, 6, 8, 9}},
      {3, 3,         {undefined(Ti_pU), nonZero(E_Th)},                                 kShort,
                     {1, 2, 3, 5, 6}},
      {4, kLastGrid, {nonZero(E_Tc_13), nonZero(E_Tc_12), defined(Ti_pU), nonZero(E_Th)}, kFull,
                     {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {4, kLastGrid, {undefined(Ti_pU), nonZero(E_Th)},                                 kShort,
                     {1, 2, 3, 5, 6, 7}},
    },
  };
  // clang-format on
  writeRatioTable(listing, run, table);
}

void writeGciTable(FormattedRecordWriter& listing, const RunData& run) {
  constexpr const char* kFull = "(1PE12.4,3(1PE22.14),6(1PE12.4))";
  constexpr const char* kShort = "(1PE12.4,22X,1PE22.14,34X,1PE12.4,24X,1PE12.4)";
  // clang-format off
  // With the exact solution: columns 1-9.
  static const RatioTable withTrueError = {
    gciHeader(),
    gciColumns(true),
    {
      // grids         condition                                           format
      //                                                                    columns
      {1, 1,         {},                                                  kFull,
                     {}},
      {2, 2,         {nonZero(E_Th), nonZero(Uri_12)},                    kShort,
                     {2, 5, 8}},
      {3, kLastGrid, {nonZero(Uri_12), defined(Ti_pU), nonZero(E_Th)},   kFull,
                     {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {3, kLastGrid, {nonZero(Uri_12), undefined(Ti_pU), nonZero(E_Th)}, kShort,
                     {2, 5, 8}},
    },
  };
  // Without it: columns 1-6.
  static const RatioTable againstEstimateOnly = {
    gciHeader(),
    gciColumns(false),
    {
      // grids         condition                            format
      //                                                      columns
      {1, 1,         {},                                    kFull,
                     {}},
      {2, 2,         {nonZero(Uri_12)},                     kShort,
                     {2, 5}},
      {3, kLastGrid, {defined(Ti_pU), nonZero(Uri_12)},     kFull,
                     {1, 2, 3, 4, 5, 6}},
      {3, kLastGrid, {undefined(Ti_pU), nonZero(Uri_12)},   kShort,
                     {2, 5}},
    },
  };
  // clang-format on
  writeRatioTable(listing, run, run.params.hasExact() ? withTrueError : againstEstimateOnly);
}

void writeTrueErrorRatioTable(FormattedRecordWriter& listing, const RunData& run) {
  constexpr const char* kFull = "(12(1PE12.4))";
  constexpr const char* kNoTri = "(6(1PE12.4),12X,5(1PE12.4))";
  constexpr const char* kShort = "(3(1PE12.4),12X,3(1PE12.4))";
  // clang-format off
  static const RatioTable table = {
    narrowHeader(),
    {
      {"Eh/Ei12",    ratio(E_Th, E_Ti_12)},
      {"Ei13/Ei12",  ratio(E_Ti_13, E_Ti_12)},
      {"EipU/Ei12",  ratio(E_Ti_pU, E_Ti_12)},
      {"Ei23/Ei12",  ratio(E_Ti_23, E_Ti_12)},
      {"E_bi/Ei12",  ratio(E_Ti_bi, E_Ti_12)},
      {"E_tri/Ei12", ratio(E_Ti_tri, E_Ti_12)},
      {"Ec12/Ei12",  ratio(E_Tc_12, E_Ti_12)},
      {"Ec13/Ei12",  ratio(E_Tc_13, E_Ti_12)},
      {"Eh/Ec12",    ratio(E_Th, E_Tc_12)},
      {"Eh/Ec13",    ratio(E_Th, E_Tc_13)},
      {"Ec13/Ec12",  ratio(E_Tc_13, E_Tc_12)},
    },
    {
      // grids         condition                                                           format
      //                                                                                    columns
      {1, 1,         {},                                                                   kFull,
                     {}},
      {2, 2,         {nonZero(E_Ti_12)},                                                   kFull,
                     {1}},
      {3, 3,         {nonZero(E_Tc_13), nonZero(E_Tc_12), defined(Ti_pU), nonZero(E_Ti_12)}, kNoTri,
                     {1, 2, 3, 4, 5, 7, 8, 9, 10, 11}},
      {3, 3,         {undefined(Ti_pU), nonZero(E_Ti_12)},                                 kShort,
                     {1, 2, 4, 5}},
      {4, kLastGrid, {nonZero(E_Tc_13), nonZero(E_Tc_12), defined(Ti_pU), nonZero(E_Ti_12)}, kFull,
                     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {4, kLastGrid, {undefined(Ti_pU), nonZero(E_Ti_12)},                                 kShort,
                     {1, 2, 4, 5, 6}},
    },
  };
  // clang-format on
  writeRatioTable(listing, run, table);
}

void writeEstimatorRatioTable(FormattedRecordWriter& listing, const RunData& run) {
  constexpr const char* kFull = "(10(1PE12.4))";
  constexpr const char* kNoTri = "(6(1PE12.4),12X,3(1PE12.4))";
  constexpr const char* kShort = "(3(1PE12.4),12X,3(1PE12.4))";
  // clang-format off
  static const RatioTable table = {
    narrowHeader(),
    {
      {"Ud/U12-1",   ratioMinusOne(Ud, Uri_12)},
      {"U13/U12-1",  ratioMinusOne(Uri_13, Uri_12)},
      {"UpU/U12-1",  ratioMinusOne(Uri_pU, Uri_12)},
      {"U23/U12-1",  ratioMinusOne(Uri_23, Uri_12)},
      {"Ubi/U12-1",  ratioMinusOne(Uri_bi, Uri_12)},
      {"Utri/U12-1", ratioMinusOne(Uri_tri, Uri_12)},
      {"|U12|/Uc12", ratio(magnitude(Uri_12), Uc_12)},
      {"|U12|/Uc13", ratio(magnitude(Uri_12), Uc_13)},
      {"Uc13/Uc12",  ratio(Uc_13, Uc_12)},
    },
    {
      // grids         condition                                                     format
      //                                                                              columns
      {1, 1,         {},                                                             kFull,
                     {}},
      {2, 2,         {nonZero(Uri_12)},                                              kFull,
                     {1}},
      {3, 3,         {nonZero(Uc_13), nonZero(Uc_12), defined(Ti_pU), nonZero(Uri_12)}, kNoTri,
                     {1, 2, 3, 4, 5, 7, 8, 9}},
      {3, 3,         {undefined(Ti_pU), nonZero(Uri_12)},                            kShort,
                     {1, 2, 4, 5}},
      {4, kLastGrid, {nonZero(Uc_13), nonZero(Uc_12), defined(Ti_pU), nonZero(Uri_12)}, kFull,
                     {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {4, kLastGrid, {undefined(Ti_pU), nonZero(Uri_12)},                            kShort,
                     {1, 2, 4, 5, 6}},
    },
  };
  // clang-format on
  writeRatioTable(listing, run, table);
}

}  // namespace kv
