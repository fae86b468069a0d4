// Plot data files: the small plain-text files that gnuplot reads. Every one of them has the
// same layout:
//  - a fixed name in the working directory, rewritten from its start;
//  - one file open at a time on the plot unit (11): opened, written and closed before the next
//    one is opened, while the listing stays open on its own unit;
//  - record 1, a header for gnuplot: "#" in column 1, then "log(h)" and the value labels at
//    fixed columns (two styles, below);
//  - then, for the per-grid files, one record per grid first..gridCount in increasing order:
//    x = log10(h(i)) followed by the values, or an empty line where the grid cannot be plotted
//    (gnuplot reads it as a break in the curve); no trailer, and a file whose range is empty
//    holds its header alone.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/grid_series.h"
#include "text/format.h"
#include "text/record_writer.h"

namespace kv {

// Where the header puts its texts ("#" is always in column 1).
enum class PlotHeaderStyle : uint8_t {
  LabelsAt27,  // "log(h)" at column 4, value labels at columns 27 and 50
  LabelsAt15,  // "log(h)" at column 3, value labels at columns 15, 37 and 59
};

// One plot data file: the constructor opens it on the plot unit and writes its header; close()
// ends it (the destructor closes a file that is still open).
class PlotFile {
 public:
  PlotFile(std::string name, PlotHeaderStyle style, std::span<const std::string_view> labels);
  PlotFile(std::string name, PlotHeaderStyle style, std::initializer_list<std::string_view> labels)
      : PlotFile(std::move(name), style,
                 std::span<const std::string_view>(labels.begin(), labels.size())) {}

  // One write statement of `format` (a data record, or several through reversion).
  void write(const Format& format, std::span<const FormatItem> items) { out_.write(format, items); }
  void write(const Format& format, std::initializer_list<FormatItem> items) {
    out_.write(format, items);
  }

  // The record of a grid that cannot be plotted: zero characters.
  void writeEmptyLine() { out_.putRecord(std::string_view("")); }

  void close() { out_.close(); }

 private:
  FormattedRecordWriter out_;
};

// Receives, for grid `grid`, the items of its record with x = log10(h(grid)) already in
// place, appends the values after it and returns true; or returns false when the grid cannot
// be plotted (its record is then an empty line, whatever was appended).
using PlotRecord = std::function<bool(int grid, std::vector<FormatItem>& items)>;

// A whole per-grid plot data file: open `name`, write the header, then for each grid
// firstGrid..grid.count the record `format` makes of the items that `record` gives, or an
// empty line; close.
void writePlotFile(std::string name, PlotHeaderStyle style,
                   std::initializer_list<std::string_view> labels, const Format& format,
                   const GridSeries& grid, int firstGrid, const PlotRecord& record);
void writePlotFile(std::string name, PlotHeaderStyle style,
                   std::span<const std::string_view> labels, const Format& format,
                   const GridSeries& grid, int firstGrid, const PlotRecord& record);

}  // namespace kv
