#include "field/field_case.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>

#include "field/number.h"

namespace kv::field {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

char delimiterOf(std::string_view header) {
  for (char c : header) {
    if (c == ',' || c == ';' || c == '\t') return c;
  }
  return ',';
}

std::vector<std::string_view> split(std::string_view line, char delimiter) {
  std::vector<std::string_view> out;
  for (;;) {
    size_t at = line.find(delimiter);
    out.push_back(trimmed(line.substr(0, at)));
    if (at == std::string_view::npos) return out;
    line.remove_prefix(at + 1);
  }
}

// A case table is small: one reading more than this is not one.
constexpr size_t kMaxCaseBytes = size_t{16} << 20;

enum class Read { Ok, Failed, Folder, TooLarge };

Read readSmallFile(const std::string& path, std::string& content) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return Read::Folder;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Read::Failed;
  char block[65536];
  size_t n;
  while (content.size() <= kMaxCaseBytes && (n = std::fread(block, 1, sizeof block, file)) > 0) {
    content.append(block, n);
  }
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  if (!ok) return Read::Failed;
  return content.size() > kMaxCaseBytes ? Read::TooLarge : Read::Ok;
}

}  // namespace

std::vector<PointFile> FieldCase::gridFiles() const {
  std::vector<PointFile> out;
  for (const FieldGrid& g : grids) out.push_back(g.file);
  return out;
}

bool isFieldCaseHeader(std::string_view line) {
  std::vector<std::string_view> names = split(trimmed(line), delimiterOf(line));
  return names.size() == 2 && (names[0] == "h" || names[0] == "cells") && names[1] == "file";
}

std::variant<FieldCase, Error> readFieldCase(const std::string& path, int dimension) {
  std::string content;
  switch (readSmallFile(path, content)) {
    case Read::Ok:
      break;
    case Read::Failed:
      return Error{path, 0, "cannot be read (does it exist?)"};
    case Read::Folder:
      return Error{path, 0, "is a folder, not a file: name the field case (an h,file table)"};
    case Read::TooLarge:
      return Error{path, 0, "is larger than 16 MiB: a field case lists a few grids and their files"};
  }
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  FieldCase result;
  std::set<double> spacings;
  bool haveHeader = false;
  bool cells = false;
  char delimiter = ',';
  size_t lineNumber = 0;
  std::string_view rest = content;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = trimmed(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    if (!haveHeader) {
      if (!isFieldCaseHeader(line)) {
        return Error{path, lineNumber, "the header must be h,file or cells,file"};
      }
      delimiter = delimiterOf(line);
      cells = split(line, delimiter)[0] == "cells";
      if (cells && (dimension < 1 || dimension > 3)) {
        return Error{path, lineNumber, "cell counts need the dimension of the grids (1, 2 or 3)"};
      }
      haveHeader = true;
      continue;
    }
    std::vector<std::string_view> fields = split(line, delimiter);
    if (fields.size() != 2) {
      return Error{path, lineNumber,
                   "expected 2 fields, found " + std::to_string(fields.size()) +
                       (delimiter == ',' ? " (a decimal comma? write 0.1, not 0,1)" : "")};
    }
    if (fields[1].empty()) return Error{path, lineNumber, "the file name is missing"};
    PointFile file;
    file.path = (folder / std::string(fields[1])).string();
    file.layout = layoutOfName(file.path);
    if (fields[0] == "exact") {
      if (result.exact) return Error{path, lineNumber, "a second exact row"};
      result.exact = file;
      continue;
    }
    double value = 0.0;
    if (!parseReal(fields[0], value)) {
      std::string text(fields[0]);
      bool comma = text.find(',') != std::string::npos;
      return Error{path, lineNumber,
                   std::string(cells ? "cells" : "h") + " '" + text + "' is not a number" +
                       (comma ? " (write 0.1, not 0,1)" : "")};
    }
    if (!std::isfinite(value) || value <= 0.0) {
      return Error{path, lineNumber, std::string(cells ? "cells" : "h") + " must be positive"};
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
