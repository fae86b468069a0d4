#include "cases/mesh_case.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <variant>

#include "field/field_case.h"
#include "field/point_file.h"
#include "mesh/vtk_declared.h"
#include "mesh/vtk_reader.h"
#include "cases/study_case.h"
#include "text/csv.h"
#include "text/number.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

std::string extensionOf(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool isVtkName(const std::string& path) {
  const std::string e = extensionOf(path);
  return e == ".vtu" || e == ".pvtu" || e == ".vtk";
}

// The first data line of a CSV file (its header) and its line number; nothing when the file
// cannot be read, holds none, or its first data line is longer than a line may be.
std::optional<std::string> headerLine(const std::string& path, size_t& number) {
  std::error_code error;
  if (fs::is_directory(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(field::PointFileReader::kMaxLineBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const bool whole = in.gcount() < static_cast<std::streamsize>(text.size());
  text.resize(static_cast<size_t>(in.gcount()));
  CsvLines lines(text);
  std::string_view line;
  if (!lines.next(line, number)) return std::nullopt;
  if (!whole && line.data() + line.size() >= text.data() + text.size()) return std::nullopt;
  return std::string(line);
}

// What each column of a grid file's CSV header is.
struct Columns {
  static constexpr int kSkipped = -1;
  static constexpr int kQuantity = 3;  // 0, 1, 2: the axes
  char delimiter = ',';
  std::vector<int> role;           // per column
  int axes = 0;                    // 2 or 3
  std::vector<std::string> names;  // of the quantities, in order
};

// The axis a ParaView point column names (Points:0 or Points_0 ... Points:2), or -1.
int paraViewAxis(std::string_view name) {
  if (name.size() != 8 || (name[6] != ':' && name[6] != '_') ||
      !csvKeyword(name.substr(0, 6), "points"))
    return -1;
  return name[7] >= '0' && name[7] <= '2' ? name[7] - '0' : -1;
}

int plainAxis(std::string_view name) {
  for (int axis = 0; axis < 3; ++axis) {
    if (csvKeyword(name, std::string_view("xyz").substr(static_cast<size_t>(axis), 1))) return axis;
  }
  return -1;
}

// The roles of the columns; the message says what is wrong when the header names no coordinates.
std::variant<Columns, std::string> columnsOf(std::string_view header) {
  Columns c;
  c.delimiter = csvDelimiter(header);
  CsvLine names;
  names.split(header, c.delimiter);
  bool paraView = false;
  for (std::string_view name : names.fields()) paraView = paraView || paraViewAxis(name) >= 0;
  bool axis[3] = {false, false, false};
  for (size_t k = 0; k < names.size(); ++k) {
    const std::string_view name = names[k];
    double number = 0.0;
    if (name.empty() || readReal(name, number, NumberGrammar::Decimal)) {
      return "the first line must name the columns, the coordinates x,y[,z] (or ParaView's "
             "Points:0,Points:1,Points:2) and the quantities; column " +
             std::to_string(k + 1) + " is " +
             (name.empty() ? std::string("empty") : "the number " + std::string(name));
    }
    const int a = paraView ? paraViewAxis(name) : plainAxis(name);
    if (a >= 0) {
      if (axis[a]) return "the coordinate " + std::string(name) + " is named twice";
      axis[a] = true;
      c.role.push_back(a);
    } else if (name.starts_with("vtk") || csvKeyword(name, "point id")) {
      c.role.push_back(Columns::kSkipped);
    } else {
      if (std::find(c.names.begin(), c.names.end(), name) != c.names.end()) {
        return "the column " + std::string(name) + " is named twice";
      }
      c.role.push_back(Columns::kQuantity);
      c.names.emplace_back(name);
    }
  }
  if (!axis[0] || !axis[1]) {
    return "the header names no coordinates: it needs x and y (and z in 3-D), or ParaView's "
           "Points:0, Points:1 and Points:2";
  }
  c.axes = axis[2] ? 3 : 2;
  return c;
}

[[noreturn]] void refuse(const std::string& path, size_t line, const std::string& message) {
  throw Failure(path, line, message);
}

std::string mebibytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

mesh::PointCloud readCsvGrid(const std::string& path, bool needQuantities) {
  size_t headerNumber = 0;
  const std::optional<std::string> header = headerLine(path, headerNumber);
  if (!header) {
    std::error_code error;
    if (fs::is_directory(path, error)) refuse(path, 0, "is a folder, not a file: name a grid file");
    if (!std::ifstream(path, std::ios::binary))
      refuse(path, 0, std::string("cannot be opened (") + std::strerror(errno) + ")");
    refuse(path, 0,
           "holds no header line (x,y[,z] and the quantities), or a line longer than 1 MiB");
  }
  auto roles = columnsOf(*header);
  if (auto* message = std::get_if<std::string>(&roles)) refuse(path, headerNumber, *message);
  const Columns& columns = std::get<Columns>(roles);
  if (needQuantities && columns.names.empty()) {
    refuse(path, headerNumber, "names no quantity besides the coordinates");
  }
  mesh::PointCloud cloud;
  cloud.dim = columns.axes;
  for (const std::string& name : columns.names) cloud.quantities.push_back({name, {}});
  const uint64_t pointBytes =
      8 * (static_cast<uint64_t>(cloud.dim) + cloud.quantities.size()) + kMeshTreeBytesPerPoint;
  const uint64_t maxPoints = kMeshFileBudget / pointBytes;

  // The rows after the header, a block of them at a time; the reader skips the header itself
  // (a first record that is no pair of an id and a number).
  field::PointFileReader reader;
  if (auto e = reader.open({path, field::Layout::Csv, field::FirstRecord::Detect}))
    refuse(e->file, e->line, e->message);
  std::string text;
  CsvLine fields;
  uint64_t points = 0;
  double x[3] = {0.0, 0.0, 0.0};
  for (;;) {
    text.clear();
    size_t taken = 0, firstLine = 0;
    if (auto e = reader.take(4096, text, taken, firstLine)) refuse(e->file, e->line, e->message);
    if (taken == 0) break;
    CsvLines lines(text);
    std::string_view line;
    size_t number = 0;
    while (lines.next(line, number)) {
      const size_t at = firstLine + number - 1;
      fields.split(line, columns.delimiter);
      if (fields.size() != columns.role.size()) {
        refuse(path, at,
               "expected " + std::to_string(columns.role.size()) +
                   " fields, as the header names, found " + std::to_string(fields.size()) +
                   (columns.delimiter == ',' && fields.size() > columns.role.size()
                        ? " (a decimal comma? write 0.1, not 0,1)"
                        : ""));
      }
      if (++points > maxPoints) {
        refuse(path, at,
               "holds more than " + std::to_string(maxPoints) +
                   " points: a grid file is read whole, at " + std::to_string(pointBytes) +
                   " bytes a point here, within " + mebibytes(kMeshFileBudget) +
                   " (split the field, or study it at fewer points)");
      }
      size_t q = 0;
      for (size_t k = 0; k < fields.size(); ++k) {
        const int role = columns.role[k];
        if (role == Columns::kSkipped) continue;
        double value = 0.0;
        if (!readReal(fields[k], value, NumberGrammar::Decimal)) {
          refuse(path, at,
                 "column " + std::to_string(k + 1) + " '" + std::string(fields[k].substr(0, 40)) +
                     "' is not a number");
        }
        if (role == Columns::kQuantity) {
          cloud.quantities[q++].values.push_back(value);
        } else if (!std::isfinite(value)) {
          refuse(path, at,
                 "the coordinate " + std::string(fields[k].substr(0, 40)) + " is not finite");
        } else {
          x[role] = value;
        }
      }
      cloud.coordinates.insert(cloud.coordinates.end(), x, x + cloud.dim);
    }
  }
  if (points == 0) refuse(path, 0, "holds no points");
  return cloud;
}

mesh::PointCloud readVtkGrid(const std::string& path, bool needQuantities, bool& cellCentres) {
  const std::optional<mesh::VtkDeclared> declared = mesh::declaredVtk(path);
  if (declared) {
    if (!declared->fault.empty()) refuse(path, declared->line, declared->fault);
    if (declared->points > kMeshFileBudget / kVtkBytesPerPoint) {
      refuse(path, 0,
             "declares " + std::to_string(declared->points) +
                 " points: a grid file is read whole, at about " +
                 std::to_string(kVtkBytesPerPoint) + " bytes a point while VTK reads it, within " +
                 mebibytes(kMeshFileBudget) + " (at most " +
                 std::to_string(kMeshFileBudget / kVtkBytesPerPoint) + " points)");
    }
    if (declared->values > kMeshFileBudget / kVtkBytesPerValue) {
      refuse(path, 0,
             "declares " + std::to_string(declared->values) +
                 " values (coordinates, cells and arrays): VTK holds each in " +
                 std::to_string(kVtkBytesPerValue) + " bytes, within " +
                 mebibytes(kMeshFileBudget) + " (at most " +
                 std::to_string(kMeshFileBudget / kVtkBytesPerValue) + " values)");
    }
  }
  mesh::VtkContent content;
  if (auto e = mesh::readVtk(path, content, declared ? &*declared : nullptr)) throw Failure("", 0, *e);
  cellCentres = content.points.quantities.empty() && !content.cellCentres.quantities.empty();
  mesh::PointCloud cloud = std::move(cellCentres ? content.cellCentres : content.points);
  if (cloud.size() == 0) refuse(path, 0, "holds no points");
  if (needQuantities && cloud.quantities.empty())
    refuse(path, 0, "holds neither point data nor cell data to study");
  return cloud;
}

}  // namespace

bool namesCoordinates(std::string_view headerLine) {
  // By the names of x and y alone: a header with a fault besides (a name twice, an empty one)
  // is still a grid's, and its reader says what is wrong with it.
  CsvLine names;
  names.split(headerLine, csvDelimiter(headerLine));
  bool paraView = false, axis[3] = {false, false, false};
  for (std::string_view name : names.fields()) paraView = paraView || paraViewAxis(name) >= 0;
  for (std::string_view name : names.fields()) {
    const int a = paraView ? paraViewAxis(name) : plainAxis(name);
    if (a >= 0) axis[a] = true;
  }
  return names.size() >= 3 && axis[0] && axis[1];
}

bool isMeshFieldTable(const std::string& file) {
  if (file == "-") return false;
  const auto read = field::readFieldCase(file, 3);
  const auto* table = std::get_if<field::FieldCase>(&read);
  if (table == nullptr || table->grids.empty()) return false;
  const std::string& first = table->grids.front().file.path;
  if (isVtkName(first)) return true;
  if (extensionOf(first) != ".csv") return false;
  size_t number = 0;
  const std::optional<std::string> header = headerLine(first, number);
  return header && namesCoordinates(*header);
}

MeshCase readMeshCase(const std::string& file, int dimension) {
  auto read = field::readFieldCase(file, dimension);
  if (const Error* e = std::get_if<Error>(&read))
    throw Failure(displayName(e->file), e->line, e->message);
  const field::FieldCase& table = std::get<field::FieldCase>(read);
  MeshCase c;
  c.file = file;
  for (const field::FieldGrid& g : table.grids) {
    c.h.push_back(g.h);
    if (g.cells > 0.0) c.cells.push_back(g.cells);
    c.gridFiles.push_back(g.file.path);
  }
  if (!c.cells.empty()) c.dimension = dimension;
  if (table.exact) c.exactFile = table.exact->path;
  return c;
}

GridPoints readGridPoints(const std::string& path, bool needQuantities) {
  GridPoints out;
  out.cloud = isVtkName(path) ? readVtkGrid(path, needQuantities, out.cellCentres)
                              : readCsvGrid(path, needQuantities);
  if (auto error = mesh::validate(out.cloud)) refuse(path, 0, *error);
  return out;
}

int usedDimension(const mesh::PointCloud& cloud) {
  int used = 1;
  const size_t dim = static_cast<size_t>(cloud.dim);
  for (size_t k = 0; k < cloud.coordinates.size(); ++k) {
    if (cloud.coordinates[k] != 0.0) used = std::max(used, static_cast<int>(k % dim) + 1);
  }
  return used;
}

void setDimension(mesh::PointCloud& cloud, int dim) {
  if (dim == cloud.dim) return;
  const size_t n = cloud.size(), from = static_cast<size_t>(cloud.dim),
               to = static_cast<size_t>(dim);
  std::vector<double> coordinates(n * to, 0.0);
  for (size_t i = 0; i < n; ++i) {
    for (size_t d = 0; d < std::min(from, to); ++d)
      coordinates[i * to + d] = cloud.coordinates[i * from + d];
  }
  cloud.coordinates = std::move(coordinates);
  cloud.dim = dim;
}

}  // namespace kv::study
