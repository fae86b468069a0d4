// HDF5 fields end to end: the real binary, alone and under mpirun, in temporary folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cluster/hdf5_summary.h"
#include "field_writer.h"
#include "temp_folder.h"

namespace kv::cluster::testing {
namespace {

namespace fs = std::filesystem;
using kv::testing_support::fileBytes;
using kv::testing_support::TempFolder;
using ::testing::HasSubstr;

struct Outcome {
  int status = -1;
  std::string err;
};

// Runs the program with `args` (under mpirun -np `ranks` when ranks > 0), in the working folder.
Outcome run(const std::string& args, int ranks = 0) {
  std::string command;
  if (ranks > 0) {
    command = std::string(KV_MPIEXEC) + " --oversubscribe -np " + std::to_string(ranks) + " ";
  }
  command += std::string(KV_BINARY) + " " + args + " > out.txt 2> err.txt";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileBytes("err.txt")};
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Spacings given out of order; 7 points: smooth ones of orders 2 and 1.5, an oscillating one,
// one that does not change from grid to grid (zero differences), and one NaN.
const std::vector<double> kH = {0.02, 0.01, 0.04};
double lift(size_t point, double h) {
  if (point == 3) return 0.5;
  if (point == 5) return point + 1.0 + 0.3 * h * (h == 0.02 ? -1 : 1);
  return 1.0 + 0.1 * point + 0.3 * std::pow(h, point % 2 ? 1.5 : 2.0);
}

Dataset fieldOf(double (*value)(size_t, double), size_t points, bool withNaN) {
  Dataset d{{kH.size(), points}, {}};
  for (double h : kH) {
    for (size_t i = 0; i < points; ++i) d.values.push_back(withNaN && i == 6 ? kNaN : value(i, h));
  }
  return d;
}

std::map<std::string, Dataset> smallField(size_t points = 7, bool withNaN = true) {
  std::map<std::string, Dataset> d;
  d["/h"] = {{kH.size()}, kH};
  d["/fields/lift"] = fieldOf(lift, points, withNaN);
  d["/fields/drag"] = fieldOf([](size_t i, double h) { return 2.0 - 0.01 * i - h * h; }, points, false);
  Dataset ids{{points}, {}, H5T_STD_I64LE};
  for (size_t i = 0; i < points; ++i) ids.values.push_back(100.0 + 7.0 * i);
  d["/points/id"] = ids;
  Dataset exact{{points}, {}};
  for (size_t i = 0; i < points; ++i) exact.values.push_back(lift(i, 0.0));
  d["/exact/lift"] = exact;
  return d;
}

const char* const kOutputs[] = {"summary.csv", "summary.h5", "study.json", "report.html"};

class Cluster : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
    setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
    setenv("OMPI_MCA_rmaps_base_oversubscribe", "1", 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // MPI keeps its memory until exit
  }
  TempFolder folder{"kv_cluster"};
};

// One field, five sources: a CSV table with one quantity per point, point files in either layout,
// HDF5 on one rank and on three, and three slabs merged. Every column of summary.csv but the
// name is the same, byte for byte, and so is the distribution in study.json, but for the names.
// The points: smooth ones of three orders, oscillating, diverging, unchanged and NaN ones, on
// four grids given out of order, with exact values.
TEST_F(Cluster, TheSameFieldGivesTheSameAnswerFromEverySource) {
  const size_t n = 3000;
  const std::vector<double> h = {0.02, 0.01, 0.08, 0.04};
  auto value = [](size_t i, double x) {
    const double base = 1.0 + 1e-3 * static_cast<double>(i);
    const double sign = (x == 0.01 || x == 0.04) ? 1.0 : -1.0;
    switch (i % 10) {
      case 6: return base + 0.3 * x * x * sign;              // oscillating
      case 7: return base + 1e-5 / x;                         // diverging
      case 8: return 2.5;                                     // unchanged
      case 9: return x == 0.04 ? kNaN : base + 0.3 * x * x;  // NaN on one grid
      default: return base + 0.3 * std::pow(x, 1.0 + 0.5 * static_cast<double>(i % 3));
    }
  };
  auto exact = [](size_t i) { return i % 10 == 8 ? 2.5 : 1.0 + 1e-3 * static_cast<double>(i); };
  auto text = [](double x) {
    std::ostringstream out;
    out.precision(17);
    out << x;
    return out.str();
  };
  std::string table = "h", csvCase = "h,file\n", classicCase = "h,file\n", exactCsv = "id,value\n", exactClassic;
  for (size_t i = 0; i < n; ++i) table += ",q:" + std::to_string(i + 1);
  Dataset fields{{h.size(), n}, {}};
  for (size_t g = 0; g < h.size(); ++g) {
    std::string csv = "id,value\n", classic = text(h[g]) + "\n";
    table += "\n" + text(h[g]);
    for (size_t i = 0; i < n; ++i) {
      const std::string v = text(value(i, h[g]));
      table += "," + v;
      csv += std::to_string(i + 1) + "," + v + "\n";
      classic += std::to_string(i + 1) + " " + v + "\n";
      fields.values.push_back(value(i, h[g]));
    }
    const std::string name = "g" + std::to_string(g + 1);
    kv::testing_support::writeBytes(name + ".csv", csv);
    kv::testing_support::writeBytes(name + ".txt", classic);
    csvCase += text(h[g]) + "," + name + ".csv\n";
    classicCase += text(h[g]) + "," + name + ".txt\n";
  }
  table += "\nexact";
  Dataset exactValues{{n}, {}};
  for (size_t i = 0; i < n; ++i) {
    table += "," + text(exact(i));
    exactCsv += std::to_string(i + 1) + "," + text(exact(i)) + "\n";
    exactClassic += std::to_string(i + 1) + " " + text(exact(i)) + "\n";
    exactValues.values.push_back(exact(i));
  }
  kv::testing_support::writeBytes("table.csv", table + "\n");
  kv::testing_support::writeBytes("exact.csv", exactCsv);
  kv::testing_support::writeBytes("exact.txt", exactClassic);
  kv::testing_support::writeBytes("points_csv.csv", csvCase + "exact,exact.csv\n");
  kv::testing_support::writeBytes("points_classic.csv", classicCase + "exact,exact.txt\n");
  ASSERT_TRUE(writeH5("field.h5", {{"/h", {{h.size()}, h}}, {"/fields/q", fields}, {"/exact/q", exactValues}}));

  ASSERT_EQ(run("study table.csv --no-plots --out table").status, 0);
  ASSERT_EQ(run("study points_csv.csv --no-plots --out points_csv").status, 0);
  ASSERT_EQ(run("study points_classic.csv --no-plots --out points_classic").status, 0);
  ASSERT_EQ(run("study field.h5 --no-plots --out one").status, 0);
  ASSERT_EQ(run("study field.h5 --no-plots --out three", 3).status, 0);
  for (int s = 1; s <= 3; ++s) {
    ASSERT_EQ(run("study field.h5 --no-plots --slab " + std::to_string(s) + "/3 --out s" + std::to_string(s)).status, 0);
  }
  ASSERT_EQ(run("merge s3 s1 s2 --no-plots --out merged").status, 0);

  // Every row without its name.
  auto unnamed = [](const std::string& folder) {
    std::vector<std::string> rows = lines(fileBytes(folder + "/summary.csv"));
    for (size_t k = 1; k < rows.size(); ++k) rows[k] = rows[k].substr(rows[k].find(','));
    return rows;
  };
  // The distribution without the names of the points.
  auto distribution = [](const std::string& folder) {
    nlohmann::json j = nlohmann::json::parse(fileBytes(folder + "/study.json"));
    nlohmann::json d = j.contains("distribution") ? j["distribution"] : j["quantities"][0]["distribution"];
    for (auto& w : d["worst"]) w.erase("name");
    for (auto& g : d["by_point"]["groups"]) g.erase("first_name");
    return d;
  };
  const std::vector<std::string> rows = unnamed("table");
  ASSERT_EQ(rows.size(), n + 1);
  const nlohmann::json shown = distribution("table");
  EXPECT_EQ(shown["points"], n);
  EXPECT_GT(shown["by_convergence"]["oscillatory-convergence"], 0);
  EXPECT_GT(shown["by_convergence"]["monotonic-divergence"], 0);
  EXPECT_GT(shown["by_convergence"]["no-change"], 0);
  EXPECT_GT(shown["by_convergence"]["undetermined"], 0);
  for (const char* folder : {"points_csv", "points_classic", "one", "three", "merged"}) {
    EXPECT_EQ(unnamed(folder), rows) << folder;
    EXPECT_EQ(distribution(folder), shown) << folder;
  }
  // One convention for the names: the point's id, prefixed by its quantity where the case names
  // one (a table names every quantity itself).
  EXPECT_EQ(lines(fileBytes("points_classic/summary.csv"))[2].substr(0, 2), "2,");
  EXPECT_EQ(lines(fileBytes("merged/summary.csv"))[2].substr(0, 4), "q:2,");
}

// Any number of ranks, with uneven slabs, several rounds of tiny blocks, and more ranks than
// points: the same bytes in every output.
TEST_F(Cluster, EveryNumberOfRanksWritesTheSameBytes) {
  ASSERT_TRUE(writeH5("field.h5", smallField()));
  ASSERT_TRUE(writeH5("three.h5", smallField(3)));
  ASSERT_EQ(run("study field.h5 --out one").status, 0);
  ASSERT_EQ(run("study three.h5 --out three").status, 0);
  const std::string csv = fileBytes("one/summary.csv");
  EXPECT_THAT(csv, HasSubstr("\nlift:121,3,0.01,0.02,0.04,2,2,0.5,0.5,0.5,,no-change,"));
  EXPECT_THAT(csv, HasSubstr("\nlift:135,3,0.01,0.02,0.04,2,2,6.003,5.994,6.012,-0.5000000000000246,oscillatory-convergence,"));
  EXPECT_THAT(csv, HasSubstr("\nlift:142,3,0.01,0.02,0.04,2,2,,,,,undetermined,"));
  for (int ranks = 1; ranks <= 4; ++ranks) {
    const std::string out = "np" + std::to_string(ranks);
    ASSERT_EQ(run("study field.h5 --block-points 2 --out " + out, ranks).status, 0) << ranks;
    ASSERT_EQ(run("study three.h5 --out " + out + "-three", ranks).status, 0) << ranks;
    for (const char* file : kOutputs) {
      EXPECT_EQ(fileBytes(out + "/" + file), fileBytes(std::string("one/") + file)) << ranks << " " << file;
      EXPECT_EQ(fileBytes(out + "-three/" + file), fileBytes(std::string("three/") + file)) << ranks << " " << file;
    }
    // Nothing else is left: no spool, no scratch file.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 4) << ranks;
  }
}

// A field as solvers and h5py store it: in chunks (edge chunks reaching past the extent on both
// axes), compressed, checksummed, resizable. Each gives the bytes of the contiguous copy, on one
// rank and on two.
TEST_F(Cluster, EveryStorageGivesTheBytesOfAContiguousCopy) {
  const std::vector<hsize_t> chunk = {2, 96}, chunk1 = {96};
  struct Layout {
    const char* name;
    Storage storage;
  };
  std::vector<Layout> layouts = {
      {"contiguous", {}},
      {"chunked", {chunk}},
      {"gzip", {chunk, false, 6}},
      {"shuffle", {chunk, false, 4, true}},
      {"fletcher32", {chunk, false, 0, false, true}},
      {"resizable", {chunk, true}},
      {"everything", {chunk, true, 9, true, true}},
  };
  unsigned szip = 0;
  if (H5Zfilter_avail(H5Z_FILTER_SZIP) > 0 && H5Zget_filter_info(H5Z_FILTER_SZIP, &szip) >= 0 &&
      (szip & H5Z_FILTER_CONFIG_ENCODE_ENABLED)) {
    layouts.push_back({"szip", {chunk, false, 0, false, false, true}});
  }
  for (const Layout& layout : layouts) {
    std::map<std::string, Dataset> d = smallField(1000);
    for (auto& [path, dataset] : d) {
      if (path == "/h" || layout.storage.chunk.empty()) continue;
      dataset.storage = layout.storage;
      if (dataset.dims.size() == 1) dataset.storage.chunk = chunk1;
    }
    ASSERT_TRUE(writeH5("field.h5", d)) << layout.name;
    for (int ranks : {0, 2}) {
      const std::string out = layout.name + std::to_string(ranks);
      const Outcome r = run("study field.h5 --no-plots --out " + out, ranks);
      ASSERT_EQ(r.status, 0) << out << ": " << r.err;
      for (const char* file : {"summary.csv", "summary.h5", "study.json"}) {
        EXPECT_EQ(fileBytes(out + "/" + file), fileBytes(std::string("contiguous0/") + file))
            << out << " " << file;
      }
    }
  }
}

// A job array: the slabs given in any order merge into the bytes of one run; a slab missing or
// given twice is refused and nothing is written.
TEST_F(Cluster, SlabsMergeIntoOneRun) {
  ASSERT_TRUE(writeH5("field.h5", smallField()));
  ASSERT_EQ(run("study field.h5 --out one").status, 0);
  ASSERT_EQ(run("study field.h5 --slab 1/3 --out s1").status, 0);
  ASSERT_EQ(run("study field.h5 --slab 2/3 --out s2 --block-points 1", 2).status, 0);
  ASSERT_EQ(run("study field.h5 --slab 3/3 --out s3").status, 0);
  ASSERT_EQ(run("merge s3 s1 s2 --out merged").status, 0);
  for (const char* file : kOutputs) {
    EXPECT_EQ(fileBytes(std::string("merged/") + file), fileBytes(std::string("one/") + file)) << file;
  }
  EXPECT_FALSE(fs::exists("merged/slab.json"));
  // A slab studied from a changed file does not merge with the slabs of the first version.
  std::map<std::string, Dataset> changed = smallField();
  changed["/fields/drag"].values[0] += 1.0;
  ASSERT_TRUE(writeH5("field.h5", changed));
  ASSERT_EQ(run("study field.h5 --slab 3/3 --out s3new").status, 0);
  const Outcome versions = run("merge s1 s2 s3new --out bad");
  EXPECT_EQ(versions.status, 2);
  EXPECT_THAT(versions.err, HasSubstr("were made from different versions of field.h5"));
  EXPECT_EQ(lines(versions.err).size(), 1u) << versions.err;
  const Outcome missing = run("merge s3 s1 --out bad");
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.err, HasSubstr("slab 2/3 is missing"));
  const Outcome twice = run("merge s1 s2 s3 s2 --out bad");
  EXPECT_EQ(twice.status, 2);
  EXPECT_THAT(twice.err, HasSubstr("slab 2/3 is given twice"));
  EXPECT_FALSE(fs::exists("bad"));
  // Merged into one of its own slab folders: the slab's files would be replaced.
  const std::string slab = fileBytes("s2/summary.h5");
  const Outcome over = run("merge s1 s2 s3 --out s2");
  EXPECT_EQ(over.status, 2);
  EXPECT_THAT(over.err, HasSubstr("s2/summary.h5: is read by this merge and would be replaced"));
  EXPECT_EQ(fileBytes("s2/summary.h5"), slab);
}

// A case whose name is not UTF-8 (Latin-1 "f\xff.h5"): each slab writes its manifest (the name as
// the reports write it, in UTF-8), and the slabs merge into the bytes of one run.
TEST_F(Cluster, ACaseNamedInLatin1MergesIntoOneRun) {
  const std::string name = "'f\xff.h5'";
  ASSERT_TRUE(writeH5("f\xff.h5", smallField()));
  ASSERT_EQ(run("study " + name + " --out one").status, 0);
  ASSERT_EQ(run("study " + name + " --slab 1/2 --out s1").status, 0);
  ASSERT_EQ(run("study " + name + " --slab 2/2 --out s2", 2).status, 0);
  ASSERT_EQ(run("merge s1 s2 --out merged").status, 0);
  for (const char* file : kOutputs) {
    EXPECT_EQ(fileBytes(std::string("merged/") + file), fileBytes(std::string("one/") + file)) << file;
  }
  EXPECT_THAT(fileBytes("s1/slab.json"), HasSubstr("\"case\":\"f\xc3\xbf.h5\""));
}

// Unsigned ids above 2^63 name their rows as they are, each its own.
TEST_F(Cluster, IdsAboveTwoToTheSixtyThreeStayDistinct) {
  std::map<std::string, Dataset> d = smallField(3, false);
  d["/points/id"] = {{3}, {9223372036854775808.0, 9223372036854777856.0, 18446744073709549568.0}, H5T_STD_U64LE};
  ASSERT_TRUE(writeH5("field.h5", d));
  ASSERT_EQ(run("study field.h5").status, 0);
  const std::string csv = fileBytes("field.study/summary.csv");
  for (const char* id : {"9223372036854775808", "9223372036854777856", "18446744073709549568"}) {
    EXPECT_THAT(csv, HasSubstr(std::string("\nlift:") + id + ","));
  }
}

// A case that an output would replace (named summary.h5, studied into its own folder) is
// refused before anything is written, by every rank.
TEST_F(Cluster, ACaseNamedAsAnOutputIsNeverReplaced) {
  ASSERT_TRUE(writeH5("summary.h5", smallField()));
  const std::string before = fileBytes("summary.h5");
  for (int ranks : {0, 2}) {
    const Outcome r = run("study summary.h5 --out .", ranks);
    EXPECT_EQ(r.status, 2);
    // mpirun adds its own lines about the status after the program's one.
    EXPECT_THAT(lines(r.err).front(), HasSubstr("error: summary.h5: is read by this study and would be replaced"));
    if (ranks == 0) {
      EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    }
    EXPECT_EQ(fileBytes("summary.h5"), before);
    EXPECT_FALSE(fs::exists("study.json"));
  }
}

// Bad files: one message naming the file and the dataset, status 2, nothing written; the same
// status from every rank.
TEST_F(Cluster, BadFilesAreRefusedWithOneMessage) {
  const std::vector<double> v(12, 1.0);
  const Dataset h{{3}, kH}, values{{3, 4}, v};
  struct Case {
    const char* name;
    std::map<std::string, Dataset> datasets;
    const char* message;
  };
  const Case cases[] = {
      {"no_fields", {{"/h", h}}, "no_fields.h5: /fields: is missing"},
      {"no_h", {{"/fields/a", values}}, "no_h.h5: /h: is missing"},
      {"shape", {{"/h", h}, {"/fields/a", {{2, 6}, v}}}, "shape.h5: /fields/a: has shape 2 x 6: grids x points"},
      {"points", {{"/h", h}, {"/fields/a", values}, {"/fields/b", {{3, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9}}}},
       "points.h5: /fields/b: has 3 points where /fields/a has 4"},
      {"integer", {{"/h", h}, {"/fields/a", {{3, 4}, v, H5T_STD_I32LE}}}, "integer.h5: /fields/a: holds integers"},
      {"zero_h", {{"/h", {{3}, {0.02, 0.0, 0.04}}}, {"/fields/a", values}}, "zero_h.h5: /h: spacing 2 is 0"},
      {"negative_h", {{"/h", {{3}, {0.02, -0.01, 0.04}}}, {"/fields/a", values}}, "negative_h.h5: /h: spacing 2 is -0.01"},
      {"repeated_h", {{"/h", {{3}, {0.02, 0.01, 0.02}}}, {"/fields/a", values}},
       "repeated_h.h5: /h: spacings 1 and 3 are both 0.02"},
      {"ids", {{"/h", h}, {"/fields/a", values}, {"/points/id", {{3}, {1, 2, 3}, H5T_STD_I64LE}}},
       "ids.h5: /points/id: has shape 3"},
      {"exact", {{"/h", h}, {"/fields/a", values}, {"/exact/b", {{4}, {1, 1, 1, 1}}}}, "exact.h5: /exact/b: names no dataset"},
      // A few bytes of file that declare a billion values.
      {"unwritten", {{"/h", h}, {"/fields/a", {{3, 400000000}, {}}}},
       "unwritten.h5: /fields/a: declares 3 x 400000000 values but holds none (never written): write every value"},
      // The same in chunks, compressed; and chunks written for the first 96 points only.
      {"unwritten_chunks", {{"/h", h}, {"/fields/a", {{3, 400000000}, {}, H5T_IEEE_F64LE, {{1, 65536}, true, 6}}}},
       "unwritten_chunks.h5: /fields/a: declares 3 x 400000000 values but holds none (never written)"},
      {"part", {{"/h", h}, {"/fields/a", {{3, 1000}, std::vector<double>(3 * 96, 1.0), H5T_IEEE_F64LE, {{3, 96}, false, 6}}}},
       "part.h5: /fields/a: declares 3 x 1000 values but holds only part of them: write every value"},
  };
  for (const Case& c : cases) {
    const std::string file = std::string(c.name) + ".h5";
    ASSERT_TRUE(writeH5(file, c.datasets)) << c.name;
    const Outcome r = run("study " + file);
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_THAT(r.err, ::testing::StartsWith(std::string("kestrovanilque study: error: ") + c.message));
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_FALSE(fs::exists(std::string(c.name) + ".study")) << c.name;
  }
  kv::testing_support::writeBytes("text.h5", "h,a\n1,2\n");
  EXPECT_THAT(run("study text.h5").err, HasSubstr("text.h5: cannot be opened as an HDF5 file"));
  const Outcome ranks = run("study repeated_h.h5", 3);
  EXPECT_EQ(ranks.status, 2);
  EXPECT_EQ(lines(ranks.err).front(), "kestrovanilque study: error: repeated_h.h5: /h: spacings 1 and 3 are both "
                                      "0.02: every grid needs its own spacing");
  EXPECT_FALSE(fs::exists("repeated_h.study"));
}

// Rank 0 alone writes study.json and report.html: when it cannot, every rank ends with status 3
// and one message, nothing is left, and no rank waits for ever in a call the others never make.
// Rank 0's disk is made full by a limit on the size of its files (160 KiB: summary.h5 of 90 KB
// fits, study.json of 300 KB does not); the ranks talk over TCP on the loopback, as the files of
// shared memory would be beyond the limit too.
TEST_F(Cluster, ARankZeroThatCannotWriteEndsEveryRank) {
  std::map<std::string, Dataset> d;
  d["/h"] = {{kH.size()}, kH};
  for (int q = 0; q < 80; ++q) d["/fields/q" + std::to_string(q)] = fieldOf(lift, 2, false);
  ASSERT_TRUE(writeH5("field.h5", d));
  // Rank 0 (Open MPI's or MPICH's) under the limit, its signal ignored so that a write fails.
  const std::string limited = "if [ \"${OMPI_COMM_WORLD_RANK:-$PMI_RANK}\" = 0 ]; then trap \"\" XFSZ; ulimit -f 320; fi; "
                              "exec " + std::string(KV_BINARY) + " study field.h5 --no-plots --out full";
  const std::string command = "timeout 120 " + std::string(KV_MPIEXEC) +
                              " --oversubscribe --mca btl self,tcp --mca btl_tcp_if_include lo -np 2 sh -c '" +
                              limited + "' > out.txt 2> err.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3) << "(124: the job hung) " << fileBytes("err.txt");
  EXPECT_THAT(fileBytes("err.txt"), HasSubstr("study: error: full/study.json: cannot be written"));
  EXPECT_FALSE(fs::exists("full"));
}

std::vector<std::string> fields(const std::string& row) {
  std::vector<std::string> out(1);
  for (char c : row) {
    if (c == ',') {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

// summary.h5 holds the rows of summary.csv, column by column: the same numbers (NaN where the
// CSV is empty), the convergence type as a code named in the attribute, the texts.
TEST_F(Cluster, SummaryH5HoldsTheRowsOfTheCsv) {
  ASSERT_TRUE(writeH5("field.h5", smallField()));
  ASSERT_EQ(run("study field.h5", 2).status, 0);
  const std::vector<std::string> csv = lines(fileBytes("field.study/summary.csv"));
  const SummaryFile h5 = SummaryFile::openForReading("field.study/summary.h5");
  ASSERT_EQ(h5.rows(), csv.size() - 1);
  EXPECT_EQ(fields(csv[0]).size(), h5.columns().size());
  SummaryBlock block(h5.columns());
  ASSERT_TRUE(h5.read(0, h5.rows(), block));
  for (size_t c = 0; c < h5.columns().size(); ++c) {
    const SummaryColumnType& column = h5.columns()[c];
    ASSERT_EQ(column.name, fields(csv[0])[c]);
    for (size_t row = 0; row < h5.rows(); ++row) {
      const std::string expected = fields(csv[row + 1])[c];
      const char* at = block.data(c).data() + row * SummaryBlock::elementSize(column);
      std::string got;
      if (column.kind == ColumnKind::Number) {
        double x;
        std::memcpy(&x, at, sizeof x);
        if (expected.empty()) {
          EXPECT_TRUE(std::isnan(x)) << column.name << " row " << row;
        } else {
          EXPECT_EQ(x, std::stod(expected)) << column.name << " row " << row;
        }
        continue;
      } else if (column.kind == ColumnKind::Count) {
        int32_t n;
        std::memcpy(&n, at, sizeof n);
        got = std::to_string(n);
      } else if (column.kind == ColumnKind::Category) {
        ASSERT_NE(column.column, nullptr) << column.name;
        got = study::categoryName(*column.column, static_cast<uint8_t>(*at));
      } else {
        got.assign(at, strnlen(at, column.width));
      }
      EXPECT_EQ(got, expected) << column.name << " row " << row;
    }
  }
}

// --no-csv leaves summary.csv out; --strict fails a field with points that do not converge;
// an output folder that cannot be created: status 3 and nothing written.
TEST_F(Cluster, OptionsAndAnUnwritableFolder) {
  ASSERT_TRUE(writeH5("field.h5", smallField()));
  EXPECT_EQ(run("study field.h5 --no-csv --out plain", 2).status, 0);
  EXPECT_TRUE(fs::exists("plain/summary.h5"));
  EXPECT_FALSE(fs::exists("plain/summary.csv"));
  EXPECT_EQ(run("study field.h5 --strict --out strict").status, 1);
  // Options mean the same for every kind of case: threads and a target GCI are accepted, the
  // options of CSV cases refused with the one message of the options table.
  EXPECT_EQ(run("study --threads 2 field.h5 --target-gci 0.01 --out threads").status, 0);
  EXPECT_THAT(fileBytes("threads/summary.csv"), HasSubstr(",h_target,cells_target,"));
  const Outcome cells = run("study field.h5 --cells --dim 2");
  EXPECT_EQ(cells.status, 2);
  EXPECT_EQ(cells.err, "kestrovanilque study: error: field.h5: --cells applies to CSV cases (a table of quantities, an h,dt "
                       "table of runs or an h,file table), not to an HDF5 field\n");
  EXPECT_TRUE(fs::exists("strict/summary.csv"));
  kv::testing_support::writeBytes("file", "");
  const Outcome blocked = run("study field.h5 --out file/sub", 2);
  EXPECT_EQ(blocked.status, 3);
  EXPECT_THAT(blocked.err, HasSubstr("cannot create the folder file/sub"));
  const Outcome badSlab = run("study field.h5 --slab 4/3");
  EXPECT_EQ(badSlab.status, 2);
  EXPECT_THAT(badSlab.err, HasSubstr("--slab: 4/3: write I/N"));
  // --format csv prints the summary.csv that --no-csv leaves out: one line, nothing written, from
  // a study and from a merge alike.
  for (const char* command :
       {"study field.h5 --no-csv --format csv --out nocsv", "merge plain --no-csv --format csv --out nocsv"}) {
    const Outcome both = run(command);
    EXPECT_EQ(both.status, 2) << command;
    EXPECT_EQ(both.err, std::string("kestrovanilque ") + (command[0] == 's' ? "study" : "merge") +
                            ": error: --format csv prints summary.csv, which --no-csv leaves out\n");
    EXPECT_FALSE(fs::exists("nocsv")) << command;
  }
}

}  // namespace
}  // namespace kv::cluster::testing
