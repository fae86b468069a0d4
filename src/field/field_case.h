// A field case: a small CSV table of the grids of a field, one row per grid in any order,
//
//   h,file            (or  cells,file)
//   0.0125,fine.txt
//   0.025,medium.csv
//   0.05,coarse.txt
//   exact,exact.txt   (optional: the exact values, in the same layout)
//
// The delimiter (',', ';' or a tab) is taken from the header line; '#' starts a comment line;
// a UTF-8 byte-order mark and CR LF line ends are accepted. Files are relative to the folder of
// the CSV; a `.csv` file holds `id,value` records, any other the classic layout (point_file.h).
// With `cells`, h = cells^(-1/D) for the dimension D given.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/error.h"
#include "field/point_file.h"

namespace kv::field {

struct FieldGrid {
  double h = 0.0;
  double cells = 0.0;  // 0 when the case gives h
  PointFile file;
};

struct FieldCase {
  std::vector<FieldGrid> grids;  // finest first (ascending h): grid 1 of the standard procedure
  std::optional<PointFile> exact;

  std::vector<PointFile> gridFiles() const;
};

// Reads a field case; `dimension` (1, 2 or 3) is needed when the case gives cell counts.
std::variant<FieldCase, Error> readFieldCase(const std::string& path, int dimension = 0);

// Whether a CSV header line names a field case (`h,file` or `cells,file`).
bool isFieldCaseHeader(std::string_view line);

}  // namespace kv::field
