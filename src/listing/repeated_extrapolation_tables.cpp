#include "listing/repeated_extrapolation_tables.h"

#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_field.h"
#include "text/format.h"
#include "text/record_writer.h"

namespace kv {

namespace {

// The header is built in a field of this many characters; what passes it is cut off.
constexpr size_t kHeaderLength = 500;

// A quantity of level j at grid i; level 0 is the plain solution Th.
using LevelQuantity = double (*)(const RunData& run, int i, int j);

double levelValue(const RunData& run, int i, int j) {
  return j == 0 ? run.grid.Th(i) : run.grid.T_i(i, j);
}

double levelChange(const RunData& run, int i, int j) {
  const GridSeries& g = run.grid;
  return j == 0 ? g.Th(i) - g.Th(i - 1) : g.T_i(i, j) - g.T_i(i - 1, j);
}

double levelError(const RunData& run, int i, int j) {
  return j == 0 ? run.grid.E_Th(i) : run.params.exactValue - run.grid.T_i(i, j);
}

double levelEstimate(const RunData& run, int i, int j) {
  return j == 0 ? run.grid.Uri_12(i) : run.grid.Uri_12_T_i(i, j);
}

double errorOfTh(const RunData& run, int i, int) { return run.grid.E_Th(i); }

double estimateOfTh(const RunData& run, int i, int) { return run.grid.Uri_12(i); }

struct LevelTableMember {
  LevelMember member;
  // Header: the first label is `first`, the order of level 1 and `firstClose`; the label of
  // level j is `levelPrefix`, j, `levelInfix`, the order of level j + 1 and `levelClose`. The
  // orders appear only when `withOrders` is set.
  std::string_view first;
  std::string_view firstClose;
  std::string_view levelPrefix;
  std::string_view levelInfix;
  std::string_view levelClose;
  bool withOrders;
  // Cell of level j at grid i: numerator / divisor, minus one when `minusOne` is set; without a
  // divisor the cell is the numerator itself. A zero divisor in any cell leaves the whole row out.
  LevelQuantity numerator;
  LevelQuantity divisor;
  bool minusOne;
  // Row i holds h(i), then level 0 from row firstLevelRow - 1 on, then levels 1 to
  // i - firstLevelRow + 1; rows before firstLevelRow - 1 hold h alone.
  int firstLevelRow;
  bool exactOnly;
};

// clang-format off
constexpr LevelTableMember kLevelMembers[] = {
    {.member = LevelMember::T,
     .first = "h           Th(p=", .firstClose = ")",
     .levelPrefix = "             T_", .levelInfix = "i(p=", .levelClose = ")", .withOrders = true,
     .numerator = levelValue, .divisor = nullptr, .minusOne = false,
     .firstLevelRow = 2, .exactOnly = false},
    {.member = LevelMember::DT,
     .first = "h           dTh(p=", .firstClose = ")",
     .levelPrefix = "            dT_", .levelInfix = "i(p=", .levelClose = ")", .withOrders = true,
     .numerator = levelChange, .divisor = nullptr, .minusOne = false,
     .firstLevelRow = 3, .exactOnly = false},
    {.member = LevelMember::E,
     .first = "h           E(Th(p=", .firstClose = "))",
     .levelPrefix = "          E(T_", .levelInfix = "i(p=", .levelClose = "))", .withOrders = true,
     .numerator = levelError, .divisor = nullptr, .minusOne = false,
     .firstLevelRow = 2, .exactOnly = true},
    {.member = LevelMember::ERatio,
     .first = "h           E(Th)/E(Th)", .firstClose = "",
     .levelPrefix = "         E(Th)/E(T_", .levelInfix = "i)", .levelClose = "", .withOrders = false,
     .numerator = errorOfTh, .divisor = levelError, .minusOne = false,
     .firstLevelRow = 2, .exactOnly = true},
    {.member = LevelMember::Uri12,
     .first = "h           Uri_12(Th(p=", .firstClose = "))",
     .levelPrefix = "     Uri_12(T_", .levelInfix = "i(p=", .levelClose = "))", .withOrders = true,
     .numerator = levelEstimate, .divisor = nullptr, .minusOne = false,
     .firstLevelRow = 3, .exactOnly = false},
    {.member = LevelMember::UOverE,
     .first = "h           (U/E-1)(Th(p=", .firstClose = "))",
     .levelPrefix = "    (U/E-1)(T_", .levelInfix = "i(p=", .levelClose = "))", .withOrders = true,
     .numerator = levelEstimate, .divisor = levelError, .minusOne = true,
     .firstLevelRow = 3, .exactOnly = true},
    {.member = LevelMember::URatio,
     .first = "h           U12(Th)/U12(Th)", .firstClose = "",
     .levelPrefix = "     U12(Th)/U12(T_", .levelInfix = "i)", .levelClose = "", .withOrders = false,
     .numerator = estimateOfTh, .divisor = levelEstimate, .minusOne = false,
     .firstLevelRow = 3, .exactOnly = false},
};
// clang-format on

const LevelTableMember& memberOf(LevelMember member) {
  for (const LevelTableMember& m : kLevelMembers) {
    if (m.member == member) return m;
  }
  assert(false && "every level member has a table entry");
  return kLevelMembers[0];
}

// The two-character text of the true order of level m (also for a level beyond the grids).
std::string orderText(const RunData& run, int m) {
  if (m >= 1 && m <= run.grid.count) return run.grid.pV_text(m);
  return twoCharacterText(trueOrder(run.params, m));
}

std::string headerText(const RunData& run, const LevelTableMember& m) {
  std::string first(m.first);
  if (m.withOrders) {
    first += adjusted(orderText(run, 1));
    first += m.firstClose;
  }
  std::string buffer = fixedText(first, kHeaderLength);
  std::string next;
  for (int j = 1; j <= run.grid.count - 1; ++j) {
    std::string levelNumber = twoCharacterText(j);
    next.assign(adjusted(buffer));
    if (j == 1) next += "  ";
    next += m.levelPrefix;
    next += adjusted(levelNumber);
    next += m.levelInfix;
    if (m.withOrders) {
      next += adjusted(orderText(run, j + 1));
      next += m.levelClose;
    }
    next.resize(kHeaderLength, ' ');
    buffer.swap(next);
  }
  return buffer;
}

// The values of row i after h(i); false when the row is left out.
bool rowValues(const RunData& run, const LevelTableMember& m, int i,
               std::vector<FormatItem>& items) {
  int levels = i - m.firstLevelRow + 1;  // level 0 included from levels = 0 on
  for (int j = 0; j <= levels; ++j) {
    double value = m.numerator(run, i, j);
    if (m.divisor != nullptr) {
      double divisor = m.divisor(run, i, j);
      if (divisor == 0.0) return false;
      value = value / divisor;
      if (m.minusOne) value = value - 1.0;
    }
    items.emplace_back(value);
  }
  return true;
}

}  // namespace

void writeLevelTable(FormattedRecordWriter& listing, const RunData& run, LevelMember member) {
  const LevelTableMember& m = memberOf(member);
  if (m.exactOnly && !run.params.hasExact()) return;

  static const Format headerFormat("(/,2X,A)");
  std::string header = headerText(run, m);
  listing.write(headerFormat, {adjusted(header)});

  static const Format rowFormat("(1PE12.4,30(1PE22.14))");
  std::vector<FormatItem> items;
  items.reserve(static_cast<size_t>(run.grid.count) + 1);
  for (int i = 1; i <= run.grid.count; ++i) {
    items.clear();
    items.emplace_back(run.grid.h(i));
    if (!rowValues(run, m, i, items)) continue;
    listing.write(rowFormat, items);
  }
}

void writeTTable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::T);
}
void writeDTTable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::DT);
}
void writeETable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::E);
}
void writeERatioTable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::ERatio);
}
void writeUri12Table(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::Uri12);
}
void writeUOverETable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::UOverE);
}
void writeURatioTable(FormattedRecordWriter& listing, const RunData& run) {
  writeLevelTable(listing, run, LevelMember::URatio);
}

}  // namespace kv
