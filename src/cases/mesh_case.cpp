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
#include "io/whole_file.h"
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
  if (const std::optional<uint64_t> declared = declaredVtkPoints(path);
      declared && *declared > kMeshFileBudget / kVtkBytesPerPoint) {
    refuse(path, 0,
           "declares " + std::to_string(*declared) +
               " points: a grid file is read whole, at about " + std::to_string(kVtkBytesPerPoint) +
               " bytes a point while VTK reads it, within " + mebibytes(kMeshFileBudget) +
               " (at most " + std::to_string(kMeshFileBudget / kVtkBytesPerPoint) + " points)");
  }
  mesh::VtkContent content;
  if (auto e = mesh::readVtk(path, content)) throw Failure("", 0, *e);
  cellCentres = content.points.quantities.empty() && !content.cellCentres.quantities.empty();
  mesh::PointCloud cloud = std::move(cellCentres ? content.cellCentres : content.points);
  if (cloud.size() == 0) refuse(path, 0, "holds no points");
  if (needQuantities && cloud.quantities.empty())
    refuse(path, 0, "holds neither point data nor cell data to study");
  return cloud;
}

// Reads the file in blocks and calls `found` with the text that follows each occurrence of
// `pattern` (at least 32 bytes of it, or up to the end of the file) before the first `stop`,
// until `found` returns false.
template <class Found>
void scanFile(const std::string& path, std::string_view pattern, std::string_view stop,
              Found found) {
  constexpr size_t kBlock = size_t{1} << 20, kKeep = 64;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string text, block(kBlock, '\0');
  size_t from = 0;  // where occurrences not seen yet may start
  for (;;) {
    in.read(block.data(), kBlock);
    text.append(block.data(), static_cast<size_t>(in.gcount()));
    const bool last = !in;
    const size_t end = text.find(stop);
    // Where the next round searches: an occurrence that starts later is not whole here.
    size_t next = text.size() >= pattern.size() ? text.size() - pattern.size() + 1 : 0;
    for (size_t at = text.find(pattern, from); at != std::string::npos && at < end;
         at = text.find(pattern, at + 1)) {
      if (!last && end == std::string::npos && text.size() - at < pattern.size() + 32) {
        next = at;
        break;
      }
      if (!found(std::string_view(text).substr(at + pattern.size()))) return;
    }
    if (end != std::string::npos || last) return;
    const size_t keepFrom = std::min(next, text.size() - std::min(text.size(), kKeep));
    text.erase(0, keepFrom);
    from = next - keepFrom;
  }
}

// The digits at the start of `text`, as a number (nothing when none, or too many).
std::optional<uint64_t> leadingCount(std::string_view text) {
  size_t k = 0;
  while (k < text.size() && text[k] == ' ') ++k;
  uint64_t n = 0;
  size_t digits = 0;
  for (; k < text.size() && text[k] >= '0' && text[k] <= '9' && digits < 19; ++k, ++digits)
    n = 10 * n + (text[k] - '0');
  return digits > 0 ? std::optional<uint64_t>(n) : std::nullopt;
}

}  // namespace

std::optional<uint64_t> declaredVtkPoints(const std::string& path) {
  const std::string extension = extensionOf(path);
  std::optional<uint64_t> total;
  auto add = [&](std::optional<uint64_t> n) {
    if (n) total = std::min<uint64_t>(UINT64_MAX / 2, total.value_or(0) + *n);
  };
  if (extension == ".vtu") {
    // Raw appended data may hold any bytes: the scan stops where it starts.
    scanFile(path, "NumberOfPoints=\"", "<AppendedData", [&](std::string_view rest) {
      add(leadingCount(rest));
      return true;
    });
  } else if (extension == ".pvtu") {
    const io::WholeFile read = io::readWholeFile(path, io::kMaxCaseBytes);
    if (read.status != io::WholeFile::Status::Ok) return std::nullopt;
    const fs::path folder = fs::path(path).parent_path();
    for (size_t at = read.text.find("Source=\""); at != std::string::npos;
         at = read.text.find("Source=\"", at + 1)) {
      const size_t begin = at + 8, end = read.text.find('"', begin);
      if (end == std::string::npos) break;
      const std::string piece = (folder / read.text.substr(begin, end - begin)).string();
      if (extensionOf(piece) == ".vtu") add(declaredVtkPoints(piece));
    }
  } else if (extension == ".vtk") {
    // The header is text, even in a binary file, and declares the points before any data.
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (int k = 0; k < 1000 && std::getline(in, line) && line.size() < 4096; ++k) {
      if (line.starts_with("POINTS ")) {
        add(leadingCount(std::string_view(line).substr(7)));
        break;
      }
      if (line.starts_with("DIMENSIONS ")) {
        uint64_t product = 1;
        std::string_view rest = std::string_view(line).substr(11);
        for (int axis = 0; axis < 3; ++axis) {
          const auto n = leadingCount(rest);
          if (!n) return std::nullopt;
          product = *n != 0 && product > UINT64_MAX / 4 / *n ? UINT64_MAX / 4 : product * *n;
          const size_t space = rest.find_first_not_of(' ');
          rest.remove_prefix(space == std::string_view::npos ? rest.size() : space);
          const size_t next = rest.find(' ');
          rest.remove_prefix(next == std::string_view::npos ? rest.size() : next);
        }
        add(product);
        break;
      }
    }
  }
  return total;
}

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
