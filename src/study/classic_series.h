// The classic run's series over ALL grids of one quantity: the observed order of every
// triplet, the Richardson extrapolations with the theoretical and the observed order, the
// convergent values and the classic estimators (delta, Richardson, convergent, GCI with pL and
// with p). Arrays are FINEST FIRST like the rest of the study (entry k belongs to grid k + 1,
// the finest grid being grid 1); a value that cannot be formed is NaN. Each entry belongs to
// the grid at which the classic run stores it: the finest grid of the pair or triplet it uses.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "cases/study_case.h"

namespace kv::study {

struct ClassicSeries {
  int refinementType = 0;  // as used: 1 constant ratio, 2 variable
  std::vector<double> pU, Ti_12, Ti_pU, Tc_12, Ud, Uri_12, Uri_pU, Uc_12, GCI_pL, GCI_p;
};

// The series' arrays by name, with what each holds (the order of the JSON and the report).
struct SeriesColumn {
  std::string_view name;
  std::string_view meaning;
  std::vector<double> ClassicSeries::*values;
};
std::span<const SeriesColumn> seriesColumns();

// Computes the series of `phi` on the spacings `h` (finest first, at least two grids) with the
// integer theoretical order pL and the safety factor Fs.
ClassicSeries classicSeries(std::span<const double> h, std::span<const double> phi, int pL,
                            double Fs, const ClassicSettings& settings);

}  // namespace kv::study
