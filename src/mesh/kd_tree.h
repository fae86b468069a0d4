// The k nearest points of a point cloud to any query point (Euclidean distance), over a k-d
// tree (nanoflann). Built once; queries are const and may run from many threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "mesh/point_cloud.h"

namespace kv::mesh {

class KdTree {
 public:
  // The largest number of points a tree indexes (point indices are 32-bit).
  static constexpr size_t kMaxPoints = UINT32_MAX;

  // Why these coordinates (size() * dim, point after point) cannot be indexed, or nothing:
  // the dimension or the number of points is out of range, or a coordinate is not finite.
  static std::optional<std::string> check(std::span<const double> coordinates, int dim);

  // Builds the tree over the coordinates, which must pass check() and stay alive and unchanged
  // while the tree is used; the tree keeps no copy of them.
  KdTree(std::span<const double> coordinates, int dim);
  explicit KdTree(const PointCloud& cloud) : KdTree(cloud.coordinates, cloud.dim) {}
  ~KdTree();
  KdTree(KdTree&&) noexcept;
  KdTree& operator=(KdTree&&) noexcept;

  int dim() const { return dim_; }
  size_t size() const { return size_; }

  // Writes the indices of the min(k, size()) points nearest to `query` (dim() coordinates) to
  // `indices` and their squared distances to `squaredDistances`, nearest first (of points at
  // one distance, the lower index first), and returns their number. A query coordinate that is
  // not finite finds nothing.
  size_t nearest(std::span<const double> query, size_t k, uint32_t* indices,
                 double* squaredDistances) const;

  // The bytes the tree holds (its index array and nodes), beside the coordinates.
  size_t memoryBytes() const;

  struct Index;

 private:
  std::unique_ptr<Index> index_;
  int dim_ = 0;
  size_t size_ = 0;
};

}  // namespace kv::mesh
