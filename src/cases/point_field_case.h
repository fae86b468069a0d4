// A field of point files: quantities sampled at many points, the same points on every grid, one
// value a point in each grid's point file. A case is one when it is
//  - a CSV table whose header is h,file or cells,file (field/field_case.h), or
//  - a main data file whose first grid file holds more than kFieldRecords value records (or
//    any main data file, with --field): every value record is a point, named by its index.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cases/study_case.h"
#include "field/point_file.h"

namespace kv::study {

inline constexpr size_t kFieldRecords = 100;

struct FieldStudyCase : CaseHead {
  enum class Kind { FieldCsv, MainData };
  Kind kind = Kind::FieldCsv;
  // The point files of the head's gridFiles and exactFile, with how each is laid out.
  std::vector<field::PointFile> grids;  // finest first
  std::optional<field::PointFile> exact;
  // From a main data file.
  std::optional<double> theoreticalOrder;
  std::optional<double> safetyFactor;
  ClassicSettings classic;
};

// Whether the text of a CSV case has the header of a field case (h,file or cells,file).
bool isFieldTable(std::string_view text);

// Reads a field table; throws Failure.
FieldStudyCase readFieldTable(const std::string& file, int dimension);

// The field case of a main data file (its text already read): std::nullopt when its first grid
// file holds kFieldRecords value records or fewer and `force` is false. Throws Failure.
std::optional<FieldStudyCase> readMainDataField(const std::string& file, const std::string& text,
                                                bool force);

}  // namespace kv::study
