#include "study/study_case.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "io/whole_file.h"

namespace kv::study {

std::string displayName(const std::string& file) { return file == "-" ? "<stdin>" : file; }

std::string readCaseText(const std::string& file) {
  io::WholeFile read = io::readWholeFile(file, io::kMaxCaseBytes);
  switch (read.status) {
    case io::WholeFile::Status::Ok:
      break;
    case io::WholeFile::Status::Folder:
      throw InputError(file, 0, "is a folder, not a file: name a CSV table or a main data file");
    case io::WholeFile::Status::CannotOpen:
      throw InputError(displayName(file), 0, std::string("cannot read the file (") + std::strerror(read.error) +
                                                 "): check its name and permissions");
    case io::WholeFile::Status::ReadFailed:
      throw InputError(displayName(file), 0, "cannot read the file");
    case io::WholeFile::Status::TooLarge:
      // A table or a main data file is small; what is larger is the wrong file, or a field's
      // values, which belong in point files named by an h,file table.
      throw InputError(displayName(file), 0,
                       "is larger than 16 MiB: a case or grid file of a table study is far smaller "
                       "(give the values of a field in point files named by an h,file table)");
  }
  return std::move(read.text);
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
