#include "cluster/slabs.h"

#include <algorithm>

namespace kv::cluster {

Range part(Range whole, uint64_t i, uint64_t n) {
  const uint64_t size = whole.size() / n;
  const uint64_t extra = whole.size() % n;
  const uint64_t begin = whole.begin + i * size + std::min(i, extra);
  return {begin, begin + size + (i < extra ? 1 : 0)};
}

}  // namespace kv::cluster
