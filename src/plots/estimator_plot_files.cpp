#include "plots/estimator_plot_files.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "base/numerics.h"
#include "plots/output_files.h"
#include "plots/plot_file.h"

namespace kv {

namespace {

using G = GridSeries;
using RealArray = GridArray<double> GridSeries::*;

// What the first value of a record must pass.
enum class Check : uint8_t { NonZero, Defined };

bool passes(double value, Check check) {
  return check == Check::NonZero ? value != 0.0 : isDefined(value);
}

// A plot data file of estimators: log10(|v|) of each value, on the grids where the first value
// passes every check; an empty line elsewhere. Only the first value is tested.
struct EstimatorFile {
  OutputFile name;
  int firstGrid;
  std::vector<Check> checks;      // on the first value
  std::vector<RealArray> values;  // labelled at columns 15, 37 and 59 as the series table does
};

// In the order written.
const std::vector<EstimatorFile>& estimatorFiles() {
  constexpr Check kNonZero = Check::NonZero;
  constexpr Check kBelowLimit = Check::Defined;
  // clang-format off
  static const std::vector<EstimatorFile> files = {
    // name               first grid, checks on the first value, values plotted as log10(|v|)
    {OutputFile::U_12_dat,   2, {kNonZero}, {&G::Ud, &G::Uri_12, &G::GCI_pL}},
    {OutputFile::Uri_13_dat, 3, {kNonZero}, {&G::Uri_13}},
    {OutputFile::Uri_23_dat, 3, {kNonZero}, {&G::Uri_23}},
    {OutputFile::Uri_bi_dat, 3, {kNonZero}, {&G::Uri_bi}},
    {OutputFile::Uri_pU_dat, 3, {kNonZero, kBelowLimit}, {&G::Uri_pU, &G::Uri_p, &G::GCI_p}},
    {OutputFile::Uc_12_dat,  3, {kNonZero, kBelowLimit}, {&G::Uc_12}},
    {OutputFile::Uc_13_dat,  3, {kNonZero, kBelowLimit}, {&G::Uc_13}},
    {OutputFile::Utri_dat,   4, {kNonZero}, {&G::Uri_tri}},
  };
  // clang-format on
  return files;
}

void writeEstimatorFile(const EstimatorFile& file, const GridSeries& grid) {
  static const Format record("(1PE12.4,11(1PE22.14))");
  std::vector<std::string_view> labels;
  for (RealArray value : file.values) labels.push_back(seriesOf(value).plotLabel);
  writePlotFile(std::string(outputFileName(file.name)), PlotHeaderStyle::LabelsAt15, labels, record,
                grid, file.firstGrid, [&file, &grid](int i, std::vector<FormatItem>& items) {
                  double first = (grid.*file.values.front())(i);
                  for (Check check : file.checks) {
                    if (!passes(first, check)) return false;
                  }
                  for (RealArray value : file.values) {
                    items.emplace_back(kv::log10(std::fabs((grid.*value)(i))));
                  }
                  return true;
                });
}

}  // namespace

void writeEstimatorPlotFiles(const RunData& run) {
  for (const EstimatorFile& file : estimatorFiles()) writeEstimatorFile(file, run.grid);
}

}  // namespace kv
