#include "plots/error_plot_files.h"

#include <cmath>
#include <span>
#include <string_view>
#include <vector>

#include "base/numerics.h"
#include "plots/output_files.h"
#include "plots/plot_file.h"
#include "text/format.h"

namespace kv {

namespace {

using Series = GridArray<double> GridSeries::*;

// ---- True-error files (header style A): every value in a 23-character field.

const Format& trueErrorRow() {
  static const Format format("(6(1PE23.14))");
  return format;
}

struct TrueErrorFile {
  OutputFile name;
  Series error;  // labelled as the series table labels it
  int firstGrid;
  // The grid is plotted only when this series is below definedLimit (none: always).
  Series guard;
};

constexpr TrueErrorFile kTrueErrorFiles[] = {
    {OutputFile::Eh_dat, &GridSeries::E_Th, 1, nullptr},
    {OutputFile::Ei_12_dat, &GridSeries::E_Ti_12, 2, nullptr},
    {OutputFile::Ei_13_dat, &GridSeries::E_Ti_13, 3, nullptr},
    {OutputFile::Ei_23_dat, &GridSeries::E_Ti_23, 3, nullptr},
    {OutputFile::Ei_bi_dat, &GridSeries::E_Ti_bi, 3, nullptr},
    {OutputFile::Ei_tri_dat, &GridSeries::E_Ti_tri, 4, nullptr},
    {OutputFile::Ei_pU_dat, &GridSeries::E_Ti_pU, 3, &GridSeries::Ti_pU},
    {OutputFile::Ec_12_dat, &GridSeries::E_Tc_12, 3, &GridSeries::Tc_12},
    {OutputFile::Ec_13_dat, &GridSeries::E_Tc_13, 3, &GridSeries::Tc_13},
    {OutputFile::Ebi_dat, &GridSeries::E_Tbi_pU, 5, &GridSeries::E_Tbi_pU},
};

// The true errors at the finest grid that bound the line of slope pV(3) from below, in the
// order they are scanned; the error of grid 1 follows them.
constexpr Series kTrueErrorLowerLevel[] = {
    &GridSeries::E_Tbi_pU, &GridSeries::E_Tc_13, &GridSeries::E_Tc_12,
    &GridSeries::E_Ti_tri, &GridSeries::E_Ti_bi, &GridSeries::E_Ti_pU,
    &GridSeries::E_Ti_23,  &GridSeries::E_Ti_13, &GridSeries::E_Ti_12,
};

// ---- Estimated-error reference lines (header style B): log(h) in 12 characters.

const Format& estimateRow() {
  static const Format format("(1PE12.4,11(1PE22.14))");
  return format;
}

// The estimators at the finest grid that bound the lines of each set from below, in the order
// they are scanned; the estimate of grid 2 follows them.
constexpr Series kFirstSetLowerLevel[] = {
    &GridSeries::Uri_tri, &GridSeries::Uri_bi, &GridSeries::Uri_pU, &GridSeries::Uri_23,
    &GridSeries::Uri_13,  &GridSeries::Ud,     &GridSeries::Uri_12,
};
constexpr Series kSecondSetLowerLevel[] = {
    &GridSeries::Uc_13,  &GridSeries::Uc_12,  &GridSeries::Uri_pU,
    &GridSeries::Uri_13, &GridSeries::Uri_12,
};

struct OrderLineFile {
  OutputFile name;
  std::string_view label;
  int level;  // the line's slope is the true order of this level
};

constexpr OrderLineFile kEstimateOrderFiles[] = {
    {OutputFile::U_p2_dat, "log|E_p2|", 2},
    {OutputFile::U_p3_dat, "log|E_p3|", 3},
};

// The smallest magnitude at the finest grid of `series`, then of `last`, scanned in that
// order: a candidate replaces the smallest so far only when it is strictly smaller.
double lowerLevel(const GridSeries& g, std::span<const Series> series, double last) {
  int n = g.count;
  double m = std::fabs((g.*series.front())(n));
  for (Series s : series.subspan(1)) {
    double x = std::fabs((g.*s)(n));
    if (x < m) m = x;
  }
  double x = std::fabs(last);
  if (x < m) m = x;
  return m;
}

// Writes the two end points of a line of slope p that starts at the error `start` of the grid
// of spacing `h` and goes down to the level m: (log h, log |start|) and (log x, log |m|) with
// x = (h^p |m / start|)^(1/p). Without a level or a start, the fallback line from log error 0
// at `h1` down to log error -3.
void writeOrderLine(PlotFile& file, const Format& row, double h, double start, double m, int32_t p,
                    double h1) {
  double inverse = 1.0 / static_cast<double>(p);
  if (m != 0.0 && start != 0.0) {
    double x = realPower(integerPower(h, p) * std::fabs(m / start), inverse);
    file.write(row, {kv::log10(h), kv::log10(std::fabs(start))});
    file.write(row, {kv::log10(x), kv::log10(std::fabs(m))});
  } else {
    double x = realPower(integerPower(h1, p) * 0.001, inverse);
    file.write(row, {kv::log10(h1), 0.0});
    file.write(row, {kv::log10(x), -3.0});
  }
}

}  // namespace

void writeTrueErrorPlotFiles(const RunData& run) {
  const GridSeries& g = run.grid;
  int n = g.count;
  for (const TrueErrorFile& f : kTrueErrorFiles) {
    writePlotFile(std::string(outputFileName(f.name)), PlotHeaderStyle::LabelsAt27,
                  {seriesOf(f.error).plotLabel}, trueErrorRow(), g, f.firstGrid,
                  [&](int i, std::vector<FormatItem>& items) {
                    double e = (g.*f.error)(i);
                    if (e == 0.0) return false;
                    if (f.guard != nullptr && !isDefined((g.*f.guard)(i))) return false;
                    items.emplace_back(kv::log10(std::fabs(e)));
                    return true;
                  });
  }

  // Lines of slopes pL and pV(2) through the error of grid 1, out to the finest grid.
  PlotFile slopes(std::string(outputFileName(OutputFile::E_pL_p2_dat)), PlotHeaderStyle::LabelsAt27,
                  {"log|E_pL|", "log|E_p2|"});
  if (n >= 1) {
    double e1 = g.E_Th(1);
    double r = g.h(n) / g.h(1);
    double rL = integerPower(r, run.params.pL);
    double r2 = integerPower(r, trueOrder(run.params, 2));
    if (e1 != 0.0) {
      double level = kv::log10(std::fabs(e1));
      slopes.write(trueErrorRow(), {kv::log10(g.h(1)), level, level});
      slopes.write(trueErrorRow(), {kv::log10(g.h(n)), kv::log10(std::fabs(rL * e1)),
                                    kv::log10(std::fabs(r2 * e1))});
    } else {
      slopes.write(trueErrorRow(), {kv::log10(g.h(1)), 0.0, 0.0});
      slopes.write(trueErrorRow(), {kv::log10(g.h(n)), kv::log10(rL * 1.0), kv::log10(r2 * 1.0)});
    }
  }
  slopes.close();

  // The line of slope pV(3) from the error of grid 1 down to the smallest error.
  PlotFile order3(std::string(outputFileName(OutputFile::E_p3_dat)), PlotHeaderStyle::LabelsAt27,
                  {"log|E_p3|"});
  if (n >= 1) {
    double e1 = g.E_Th(1);
    double m = lowerLevel(g, kTrueErrorLowerLevel, e1);
    writeOrderLine(order3, trueErrorRow(), g.h(1), e1, m, trueOrder(run.params, 3), g.h(1));
  }
  order3.close();
}

void writeEstimateReferenceFiles(const RunData& run, EstimateReferenceSet set) {
  const GridSeries& g = run.grid;
  int n = g.count;
  // The estimate of grid 2, where the regular lines start; with fewer than two grids there is
  // none, and the fallback lines are drawn.
  double u2 = n >= 2 ? g.Uri_12(2) : 0.0;

  // The line of slope pL through the estimate of grid 2, out to the finest grid.
  PlotFile slopeL(std::string(outputFileName(OutputFile::U_pL_dat)), PlotHeaderStyle::LabelsAt15,
                  {"log|E_pL|"});
  if (n >= 1) {
    if (u2 != 0.0) {
      double r = g.h(n) / g.h(2);
      slopeL.write(estimateRow(), {kv::log10(g.h(2)), kv::log10(std::fabs(u2))});
      slopeL.write(estimateRow(),
                   {kv::log10(g.h(n)), kv::log10(std::fabs(integerPower(r, run.params.pL) * u2))});
    } else {
      double r = g.h(n) / g.h(1);
      slopeL.write(estimateRow(), {kv::log10(g.h(1)), 0.0});
      slopeL.write(estimateRow(),
                   {kv::log10(g.h(n)), kv::log10(integerPower(r, run.params.pL) * 1.0)});
    }
  }
  slopeL.close();

  // The lines of slopes pV(2) and pV(3) through the estimate of grid 2, down to the smallest
  // estimate of the set.
  double m = 0.0;
  if (n >= 1) {
    m = lowerLevel(g,
                   set == EstimateReferenceSet::First
                       ? std::span<const Series>(kFirstSetLowerLevel)
                       : std::span<const Series>(kSecondSetLowerLevel),
                   u2);
  }
  for (const OrderLineFile& f : kEstimateOrderFiles) {
    PlotFile file(std::string(outputFileName(f.name)), PlotHeaderStyle::LabelsAt15, {f.label});
    if (n >= 1) {
      double h2 = n >= 2 ? g.h(2) : 0.0;  // used only with an estimate of grid 2
      writeOrderLine(file, estimateRow(), h2, u2, m, trueOrder(run.params, f.level), g.h(1));
    }
    file.close();
  }
}

}  // namespace kv
