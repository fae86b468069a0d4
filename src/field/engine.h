// The field engine: every point of a field, sampled at the same points on every grid, in one
// pass over the point files with bounded memory, on all cores.
//
// The grid files (and the file of exact values, if any) are read in lockstep, a chunk of points
// at a time, in large blocks: read (one thread, in order) -> parse and compute (all threads) ->
// write and merge statistics (one thread, in order). Records are matched by position and their
// ids must agree in every file. The output and the statistics are the same, byte for byte,
// whatever the number of threads and the size of the chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "field/pipeline.h"
#include "field/point_file.h"
#include "io/temp_file.h"

namespace kv::field {

// One point as the per-point computation sees it.
struct Point {
  uint64_t position = 0;     // 0-based position of its record in the files
  std::string_view id;       // as written in the first grid file
  // One value per grid, in the order of the grid files given to runField (a field case lists
  // them finest first: values[0] is grid 1 of the standard procedure).
  std::span<const double> values;
  std::optional<double> exact;
};

// The per-point computation. Each chunk of points is worked on by a ChunkWork of its own (one
// thread at a time; several chunks at once on several threads); the chunks are then handed back
// to the kernel in order, on one thread, with their rows already written.
class ChunkWork {
 public:
  virtual ~ChunkWork() = default;
  // Starts a chunk whose first point is at `firstPosition` (a work object serves many chunks).
  virtual void begin(uint64_t firstPosition) = 0;
  // One point: appends its output row (with its line end) to `rows`.
  virtual void point(const Point& point, std::string& rows) = 0;
};

class PointKernel {
 public:
  virtual ~PointKernel() = default;
  virtual std::unique_ptr<ChunkWork> newWork() const = 0;
  // The chunks in order (what they computed beside their rows: statistics, ...).
  virtual void merge(ChunkWork& chunk) = 0;
};

struct FieldOptions {
  unsigned threads = 0;          // 0: all cores
  size_t chunkPoints = 4096;     // points per chunk
  size_t blockBytes = PointFileReader::kBlockBytes;  // bytes per read of a point file
  size_t chunksInFlight = 0;     // 0: twice the threads (at least 2)
  bool progress = true;          // a progress line when standard error is a terminal
  PipelineBackend backend = PipelineBackend::Default;
};

struct FieldResult {
  std::optional<Error> error;  // set: nothing useful was computed; the output is incomplete
  uint64_t points = 0;
  std::vector<std::optional<double>> spacings;  // per grid, from FirstRecord::Spacing files
  // Time spent in the serial stages (reading; writing and merging), which bounds the speedup
  // that more threads can give: at most (all the time) / (the serial time).
  double readSeconds = 0.0;
  double writeSeconds = 0.0;
};

// Reads the grid files (and the exact values) in lockstep and runs `kernel` on every point,
// writing the rows in order to `out` (already open; whatever was written before stays first).
// The caller commits `out` when the result has no error, and discards it otherwise.
FieldResult runField(const std::vector<PointFile>& grids, const std::optional<PointFile>& exact,
                     PointKernel& kernel, io::TempFile& out, const FieldOptions& options = {});

// Points that are already in memory (an HDF5 block, a numpy array): the points at positions
// [first, first + count), each made by `point` (its id, values and exact value; the views may
// point into `values` and `id`, which are the calling thread's own). The points run through the
// same pipeline on `options.threads` threads, in chunks of `options.chunkPoints`, the chunks
// handed back to the kernel in order, and the rows of each chunk to `rows` in order.
using PointSource = std::function<void(uint64_t position, Point& point, std::vector<double>& values,
                                       std::string& id)>;
void runPoints(uint64_t first, uint64_t count, const PointSource& point, PointKernel& kernel,
               const std::function<void(std::string_view rows)>& rows, const FieldOptions& options = {});

unsigned defaultThreads();

}  // namespace kv::field
