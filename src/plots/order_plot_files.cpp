#include "plots/order_plot_files.h"

#include <iterator>
#include <vector>

#include "plots/output_files.h"
#include "plots/plot_file.h"

namespace kv {

namespace {

struct OrderPlotFile {
  OutputFile file;    // OutputFile::None: the member has no such file
  const char* label;  // header label at column 27 (nullptr: the label of the series)
  int firstGrid;
};

struct OrderFiles {
  OrderMember member;
  OrderPlotFile orderFile;  // log10(h) and q on every grid
  OrderPlotFile pEFile;
  OrderPlotFile pUFile;
};

using enum OutputFile;
// clang-format off
constexpr OrderFiles kMembers[] = {
    {OrderMember::Th,     {pL_dat, "pL", 1},    {pE_h_dat, nullptr, 2},     {pU_h_dat, nullptr, 3}},
    {OrderMember::Ti_pU,  {p2_dat, "pV(2)", 1}, {pE_i_dat, nullptr, 4},     {pU_i_dat, nullptr, 5}},
    {OrderMember::Tbi_pU, {p3_dat, "pV(3)", 1}, {pE_bi_dat, nullptr, 6},   {pU_bi_dat, nullptr, 7}},
    {OrderMember::Tc_12,  {None, nullptr, 1},   {pE_c12_dat, nullptr, 4}, {pU_c12_dat, nullptr, 5}},
    {OrderMember::Tc_13,  {None, nullptr, 1},   {pE_c13_dat, nullptr, 4}, {pU_c13_dat, nullptr, 5}},
};
// clang-format on

constexpr bool membersInEnumOrder() {
  for (size_t k = 0; k < std::size(kMembers); ++k) {
    if (static_cast<size_t>(kMembers[k].member) != k) return false;
  }
  return true;
}
static_assert(membersInEnumOrder());

// A per-grid file of one order of X: the order where it is defined, else an empty line.
void writeOrderFile(const OrderPlotFile& file, const GridSeries& grid,
                    GridArray<double> GridSeries::*series) {
  static const Format record("(1PE12.4,1PE22.14,22X,1PE22.14)");
  const GridArray<double>& order = grid.*series;
  writePlotFile(std::string(outputFileName(file.file)), PlotHeaderStyle::LabelsAt27,
                {seriesOf(series).plotLabel}, record, grid, file.firstGrid,
                [&order](int i, std::vector<FormatItem>& items) {
                  if (!isDefined(order(i))) return false;
                  items.emplace_back(order(i));
                  return true;
                });
}

}  // namespace

void writeOrderPlotFiles(const RunData& run, OrderMember member) {
  static const Format referenceRecord("(1PE12.4,I8)");
  const OrderFiles& entry = kMembers[static_cast<size_t>(member)];
  const OrderSeries& series = orderSeries(member);
  const GridSeries& grid = run.grid;
  const int32_t q = trueOrder(run.params, series.level);
  if (entry.orderFile.file != None) {
    writePlotFile(std::string(outputFileName(entry.orderFile.file)), PlotHeaderStyle::LabelsAt27,
                  {entry.orderFile.label}, referenceRecord, grid, entry.orderFile.firstGrid,
                  [q](int, std::vector<FormatItem>& items) {
                    items.emplace_back(q);
                    return true;
                  });
  }
  writeOrderFile(entry.pEFile, grid, series.pE);
  writeOrderFile(entry.pUFile, grid, series.pU);
}

}  // namespace kv
