#include "mesh/point_cloud.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace kv::mesh {
namespace {

// Each fault a cloud read from a file may have, one at a time, on a valid cloud of two
// triangles.
TEST(PointCloud, ValidateFindsEachFault) {
  PointCloud valid;
  valid.dim = 2;
  valid.coordinates = {0, 0, 1, 0, 1, 1, 0, 1};
  valid.cells = {{0, 1, 2, 0, 2, 3}, {3, 6}, {5, 5}};
  valid.quantities = {{"p", {1, 2, 3, 4}}, {"U:0", {1, 2, 3, 4}}};
  ASSERT_EQ(validate(valid), std::nullopt);
  std::function<void(PointCloud&)> faults[] = {
      [](PointCloud& c) { c.dim = 4; },
      [](PointCloud& c) { c.coordinates.pop_back(); },
      [](PointCloud& c) { c.coordinates[3] = INFINITY; },
      [](PointCloud& c) { c.quantities[1].values.pop_back(); },
      [](PointCloud& c) { c.quantities[1].name = c.quantities[0].name; },
      [](PointCloud& c) {
        c.cells.offsets = {3, 3};
      },  // an empty cell
      [](PointCloud& c) {
        c.cells.offsets = {3, 5};
      },  // ends before the connectivity
      [](PointCloud& c) { c.cells.types.pop_back(); },
      [](PointCloud& c) { c.cells.connectivity[4] = 4; },  // no such point
      [](PointCloud& c) { c.cells.connectivity[4] = -1; },
  };
  for (size_t f = 0; f < std::size(faults); ++f) {
    PointCloud c = valid;
    faults[f](c);
    EXPECT_NE(validate(c), std::nullopt) << "fault " << f;
  }
}

}  // namespace
}  // namespace kv::mesh
