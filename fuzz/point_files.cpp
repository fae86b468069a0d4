// The point files of a field from arbitrary bytes, read in lockstep as a field study reads them.
// The first byte chooses, per file, its layout and whether its first record is the spacing; the
// second the number of grids (2 or 3), whether there is an exact file and the points per chunk;
// the rest is cut at each "\n==\n" into the files. Every point is echoed into the output. The
// files are read twice, a point at a time in reads of a few bytes, and in chunks in reads of
// 4 KiB: the outcome must be the same.
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "field/engine.h"
#include "fuzz_input.h"
#include "reader_checks.h"
#include "temp_files.h"

namespace {

using namespace kv;
using namespace kv::field;

// Echoes every point into the output.
class Echo : public PointKernel {
  struct Work : ChunkWork {
    void begin(uint64_t) override {}
    void point(const Point& point, std::string& row) override {
      row.append(point.id);
      char text[32];
      for (double v : point.values) {
        row.push_back(',');
        row.append(text, std::to_chars(text, text + sizeof text, v).ptr);
      }
      if (point.exact) {
        row.push_back(',');
        row.append(text, std::to_chars(text, text + sizeof text, *point.exact).ptr);
      }
      row.push_back('\n');
    }
  };

 public:
  std::unique_ptr<ChunkWork> newWork() const override { return std::make_unique<Work>(); }
  void merge(ChunkWork&) override {}
};

struct Outcome {
  std::optional<Error> error;
  uint64_t points = 0;
  std::vector<std::optional<double>> spacings;
  std::string rows;
};

std::string readAll(const std::string& path) {
  std::string content;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::abort();
  char block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0) content.append(block, n);
  std::fclose(f);
  return content;
}

Outcome read(const std::vector<PointFile>& grids, const std::optional<PointFile>& exact,
             size_t chunkPoints, size_t blockBytes) {
  io::TempFile out;
  const std::string path = fuzz::tempFolder() + "/rows.csv";
  if (out.open(path)) std::abort();
  Echo echo;
  FieldResult r = runField(grids, exact, echo, out,
                           {.threads = 1, .chunkPoints = chunkPoints, .blockBytes = blockBytes,
                            .progress = false});
  Outcome o{r.error, r.points, r.spacings, {}};
  if (!r.error) {
    if (out.commit()) std::abort();
    o.rows = readAll(path);
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint8_t kinds = input.byte();
  const uint8_t shape = input.byte();
  const size_t gridCount = 2 + (shape & 1);
  const bool withExact = (shape & 2) != 0;
  const size_t chunk = 1 + (shape >> 2);
  std::string_view rest = input.rest();
  std::vector<PointFile> files;
  for (size_t k = 0; k < gridCount + (withExact ? 1 : 0); ++k) {
    const size_t cut = rest.find("\n==\n");
    const std::string_view bytes = rest.substr(0, cut);
    rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 4);
    PointFile file;
    file.layout = (kinds >> (2 * k)) & 1 ? Layout::Csv : Layout::Classic;
    file.first = (kinds >> (2 * k + 1)) & 1 ? FirstRecord::Spacing : FirstRecord::Detect;
    file.path = fuzz::writeTempFile("points" + std::to_string(k), bytes);
    files.push_back(file);
  }
  std::optional<PointFile> exact;
  if (withExact) {
    exact = files.back();
    files.pop_back();
  }
  const Outcome one = read(files, exact, 1, chunk);
  const Outcome many = read(files, exact, chunk, 4096);
  fuzz::check(one.error == many.error);
  if (one.error) {
    fuzz::check(!one.error->message.empty());
    fuzz::check(one.error->message.find('\n') == std::string::npos);
    return 0;
  }
  fuzz::check(one.points == many.points && one.rows == many.rows && one.spacings == many.spacings);
  size_t rows = 0;
  for (char c : one.rows) rows += c == '\n';
  fuzz::check(rows == one.points);
  return 0;
}
