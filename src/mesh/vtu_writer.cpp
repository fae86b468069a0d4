#include "mesh/vtu_writer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <fstream>
#include <functional>

namespace kv::mesh {
namespace {

std::string xmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    }
  }
  return out;
}

// One array of the appended block: its XML element and how to write its bytes.
struct Block {
  std::string element;  // without the offset attribute and the closing "/>"
  uint64_t bytes = 0;
  // Writes the bytes through `put`, in pieces.
  std::function<void(const std::function<void(const void*, size_t)>& put)> write;
};

constexpr size_t kPiecePoints = size_t{1} << 16;

Block pointsBlock(const PointCloud& cloud) {
  Block b;
  b.element = R"(<DataArray type="Float64" Name="Points" NumberOfComponents="3" format="appended")";
  b.bytes = uint64_t{3} * sizeof(double) * cloud.size();
  b.write = [&cloud](const auto& put) {
    std::vector<double> piece;
    const size_t dim = static_cast<size_t>(cloud.dim);
    for (size_t begin = 0; begin < cloud.size(); begin += kPiecePoints) {
      size_t end = std::min(cloud.size(), begin + kPiecePoints);
      piece.assign(3 * (end - begin), 0.0);
      for (size_t i = begin; i < end; ++i) {
        for (size_t d = 0; d < dim; ++d) piece[3 * (i - begin) + d] = cloud.coordinates[i * dim + d];
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
  b.element = std::string(R"(<DataArray type="Int64" Name=")") + name + R"(" format="appended")";
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
  b.element = R"(<DataArray type="UInt8" Name="types" format="appended")";
  b.bytes = count;
  b.write = [count](const auto& put) {
    std::vector<uint8_t> piece(std::min(count, kPiecePoints), static_cast<uint8_t>(CellType::Vertex));
    for (size_t begin = 0; begin < count; begin += kPiecePoints) {
      put(piece.data(), std::min(count - begin, kPiecePoints));
    }
  };
  return b;
}

}  // namespace

std::optional<std::string> writeVtu(const std::string& path, const PointCloud& cloud,
                                    const VtuExtras& extras) {
  if (auto error = validate(cloud)) return *error;
  const size_t n = cloud.size();
  for (const IntegerArray& a : extras.pointIntegers) {
    if (a.values.size() != n) {
      return "integer array '" + a.name + "' has " + std::to_string(a.values.size()) +
             " values for " + std::to_string(n) + " points";
    }
  }

  // The blocks in the order they are listed and appended.
  std::vector<Block> field, pointData, cellBlocks;
  std::vector<int32_t> labelValues;
  labelValues.reserve(extras.labels.size());
  for (const FieldLabel& label : extras.labels) labelValues.push_back(label.value);
  for (size_t i = 0; i < extras.labels.size(); ++i) {
    Block b;
    b.element = R"(<DataArray type="Int32" Name=")" + xmlText(extras.labels[i].name) +
                R"(" NumberOfTuples="1" format="appended")";
    b.bytes = sizeof(int32_t);
    b.write = [&labelValues, i](const auto& put) { put(&labelValues[i], sizeof(int32_t)); };
    field.push_back(std::move(b));
  }
  for (const Quantity& q : cloud.quantities) {
    pointData.push_back(arrayBlock(
        R"(<DataArray type="Float64" Name=")" + xmlText(q.name) + R"(" format="appended")",
        q.values));
  }
  for (const IntegerArray& a : extras.pointIntegers) {
    pointData.push_back(arrayBlock(
        R"(<DataArray type="Int32" Name=")" + xmlText(a.name) + R"(" format="appended")",
        a.values));
  }
  Block points = pointsBlock(cloud);
  const bool vertices = cloud.cells.empty();
  const size_t cellCount = vertices ? n : cloud.cells.size();
  if (vertices) {
    cellBlocks.push_back(vertexBlock("connectivity", n, 0));
    cellBlocks.push_back(vertexBlock("offsets", n, 1));
    cellBlocks.push_back(vertexTypesBlock(n));
  } else {
    cellBlocks.push_back(arrayBlock(R"(<DataArray type="Int64" Name="connectivity" format="appended")",
                                    cloud.cells.connectivity));
    cellBlocks.push_back(
        arrayBlock(R"(<DataArray type="Int64" Name="offsets" format="appended")", cloud.cells.offsets));
    cellBlocks.push_back(
        arrayBlock(R"(<DataArray type="UInt8" Name="types" format="appended")", cloud.cells.types));
  }

  std::string head = "<?xml version=\"1.0\"?>\n";
  head += std::string(R"(<VTKFile type="UnstructuredGrid" version="1.0" byte_order=")") +
          (std::endian::native == std::endian::big ? "BigEndian" : "LittleEndian") +
          R"(" header_type="UInt64">)" + "\n  <UnstructuredGrid>\n";
  uint64_t offset = 0;
  std::vector<const Block*> order;
  auto list = [&](const std::vector<Block>& blocks, const char* indent) {
    for (const Block& b : blocks) {
      head += indent + b.element + " offset=\"" + std::to_string(offset) + "\"/>\n";
      offset += sizeof(uint64_t) + b.bytes;
      order.push_back(&b);
    }
  };
  if (!field.empty()) {
    head += "    <FieldData>\n";
    list(field, "      ");
    head += "    </FieldData>\n";
  }
  head += "    <Piece NumberOfPoints=\"" + std::to_string(n) + "\" NumberOfCells=\"" +
          std::to_string(cellCount) + "\">\n";
  head += "      <PointData>\n";
  list(pointData, "        ");
  head += "      </PointData>\n      <Points>\n";
  head += "        " + points.element + " offset=\"" + std::to_string(offset) + "\"/>\n";
  offset += sizeof(uint64_t) + points.bytes;
  order.push_back(&points);
  head += "      </Points>\n      <Cells>\n";
  list(cellBlocks, "        ");
  head += "      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n";
  head += "  <AppendedData encoding=\"raw\">\n   _";

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return "cannot create " + path;
  file.write(head.data(), static_cast<std::streamsize>(head.size()));
  auto put = [&file](const void* data, size_t bytes) {
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
  };
  for (const Block* b : order) {
    put(&b->bytes, sizeof(uint64_t));
    b->write(put);
  }
  const std::string tail = "\n  </AppendedData>\n</VTKFile>\n";
  file.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  file.close();
  if (!file) {
    std::remove(path.c_str());
    return "cannot write " + path;
  }
  return std::nullopt;
}

}  // namespace kv::mesh
