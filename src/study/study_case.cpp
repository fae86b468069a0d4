#include "study/study_case.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>

namespace kv::study {

std::string InputError::where() const {
  std::string out = file_;
  if (line_ > 0) {
    out += ':';
    out += std::to_string(line_);
  }
  out += ": ";
  return out += what();
}

std::string displayName(const std::string& file) { return file == "-" ? "<stdin>" : file; }

std::string readCaseText(const std::string& file) {
  std::FILE* in = stdin;
  if (file != "-") {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
      throw InputError(file, 0, "is a folder, not a file: name a CSV table or a main data file");
    }
    in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
      throw InputError(file, 0, std::string("cannot read the file (") + std::strerror(errno) +
                                    "): check its name and permissions");
    }
  }
  std::string content;
  char chunk[65536];
  size_t n;
  while (content.size() <= kMaxCaseBytes && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    content.append(chunk, n);
  }
  const bool failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) throw InputError(displayName(file), 0, "cannot read the file");
  // A table or a main data file is small; what is larger is the wrong file, or a field's
  // values, which belong in point files named by an h,file table.
  if (content.size() > kMaxCaseBytes) {
    throw InputError(displayName(file), 0,
                     "is larger than 16 MiB: a case or grid file of a table study is far smaller "
                     "(give the values of a field in point files named by an h,file table)");
  }
  return content;
}

void sortFinestFirst(StudyCase& c) {
  std::vector<size_t> order(c.h.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return c.h[a] < c.h[b]; });
  for (size_t k = 1; k < order.size(); ++k) {
    const size_t a = order[k - 1], b = order[k];
    if (c.h[a] == c.h[b]) {
      const size_t first = std::min(c.lines[a], c.lines[b]), second = std::max(c.lines[a], c.lines[b]);
      throw InputError(displayName(c.file), second,
                       "this grid has the same h as the grid of line " + std::to_string(first) +
                           ": give each grid once");
    }
  }
  auto permute = [&](auto& v) {
    if (v.size() != order.size()) return;
    auto copy = v;
    for (size_t k = 0; k < order.size(); ++k) v[k] = copy[order[k]];
  };
  permute(c.h);
  permute(c.cells);
  permute(c.lines);
  permute(c.gridFiles);
  for (Quantity& q : c.quantities) permute(q.values);
}

}  // namespace kv::study
