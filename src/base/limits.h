// What a case may ask for, checked before anything is allocated: a small file must never make
// the program take memory or time without bound.
#pragma once

#include <cstddef>

namespace kv {

// The grids of a study. A refinement study has a handful; each grid costs every point a value,
// and least squares tables each of them at every order it scans.
inline constexpr size_t kMaxGrids = 64;

// The size of a case file read whole (a CSV table, a main data file and its grid files, a field
// case table). What is larger is the wrong file, or a field's values, which belong in point
// files or an HDF5 file.
inline constexpr size_t kMaxCaseBytes = size_t{16} << 20;

// The quantities of a table: a table study keeps every quantity's results, the series over all
// grids and study.json's entry for each (tens of kilobytes each at most); a field of many points
// belongs in point files or an HDF5 file, which are studied in bounded memory.
inline constexpr size_t kMaxTableQuantities = 20000;

}  // namespace kv
