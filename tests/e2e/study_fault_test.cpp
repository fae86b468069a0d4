// Faults around a study: a disk that fills up while the outputs are written, and hostile input
// files (a line of hundreds of megabytes, binary garbage, NUL bytes, folders where files are
// expected, names with control characters, a case that would be replaced by an output). Each
// ends with its one error line, in bounded memory, without changing an input or leaving any
// output behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "harness.h"

namespace kv::e2e {
namespace {

// A table of two quantities on four grids, and a field of 3000 points on three grids.
void writeTable(const CaseFolder& f, const std::string& name = "case.csv") {
  f.write(name, "h,drag,lift\n0.04,0.532672,1.201971\n0.02,0.531544,1.203331\n"
                "0.01,0.531283,1.203779\n0.005,0.5312204,1.203927\n");
}

void writeSmallField(const CaseFolder& f, const std::string& name = "field.csv") {
  const double h[] = {0.1, 0.2, 0.4};
  for (int g = 0; g < 3; ++g) {
    std::string points = "id,value\n";
    for (int i = 1; i <= 3000; ++i) {
      points += std::to_string(i) + "," + std::to_string(1.0 + h[g] * h[g] * (1 + i % 7)) + "\n";
    }
    f.write("g" + std::to_string(g + 1) + ".csv", points);
  }
  f.write(name, "h,file\n0.1,g1.csv\n0.2,g2.csv\n0.4,g3.csv\n");
}

struct StudyFullDisk {
  const char* name;
  std::function<void(const CaseFolder&)> prepare;
  std::vector<std::string> args;
  rlim_t fileSizeLimit;
};

std::vector<StudyFullDisk> studyFullDisks() {
  auto earlier = [](const CaseFolder& f) {
    fs::create_directory(f.path() / "out");
    for (const char* name : {"summary.csv", "study.json", "report.html"}) {
      f.write(std::string("out/") + name, std::string("earlier ") + name);
    }
  };
  return {
      // report.html is the largest output of a table study (several kilobytes).
      {"Table", [](const CaseFolder& f) { writeTable(f); }, {"study", "case.csv", "--no-plots"}, 2048},
      {"TableOverEarlierOutputs",
       [earlier](const CaseFolder& f) { writeTable(f), earlier(f); },
       {"study", "case.csv", "--no-plots", "--out", "out"}, 2048},
      // summary.csv fills up while the points are read.
      {"Field", [](const CaseFolder& f) { writeSmallField(f); }, {"study", "field.csv", "--no-plots"}, 64 << 10},
      {"FieldOverEarlierOutputs",
       [earlier](const CaseFolder& f) { writeSmallField(f), earlier(f); },
       {"study", "field.csv", "--no-plots", "--out", "out"}, 64 << 10},
  };
}

class StudyFullDiskTest : public ::testing::TestWithParam<StudyFullDisk> {};

TEST_P(StudyFullDiskTest, ExitsThreeAndLeavesNoPartialOutput) {
  CaseFolder f(false);
  GetParam().prepare(f);
  const std::map<std::string, std::string> before = f.files();
  RunResult r;
  {
    FileSizeLimit full(GetParam().fileSizeLimit);
    r = f.run(GetParam().args);
  }
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(std::regex_match(r.err, std::regex("kestrovanilque study: error: [^\n]+\n"))) << r.err;
  EXPECT_EQ(r.out, "");
  // Nothing new, nothing changed: no output folder made, no temporary file left, the outputs
  // of an earlier study kept.
  std::map<std::string, std::string> after;
  for (const auto& entry : fs::recursive_directory_iterator(f.path())) {
    after[fs::relative(entry.path(), f.path()).string()] =
        entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
  }
  std::map<std::string, std::string> expected = before;
  if (f.exists("out")) expected["out"] = "<folder>";
  for (const char* name : {"summary.csv", "study.json", "report.html"}) {
    if (f.exists("out")) expected[std::string("out/") + name] = std::string("earlier ") + name;
  }
  EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StudyFullDiskTest, ::testing::ValuesIn(studyFullDisks()),
                         [](const auto& info) { return std::string(info.param.name); });

// Standard output that cannot be written (a full disk, a closed stream) is a failure, not a
// success with the output lost: exit 3 and one line, for every format and kind, the outputs
// written all the same.
TEST(StudyStandardOutput, ALostStandardOutputEndsWithStatusThree) {
  CaseFolder f(false);
  writeTable(f);
  writeSmallField(f);
  f.write("runs.csv", "h,dt,q\n0.1,0.01,1.01\n0.2,0.02,1.04\n0.4,0.04,1.16\n");
  const struct {
    const char* args;
    const char* folder;
  } cases[] = {{"case.csv", "case.study"},          {"case.csv --format csv", "case.study"},
               {"case.csv --format json", "case.study"}, {"case.csv --format latex", "case.study"},
               {"field.csv --format csv", "field.study"}, {"field.csv", "field.study"},
               {"runs.csv --format csv", "runs.study"},   {"--help", nullptr}};
  for (const auto& c : cases) {
    for (const char* redirect : {"> /dev/full", ">&-"}) {
      fs::remove_all(f.path() / "case.study");
      fs::remove_all(f.path() / "field.study");
      fs::remove_all(f.path() / "runs.study");
      const std::string command = "cd '" + f.path().string() + "' && COMSPEC=/bin/true '" KV_BINARY "' study " +
                                  c.args + " --no-plots " + redirect + " 2> err.txt";
      const int status = std::system(command.c_str());
      ASSERT_TRUE(WIFEXITED(status)) << command;
      EXPECT_EQ(WEXITSTATUS(status), 3) << command;
      EXPECT_EQ(f.read("err.txt"),
                "kestrovanilque study: error: standard output cannot be written (closed, or a full disk?)\n")
          << command;
      if (c.folder) {
        EXPECT_TRUE(f.exists(std::string(c.folder) + "/summary.csv")) << command;
      }
    }
  }
}

// A run sweeps the stale temporaries that killed runs of any kind left in its folder (a mesh
// field's field.vtu, an HDF5 field's summary.h5 and slab.json), not only those of its own
// outputs; a live process's temporaries and files that are no output stay.
TEST(StudyStandardOutput, ARunSweepsStaleTemporariesOfEveryKind) {
  CaseFolder f(false);
  writeTable(f);
  fs::create_directory(f.path() / "out");
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::string machine;
  for (const char* c = host; *c; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c)) || *c == '-') machine += *c;
  }
  if (machine.empty()) machine = "host";
  auto temporary = [&](const std::string& name, long pid) {
    return "out/." + name + "." + machine + "." + std::to_string(pid) + ".part";
  };
  const std::string stale[] = {temporary("field.vtu", dead), temporary("summary.h5", dead),
                               temporary("slab.json", dead), temporary("summary.h5.ranks", dead)};
  const std::string kept[] = {temporary("field.vtu", getpid()), temporary("notes.txt", dead)};
  for (const std::string& name : stale) f.write(name, "stale");
  for (const std::string& name : kept) f.write(name, "keep");
  const RunResult r = f.run({"study", "case.csv", "--no-plots", "--out", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& name : stale) EXPECT_FALSE(f.exists(name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(f.exists(name)) << name;
}

// Names from the data drive no terminal: their control characters show as '?' in every table,
// warning and error a person reads (summary.csv and study.json keep the bytes, escaped in JSON).
TEST(StudyStandardOutput, ControlCharactersOfNamesReachNoTerminal) {
  CaseFolder f(false);
  const std::string evil = "\"q\x1b]0;PWNED\x07\x1b[2J\"";
  f.write("case.csv", "h," + evil + ",b\n0.04,2.0,1\n0.02,2.04,1.2\n0.01,2.05,1.1\n0.005,2.0512,1.3\n");
  f.write("runs.csv", "h,dt," + evil + "\n0.1,0.01,1.01\n0.2,0.02,1.04\n0.4,0.04,1.16\n0.1,0.02,1.02\n");
  f.write("bad.csv", "h," + evil + "\n0.04,2.0\n0.04,2.1\n");
  auto inert = [](const std::string& text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
      return (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == '\x7f';
    });
  };
  const std::vector<std::vector<std::string>> runs = {
      {"study", "case.csv", "--no-plots"},
      {"study", "case.csv", "--no-plots", "--format", "markdown"},
      {"study", "case.csv", "--no-plots", "--format", "latex"},
      {"study", "runs.csv", "--no-plots", "--time-order", "2"},
      {"study", "bad.csv", "--no-plots"},
  };
  for (const auto& args : runs) {
    const RunResult r = f.run(args);
    EXPECT_TRUE(inert(r.out)) << args[1] << " " << args.back() << ": " << r.out;
    EXPECT_TRUE(inert(r.err)) << args[1] << " " << args.back() << ": " << r.err;
    EXPECT_FALSE(r.out.empty() && r.err.empty()) << args[1];
  }
}

// A case given through a pipe is read once: a table is studied, a field table (whose grid files
// are named relative to its folder) refused with one line.
TEST(StudyStandardOutput, ACaseThroughAPipeIsReadOnce) {
  CaseFolder f(false);
  writeTable(f);
  writeSmallField(f);
  const std::string run = "cd '" + f.path().string() + "' && COMSPEC=/bin/true bash -c \"'" KV_BINARY "' study <(cat ";
  int status = std::system((run + "case.csv) --no-plots --out piped > out.txt 2> err.txt\"").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << f.read("err.txt");
  EXPECT_EQ(f.read("piped/summary.csv"), f.run({"study", "case.csv", "--no-plots", "--format", "csv"}).out);
  status = std::system((run + "field.csv) --no-plots --out piped2 > out.txt 2> err.txt\"").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_TRUE(std::regex_match(f.read("err.txt"), std::regex("kestrovanilque study: error: /dev/fd/[0-9]+: a field case "
                                                             "\\(h,file\\) names its grid files .* not through a pipe\n")))
      << f.read("err.txt");
  EXPECT_FALSE(f.exists("piped2"));
}

// StudyHostile input files: the study ends with one error line (a pattern) and creates nothing.
struct StudyHostile {
  const char* name;
  std::function<void(const CaseFolder&)> spoil;
  std::vector<std::string> args;
  int status;
  std::string line;  // regular expression, after "kestrovanilque study: error: "
};

std::vector<StudyHostile> studyHostileFiles() {
  const std::vector<std::string> table = {"study", "case.csv", "--no-plots"};
  const std::vector<std::string> field = {"study", "field.csv", "--no-plots"};
  std::vector<StudyHostile> cases = {
      {"HugeLineOfDigits",
       [](const CaseFolder& f) { f.write("case.csv", "h,q\n0.1," + std::string(kHugeLine, '7') + "\n"); },
       table, 2, "case\\.csv: is larger than 16 MiB: .*"},
      {"HugeFileOfNulBytes",
       [](const CaseFolder& f) {
         std::ofstream(f.path() / "case.csv").close();
         fs::resize_file(f.path() / "case.csv", kHugeLine);
       },
       table, 2, "case\\.csv: is larger than 16 MiB: .*"},
      // Just below the limit: a header of a million quantities and no grid.
      {"HeaderOfAMillionQuantities",
       [](const CaseFolder& f) {
         std::string header = "h";
         for (int k = 0; k < 1000000; ++k) header += ",q" + std::to_string(k);
         f.write("case.csv", header + "\n");
       },
       table, 2, "case\\.csv:1: 1000000 quantities: a table holds at most 20000 .*"},
      {"HugeFieldCase",
       [](const CaseFolder& f) {
         writeSmallField(f);
         f.write("field.csv", "h,file\n" + std::string(size_t{20} << 20, '#') + "\n");
       },
       field, 2, "field\\.csv: is larger than 16 MiB: .*"},
      {"HugeLineInAPointFile",
       [](const CaseFolder& f) { writeSmallField(f), f.write("g2.csv", "id,value\n1," + std::string(kHugeLine, '7') + "\n"); },
       field, 2, "g2\\.csv:2: holds a line longer than 1 MiB"},
      {"NulInAValue", [](const CaseFolder& f) { f.write("case.csv", std::string("h,q\n0.1,1\0\n0.2,2\n", 17)); },
       table, 2, "case\\.csv:2: column 'q': '1\\?' is not a number"},
      {"EscapeInAName", [](const CaseFolder& f) { f.write("case.csv", "h,q\x1b[2J\n0.1,x\n0.2,2\n"); },
       table, 2, "case\\.csv:2: column 'q\\?\\[2J': 'x' is not a number"},
      {"PointFileNameWithControlCharacters",
       [](const CaseFolder& f) { writeSmallField(f), f.write("field.csv", "h,file\n0.1,g\x1b]0;x\x07.csv\n0.2,g2.csv\n"); },
       field, 2, "g\\?\\]0;x\\?\\.csv: .*"},
      {"PointFileIsAFolder",
       [](const CaseFolder& f) {
         writeSmallField(f);
         fs::remove(f.path() / "g2.csv");
         fs::create_directory(f.path() / "g2.csv");
       },
       field, 2, "g2\\.csv: is a folder, not a file: name a point file"},
      {"FieldCaseIsAFolder", [](const CaseFolder& f) { fs::create_directory(f.path() / "field.csv"); },
       field, 2, "field\\.csv: is a folder, not a file: .*"},
      // A small case that asks for much: one point file for a thousand grids, grids past the most
      // a study takes, values that are not finite (studied, not refused).
      {"OnePointFileForAThousandGrids",
       [](const CaseFolder& f) {
         writeSmallField(f);
         std::string text = "h,file\n";
         for (int g = 1; g <= 1000; ++g) text += std::to_string(0.001 * g) + ",g1.csv\n";
         f.write("field.csv", text);
       },
       field, 2, "field\\.csv:3: names g1\\.csv again: each grid has a file of its own"},
      {"SixtyFiveGrids",
       [](const CaseFolder& f) {
         std::string text = "h,q\n";
         for (int g = 1; g <= 65; ++g) text += std::to_string(0.001 * g) + "," + std::to_string(g) + "\n";
         f.write("case.csv", text);
       },
       table, 2, "case\\.csv:66: more than 64 grids: a study takes at most 64"},
      // Outputs in the place of inputs: the case itself, a point file in the output folder.
      {"CaseIsAnOutput", [](const CaseFolder& f) { writeTable(f, "summary.csv"); },
       {"study", "summary.csv", "--no-plots", "--out", "."}, 2,
       "summary\\.csv: is read by this study and would be replaced by one of its outputs .*"},
      {"PointFileIsAnOutput",
       [](const CaseFolder& f) {
         writeSmallField(f);
         fs::create_directory(f.path() / "out");
         fs::rename(f.path() / "g3.csv", f.path() / "out/report.html");
         f.write("field.csv", "h,file\n0.1,g1.csv\n0.2,g2.csv\n0.4,out/report.html\n");
       },
       {"study", "field.csv", "--no-plots", "--out", "out"}, 2,
       "out/report\\.html: is read by this study and would be replaced by one of its outputs .*"},
      {"ExactFileIsAnOutput",
       [](const CaseFolder& f) {
         const fs::path example = sourceDir() / "examples" / "trapezoid";
         for (const auto& entry : fs::directory_iterator(example)) {
           f.write(entry.path().filename().string(), readFile(entry.path()));
         }
         fs::rename(f.path() / "exact.txt", f.path() / "study.json");
         std::string main = f.read("trapezoid_case.txt");
         main.replace(main.find("exact.txt "), 10, "study.json");
         f.write("trapezoid_case.txt", main);
       },
       {"study", "trapezoid_case.txt", "--no-plots", "--out", "."}, 2,
       "study\\.json: is read by this study and would be replaced by one of its outputs .*"},
  };
  for (unsigned seed = 1; seed <= 3; ++seed) {
    for (const char* name : {"case.csv", "case.txt"}) {
      cases.push_back({"BinaryGarbage", [seed, name](const CaseFolder& f) { f.write(name, garbage(seed, 4096)); },
                       {"study", name, "--no-plots"}, 2, std::string(name, 4) + "\\.(csv|txt)(:[0-9]+)?: .*"});
    }
  }
  return cases;
}

class StudyHostileFileTest : public ::testing::TestWithParam<StudyHostile> {};

TEST_P(StudyHostileFileTest, EndsWithOneErrorLineInBoundedMemoryAndChangesNothing) {
  CaseFolder f(false);
  GetParam().spoil(f);
  const std::map<std::string, std::string> before = f.files();
  const auto start = std::chrono::steady_clock::now();
  RunResult r = f.run(GetParam().args);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(r.status, GetParam().status);
  EXPECT_TRUE(std::regex_match(r.err, std::regex("kestrovanilque study: error: " + GetParam().line + "\n")))
      << r.err;
  EXPECT_EQ(r.out, "");
  // Memory stays bounded: a small multiple of the largest file the study may read whole.
  EXPECT_LT(r.peakMemoryBytes, 4.0 * kHugeLine + 64e6);
  EXPECT_EQ(f.files(), before);
  EXPECT_FALSE(f.exists("case.study") || f.exists("field.study"));
}

INSTANTIATE_TEST_SUITE_P(Cases, StudyHostileFileTest, ::testing::ValuesIn(studyHostileFiles()),
                         [](const auto& info) {
                           return std::string(info.param.name) + std::to_string(info.index);
                         });

}  // namespace
}  // namespace kv::e2e
