// The order tables: for each analysed sequence X, a listing table of its effective order pE,
// its apparent order pU, their departures from the reference order q of X and the iterations
// it_pU. One writer serves the five members; what tells them apart is the member table below.
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_field.h"
#include "listing/listing_table.h"
#include "listing/result_tables.h"

namespace kv {

namespace {

using G = GridSeries;

struct OrderMemberEntry {
  OrderMember member;
  int leadingGrids;  // grids on which no order of X exists yet: rows of h alone
  // Header labels at columns 59, 81 and 104 (pE and pU at 15 and 37 are labelled as the series
  // table does); those at 59 and 81 are followed by the text of the reference order q and ")".
  const char* labels[3];
};

// clang-format off
constexpr OrderMemberEntry kOrderMembers[] = {
    {OrderMember::Th, 1,
     {"pE(Th) - pL(", "pU(Th) - pL(", "it_pU(Th)"}},
    {OrderMember::Ti_pU, 3,
     {"pE(Ti_pU) - p2(", "pU(Ti_pU) - p2(", "it_pU(Ti_pU)"}},
    {OrderMember::Tbi_pU, 5,
     {"pE(Tbi_pU) - p3(", "pU(Tbi_pU) - p3(", "it_pU(Tbi_pU)"}},
    {OrderMember::Tc_12, 3,
     {"pE(Tc_12) - p2(", "pU(Tc_12) - p2(", "it_pU(Tc_12)"}},
    {OrderMember::Tc_13, 3,
     {"pE(Tc_13) - p2(", "pU(Tc_13) - p2(", "it_pU(Tc_13)"}},
};
// clang-format on

constexpr bool membersInEnumOrder() {
  for (size_t k = 0; k < std::size(kOrderMembers); ++k) {
    if (static_cast<size_t>(kOrderMembers[k].member) != k) return false;
  }
  return true;
}
static_assert(membersInEnumOrder());

// What the rows test and write besides h: the two orders of X, their departures from q
// (pE - q and pU - q, formed while writing with q as a real) and the iteration count.
enum class OrderQuantity : uint8_t { pE, pU, pE_q, pU_q, it };

// Row formats.
constexpr const char* kPEOnly = "(1PE12.4,1PE22.14,22X,1PE22.14)";  // also h alone
constexpr const char* kOrderFull = "(1PE12.4,4(1PE22.14),I10)";
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
    {2, kLastGrid, {defined(pE),   defined(pU)},        kOrderFull,   {pE, pU, pE_q, pU_q, it}},
    {2, kLastGrid, {defined(pE),   undefined(pU)},      kPEOnly, {pE, pE_q}},
    {2, kLastGrid, {undefined(pE), defined(pU)},        kPUOnly, {pU, pU_q, it}},
    {2, kLastGrid, {undefined(pE), undefined(pU)},      kPEOnly, {}},
  };
  // clang-format on
  return rules;
}

}  // namespace

void writeOrderTable(FormattedRecordWriter& listing, const RunData& run, OrderMember member) {
  static const Format header("(/,T3,'h',T15,A,T37,A,T59,A,A,')',T81,A,A,')',T104,A)");
  static const Format leading(kPEOnly);

  const OrderMemberEntry& entry = kOrderMembers[static_cast<size_t>(member)];
  const OrderSeries& series = orderSeries(member);
  const GridSeries& grid = run.grid;
  const GridArray<double>& pE = grid.*series.pE;
  const GridArray<double>& pU = grid.*series.pU;
  const GridArray<int32_t>& it = grid.*series.it;
  const int32_t q = trueOrder(run.params, series.level);
  const double qReal = static_cast<double>(q);
  const std::string qField = twoCharacterText(q);
  const std::string_view qText = adjusted(qField);

  listing.write(header, {seriesOf(series.pE).listingLabel, seriesOf(series.pU).listingLabel,
                         entry.labels[0], qText, entry.labels[1], qText, entry.labels[2]});
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
      entry.leadingGrids, &leading);
}

}  // namespace kv
