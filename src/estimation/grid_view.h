// Grid-numbered access to a span, for the formulas of this folder: grid i (1 = the coarsest) is
// entry i - 1, so that the code reads as the formulas are written.
#pragma once

#include <cassert>
#include <cstddef>
#include <span>

namespace kv {

template <typename T>
class GridView {
 public:
  GridView(std::span<T> values) : values_(values) {}  // NOLINT: a view of any span
  T& operator()(int i) const {
    assert(i >= 1 && static_cast<size_t>(i) <= values_.size());
    return values_[static_cast<size_t>(i - 1)];
  }
  int size() const { return static_cast<int>(values_.size()); }

 private:
  std::span<T> values_;
};

template <typename T>
GridView(std::span<T>) -> GridView<T>;

}  // namespace kv
