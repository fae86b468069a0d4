// The kind of a case (study/kind.h), decided once, from what the case is (not from the options),
// and the one table of which options apply to which kind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/arguments.h"
#include "study/field_study.h"
#include "study/kind.h"
#include "study/mesh_case.h"
#include "study/space_time_case.h"
#include "study/study_case.h"

namespace kv::study {

struct Case {
  CaseKind kind = CaseKind::Table;
  std::string file;  // the case as read: the main data file a start file leads to
  std::optional<StudyCase> table;       // Table, MainData
  std::optional<FieldStudyCase> field;  // MainDataField, FieldTable
  std::optional<SpaceTimeCase> spaceTime;  // SpaceTime
  std::optional<MeshCase> mesh;         // MeshField
};

// Whether `file` is an HDF5 file: by its extension or by the signature at its start.
bool isHdf5File(const std::string& file);

// Decides the kind of the case of `a` and reads it (an HDF5 case only to know its kind; the slab
// folders of a merge not at all), then refuses an option given that does not apply to the kind.
// Throws InputError.
Case readCase(const Arguments& a);

// The first option of `a` that does not apply to `kind`: the message says to what it applies.
std::optional<std::string> refusedOption(CaseKind kind, const Arguments& a);

// Whether an option ("--order") applies to a case kind (the help of a merge lists only those).
bool optionApplies(std::string_view option, CaseKind kind);

// The output folder: --out, or beside the case its name without extension + ".study"
// ("stdin.study" for standard input; "-slab-I-of-N" appended for a slab of a job array).
std::filesystem::path outputFolder(const Arguments& a);

// The files the study of `c` reads: the CASE as named, the file it led to, grid, point and exact
// files (so that no output replaces one of them).
std::vector<std::string> inputFiles(const Arguments& a, const Case& c);

}  // namespace kv::study
