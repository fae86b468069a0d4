// The order report: for each analysed sequence X, a listing table of its effective order pE,
// its apparent order pU, their departures from the reference order q of X and the iterations
// it_pU, then the plot data files of those orders. One writer serves the five members; what
// tells them apart is the member table below.
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "reports/listing_table.h"
#include "reports/plot_file.h"
#include "reports/reports.h"
#include "text/text_field.h"

namespace kv {

namespace {

using G = GridSeries;

struct OrderPlotFile {
  const char* name;   // nullptr: the member has no such file
  const char* label;  // header label at column 27
  int firstGrid;
};

struct OrderMemberEntry {
  OrderMember member;
  int s;      // leading grids on which no order of X exists yet
  int level;  // m: the reference order q of X is pV(m)
  // Header labels at columns 15, 37, 59, 81 and 104; those at 59 and 81 are followed by the
  // text of q and ")".
  const char* labels[5];
  RealArray pE;
  RealArray pU;
  CountArray it;
  OrderPlotFile orderFile;  // log10(h) and q on every grid
  OrderPlotFile pEFile;
  OrderPlotFile pUFile;
};

// Per member: X, s, m (q = pV(m)); the header labels; the arrays pE(X), pU(X), it_pU(X); the
// order file, the pE file and the pU file, each as (name, label, first grid).
// clang-format off
constexpr OrderMemberEntry kMembers[] = {
    {OrderMember::Th, 1, 1,
     {"pE(Th)", "pU(Th)", "pE(Th) - pL(", "pU(Th) - pL(", "it_pU(Th)"},
     &G::pE_Th, &G::pU_Th, &G::it_pU_Th,
     {"pL.dat", "pL", 1}, {"pE_h.dat", "pE_h", 2}, {"pU_h.dat", "pU_h", 3}},
    {OrderMember::Ti_pU, 3, 2,
     {"pE(Ti_pU)", "pU(Ti_pU)", "pE(Ti_pU) - p2(", "pU(Ti_pU) - p2(", "it_pU(Ti_pU)"},
     &G::pE_Ti_pU, &G::pU_Ti_pU, &G::it_pU_Ti_pU,
     {"p2.dat", "pV(2)", 1}, {"pE_i.dat", "pE_i", 4}, {"pU_i.dat", "pU_i", 5}},
    {OrderMember::Tbi_pU, 5, 3,
     {"pE(Tbi_pU)", "pU(Tbi_pu)", "pE(Tbi_pU) - p3(", "pU(Tbi_pU) - p3(", "it_pU(Tbi_pU)"},
     &G::pE_Tbi_pU, &G::pU_Tbi_pU, &G::it_pU_Tbi_pU,
     {"p3.dat", "pV(3)", 1}, {"pE_bi.dat", "pE_bi", 6}, {"pU_bi.dat", "pU_bi", 7}},
    {OrderMember::Tc_12, 3, 2,
     {"pE(Tc_12)", "pU(Tc_12)", "pE(Tc_12) - p2(", "pU(Tc_12) - p2(", "it_pU(Tc_12)"},
     &G::pE_Tc_12, &G::pU_Tc_12, &G::it_pU_Tc_12,
     {nullptr, nullptr, 1}, {"pE_c12.dat", "pE_c12", 4}, {"pU_c12.dat", "pU_c12", 5}},
    {OrderMember::Tc_13, 3, 2,
     {"pE(Tc_13)", "pU(Tc_13)", "pE(Tc_13) - p2(", "pU(Tc_13) - p2(", "it_pU(Tc_13)"},
     &G::pE_Tc_13, &G::pU_Tc_13, &G::it_pU_Tc_13,
     {nullptr, nullptr, 1}, {"pE_c13.dat", "pE_c13", 4}, {"pU_c13.dat", "pU_c13", 5}},
};
// clang-format on

constexpr bool membersInEnumOrder() {
  for (size_t k = 0; k < std::size(kMembers); ++k) {
    if (static_cast<size_t>(kMembers[k].member) != k) return false;
  }
  return true;
}
static_assert(membersInEnumOrder());

// What the rows test and write besides h: the two orders of X, their departures from q
// (pE - q and pU - q, formed while writing with q as a real) and the iteration count.
enum class OrderQuantity : uint8_t { pE, pU, pE_q, pU_q, it };

// Row formats.
constexpr const char* kPEOnly = "(1PE12.4,1PE22.14,22X,1PE22.14)";  // also h alone
constexpr const char* kFull = "(1PE12.4,4(1PE22.14),I10)";
constexpr const char* kPUOnly = "(1PE12.4,22X,1PE22.14,22X,1PE22.14,I10)";

using OrderRule = RowRule<OrderQuantity, OrderQuantity>;

// The rows after the member's first s grids (which show h alone, with kPEOnly): grid 1 here is
// grid s + 1 of the member.
const std::vector<OrderRule>& orderSchedule() {
  using enum OrderQuantity;
  // clang-format off
  static const std::vector<OrderRule> rules = {
    // grids         condition                          format   values after h
    {1, 1,         {defined(pE)},                       kPEOnly, {pE, pE_q}},
    {1, 1,         {notDefined(pE)},                    kPEOnly, {}},
    {2, kLastGrid, {defined(pE),   defined(pU)},        kFull,   {pE, pU, pE_q, pU_q, it}},
    {2, kLastGrid, {defined(pE),   undefined(pU)},      kPEOnly, {pE, pE_q}},
    {2, kLastGrid, {undefined(pE), defined(pU)},        kPUOnly, {pU, pU_q, it}},
    {2, kLastGrid, {undefined(pE), undefined(pU)},      kPEOnly, {}},
  };
  // clang-format on
  return rules;
}

// A per-grid file of one order of X: the order where it is below definedLimit, else an empty
// line.
void writeOrderFile(const OrderPlotFile& file, const GridSeries& grid,
                    const GridArray<double>& order) {
  static const Format record(kPEOnly);
  writePlotFile(file.name, PlotHeaderStyle::A, {file.label}, record, grid, file.firstGrid,
                [&order](int i, std::vector<FormatItem>& items) {
                  if (!passes(order(i), Check::Defined)) return false;
                  items.emplace_back(order(i));
                  return true;
                });
}

}  // namespace

void writeOrderReport(Run& run, OrderMember member) {
  static const Format header("(/,T3,'h',T15,A,T37,A,T59,A,A,')',T81,A,A,')',T104,A)");
  static const Format leading(kPEOnly);
  static const Format referenceRecord("(1PE12.4,I8)");

  const OrderMemberEntry& entry = kMembers[static_cast<size_t>(member)];
  const GridSeries& grid = run.grid;
  const GridArray<double>& pE = grid.*entry.pE;
  const GridArray<double>& pU = grid.*entry.pU;
  const GridArray<int32_t>& it = grid.*entry.it;
  const int32_t q = trueOrder(run.params, entry.level);
  const double qReal = static_cast<double>(q);
  const std::string qField = trueOrderText(q);
  const std::string_view qText = adjusted(qField);

  FormattedRecordWriter& listing = *run.listing;
  listing.write(header, {entry.labels[0], entry.labels[1], entry.labels[2], qText, entry.labels[3],
                         qText, entry.labels[4]});
  writeScheduledRows(
      listing, grid, orderSchedule(),
      [&](OrderQuantity tested, int i) { return tested == OrderQuantity::pE ? pE(i) : pU(i); },
      [&](OrderQuantity value, int i) -> FormatItem {
        switch (value) {
          case OrderQuantity::pE:
            return pE(i);
          case OrderQuantity::pU:
            return pU(i);
          case OrderQuantity::pE_q:
            return pE(i) - qReal;
          case OrderQuantity::pU_q:
            return pU(i) - qReal;
          case OrderQuantity::it:
            return it(i);
        }
        return 0;
      },
      entry.s, &leading);

  if (entry.orderFile.name != nullptr) {
    writePlotFile(entry.orderFile.name, PlotHeaderStyle::A, {entry.orderFile.label},
                  referenceRecord, grid, entry.orderFile.firstGrid,
                  [q](int, std::vector<FormatItem>& items) {
                    items.emplace_back(q);
                    return true;
                  });
  }
  writeOrderFile(entry.pEFile, grid, pE);
  writeOrderFile(entry.pUFile, grid, pU);
}

}  // namespace kv
