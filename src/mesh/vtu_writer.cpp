#include "mesh/vtu_writer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>

#include "io/temp_file.h"

namespace kv::mesh {
namespace {

std::string xmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    }
  }
  return out;
}

// Writes text as it is and bytes in base64, through a buffer.
class Base64 {
 public:
  explicit Base64(io::TempFile& file) : file_(file) {}

  void text(const std::string& t) {
    buffer_ += t;
    spill();
  }
  void bytes(const void* data, size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < count; ++i) {
      group_[grouped_++] = p[i];
      if (grouped_ == 3) encodeGroup();
    }
    spill();
  }
  // Ends the current base64 text, padding its last group.
  void finish() {
    if (grouped_ == 0) return;
    size_t used = grouped_;
    while (grouped_ < 3) group_[grouped_++] = 0;
    encodeGroup();
    for (size_t i = used + 1; i < 4; ++i) buffer_[buffer_.size() - 4 + i] = '=';
  }
  void flush() {
    file_.write(buffer_);
    buffer_.clear();
  }

 private:
  void encodeGroup() {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint32_t v = (uint32_t{group_[0]} << 16) | (uint32_t{group_[1]} << 8) | group_[2];
    for (int shift = 18; shift >= 0; shift -= 6) buffer_ += kDigits[(v >> shift) & 63];
    grouped_ = 0;
  }
  void spill() {
    if (buffer_.size() >= (size_t{1} << 20)) flush();
  }

  io::TempFile& file_;
  std::string buffer_;
  unsigned char group_[3] = {0, 0, 0};
  size_t grouped_ = 0;
};

// One array of the file: its XML element and how to write its bytes.
struct Block {
  std::string element;  // without the format attribute and the closing ">"
  uint64_t bytes = 0;
  // Writes the bytes through `put`, in pieces.
  std::function<void(const std::function<void(const void*, size_t)>& put)> write;
};

constexpr size_t kPiecePoints = size_t{1} << 16;

Block pointsBlock(const PointCloud& cloud) {
  Block b;
  b.element = R"(<DataArray type="Float64" Name="Points" NumberOfComponents="3")";
  b.bytes = uint64_t{3} * sizeof(double) * cloud.size();
  b.write = [&cloud](const auto& put) {
    std::vector<double> piece;
    const size_t dim = static_cast<size_t>(cloud.dim);
    for (size_t begin = 0; begin < cloud.size(); begin += kPiecePoints) {
      size_t end = std::min(cloud.size(), begin + kPiecePoints);
      piece.assign(3 * (end - begin), 0.0);
      for (size_t i = begin; i < end; ++i) {
        for (size_t d = 0; d < dim; ++d)
          piece[3 * (i - begin) + d] = cloud.coordinates[i * dim + d];
      }
      put(piece.data(), piece.size() * sizeof(double));
    }
  };
  return b;
}

template <class T>
Block arrayBlock(std::string element, const std::vector<T>& values) {
  Block b;
  b.element = std::move(element);
  b.bytes = sizeof(T) * values.size();
  b.write = [&values](const auto& put) { put(values.data(), values.size() * sizeof(T)); };
  return b;
}

// The connectivity (0, 1, 2, ...) or offsets (1, 2, 3, ...) of one vertex per point.
Block vertexBlock(const char* name, size_t count, int64_t first) {
  Block b;
  b.element = std::string(R"(<DataArray type="Int64" Name=")") + name + R"(")";
  b.bytes = sizeof(int64_t) * count;
  b.write = [count, first](const auto& put) {
    std::vector<int64_t> piece;
    for (size_t begin = 0; begin < count; begin += kPiecePoints) {
      size_t end = std::min(count, begin + kPiecePoints);
      piece.resize(end - begin);
      for (size_t i = begin; i < end; ++i) piece[i - begin] = static_cast<int64_t>(i) + first;
      put(piece.data(), piece.size() * sizeof(int64_t));
    }
  };
  return b;
}

Block vertexTypesBlock(size_t count) {
  Block b;
  b.element = R"(<DataArray type="UInt8" Name="types")";
  b.bytes = count;
  b.write = [count](const auto& put) {
    std::vector<uint8_t> piece(std::min(count, kPiecePoints),
                               static_cast<uint8_t>(CellType::Vertex));
    for (size_t begin = 0; begin < count; begin += kPiecePoints) {
      put(piece.data(), std::min(count - begin, kPiecePoints));
    }
  };
  return b;
}

}  // namespace

std::optional<std::string> writeVtu(io::TempFile& file, const PointCloud& cloud, const VtuExtras& extras) {
  if (auto error = validate(cloud)) return *error;
  const size_t n = cloud.size();
  for (const IntegerArray& a : extras.pointIntegers) {
    if (a.values.size() != n) {
      return "integer array '" + a.name + "' has " + std::to_string(a.values.size()) +
             " values for " + std::to_string(n) + " points";
    }
  }

  // The arrays, in the parts of the file they go to.
  std::vector<Block> field, pointData, cellBlocks;
  std::vector<int32_t> labelValues;
  labelValues.reserve(extras.labels.size());
  for (const FieldLabel& label : extras.labels) labelValues.push_back(label.value);
  for (size_t i = 0; i < extras.labels.size(); ++i) {
    Block b;
    b.element = R"(<DataArray type="Int32" Name=")" + xmlText(extras.labels[i].name) +
                R"(" NumberOfTuples="1")";
    b.bytes = sizeof(int32_t);
    b.write = [&labelValues, i](const auto& put) { put(&labelValues[i], sizeof(int32_t)); };
    field.push_back(std::move(b));
  }
  for (const Quantity& q : cloud.quantities) {
    pointData.push_back(
        arrayBlock(R"(<DataArray type="Float64" Name=")" + xmlText(q.name) + R"(")", q.values));
  }
  for (const IntegerArray& a : extras.pointIntegers) {
    pointData.push_back(
        arrayBlock(R"(<DataArray type="Int32" Name=")" + xmlText(a.name) + R"(")", a.values));
  }
  std::vector<Block> pointBlocks;
  pointBlocks.push_back(pointsBlock(cloud));
  const bool vertices = cloud.cells.empty();
  const size_t cellCount = vertices ? n : cloud.cells.size();
  if (vertices) {
    cellBlocks.push_back(vertexBlock("connectivity", n, 0));
    cellBlocks.push_back(vertexBlock("offsets", n, 1));
    cellBlocks.push_back(vertexTypesBlock(n));
  } else {
    cellBlocks.push_back(
        arrayBlock(R"(<DataArray type="Int64" Name="connectivity")", cloud.cells.connectivity));
    cellBlocks.push_back(
        arrayBlock(R"(<DataArray type="Int64" Name="offsets")", cloud.cells.offsets));
    cellBlocks.push_back(arrayBlock(R"(<DataArray type="UInt8" Name="types")", cloud.cells.types));
  }

  Base64 out(file);
  auto write = [&](const std::vector<Block>& blocks, const char* indent) {
    for (const Block& b : blocks) {
      out.text(indent + b.element + " format=\"binary\">");
      out.bytes(&b.bytes, sizeof(uint64_t));
      b.write([&out](const void* data, size_t bytes) { out.bytes(data, bytes); });
      out.finish();
      out.text("</DataArray>\n");
    }
  };
  out.text(std::string("<?xml version=\"1.0\"?>\n") +
           R"(<VTKFile type="UnstructuredGrid" version="1.0" byte_order=")" +
           (std::endian::native == std::endian::big ? "BigEndian" : "LittleEndian") +
           R"(" header_type="UInt64">)" + "\n  <UnstructuredGrid>\n");
  if (!field.empty()) {
    out.text("    <FieldData>\n");
    write(field, "      ");
    out.text("    </FieldData>\n");
  }
  out.text("    <Piece NumberOfPoints=\"" + std::to_string(n) + "\" NumberOfCells=\"" +
           std::to_string(cellCount) + "\">\n      <PointData>\n");
  write(pointData, "        ");
  out.text("      </PointData>\n      <Points>\n");
  write(pointBlocks, "        ");
  out.text("      </Points>\n      <Cells>\n");
  write(cellBlocks, "        ");
  out.text("      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n");
  out.flush();
  if (!file.flush()) return "cannot write " + file.path();
  return std::nullopt;
}

std::optional<std::string> writeVtu(const std::string& path, const PointCloud& cloud, const VtuExtras& extras) {
  io::TempFile file;
  if (auto error = file.open(path)) return "cannot create " + path;
  if (auto failure = writeVtu(file, cloud, extras)) return failure;
  if (auto error = file.commit()) return "cannot write " + path;
  return std::nullopt;
}

}  // namespace kv::mesh
