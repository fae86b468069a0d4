#include "mesh/kd_tree.h"

#include <cmath>
#include <limits>
#include <nanoflann.hpp>

namespace kv::mesh {
namespace {

// nanoflann's view of the coordinates.
struct Coordinates {
  const double* data;
  size_t count;
  size_t dim;

  size_t kdtree_get_point_count() const { return count; }
  double kdtree_get_pt(size_t index, size_t d) const { return data[index * dim + d]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};

// The k nearest, ordered by distance and then by index, so that equally near points are chosen
// the same way whatever the tree's shape. The tree offers only points strictly nearer than
// worstDist(): once full, that is the current k-th distance rounded up by one step, so that a
// point as near as the k-th still reaches addPoint, where the lower index wins.
class NearestK {
 public:
  NearestK(size_t capacity, uint32_t* indices, double* distances)
      : capacity_(capacity), indices_(indices), distances_(distances) {}

  size_t size() const { return count_; }
  bool full() const { return count_ == capacity_; }
  double worstDist() const { return worst_; }
  bool addPoint(double distance, uint32_t index) {
    auto before = [&](size_t slot) {
      return distance < distances_[slot] ||
             (distance == distances_[slot] && index < indices_[slot]);
    };
    if (full() && !before(count_ - 1)) return true;
    size_t slot = full() ? count_ - 1 : count_++;
    for (; slot > 0 && before(slot - 1); --slot) {
      distances_[slot] = distances_[slot - 1];
      indices_[slot] = indices_[slot - 1];
    }
    distances_[slot] = distance;
    indices_[slot] = index;
    if (full()) {
      worst_ = std::nextafter(distances_[capacity_ - 1], std::numeric_limits<double>::infinity());
    }
    return true;
  }

 private:
  size_t capacity_;
  size_t count_ = 0;
  double worst_ = std::numeric_limits<double>::infinity();
  uint32_t* indices_;
  double* distances_;
};

}  // namespace

struct KdTree::Index {
  virtual ~Index() = default;
  virtual void search(const double* query, NearestK& result) const = 0;
  virtual size_t memoryBytes() = 0;
};

namespace {

template <int Dim>
class IndexOf final : public KdTree::Index {
 public:
  IndexOf(const double* data, size_t count)
      : points_{data, count, Dim},
        tree_(Dim, points_, nanoflann::KDTreeSingleIndexAdaptorParams(16)) {}

  void search(const double* query, NearestK& result) const override {
    tree_.findNeighbors(result, query, nanoflann::SearchParams());
  }
  size_t memoryBytes() override { return tree_.usedMemory(tree_); }

 private:
  using Tree = nanoflann::KDTreeSingleIndexAdaptor<
      nanoflann::L2_Simple_Adaptor<double, Coordinates, double, uint32_t>, Coordinates, Dim,
      uint32_t>;
  Coordinates points_;
  Tree tree_;
};

}  // namespace

std::optional<std::string> KdTree::check(std::span<const double> coordinates, int dim) {
  if (dim < 1 || dim > 3) return "points have 1, 2 or 3 coordinates, not " + std::to_string(dim);
  if (coordinates.size() % static_cast<size_t>(dim) != 0) {
    return "the coordinates are not a whole number of points";
  }
  if (coordinates.size() / static_cast<size_t>(dim) > kMaxPoints) {
    return "more than " + std::to_string(kMaxPoints) + " points";
  }
  for (size_t i = 0; i < coordinates.size(); ++i) {
    if (!std::isfinite(coordinates[i])) {
      return "point " + std::to_string(i / static_cast<size_t>(dim)) +
             " has a coordinate that is not a finite number";
    }
  }
  return std::nullopt;
}

KdTree::KdTree(std::span<const double> coordinates, int dim) : dim_(dim) {
  if (check(coordinates, dim)) {
    dim_ = 0;  // an empty tree rather than a tree over what it cannot index
    return;
  }
  size_ = coordinates.size() / static_cast<size_t>(dim);
  if (size_ == 0) return;
  switch (dim) {
    case 1:
      index_ = std::make_unique<IndexOf<1>>(coordinates.data(), size_);
      break;
    case 2:
      index_ = std::make_unique<IndexOf<2>>(coordinates.data(), size_);
      break;
    default:
      index_ = std::make_unique<IndexOf<3>>(coordinates.data(), size_);
      break;
  }
}

KdTree::~KdTree() = default;
KdTree::KdTree(KdTree&&) noexcept = default;
KdTree& KdTree::operator=(KdTree&&) noexcept = default;

size_t KdTree::nearest(std::span<const double> query, size_t k, uint32_t* indices,
                       double* squaredDistances) const {
  if (!index_ || k == 0 || query.size() != static_cast<size_t>(dim_)) return 0;
  for (double x : query) {
    if (!std::isfinite(x)) return 0;
  }
  NearestK result(k < size_ ? k : size_, indices, squaredDistances);
  index_->search(query.data(), result);
  return result.size();
}

size_t KdTree::memoryBytes() const { return index_ ? index_->memoryBytes() : 0; }

}  // namespace kv::mesh
