#include "cases/case_kind.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cases/csv_case.h"
#include "cases/main_data_case.h"

namespace kv::study {

namespace fs = std::filesystem;

namespace {

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
  if (name.empty()) throw Failure(file, 1, "the start file names no main data file");
  return (fs::path(file).parent_path() / name).string();
}

}  // namespace

bool isHdf5File(const std::string& file) {
  if (file == "-") return false;
  const std::string extension = lowerExtension(file);
  if (extension == ".h5" || extension == ".hdf5" || extension == ".he5") return true;
  // An HDF5 file starts with this signature (or has it at 512, 1024, ... after a user block;
  // those are found by their extension).
  // Only a file is looked into: a pipe would lose the bytes read (the case is read once).
  char start[8] = {};
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return false;
  std::ifstream in(file, std::ios::binary);
  return in.read(start, sizeof start) && std::memcmp(start, "\x89HDF\r\n\x1a\n", 8) == 0;
}

Case readCase(const std::string& file, const CaseReading& options, const std::function<void(CaseKind)>& kindFound) {
  Case c;
  c.named = c.file = file;
  auto found = [&](CaseKind kind) {
    if (kindFound) kindFound(kind);
  };
  if (isHdf5File(file)) {
    c.kind = CaseKind::Hdf5;
    found(c.kind);
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
    found(c.kind);
    c.spaceTime = parseSpaceTimeCase(text, c.file, {options.cells, options.dimension});
  } else if (csv && isFieldTable(text) && c.file != "-" && !fs::is_regular_file(c.file)) {
    // Read once already: a pipe cannot be read again by the readers of its grid files' table.
    throw Failure(displayName(c.file), 0,
                  "a field case (h,file) names its grid files relative to its own folder: give it as a "
                  "file, not through a pipe");
  } else if (csv && isFieldTable(text) && isMeshFieldTable(c.file)) {
    c.kind = CaseKind::MeshField;
    found(c.kind);
    c.mesh = readMeshCase(c.file, options.dimension);
  } else if (csv && isFieldTable(text)) {
    c.kind = CaseKind::FieldTable;
    found(c.kind);
    c.field = readFieldTable(c.file, options.dimension);
  } else if (csv) {
    c.kind = CaseKind::Table;
    found(c.kind);
    c.table = parseCsvCase(text, c.file, {options.cells, options.dimension});
  } else if (auto field = readMainDataField(c.file, text, options.field)) {
    c.kind = CaseKind::MainDataField;
    found(c.kind);
    c.field = std::move(field);
  } else {
    c.kind = CaseKind::MainData;
    found(c.kind);
    c.table = readMainDataCase(c.file, text);
  }
  return c;
}

}  // namespace kv::study
