// The study of a field whose values are in memory (a numpy array of grids x points, read in
// place at any strides): every point studied by the one per-point study (study::PointStudy) on
// the field engine's threads (field::runPoints), each point's summary.csv columns written
// straight into preallocated arrays at its position. Positions are unique, so the chunks need
// no merge. No Python here: the caller releases the interpreter while this runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "field/engine.h"
#include "study/study.h"
#include "study/summary.h"

namespace kv::python {

// Doubles at byte strides (negative ones too): values[grid][point].
struct StridedValues {
  const char* data = nullptr;
  size_t grids = 0;
  size_t points = 0;
  ptrdiff_t gridStride = 0;
  ptrdiff_t pointStride = 0;

  double at(size_t grid, size_t point) const {
    double v;
    std::memcpy(&v, data + static_cast<ptrdiff_t>(grid) * gridStride + static_cast<ptrdiff_t>(point) * pointStride,
                sizeof v);
    return v;
  }
};

// The exact value of each point: one array at a byte stride, or one value for all (NaN: none).
struct ExactValues {
  const char* data = nullptr;
  ptrdiff_t stride = 0;
  double all = kNotANumber;

  double at(size_t point) const {
    if (data == nullptr) return all;
    double v;
    std::memcpy(&v, data + static_cast<ptrdiff_t>(point) * stride, sizeof v);
    return v;
  }
};

// How a column is stored: numbers as doubles (NaN where the CSV field is empty), counts as
// int64, the convergence type as its code (uint8, the names of study::categoryName), the
// point's position (the `quantity` column) as int64, other texts as int32 codes into `names`.
enum class Storage : uint8_t { Float64, Int64, UInt8, Position, TextCode };

Storage storageOf(const study::SummaryColumn& column);

struct ColumnOutput {
  const study::SummaryColumn* column = nullptr;
  Storage storage = Storage::Float64;
  void* data = nullptr;            // one element per point, of the storage's type
  std::vector<std::string> names;  // TextCode: the texts, sorted, after the run
};

// Studies the points of `values` whose grids, finest first, are the rows `finestFirst` (the
// spacings of `study`). Returns false when `stop` was set during the run: the outputs are then
// incomplete.
bool studyPoints(const study::PointStudy& study, const StridedValues& values, std::span<const size_t> finestFirst,
                 const ExactValues& exact, std::span<ColumnOutput> outputs, const field::FieldOptions& options,
                 const std::atomic<bool>& stop);

}  // namespace kv::python
