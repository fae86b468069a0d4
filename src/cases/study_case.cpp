#include "cases/study_case.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "io/whole_file.h"

namespace kv::study {

Failure failureOf(const Error& e) { return Failure(displayName(e.file), e.line, e.message, e.kind); }

std::string displayName(const std::string& file) { return file == "-" ? "<stdin>" : file; }

std::string readCaseText(const std::string& file) {
  io::WholeFile read = io::readWholeFile(file, io::kMaxCaseBytes);
  switch (read.status) {
    case io::WholeFile::Status::Ok:
      break;
    case io::WholeFile::Status::Folder:
      throw Failure(file, 0, "is a folder, not a file: name a CSV table or a main data file");
    case io::WholeFile::Status::CannotOpen:
      throw Failure(displayName(file), 0, std::string("cannot read the file (") + std::strerror(read.error) +
                                                 "): check its name and permissions");
    case io::WholeFile::Status::ReadFailed:
      throw Failure(displayName(file), 0, "cannot read the file");
    case io::WholeFile::Status::TooLarge:
      // A table or a main data file is small; what is larger is the wrong file, or a field's
      // values, which belong in point files named by an h,file table.
      throw Failure(displayName(file), 0,
                       "is larger than 16 MiB: a case or grid file of a table study is far smaller "
                       "(give the values of a field in point files named by an h,file table)");
  }
  return std::move(read.text);
}

std::vector<size_t> finestFirstOrder(const TableRows& rows, std::span<const double> h, std::span<const double> dt,
                                     std::span<const size_t> lines) {
  const bool runs = !dt.empty();
  auto time = [&](size_t k) { return runs ? dt[k] : 0.0; };
  std::vector<size_t> order(h.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return h[a] < h[b] || (h[a] == h[b] && time(a) < time(b)); });
  for (size_t k = 1; k < order.size(); ++k) {
    const size_t a = order[k - 1], b = order[k];
    if (h[a] == h[b] && time(a) == time(b)) {
      const size_t first = std::min(lines[a], lines[b]), second = std::max(lines[a], lines[b]);
      rows.fail(second, (runs ? "this run has the same h and dt as the run of " : "this grid has the same h as the grid of ") +
                            rows.name(first) + (runs ? ": give each run once" : ": give each grid once"));
    }
  }
  return order;
}

void sortFinestFirst(StudyCase& c) { sortFinestFirst(c, TableRows(displayName(c.file))); }

void sortFinestFirst(StudyCase& c, const TableRows& rows) {
  const std::vector<size_t> order = finestFirstOrder(rows, c.h, {}, c.lines);
  permuteRows(c.h, order);
  permuteRows(c.cells, order);
  permuteRows(c.lines, order);
  permuteRows(c.gridFiles, order);
  for (Quantity& q : c.quantities) {
    permuteRows(q.values, order);
    permuteRows(q.missing, order);
  }
}

}  // namespace kv::study
