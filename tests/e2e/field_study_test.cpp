// `kestrovanilque study` on fields: a case of point files read in one pass. Each point's row is
// the row a table study of that point gives; the outputs do not depend on the threads; a fault
// or an interruption leaves nothing behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;

std::string shortest(double x) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// Point i on grid g (0 the finest of h = 0.01, 0.02, 0.03, 0.045): smooth second order, some
// oscillating, diverging, unchanged on every grid or on two, and one near zero.
double value(size_t i, size_t g, double h) {
  const double x = static_cast<double>(i) * 1e-3, base = 2.0 + std::sin(x), sign = g % 2 ? -1.0 : 1.0;
  switch (i % 20) {
    case 0: return base + sign * 0.3 * h * h;      // oscillatory convergence
    case 1: return base + 1e-4 / h;                // monotonic divergence
    case 2: return base + sign * 1e-4 / h;         // oscillatory divergence
    case 3: return base;                           // no change
    case 4: return g == 2 ? base + h : base;       // phi1 = phi2 only
    case 5: return g == 0 ? 1e-9 : base + h;       // phi1 near zero
    default: return base + (0.5 + std::cos(x)) * h * h + 2.0 * h * h * h;
  }
}

const double kH[] = {0.01, 0.02, 0.03, 0.045};

// A field of `points` points in `folder`: case.csv (grids in any order), the grid files in both
// layouts, and exact values. Returns the same points as a table of quantities (the first
// `tablePoints` of them), one column per point named by its id.
std::string writeField(const CaseFolder& f, size_t points, size_t tablePoints) {
  f.write("case.csv", "# a field\nh,file\n0.03,g3.txt\n0.01,g1.csv\nexact,exact.csv\n0.045,g4.csv\n0.02,g2.txt\n");
  std::vector<std::string> grid(4), table(5);
  std::string exact = "id,value\n";
  table[4] = "exact";
  for (size_t g = 0; g < 4; ++g) {
    grid[g] = g % 3 == 0 ? "id,value\n" : "  " + shortest(kH[g]) + "  grid spacing\n";
    table[g] = shortest(kH[g]);
  }
  std::string header = "h";
  for (size_t i = 0; i < points; ++i) {
    const std::string id = std::to_string(i + 1);
    for (size_t g = 0; g < 4; ++g) {
      const std::string v = shortest(value(i, g, kH[g]));
      grid[g] += (g % 3 == 0 ? id + "," : "  " + id + "   ") + v + "\n";
      if (i < tablePoints) table[g] += "," + v;
    }
    exact += id + "," + shortest(2.0 + std::sin(static_cast<double>(i) * 1e-3)) + "\n";
    if (i < tablePoints) {
      header += "," + id;
      table[4] += "," + shortest(2.0 + std::sin(static_cast<double>(i) * 1e-3));
    }
  }
  for (size_t g = 0; g < 4; ++g) f.write(std::string("g") + std::to_string(g + 1) + (g % 3 == 0 ? ".csv" : ".txt"), grid[g]);
  f.write("exact.csv", exact);
  std::string csv = header + "\n";
  for (const std::string& row : table) csv += row + "\n";
  return csv;
}

TEST(FieldStudy, EveryPointAsATableStudyGivesItAndTheSameWhateverTheThreads) {
  CaseFolder f(false);
  const size_t points = 20000, tablePoints = 2000;  // five chunks of points
  f.write("table.csv", writeField(f, points, tablePoints));
  RunResult one = f.run({"study", "case.csv", "--threads", "1", "--out", "one"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.err, "");  // no progress line: standard error is not a terminal
  EXPECT_THAT(one.out, HasSubstr("20000 points on 4 grids\n"));
  RunResult two = f.run({"study", "case.csv", "--threads", "2", "--out", "two"});
  ASSERT_EQ(two.status, 0) << two.err;
  for (const char* name : {"summary.csv", "study.json", "report.html"}) {
    EXPECT_EQ(f.read(std::string("one/") + name), f.read(std::string("two/") + name)) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(f.path() / "one"), fs::directory_iterator()), 3);

  // The table study of the first points: the same rows, byte for byte.
  ASSERT_EQ(f.run({"study", "table.csv", "--no-plots"}).status, 0);
  const std::vector<std::string> field = lines(f.read("one/summary.csv"));
  const std::vector<std::string> table = lines(f.read("table.study/summary.csv"));
  ASSERT_EQ(field.size(), points + 1);
  ASSERT_EQ(table.size(), tablePoints + 1);
  for (size_t k = 0; k <= tablePoints; ++k) ASSERT_EQ(field[k], table[k]) << "row " << k;
  // With --no-least-squares the same rows, the least-squares fields (u_ls to ls_fs) empty.
  ASSERT_EQ(f.run({"study", "case.csv", "--no-plots", "--out", "quick", "--no-least-squares"}).status, 0);
  const std::vector<std::string> quick = lines(f.read("quick/summary.csv"));
  const std::regex leastSquares("^((?:[^,]*,){24})[^,]*,[^,]*,[^,]*,[^,]*,[^,]*,");
  for (size_t k = 1; k <= tablePoints; k += 97) {
    const std::string withoutLeastSquares = std::regex_replace(table[k], std::regex("; ls order at bracket end"), "");
    EXPECT_EQ(quick[k], std::regex_replace(withoutLeastSquares, leastSquares, "$1,,,,,")) << "row " << k;
  }

  // The distribution counts every point once, as the rows say.
  nlohmann::json j = nlohmann::json::parse(f.read("one/study.json"));
  EXPECT_EQ(j["schema"], 2);
  EXPECT_EQ(j["points"], points);
  EXPECT_EQ(j["input"]["h"], nlohmann::json({0.01, 0.02, 0.03, 0.045}));
  std::map<std::string, uint64_t> counted;
  for (size_t k = 1; k <= points; ++k) ++counted[std::regex_replace(field[k], std::regex("^([^,]*,){11}([^,]*),.*$"), "$2")];
  const auto& distribution = j["quantities"][0]["distribution"];
  for (const auto& [type, n] : counted) EXPECT_EQ(distribution["by_convergence"][type], n) << type;
  EXPECT_EQ(counted["no-change"], points / 20);
  const auto& worst = distribution["worst"];
  ASSERT_EQ(worst.size(), 20u);
  // The largest change of all, not converging; the points whose phi1 is near zero (1e-9 on the
  // finest grid, diverging) are ranked apart by their absolute figures, not by a relative GCI
  // that only reflects phi1 ~ 0.
  EXPECT_EQ(worst[0]["convergence"], "oscillatory-divergence");
  EXPECT_EQ(distribution["near_zero"]["points"], points / 20);
  EXPECT_EQ(distribution["near_zero"]["worst"][0]["convergence"], "monotonic-divergence");
  EXPECT_EQ(distribution["near_zero"]["worst"][0]["phi1"], 1e-9);
}

TEST(FieldStudy, IdsThatDifferBetweenGridsAreAnErrorNamingBothFiles) {
  CaseFolder f(false);
  writeField(f, 12000, 0);
  std::string g2 = f.read("g2.txt");
  g2.replace(g2.find("\n  9001 "), 8, "\n  9091 ");  // line 9002 of g2.txt, in the third chunk
  f.write("g2.txt", g2);
  const auto before = f.files();
  RunResult r = f.run({"study", "case.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kestrovanilque study: error: g2.txt:9002: point 9001 has the id '9091' here but '9001' in "
                   "g1.csv:9002 (the files of a field must list the same points in the same order)\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(f.files(), before);
  EXPECT_FALSE(f.exists("case.study"));
}

TEST(FieldStudy, MainDataFileWithManyRecordsIsAField) {
  CaseFolder f(false);
  auto grids = [&](size_t records) {
    for (size_t g = 0; g < 3; ++g) {
      std::string text = shortest(kH[2 - g]) + "\n";
      for (size_t i = 0; i < records; ++i) text += std::to_string(i + 1) + " " + shortest(value(i, 2 - g, kH[2 - g])) + "\n";
      f.write("g" + std::to_string(g + 1) + ".dat", text);
    }
  };
  f.write("main.dat", "1\nl.txt\n0\nx\n2\n2\n1.25\n2\n10\n1e-6\n0.1\n5\n3\ng1.dat\ng2.dat\ng3.dat\n'title'\n");
  grids(101);
  ASSERT_EQ(f.run({"study", "main.dat", "--no-plots"}).status, 0);
  EXPECT_EQ(nlohmann::json::parse(f.read("main.study/study.json"))["input"]["kind"], "main-data-field");
  EXPECT_EQ(lines(f.read("main.study/summary.csv")).at(101).substr(0, 4), "101,");
  // A hundred records are a table of quantities, var1 ... var100, unless --field is given; the
  // numbers are the same either way.
  grids(100);
  ASSERT_EQ(f.run({"study", "main.dat", "--no-plots", "--out", "table"}).status, 0);
  ASSERT_EQ(f.run({"study", "main.dat", "--no-plots", "--out", "field", "--field"}).status, 0);
  const auto table = lines(f.read("table/summary.csv")), field = lines(f.read("field/summary.csv"));
  ASSERT_EQ(table.size(), 101u);
  ASSERT_EQ(field.size(), 101u);
  for (size_t k = 1; k <= 100; ++k) {
    EXPECT_EQ("var" + field[k], table[k]) << k;
  }
  // --field on a table of quantities is an error.
  f.write("q.csv", "h,a\n1,1\n2,2\n");
  RunResult r = f.run({"study", "q.csv", "--field"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("q.csv: --field applies to main data files (a table of quantities is not a field), "
                               "not to a CSV table of quantities"));
}

// A field study of three grids whose finest grid file is a pipe the test holds open for
// writing, so that the study is surely reading it when the test acts: the study runs with
// `option` (output to /dev/null) in the folder of `f`, and the pipe is open once this returns.
struct PipedStudy {
  PipedStudy(CaseFolder& f, const char* option) : folder(f) {
    f.write("case.csv", "h,file\n0.01,g1.txt\n0.02,g2.txt\n0.04,g3.txt\n");
    for (int i = 1; i <= 10000; ++i) records += std::to_string(i) + " 1." + std::to_string(i) + "\n";
    f.write("g2.txt", records);
    f.write("g3.txt", records);
    before = f.files();
    if (mkfifo((f.path() / "g1.txt").c_str(), 0600) != 0) return;
    pid = fork();
    if (pid == 0) {
      if (chdir(f.path().c_str()) != 0) _exit(127);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0), dup2(null, 1), dup2(null, 2);
      execl(KV_BINARY, KV_BINARY, "study", "case.csv", option, static_cast<char*>(nullptr));
      _exit(127);
    }
    while (pid > 0 && (pipe = open((f.path() / "g1.txt").c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  // Waits (until the deadline) for `ready` to hold.
  template <class Ready>
  void waitFor(Ready ready) const {
    while (!ready() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  // Ends the study with `signal`; its wait status.
  int end(int signal) {
    int status = 0;
    if (pid > 0) {
      kill(pid, signal);
      waitpid(pid, &status, 0);
    }
    if (pipe >= 0) close(pipe);
    pid = -1, pipe = -1;
    fs::remove(folder.path() / "g1.txt");
    return status;
  }
  ~PipedStudy() {  // a test that stopped early leaves no study running
    if (pid > 0 || pipe >= 0) end(SIGKILL);
  }

  CaseFolder& folder;
  std::string records;
  std::map<std::string, std::string> before;  // the folder's files before the study
  pid_t pid = -1;
  int pipe = -1;
  const std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
};

// An interruption in the middle of the points: the study is surely reading when the signal comes.
TEST(FieldStudy, InterruptionLeavesNothingAndEndsAsTheSignal) {
  CaseFolder f(false);
  PipedStudy study(f, "--threads=2");
  ASSERT_GE(study.pipe, 0) << "the study never opened the grid file";
  const std::string half = study.records.substr(0, study.records.size() / 2);
  ASSERT_EQ(write(study.pipe, half.data(), half.size()), static_cast<ssize_t>(half.size()));
  bool temporary = false;
  study.waitFor([&] {
    std::error_code error;
    for (const auto& e : fs::directory_iterator(f.path() / "case.study", error)) {
      temporary |= e.path().filename().string().rfind(".summary.csv.", 0) == 0;
    }
    return temporary;
  });
  EXPECT_TRUE(temporary);
  const int status = study.end(SIGINT);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(f.files(), study.before);
  EXPECT_FALSE(f.exists("case.study"));
}

// A study killed outright (no handler runs) leaves its temporaries; the next study into the same
// folder removes them, as their process no longer runs, and leaves nothing but its outputs.
TEST(FieldStudy, ARerunRemovesTheTemporariesOfAKilledStudy) {
  CaseFolder f(false);
  PipedStudy study(f, "--no-plots");
  ASSERT_GE(study.pipe, 0) << "the study never opened the grid file";
  auto temporaries = [&] {
    size_t n = 0;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(f.path() / "case.study", error)) n += e.path().filename().string()[0] == '.';
    return n;
  };
  study.waitFor([&] { return temporaries() > 0; });
  study.end(SIGKILL);
  ASSERT_EQ(temporaries(), 1u);
  f.write("g1.txt", study.records);
  ASSERT_EQ(f.run({"study", "case.csv", "--no-plots"}).status, 0);
  EXPECT_EQ(temporaries(), 0u);
  EXPECT_TRUE(f.exists("case.study/summary.csv"));
}

}  // namespace
}  // namespace kv::e2e
