// Point sets for the tests of the mesh layer.
#pragma once

#include <functional>
#include <random>
#include <vector>

#include "mesh/point_cloud.h"

namespace kv::mesh {

// The lattice of spacing 1/cells on the unit square or cube (dim 1 to 3), each point moved at
// random by up to `jitter` spacings along each axis; points on the boundary move along it only.
inline std::vector<double> jitteredLattice(int dim, int cells, std::mt19937_64& random,
                                           double jitter = 0.25) {
  std::uniform_real_distribution<double> shift(-jitter, jitter);
  const double h = 1.0 / cells;
  const size_t n = static_cast<size_t>(cells) + 1;
  size_t total = n;
  for (int d = 1; d < dim; ++d) total *= n;
  std::vector<double> points;
  points.reserve(total * static_cast<size_t>(dim));
  for (size_t p = 0; p < total; ++p) {
    size_t rest = p;
    for (int d = 0; d < dim; ++d, rest /= n) {
      int index = static_cast<int>(rest % n);
      bool onBoundary = index == 0 || index == cells;
      points.push_back(h * (index + (onBoundary ? 0.0 : shift(random))));
    }
  }
  return points;
}

// A cloud of these coordinates with one quantity "f" of values f(point).
inline PointCloud cloudOf(int dim, std::vector<double> coordinates,
                          const std::function<double(const double*)>& f) {
  PointCloud cloud;
  cloud.dim = dim;
  cloud.coordinates = std::move(coordinates);
  Quantity q{"f", {}};
  for (size_t i = 0; i < cloud.size(); ++i) q.values.push_back(f(&cloud.coordinates[i * dim]));
  cloud.quantities.push_back(std::move(q));
  return cloud;
}

}  // namespace kv::mesh
