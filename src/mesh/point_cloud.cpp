#include "mesh/point_cloud.h"

#include <cmath>
#include <set>

namespace kv::mesh {

const Quantity* PointCloud::quantity(std::string_view name) const {
  for (const Quantity& q : quantities) {
    if (q.name == name) return &q;
  }
  return nullptr;
}

std::optional<std::string> validate(const PointCloud& cloud) {
  if (cloud.dim < 1 || cloud.dim > 3) {
    return "a point cloud has 1, 2 or 3 dimensions, not " + std::to_string(cloud.dim);
  }
  if (cloud.coordinates.size() % static_cast<size_t>(cloud.dim) != 0) {
    return "the coordinates are not a whole number of points";
  }
  for (size_t i = 0; i < cloud.coordinates.size(); ++i) {
    if (!std::isfinite(cloud.coordinates[i])) {
      return "point " + std::to_string(i / static_cast<size_t>(cloud.dim)) +
             " has a coordinate that is not a finite number";
    }
  }
  const size_t n = cloud.size();
  std::set<std::string_view> names;
  for (const Quantity& q : cloud.quantities) {
    if (q.values.size() != n) {
      return "quantity '" + q.name + "' has " + std::to_string(q.values.size()) + " values for " +
             std::to_string(n) + " points";
    }
    if (!names.insert(q.name).second) return "two quantities are named '" + q.name + "'";
  }
  const Cells& cells = cloud.cells;
  if (cells.offsets.size() != cells.types.size()) {
    return "the cells have " + std::to_string(cells.types.size()) + " types but " +
           std::to_string(cells.offsets.size()) + " offsets";
  }
  int64_t begin = 0;
  for (size_t c = 0; c < cells.size(); ++c) {
    if (cells.offsets[c] <= begin) return "cell " + std::to_string(c) + " has no points";
    begin = cells.offsets[c];
  }
  if (static_cast<uint64_t>(begin) != cells.connectivity.size()) {
    return "the cell offsets do not end at the end of the connectivity";
  }
  for (int64_t index : cells.connectivity) {
    if (index < 0 || static_cast<uint64_t>(index) >= n) {
      return "a cell refers to point " + std::to_string(index) + " of a cloud of " +
             std::to_string(n) + " points";
    }
  }
  return std::nullopt;
}

}  // namespace kv::mesh
