#include "field/field_case.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#include "base/limits.h"
#include "io/whole_file.h"
#include "text/csv.h"
#include "text/number.h"

namespace kv::field {

std::vector<PointFile> FieldCase::gridFiles() const {
  std::vector<PointFile> out;
  for (const FieldGrid& g : grids) out.push_back(g.file);
  return out;
}

bool isFieldCaseHeader(std::string_view line) {
  CsvLine names;
  names.split(line, csvDelimiter(line));
  return names.size() == 2 && (csvKeyword(names[0], "h") || csvKeyword(names[0], "cells")) &&
         csvKeyword(names[1], "file");
}

std::variant<FieldCase, Error> readFieldCase(const std::string& path, int dimension) {
  const io::WholeFile read = io::readWholeFile(path, io::kMaxCaseBytes);
  switch (read.status) {
    case io::WholeFile::Status::Ok:
      break;
    case io::WholeFile::Status::CannotOpen:
    case io::WholeFile::Status::ReadFailed:
      return Error{path, 0, std::string("cannot be read (") + std::strerror(read.error) + ")"};
    case io::WholeFile::Status::Folder:
      return Error{path, 0, "is a folder, not a file: name the field case (an h,file table)"};
    case io::WholeFile::Status::TooLarge:
      return Error{path, 0, "is larger than 16 MiB: a field case lists a few grids and their files"};
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  FieldCase result;
  std::set<double> spacings;
  bool haveHeader = false;
  bool cells = false;
  char delimiter = ',';
  CsvLines lines(read.text);
  CsvLine fields;
  std::string_view line;
  size_t lineNumber = 0;
  while (lines.next(line, lineNumber)) {
    if (!haveHeader) {
      if (!isFieldCaseHeader(line)) return Error{path, lineNumber, "the header must be h,file or cells,file"};
      delimiter = csvDelimiter(line);
      fields.split(line, delimiter);
      cells = csvKeyword(fields[0], "cells");
      if (cells && (dimension < 1 || dimension > 3)) {
        return Error{path, lineNumber, "cell counts need the dimension of the grids (1, 2 or 3)"};
      }
      haveHeader = true;
      continue;
    }
    fields.split(line, delimiter);
    if (fields.size() != 2) {
      return Error{path, lineNumber,
                   "expected 2 fields, found " + std::to_string(fields.size()) +
                       (delimiter == ',' ? " (a decimal comma? write 0.1, not 0,1)" : "")};
    }
    if (fields[1].empty()) return Error{path, lineNumber, "the file name is missing"};
    PointFile file;
    file.path = (folder / std::string(fields[1])).string();
    file.layout = layoutOfName(file.path);
    if (csvKeyword(fields[0], "exact")) {
      if (result.exact) return Error{path, lineNumber, "a second exact row"};
      for (const FieldGrid& other : result.grids) {
        if (other.file.path == file.path) return Error{path, lineNumber, "names a grid's file as the exact values"};
      }
      result.exact = file;
      continue;
    }
    double value = 0.0;
    if (!readReal(fields[0], value, NumberGrammar::Decimal)) {
      const std::string text(fields[0]);
      const bool comma = text.find(',') != std::string::npos;
      return Error{path, lineNumber,
                   std::string(cells ? "cells" : "h") + " '" + text + "' is not a number" +
                       (comma ? " (write 0.1, not 0,1)" : "")};
    }
    if (!std::isfinite(value) || value <= 0.0) {
      return Error{path, lineNumber, std::string(cells ? "cells" : "h") + " must be positive"};
    }
    if (result.grids.size() == kMaxGrids) {
      return Error{path, lineNumber, "more than " + std::to_string(kMaxGrids) + " grids: a study takes at most " +
                                         std::to_string(kMaxGrids)};
    }
    for (const FieldGrid& other : result.grids) {
      if (other.file.path == file.path) {
        return Error{path, lineNumber, "names " + std::string(fields[1]) + " again: each grid has a file of its own"};
      }
    }
    if (result.exact && result.exact->path == file.path) {
      return Error{path, lineNumber, "names the exact values' file " + std::string(fields[1]) + " for a grid"};
    }
    FieldGrid grid;
    grid.file = file;
    grid.cells = cells ? value : 0.0;
    grid.h = cells ? std::pow(value, -1.0 / dimension) : value;
    if (!spacings.insert(grid.h).second) return Error{path, lineNumber, "two grids with the same h"};
    result.grids.push_back(grid);
  }
  if (!haveHeader) return Error{path, 0, "is empty: expected the header h,file or cells,file"};
  if (result.grids.size() < 2) return Error{path, 0, "a field needs two grids or more"};
  std::stable_sort(result.grids.begin(), result.grids.end(),
                   [](const FieldGrid& a, const FieldGrid& b) { return a.h < b.h; });
  return result;
}

}  // namespace kv::field
