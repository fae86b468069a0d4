#include "field/engine.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace kv::field {
namespace {

using testing_support::fileBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

std::string shortest(double x) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

double valueOf(size_t grid, size_t i) {
  double h = 0.1 * static_cast<double>(1 << grid);
  return 1.0 + h * h * std::sin(0.01 * static_cast<double>(i)) + 1e-3 * static_cast<double>(i);
}

// A field of `n` points written in every layout the engine reads: a classic grid file with its
// spacing record (blank lines, CR LF, commas, Fortran exponents, comments), a CSV file with a
// header and a comment, a classic file without heading and an exact-value CSV without header.
struct Field {
  size_t n;
  std::vector<PointFile> grids;
  PointFile exact;

  explicit Field(size_t points) : n(points) {
    std::string a = "  0.1  grid spacing h\r\n";
    std::string b = "id,value\n# points of the medium grid\n";
    std::string c, e;
    for (size_t i = 0; i < n; ++i) {
      std::string id = std::to_string(i + 1);
      std::string va = shortest(valueOf(0, i));
      if (i % 5 == 0 && va.find('e') != std::string::npos) va[va.find('e')] = 'D';
      a += (i % 3 == 0 ? "  " + id + " , " + va : id + "\t" + va) + "   value of point\r\n";
      if (i % 100 == 0) a += "   \r\n";
      b += id + "," + shortest(valueOf(1, i)) + "\n";
      c += (i % 7 == 0 ? "+" + id : "00" + id) + " " + shortest(valueOf(2, i)) + "\n";
      e += " " + id + " , " + shortest(1.0 + 1e-3 * static_cast<double>(i)) + "\n";
    }
    c.pop_back();  // the last record without a line end
    writeBytes("a.txt", a);
    writeBytes("b.csv", b);
    writeBytes("c.txt", c);
    writeBytes("e.csv", e);
    grids = {{"a.txt", Layout::Classic, FirstRecord::Spacing},
             {"b.csv", Layout::Csv, FirstRecord::Detect},
             {"c.txt", Layout::Classic, FirstRecord::Detect}};
    exact = {"e.csv", Layout::Csv, FirstRecord::Detect};
  }

  std::string expectedRows() const {
    std::string rows = "id,a,b,c,exact\n";
    for (size_t i = 0; i < n; ++i) {
      rows += std::to_string(i + 1) + "," + shortest(valueOf(0, i)) + "," +
              shortest(valueOf(1, i)) + "," + shortest(valueOf(2, i)) + "," +
              shortest(1.0 + 1e-3 * static_cast<double>(i)) + "\n";
    }
    return rows;
  }
};

// A stand-in for the per-point computation: echoes the point, and notes the positions each chunk
// saw, so that the merge can check that the chunks come back in order, whole.
class Echo : public PointKernel {
 public:
  struct Work : ChunkWork {
    void begin(uint64_t first) override {
      firstPosition = first;
      positions.clear();
    }
    void point(const Point& point, std::string& rows) override {
      rows.append(point.id);
      for (double v : point.values) rows.append(",").append(shortest(v));
      rows.append(",").append(point.exact ? shortest(*point.exact) : "").append("\n");
      positions.push_back(point.position);
    }
    uint64_t firstPosition = 0;
    std::vector<uint64_t> positions;
  };
  std::unique_ptr<ChunkWork> newWork() const override { return std::make_unique<Work>(); }
  void merge(ChunkWork& chunk) override {
    const Work& w = static_cast<Work&>(chunk);
    if (!w.positions.empty() && w.positions.front() != w.firstPosition) inOrder = false;
    for (uint64_t p : w.positions) inOrder = inOrder && p == merged++;
  }
  uint64_t merged = 0;
  bool inOrder = true;
};

struct Outcome {
  std::string output;
  FieldResult result;
  Echo echo;
};

Outcome run(const Field& field, const FieldOptions& options, bool withExact = true) {
  io::TempFile out;
  EXPECT_FALSE(out.open("out.csv"));
  out.write("id,a,b,c,exact\n");
  Outcome r;
  r.result = runField(field.grids, withExact ? std::optional(field.exact) : std::nullopt, r.echo,
                      out, options);
  if (!r.result.error) {
    EXPECT_FALSE(out.commit());
    r.output = fileBytes("out.csv");
  }
  return r;
}

TEST(FieldEngine, ReadsEveryLayoutInLockstepAndWritesTheSameBytesWhateverTheSplit) {
  TempFolder folder("field");
  Field field(3001);
  const std::string expected = field.expectedRows();
  const Outcome reference = run(field, {.threads = 1, .chunkPoints = 16384});
  ASSERT_FALSE(reference.result.error) << reference.result.error->message;
  EXPECT_EQ(reference.output, expected);
  EXPECT_EQ(reference.result.points, 3001u);
  ASSERT_EQ(reference.result.spacings.size(), 3u);
  EXPECT_EQ(reference.result.spacings[0], 0.1);
  EXPECT_FALSE(reference.result.spacings[1]);

  for (PipelineBackend backend : {PipelineBackend::Tbb, PipelineBackend::Threads}) {
    for (unsigned threads : {1u, 2u, 3u}) {
      for (size_t chunk : {size_t{1}, size_t{7}, size_t{1000}}) {
        SCOPED_TRACE(testing::Message() << "threads " << threads << ", chunk " << chunk
                                        << ", backend " << static_cast<int>(backend));
        // Reads of 1 and 13 bytes split the records anywhere.
        Outcome r = run(field, {.threads = threads, .chunkPoints = chunk,
                                .blockBytes = chunk == 1 ? 1u : chunk == 7 ? 13u : 1u << 20,
                                .chunksInFlight = chunk == 7 ? 3u : 0u, .backend = backend});
        ASSERT_FALSE(r.result.error);
        EXPECT_EQ(r.output, expected);
        EXPECT_TRUE(r.echo.inOrder);
        EXPECT_EQ(r.echo.merged, 3001u);
      }
    }
  }
}

// Failures name the file and line at fault; the first one in the order of the points wins.
TEST(FieldEngine, ReportsTheFirstMismatchWithBothFilesAndLines) {
  TempFolder folder("field");
  struct Case {
    const char* name;
    std::string a, b;
    Error expected;
  };
  const std::string good = "1 1.0\n2 2.0\n3 3.0\n4 4.0\n";
  const Case cases[] = {
      {"id mismatch", good, "1 1.5\n2 2.5\n5 3.5\n6 4.5\n",
       {"b.txt", 3, "point 3 has the id '5' here but '3' in a.txt:3 (the files of a field must "
                    "list the same points in the same order)"}},
      {"second file shorter", good, "1 1.5\n\n2 2.5\n",
       {"b.txt", 4, "ends after 2 points, but a.txt holds more (every file of a field must hold "
                    "the same points)"}},
      {"first file shorter", "1 1.0\n", "1 1.5\n2 2.5\n",
       {"a.txt", 2, "ends after 1 points, but b.txt holds more (every file of a field must hold "
                    "the same points)"}},
      {"not a number", good, "1 1.5\n2 2.5x\n",
       {"b.txt", 2, "the value '2.5x' of point 2 is not a number"}},
      {"decimal comma", good, "1 1.5\n2 2,5\n",
       {"b.txt", 2, "the value of point 2 has a decimal comma: write 2.5, not 2,5"}},
      {"index not an integer", good, "1 1.5\n2.0 2.5\n",
       {"b.txt", 2, "the index '2.0' is not an integer"}},
      {"index without value", good, "1 1.5\n2\n2.5\n",
       {"b.txt", 2, "the record of point 2 holds no value (write the index and the value on "
                    "one line)"}},
      {"empty file", good, "\n  \n", {"b.txt", 0, "holds no points"}},
      {"missing file", good, "", {"missing.txt", 0, "cannot be opened (No such file or directory)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes("a.txt", c.a);
    writeBytes("b.txt", c.b);
    std::vector<PointFile> grids = {{"a.txt"}, {c.expected.file == "missing.txt" ? "missing.txt" : "b.txt"}};
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{100}}) {
      io::TempFile out;
      ASSERT_FALSE(out.open("out.csv"));
      Echo echo;
      FieldResult r = runField(grids, std::nullopt, echo, out, {.threads = 2, .chunkPoints = chunk});
      ASSERT_TRUE(r.error);
      EXPECT_EQ(*r.error, c.expected) << r.error->file << ":" << r.error->line << ": "
                                      << r.error->message;
    }
    EXPECT_FALSE(std::filesystem::exists("out.csv"));
  }
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
  }
}

// Found by fuzzing: of files of three lengths, the one named as holding more was the last of
// the longest in a chunk, so it changed with the chunk size.
TEST(FieldEngine, NamesTheSameLongerFileWhateverTheChunkSize) {
  TempFolder folder("field");
  writeBytes("a.txt", "1 1.0\n2 2.0\n3 3.0\n");
  writeBytes("b.txt", "1 1.5\n2 2.5\n");
  writeBytes("c.txt", "1 1.7\n");
  for (size_t chunk : {size_t{1}, size_t{100}}) {
    io::TempFile out;
    ASSERT_FALSE(out.open("out.csv"));
    Echo echo;
    FieldResult r = runField({{"a.txt"}, {"b.txt"}, {"c.txt"}}, std::nullopt, echo, out,
                             {.threads = 1, .chunkPoints = chunk});
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, (Error{"c.txt", 2, "ends after 1 points, but a.txt holds more (every file "
                                           "of a field must hold the same points)"}));
  }
}

}  // namespace
}  // namespace kv::field
