#include "field/engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "field/progress.h"
#include "io/platform.h"
#include "text/number.h"

namespace kv::field {

unsigned defaultThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

namespace {

// The lines of one file in one chunk, handed out record by record.
class RecordCursor {
 public:
  void reset(std::string_view text, size_t firstLine, Layout layout) {
    text_ = text;
    pos_ = 0;
    line_ = firstLine;
    layout_ = layout;
  }
  // The next record line (without its line end) and its line number.
  std::string_view next(size_t& line) {
    for (;;) {
      size_t end = text_.find('\n', pos_);
      size_t stop = end == std::string_view::npos ? text_.size() : end;
      std::string_view record = text_.substr(pos_, stop - pos_);
      line = line_;
      pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      ++line_;
      if (isRecordLine(record, layout_)) return record;
    }
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 0;
  Layout layout_ = Layout::Classic;
};

bool sameId(std::string_view a, std::string_view b) {
  if (a == b) return true;
  int64_t x = 0, y = 0;  // 007 and 7 are the same point
  return readInteger(a, x) && readInteger(b, y) && x == y;
}

struct Chunk {
  uint64_t firstPosition = 0;
  size_t points = 0;
  std::vector<std::string> text;  // per file
  std::vector<size_t> firstLine;  // per file
  uint64_t bytesRead = 0;         // of all the files, after this chunk
  std::string rows;
  std::unique_ptr<ChunkWork> work;
  std::optional<Error> error;
  // A file that ends before the others: reported after the points all files still share.
  std::optional<Error> shortFile;
};

// Adds the time from its construction to its end to `total`.
struct StageTimer {
  using Clock = std::chrono::steady_clock;
  double& total;
  Clock::time_point start = Clock::now();
  ~StageTimer() { total += std::chrono::duration<double>(Clock::now() - start).count(); }
};

std::string where(const std::string& file, size_t line) {
  return file + ":" + std::to_string(line);
}

}  // namespace

FieldResult runField(const std::vector<PointFile>& grids, const std::optional<PointFile>& exact,
                     PointKernel& kernel, io::TempFile& out, const FieldOptions& options) {
  FieldResult result;
  std::vector<PointFile> files = grids;
  if (exact) files.push_back(*exact);
  const size_t gridCount = grids.size();
  const size_t fileCount = files.size();
  // Every file's block in memory at once: their sum stays within 16 MiB however many grids.
  const size_t blockBytes = std::min(options.blockBytes, std::max<size_t>(size_t{64} << 10, (size_t{16} << 20) / fileCount));
  std::vector<PointFileReader> readers;
  readers.reserve(fileCount);
  for (size_t f = 0; f < fileCount; ++f) readers.emplace_back(blockBytes);
  uint64_t totalBytes = 0;
  for (size_t f = 0; f < fileCount; ++f) {
    if (auto error = readers[f].open(files[f])) {
      result.error = error;
      return result;
    }
    std::error_code ignored;
    uintmax_t size = std::filesystem::file_size(files[f].path, ignored);
    if (!ignored) totalBytes += size;
    if (f < gridCount) result.spacings.push_back(readers[f].spacing());
    files[f] = readers[f].file();  // with what opening found (a CSV file's delimiter)
  }

  const unsigned threads = options.threads ? options.threads : defaultThreads();
  const size_t chunkPoints = std::max<size_t>(1, options.chunkPoints);
  const size_t slots = options.chunksInFlight ? options.chunksInFlight
                                              : std::max<size_t>(2, 2 * size_t{threads});
  std::vector<std::unique_ptr<Chunk>> chunks(slots);
  for (auto& chunk : chunks) {
    chunk = std::make_unique<Chunk>();
    chunk->text.resize(fileCount);
    chunk->firstLine.resize(fileCount);
    chunk->work = kernel.newWork();
  }
  ProgressLine progress(options.progress && io::platform::stderrIsTerminal(), totalBytes);
  std::atomic<bool> stop{false};
  uint64_t nextPosition = 0;

  PipelineStages stages;
  stages.read = [&](size_t slot) {
    if (stop.load()) return false;
    StageTimer timer{result.readSeconds};
    Chunk& c = *chunks[slot];
    c.error.reset();
    c.shortFile.reset();
    std::vector<size_t> taken(fileCount);
    for (size_t f = 0; f < fileCount; ++f) {
      c.text[f].clear();
      if (auto error = readers[f].take(chunkPoints, c.text[f], taken[f], c.firstLine[f])) {
        c.error = error;
        c.points = 0;
        stop = true;
        return true;  // the error travels with the chunk, so it is reported in order
      }
    }
    auto [fewest, most] = std::minmax_element(taken.begin(), taken.end());
    if (*most == 0) return false;
    if (*fewest != *most) {
      const size_t shortFile = static_cast<size_t>(fewest - taken.begin());
      // The first file that holds more, whatever the chunk size.
      const size_t longFile = static_cast<size_t>(
          std::find_if(taken.begin(), taken.end(), [least = *fewest](size_t t) { return t > least; }) -
          taken.begin());
      const uint64_t count = nextPosition + *fewest;
      c.shortFile = Error{files[shortFile].path, readers[shortFile].nextLine(),
                          "ends after " + std::to_string(count) + " points, but " +
                              files[longFile].path + " holds more (every file of a field must "
                              "hold the same points)"};
      stop = true;
    }
    c.firstPosition = nextPosition;
    c.points = *fewest;
    nextPosition += c.points;
    c.bytesRead = 0;
    for (const PointFileReader& r : readers) c.bytesRead += r.bytesRead();
    return true;
  };

  stages.process = [&](size_t slot) {
    Chunk& c = *chunks[slot];
    c.rows.clear();
    c.work->begin(c.firstPosition);
    if (c.error) return;
    std::vector<RecordCursor> cursors(fileCount);
    for (size_t f = 0; f < fileCount; ++f) {
      cursors[f].reset(c.text[f], c.firstLine[f], files[f].layout);
    }
    std::vector<double> values(gridCount);
    std::vector<size_t> lines(fileCount);
    std::vector<RecordFields> fields(fileCount);
    std::vector<CsvLine> scratch(fileCount);
    for (size_t i = 0; i < c.points; ++i) {
      const uint64_t position = c.firstPosition + i;
      std::optional<double> exactValue;
      for (size_t f = 0; f < fileCount; ++f) {
        std::string_view record = cursors[f].next(lines[f]);
        if (auto message = splitRecord(record, files[f], scratch[f], fields[f])) {
          c.error = Error{files[f].path, lines[f], *message};
          return;
        }
        double value = 0.0;
        if (files[f].layout == Layout::Classic) {
          int64_t index = 0;
          if (!readInteger(fields[f].id, index)) {
            c.error = Error{files[f].path, lines[f],
                            "the index '" + std::string(fields[f].id) + "' is not an integer"};
            return;
          }
        }
        if (!readReal(fields[f].value, value, grammarOf(files[f].layout))) {
          c.error = Error{files[f].path, lines[f],
                          "the value '" + std::string(fields[f].value) + "' of point " +
                              std::string(fields[f].id) + " is not a number"};
          return;
        }
        if (f > 0 && !sameId(fields[0].id, fields[f].id)) {
          c.error = Error{files[f].path, lines[f],
                          "point " + std::to_string(position + 1) + " has the id '" +
                              std::string(fields[f].id) + "' here but '" +
                              std::string(fields[0].id) + "' in " +
                              where(files[0].path, lines[0]) +
                              " (the files of a field must list the same points in the same "
                              "order)"};
          return;
        }
        if (f < gridCount) {
          values[f] = value;
        } else {
          exactValue = value;
        }
      }
      c.work->point(Point{position, fields[0].id, values, exactValue}, c.rows);
    }
  };

  stages.write = [&](size_t slot) {
    Chunk& c = *chunks[slot];
    if (result.error) return;
    StageTimer timer{result.writeSeconds};
    if (c.error || c.shortFile) {
      result.error = c.error ? c.error : c.shortFile;
      stop = true;
      return;
    }
    if (!out.write(c.rows)) {
      result.error = Error{out.path(), 0, "cannot be written (disk full?)", Error::Kind::Output};
      stop = true;
      return;
    }
    kernel.merge(*c.work);
    result.points += c.points;
    progress.update(result.points, c.bytesRead);
  };

  runPipeline(threads, slots, stages, options.backend);
  progress.finish();
  return result;
}

void runPoints(uint64_t first, uint64_t count, const PointSource& point, PointKernel& kernel,
               const std::function<void(std::string_view rows)>& rows, const FieldOptions& options) {
  struct Slot {
    uint64_t first = 0;
    uint64_t points = 0;
    std::string rows;
    std::unique_ptr<ChunkWork> work;
  };
  const unsigned threads = options.threads ? options.threads : defaultThreads();
  const size_t chunkPoints = std::max<size_t>(1, options.chunkPoints);
  const size_t slots = options.chunksInFlight ? options.chunksInFlight : std::max<size_t>(2, 2 * size_t{threads});
  std::vector<Slot> chunks(slots);
  for (Slot& c : chunks) c.work = kernel.newWork();
  uint64_t next = first;
  const uint64_t end = first + count;
  PipelineStages stages;
  stages.read = [&](size_t slot) {
    if (next >= end) return false;
    Slot& c = chunks[slot];
    c.first = next;
    c.points = std::min<uint64_t>(chunkPoints, end - next);
    next += c.points;
    return true;
  };
  stages.process = [&](size_t slot) {
    Slot& c = chunks[slot];
    c.rows.clear();
    c.work->begin(c.first);
    std::vector<double> values;
    std::string id;
    Point p;
    for (uint64_t i = c.first; i < c.first + c.points; ++i) {
      p = Point{};
      point(i, p, values, id);
      p.position = i;
      c.work->point(p, c.rows);
    }
  };
  stages.write = [&](size_t slot) {
    Slot& c = chunks[slot];
    if (!c.rows.empty() && rows) rows(c.rows);
    kernel.merge(*c.work);
  };
  runPipeline(threads, slots, stages, options.backend);
}

}  // namespace kv::field
