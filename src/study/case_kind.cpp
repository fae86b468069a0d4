#include "study/case_kind.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "study/csv_case.h"
#include "study/main_data_case.h"

namespace kv::study {

namespace fs = std::filesystem;

namespace {

constexpr uint16_t bit(CaseKind kind) { return static_cast<uint16_t>(1u << static_cast<unsigned>(kind)); }

constexpr uint16_t kCsv =
    bit(CaseKind::Table) | bit(CaseKind::FieldTable) | bit(CaseKind::SpaceTime) | bit(CaseKind::MeshField);
constexpr uint16_t kFields =
    bit(CaseKind::MainDataField) | bit(CaseKind::FieldTable) | bit(CaseKind::Hdf5) | bit(CaseKind::MeshField);
constexpr uint16_t kStudies = bit(CaseKind::Table) | bit(CaseKind::MainData) | kFields;

// The options that do not apply to every kind; every other option applies to all.
struct OptionScope {
  std::string_view option;
  uint16_t kinds;
  std::string_view appliesTo;
};

constexpr OptionScope kScopes[] = {
    {"--cells", kCsv, "CSV cases (a table of quantities, an h,dt table of runs or an h,file table)"},
    {"--dim", kCsv, "CSV cases (a table of quantities, an h,dt table of runs or an h,file table)"},
    {"--field", kFields | bit(CaseKind::MainData), "main data files (a table of quantities is not a field)"},
    {"--slab", bit(CaseKind::Hdf5), "HDF5 fields"},
    {"--no-csv", bit(CaseKind::Hdf5) | bit(CaseKind::Slabs), "HDF5 fields and their merge"},
    {"--block-points", kFields, "fields"},
    {"--threads", kStudies, "studies in h alone (a merge computes nothing)"},
    {"--order", kStudies | bit(CaseKind::SpaceTime), "studies (a merge keeps the settings of its slabs)"},
    {"--time-order", bit(CaseKind::SpaceTime), "space-time studies (an h,dt table of runs)"},
    {"--fs", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--target-gci", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--least-squares", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--no-least-squares", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--noise", kStudies, "studies in h alone (a merge keeps the settings of its slabs)"},
    {"--at", bit(CaseKind::MeshField), "fields on grids that share no points (grid files with coordinates)"},
    {"--interp-degree", bit(CaseKind::MeshField), "fields on grids that share no points (grid files with coordinates)"},
};

std::string lowerExtension(const std::string& file) {
  std::string extension = fs::path(file).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// The classic start file names the main data file: its first value.
std::string followStartFile(const std::string& file, const std::string& text) {
  std::istringstream start(text);
  std::string name;
  start >> name;
  if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"') && name.back() == name.front()) {
    name = name.substr(1, name.size() - 2);
  }
  if (name.empty()) throw InputError(file, 1, "the start file names no main data file");
  return (fs::path(file).parent_path() / name).string();
}

}  // namespace

bool isHdf5File(const std::string& file) {
  if (file == "-") return false;
  const std::string extension = lowerExtension(file);
  if (extension == ".h5" || extension == ".hdf5" || extension == ".he5") return true;
  // An HDF5 file starts with this signature (or has it at 512, 1024, ... after a user block;
  // those are found by their extension).
  char start[8] = {};
  std::error_code error;
  if (fs::is_directory(file, error)) return false;
  std::ifstream in(file, std::ios::binary);
  return in.read(start, sizeof start) && std::memcmp(start, "\x89HDF\r\n\x1a\n", 8) == 0;
}

namespace {

// The scope of `option`, or nullptr when it applies to every kind.
const OptionScope* scopeOf(std::string_view option) {
  for (const OptionScope& s : kScopes) {
    if (s.option == option) return &s;
  }
  return nullptr;
}

}  // namespace

bool optionApplies(std::string_view option, CaseKind kind) {
  const OptionScope* scope = scopeOf(option);
  return scope == nullptr || (scope->kinds & bit(kind)) != 0;
}

std::optional<std::string> refusedOption(CaseKind kind, const Arguments& a) {
  // The tables for a paper have a column per quantity; a field shows its distribution.
  const uint16_t tables = bit(CaseKind::Table) | bit(CaseKind::MainData);
  if ((a.format == "latex" || a.format == "markdown") && (tables & bit(kind)) == 0) {
    return "--format " + a.format + " prints the table of a paper, one column per quantity: it applies to tables of "
           "quantities, not to " + std::string(caseKindName(kind));
  }
  for (const std::string& option : a.given) {
    if (!optionApplies(option, kind)) {
      return option + " applies to " + std::string(scopeOf(option)->appliesTo) + ", not to " +
             std::string(caseKindName(kind));
    }
  }
  return std::nullopt;
}

Case readCase(const Arguments& a) {
  Case c;
  c.file = a.caseFile;
  auto refuse = [&](CaseKind kind) {
    if (auto refused = refusedOption(kind, a)) throw InputError(displayName(a.caseFile), 0, *refused);
  };
  if (a.command == Arguments::Command::Merge) {
    c.kind = CaseKind::Slabs;
    refuse(c.kind);
    return c;
  }
  if (isHdf5File(a.caseFile)) {
    c.kind = CaseKind::Hdf5;
    refuse(c.kind);
    return c;
  }
  std::string text = readCaseText(c.file);
  if (fs::path(c.file).filename() == "Kestrovanilque.in" && !looksLikeCsv(text)) {
    c.file = followStartFile(c.file, text);
    text = readCaseText(c.file);
  }
  const std::string extension = lowerExtension(c.file);
  const bool csv = c.file == "-" || extension == ".csv" || extension == ".tsv" || text.empty() || looksLikeCsv(text);
  if (csv && isSpaceTimeTable(text)) {
    c.kind = CaseKind::SpaceTime;
    refuse(c.kind);
    c.spaceTime = parseSpaceTimeCase(text, c.file, {a.cells, a.dimension});
  } else if (csv && isFieldTable(text) && isMeshFieldTable(c.file)) {
    c.kind = CaseKind::MeshField;
    refuse(c.kind);
    c.mesh = readMeshCase(c.file, a.dimension);
  } else if (csv && isFieldTable(text)) {
    c.kind = CaseKind::FieldTable;
    refuse(c.kind);
    c.field = readFieldTable(c.file, a.dimension);
  } else if (csv) {
    c.kind = CaseKind::Table;
    refuse(c.kind);
    c.table = parseCsvCase(text, c.file, {a.cells, a.dimension});
  } else if (auto field = readMainDataField(c.file, text, a.field)) {
    c.kind = CaseKind::MainDataField;
    refuse(c.kind);
    c.field = std::move(field);
  } else {
    c.kind = CaseKind::MainData;
    refuse(c.kind);
    c.table = readMainDataCase(c.file, text);
  }
  return c;
}

fs::path outputFolder(const Arguments& a) {
  if (!a.out.empty()) return fs::path(a.out);
  if (a.caseFile == "-") return fs::path("stdin.study");
  const fs::path p(a.caseFile);
  std::string name = p.stem().string() + ".study";
  if (a.slab) name += "-slab-" + std::to_string(a.slab->index) + "-of-" + std::to_string(a.slab->count);
  return p.parent_path() / name;
}

std::vector<std::string> inputFiles(const Arguments& a, const Case& c) {
  std::vector<std::string> files{a.caseFile, c.file};
  if (c.table) {
    files.insert(files.end(), c.table->gridFiles.begin(), c.table->gridFiles.end());
    if (c.table->exactFile) files.push_back(*c.table->exactFile);
  }
  if (c.field) {
    for (const field::PointFile& grid : c.field->grids) files.push_back(grid.path);
    if (c.field->exact) files.push_back(c.field->exact->path);
  }
  if (c.mesh) {
    files.insert(files.end(), c.mesh->grids.begin(), c.mesh->grids.end());
    if (c.mesh->exact) files.push_back(*c.mesh->exact);
    if (!a.at.empty()) files.push_back(a.at);
  }
  for (const std::string& folder : a.slabFolders) {
    for (const char* name : {"summary.h5", "summary.csv", "study.json", "slab.json", "report.html"}) {
      files.push_back((fs::path(folder) / name).string());
    }
  }
  return files;
}

}  // namespace kv::study
