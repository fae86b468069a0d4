#include "cluster/slabs.h"

#include <gtest/gtest.h>

#include <random>

namespace kv::cluster {
namespace {

// Over random ranges and part counts (more parts than points included): the parts tile the
// range in order, and their sizes differ by at most one, the larger first.
TEST(Slabs, PartsTileTheRangeEvenly) {
  std::mt19937_64 random(17);
  for (int trial = 0; trial < 2000; ++trial) {
    const uint64_t begin = random() % 1000, size = random() % 50, n = 1 + random() % 12;
    uint64_t next = begin, smallest = UINT64_MAX, largest = 0, previous = UINT64_MAX;
    for (uint64_t i = 0; i < n; ++i) {
      const Range r = part({begin, begin + size}, i, n);
      ASSERT_EQ(r.begin, next);
      ASSERT_LE(r.size(), previous);
      next = r.end;
      previous = r.size();
      smallest = std::min(smallest, r.size());
      largest = std::max(largest, r.size());
    }
    EXPECT_EQ(next, begin + size);
    EXPECT_LE(largest - smallest, 1u);
  }
  // No overflow near the top of the range.
  EXPECT_EQ(part({0, UINT64_MAX}, 1, 2), (Range{UINT64_MAX / 2 + 1, UINT64_MAX}));
}

}  // namespace
}  // namespace kv::cluster
