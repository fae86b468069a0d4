// The kind of a case (study/kind.h), decided once, from what the case is (not from the options),
// and the one table of which options apply to which kind.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cases/point_field_case.h"
#include "cases/kind.h"
#include "cases/mesh_case.h"
#include "cases/space_time_case.h"
#include "cases/study_case.h"

namespace kv::study {

struct Case {
  CaseKind kind = CaseKind::Table;
  std::string named;  // the case as named
  std::string file;   // the case as read: the main data file a start file leads to
  std::optional<StudyCase> table;       // Table, MainData
  std::optional<FieldStudyCase> field;  // MainDataField, FieldTable
  std::optional<SpaceTimeCase> spaceTime;  // SpaceTime
  std::optional<MeshCase> mesh;         // MeshField
};

// Whether `file` is an HDF5 file: by its extension or by the signature at its start.
bool isHdf5File(const std::string& file);

// What reading a case depends on besides its content (from the options of the study).
struct CaseReading {
  bool cells = false;  // the first column holds cell counts
  int dimension = 0;   // of the cell counts
  bool field = false;  // a main data file as a field, however few its records
};

// Decides the kind of the case `file` and reads it (an HDF5 case only to know its kind).
// `kindFound`, when given, is called with the kind before the case is read (to refuse an option
// that does not apply to it, before any fault of the case is found). Throws Failure.
Case readCase(const std::string& file, const CaseReading& reading,
              const std::function<void(CaseKind)>& kindFound = {});

}  // namespace kv::study
