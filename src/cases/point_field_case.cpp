#include "cases/point_field_case.h"

#include <cmath>
#include <variant>

#include "cases/main_data_case.h"
#include "field/field_case.h"
#include "text/csv.h"

namespace kv::study {

bool isFieldTable(std::string_view text) {
  CsvLines lines(text);
  std::string_view line;
  size_t number = 0;
  return lines.next(line, number) && field::isFieldCaseHeader(line);
}

FieldStudyCase readFieldTable(const std::string& file, int dimension) {
  if (file == "-") {
    throw Failure(displayName(file), 0,
                     "a field case (h,file) names its point files relative to its own folder: "
                     "give it as a file, not on standard input");
  }
  auto read = field::readFieldCase(file, dimension);
  if (auto* e = std::get_if<Error>(&read)) throw failureOf(*e);
  const field::FieldCase& table = std::get<field::FieldCase>(read);
  FieldStudyCase c;
  c.kind = FieldStudyCase::Kind::FieldCsv;
  c.file = file;
  for (const field::FieldGrid& g : table.grids) {
    c.h.push_back(g.h);
    if (g.cells > 0.0) c.cells.push_back(g.cells);
    c.grids.push_back(g.file);
    c.gridFiles.push_back(g.file.path);
  }
  if (!c.cells.empty()) c.dimension = dimension;
  c.exact = table.exact;
  if (table.exact) c.exactFile = table.exact->path;
  return c;
}

std::optional<FieldStudyCase> readMainDataField(const std::string& file, const std::string& text,
                                                bool force) {
  const MainDataHead head = readMainDataHead(file, text);
  if (!force) {
    // The first grid file decides: more than kFieldRecords value records make a field.
    field::PointFileReader reader;
    if (auto e = reader.open({head.gridFiles.front(), field::Layout::Classic, field::FirstRecord::Spacing})) {
      return std::nullopt;  // the table study reports it
    }
    std::string lines;
    size_t taken = 0, firstLine = 0;
    if (reader.take(kFieldRecords + 1, lines, taken, firstLine) || taken <= kFieldRecords) {
      return std::nullopt;
    }
  }
  // The grids ordered finest first by the spacing on their first line.
  StudyCase order;
  order.file = file;
  for (size_t g = 0; g < head.gridFiles.size(); ++g) {
    double h = 0.0;
    if (auto e = field::readSpacing(head.gridFiles[g], h)) throw failureOf(*e);
    if (!std::isfinite(h) || h <= 0.0) {
      throw Failure(head.gridFiles[g], 1, "h must be a positive, finite number");
    }
    order.h.push_back(h);
    order.lines.push_back(head.gridLines[g]);
    order.gridFiles.push_back(head.gridFiles[g]);
  }
  sortFinestFirst(order);
  FieldStudyCase c;
  c.kind = FieldStudyCase::Kind::MainData;
  c.file = file;
  c.h = order.h;
  for (const std::string& name : order.gridFiles) {
    c.grids.push_back({name, field::Layout::Classic, field::FirstRecord::Spacing});
  }
  c.gridFiles = order.gridFiles;
  c.exactFile = head.exactFile;
  if (head.exactFile) c.exact = field::PointFile{*head.exactFile, field::Layout::Classic, field::FirstRecord::Detect};
  c.theoreticalOrder = head.pL;
  c.safetyFactor = head.Fs;
  c.classic = head.classic;
  c.title = head.title;
  return c;
}

}  // namespace kv::study
