// How the points of a field are shared out: N slabs of a job array, each split again among the
// ranks of an MPI run. Every share is a contiguous range, and the sizes of the parts of a range
// differ by at most one point, the larger ones first.
#pragma once

#include <cstdint>

namespace kv::cluster {

struct Range {
  uint64_t begin = 0;
  uint64_t end = 0;
  uint64_t size() const { return end - begin; }
  bool operator==(const Range&) const = default;
};

// The i-th (0-based) of n parts of `whole` (n >= 1, i < n); empty when there are more parts than
// points.
Range part(Range whole, uint64_t i, uint64_t n);

}  // namespace kv::cluster
