#include "plots/plot_file.h"

#include <algorithm>

#include "base/numerics.h"

namespace kv {

namespace {

const Format& headerFormat(PlotHeaderStyle style) {
  static const Format styleA("('#',T4,'log(h)',T27,A,T50,A)");
  static const Format styleB("('#',T3,'log(h)',T15,A,T37,A,T59,A)");
  return style == PlotHeaderStyle::LabelsAt27 ? styleA : styleB;
}

}  // namespace

PlotFile::PlotFile(std::string name, PlotHeaderStyle style,
                   std::span<const std::string_view> labels)
    : out_(kPlotUnit, std::move(name)) {
  std::vector<FormatItem> items(labels.begin(), labels.end());
  out_.write(headerFormat(style), items);
}

void writePlotFile(std::string name, PlotHeaderStyle style,
                   std::initializer_list<std::string_view> labels, const Format& format,
                   const GridSeries& grid, int firstGrid, const PlotRecord& record) {
  writePlotFile(std::move(name), style,
                std::span<const std::string_view>(labels.begin(), labels.size()), format, grid,
                firstGrid, record);
}

void writePlotFile(std::string name, PlotHeaderStyle style,
                   std::span<const std::string_view> labels, const Format& format,
                   const GridSeries& grid, int firstGrid, const PlotRecord& record) {
  PlotFile file(std::move(name), style, labels);
  std::vector<FormatItem> items;
  items.reserve(12);
  for (int i = std::max(firstGrid, 1); i <= grid.count; ++i) {
    items.clear();
    items.emplace_back(kv::log10(grid.h(i)));
    if (record(i, items)) {
      file.write(format, items);
    } else {
      file.writeEmptyLine();
    }
  }
  file.close();
}

}  // namespace kv
