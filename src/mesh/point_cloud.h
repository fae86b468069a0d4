// A cloud of points in 1, 2 or 3 dimensions with named values at the points, and optionally the
// cells that join them: the grid of one solution of a refinement study when its points are not
// those of the other grids.
//
// Layout: the coordinates of point i are coordinates[i*dim ... i*dim + dim-1] (point after
// point); a quantity holds one value per point, in the same order. Cells follow VTK's
// unstructured-grid layout: the points of cell c are connectivity[offsets[c-1] .. offsets[c]-1]
// (offsets[-1] taken as 0), its shape the VTK cell type types[c].
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv::mesh {

// The VTK cell types of linear cells (the values VTK files store).
enum class CellType : uint8_t {
  Vertex = 1,
  PolyVertex = 2,
  Line = 3,
  PolyLine = 4,
  Triangle = 5,
  TriangleStrip = 6,
  Polygon = 7,
  Pixel = 8,
  Quad = 9,
  Tetra = 10,
  Voxel = 11,
  Hexahedron = 12,
  Wedge = 13,
  Pyramid = 14,
};

struct Cells {
  std::vector<int64_t> connectivity;
  std::vector<int64_t> offsets;  // one per cell: the end of its points in `connectivity`
  std::vector<uint8_t> types;    // one per cell: a VTK cell type (CellType or another)

  size_t size() const { return types.size(); }
  bool empty() const { return types.empty(); }
};

struct Quantity {
  std::string name;
  std::vector<double> values;  // one per point; NaN where there is no value
};

struct PointCloud {
  int dim = 0;                      // 1, 2 or 3
  std::vector<double> coordinates;  // size() * dim
  Cells cells;                      // empty for a bare cloud of points
  std::vector<Quantity> quantities;

  size_t size() const { return dim > 0 ? coordinates.size() / static_cast<size_t>(dim) : 0; }
  std::span<const double> point(size_t i) const {
    return {coordinates.data() + i * static_cast<size_t>(dim), static_cast<size_t>(dim)};
  }
  // The quantity of that name, or null.
  const Quantity* quantity(std::string_view name) const;
};

// What makes the cloud unusable, or nothing: a dimension other than 1, 2 or 3, coordinates not
// a whole number of points, a coordinate that is not finite, a quantity with another number of
// values than points, two quantities of one name, offsets that decrease or do not end at the
// end of the connectivity, a cell's point index outside the cloud, a cell without points.
std::optional<std::string> validate(const PointCloud& cloud);

}  // namespace kv::mesh
