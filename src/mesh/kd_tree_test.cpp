#include "mesh/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace kv::mesh {
namespace {

// Against a full sort by (distance, index), on small integer coordinates where many points are
// equally near (and some coincide): the same indices in the same order.
TEST(KdTree, FindsTheKNearestAsAFullSortDoes) {
  std::mt19937_64 random(1);
  for (int dim = 1; dim <= 3; ++dim) {
    std::vector<double> points(static_cast<size_t>(dim) * 3000);
    for (double& x : points) x = static_cast<double>(random() % 9);
    KdTree tree(points, dim);
    ASSERT_EQ(tree.size(), 3000u);
    for (int q = 0; q < 50; ++q) {
      std::vector<double> query(dim);
      for (double& x : query) x = static_cast<double>(random() % 11) - 1;
      std::vector<double> distance(tree.size());
      for (size_t i = 0; i < tree.size(); ++i) {
        distance[i] = 0;
        for (int d = 0; d < dim; ++d) distance[i] += std::pow(points[i * dim + d] - query[d], 2);
      }
      std::vector<uint32_t> order(tree.size());
      std::iota(order.begin(), order.end(), 0u);
      std::stable_sort(order.begin(), order.end(),
                       [&](uint32_t a, uint32_t b) { return distance[a] < distance[b]; });
      for (size_t k : {size_t{1}, size_t{7}, size_t{60}}) {
        std::vector<uint32_t> found(k);
        std::vector<double> squared(k);
        ASSERT_EQ(tree.nearest(query, k, found.data(), squared.data()), k);
        EXPECT_TRUE(std::equal(found.begin(), found.end(), order.begin())) << dim << "-D k " << k;
        EXPECT_EQ(squared[k - 1], distance[order[k - 1]]);
      }
    }
  }
}

TEST(KdTree, FindsNothingForWhatItCannotUse) {
  const double nan = std::nan("");
  EXPECT_TRUE(KdTree::check(std::vector<double>{0, 1, nan, 3}, 2));
  EXPECT_TRUE(KdTree::check(std::vector<double>{0, 1, 2}, 2));
  EXPECT_TRUE(KdTree::check(std::vector<double>{0, 1, 2, 3}, 4));
  std::vector<double> bad{0, 1, nan, 3}, good{0, 0, 1, 1};
  uint32_t i[4];
  double d[4];
  EXPECT_EQ(KdTree(bad, 2).nearest(std::vector<double>{0, 0}, 1, i, d), 0u);
  EXPECT_EQ(KdTree(good, 2).nearest(std::vector<double>{nan, 0}, 1, i, d), 0u);
  EXPECT_EQ(KdTree(good, 2).nearest(std::vector<double>{0}, 1, i, d), 0u);     // one coordinate
  EXPECT_EQ(KdTree(good, 2).nearest(std::vector<double>{0, 0}, 4, i, d), 2u);  // k > size
}

}  // namespace
}  // namespace kv::mesh
