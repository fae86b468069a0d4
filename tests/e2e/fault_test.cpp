// Faults around a run: a disk that fills up while the outputs are written, and hostile input
// files (lines of hundreds of megabytes, binary garbage, NUL bytes, folders where files are
// expected, names with control characters, a listing that is a link to an input). Each ends
// with its one fatal line, in bounded memory, without changing an input or leaving a file
// half-replaced. A title that would end gnuplot's string early is drawn as text.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "harness.h"

namespace kv::e2e {
namespace {

// The case used throughout: three grids, no exact value (listing, 24 plot data files, three
// plot scripts).
constexpr const char* kCase = "n3";

void copyCase(const CaseFolder& f) {
  for (const auto& entry : fs::directory_iterator(sourceDir() / "tests/golden/cases" / kCase)) {
    fs::copy_file(entry.path(), f.path() / entry.path().filename(),
                  fs::copy_options::overwrite_existing);
  }
}

// The bytes of a file with the run's date and time masked.
std::string undated(const std::string& bytes) {
  static const std::regex date("\\(\\d{1,2}/\\d{1,2}/\\d{4}\\)|Hora = [0-9:]+ *");
  return std::regex_replace(bytes, date, "<date>");
}

struct FullDisk {
  const char* name;
  std::function<void(const CaseFolder&)> prepare;
  rlim_t fileSizeLimit;  // 0: none
  std::string failing;   // the file whose write fails
  int unit;
};

std::vector<FullDisk> fullDisks() {
  auto onDevFull = [](const char* name) {
    return [name](const CaseFolder& f) { fs::create_symlink("/dev/full", f.path() / name); };
  };
  auto nothing = [](const CaseFolder&) {};
  return {
      // The listing (4887 bytes) fills the disk when it is closed, after every plot file.
      {"Listing", nothing, 4096, "listing.txt", 10},
      {"ListingOnDevFull", onDevFull("listing.txt"), 0, "listing.txt", 10},
      // The first plot data file written.
      {"PlotFileOnDevFull", onDevFull("pL.dat"), 0, "pL.dat", 11},
      // The first plot script completed (438 bytes; every plot data file before it is smaller).
      {"PlotScript", nothing, 300, "Kestrovanilque_pU.gnu", 11},
  };
}

class FullDiskTest : public ::testing::TestWithParam<FullDisk> {};

TEST_P(FullDiskTest, EndsWithTheWriteFailureLineAndKeepsEveryCompletedFile) {
  CaseFolder reference;
  copyCase(reference);
  ASSERT_EQ(reference.run().status, 0);
  std::map<std::string, std::string> complete = reference.files();

  CaseFolder f;
  copyCase(f);
  GetParam().prepare(f);
  std::map<std::string, std::string> before = f.files();
  RunResult r;
  if (GetParam().fileSizeLimit > 0) {
    FileSizeLimit full(GetParam().fileSizeLimit);
    r = f.run();
  } else {
    r = f.run();
  }
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "kestrovanilque: severe (38): error during write, unit " +
                       std::to_string(GetParam().unit) + ", file " + GetParam().failing + "\n");
  // Every other file is as it was or complete; the listing, still open, may be cut short.
  for (const auto& entry : fs::directory_iterator(f.path())) {
    std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.ends_with(".partial")) << name;
    if (name == GetParam().failing || name == "listing.txt" || !entry.is_regular_file()) continue;
    std::string bytes = f.read(name);
    if (before.count(name) && bytes == before[name]) continue;
    EXPECT_EQ(undated(bytes), undated(complete[name])) << name;
  }
  // A plot script keeps its prepared lines when its completion fails.
  if (GetParam().failing.ends_with(".gnu")) {
    EXPECT_EQ(f.read(GetParam().failing), before[GetParam().failing]);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FullDiskTest, ::testing::ValuesIn(fullDisks()),
                         [](const auto& info) { return std::string(info.param.name); });

// Hostile input files: the run ends with one fatal line (a pattern) before anything is written.
struct Hostile {
  const char* name;
  std::function<void(const CaseFolder&)> spoil;
  int status;
  std::string line;  // regular expression
};

// The main data file of the case with record `index` (from 0) replaced.
void replaceRecord(const CaseFolder& f, size_t index, const std::string& record) {
  std::string text = f.read("main.dat");
  size_t begin = 0;
  for (size_t k = 0; k < index; ++k) begin = text.find('\n', begin) + 1;
  text.replace(begin, text.find('\n', begin) - begin, record);
  f.write("main.dat", text);
}

std::vector<Hostile> hostileFiles() {
  const std::string readFailure =
      "kestrovanilque: severe \\((24|59|64)\\): [A-Za-z /-]+, unit 7, file main\\.dat";
  std::vector<Hostile> cases = {
      {"HugeLineOfNulBytes",
       [](const CaseFolder& f) {
         fs::remove(f.path() / "g02.dat");
         std::ofstream(f.path() / "g02.dat").close();
         fs::resize_file(f.path() / "g02.dat", kHugeLine);
       },
       59, "kestrovanilque: severe \\(59\\): list-directed I/O syntax error, unit 7, file g02\\.dat"},
      {"HugeLineOfDigits",
       [](const CaseFolder& f) { f.write("g01.dat", std::string(kHugeLine / 2, '7') + "\n"); }, 64,
       "kestrovanilque: severe \\(64\\): input conversion error, unit 7, file g01\\.dat"},
      {"HugeUnclosedTitle",
       [](const CaseFolder& f) { replaceRecord(f, 16, "'" + std::string(kHugeLine / 2, 'x')); },
       24, "kestrovanilque: severe \\(24\\): end-of-file during read, unit 7, file main\\.dat"},
      {"NulInAnInteger", [](const CaseFolder& f) { replaceRecord(f, 0, std::string("2\0", 2)); },
       59, "kestrovanilque: severe \\(59\\): list-directed I/O syntax error, unit 7, file main\\.dat"},
      {"NulInAGridFileName",
       [](const CaseFolder& f) { replaceRecord(f, 13, std::string("'g01.dat\0x'", 11)); }, 30,
       "kestrovanilque: severe \\(30\\): open failure, unit 7, file g01\\.dat\\?x"},
      {"EscapesInAGridFileName",
       [](const CaseFolder& f) { replaceRecord(f, 14, "'g02\x1b[31m.dat'"); }, 30,
       "kestrovanilque: severe \\(30\\): open failure, unit 7, file g02\\?\\[31m\\.dat"},
      {"CarriageReturnInTheListingName", [](const CaseFolder& f) { replaceRecord(f, 1, "'list\r.txt'"); },
       30, "kestrovanilque: severe \\(30\\): open failure, unit 10, file list\\?\\.txt"},
      {"GridFileIsAFolder",
       [](const CaseFolder& f) {
         fs::remove(f.path() / "g03.dat");
         fs::create_directory(f.path() / "g03.dat");
       },
       30, "kestrovanilque: severe \\(30\\): open failure, unit 7, file g03\\.dat"},
      {"MainDataFileIsAFolder",
       [](const CaseFolder& f) {
         fs::remove(f.path() / "main.dat");
         fs::create_directory(f.path() / "main.dat");
       },
       30, "kestrovanilque: severe \\(30\\): open failure, unit 7, file main\\.dat"},
  };
  for (const char* target : {"g01.dat", "main.dat", "Kestrovanilque.in", "Kestrovanilque_pU.gnu"}) {
    cases.push_back({"ListingIsALinkTo", [target](const CaseFolder& f) {
                       fs::create_symlink(target, f.path() / "listing.txt");
                     },
                     30, "kestrovanilque: severe \\(30\\): open failure, unit 10, file listing\\.txt"});
  }
  for (unsigned seed = 1; seed <= 4; ++seed) {
    cases.push_back({"BinaryGarbage",
                     [seed](const CaseFolder& f) { f.write("main.dat", garbage(seed, 4096)); }, -1,
                     readFailure});
  }
  return cases;
}

class HostileFileTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileFileTest, EndsWithOneFatalLineInBoundedMemoryAndChangesNothing) {
  CaseFolder f;
  copyCase(f);
  GetParam().spoil(f);
  std::map<std::string, std::string> before = f.files();
  RunResult r = f.run();
  if (GetParam().status >= 0) {
    EXPECT_EQ(r.status, GetParam().status);
  }
  EXPECT_TRUE(std::regex_match(r.err, std::regex(GetParam().line + "\n"))) << r.err;
  EXPECT_EQ(r.out, "");
  // Memory grows with the file, never beyond three times the largest of the table.
  EXPECT_LT(r.peakMemoryBytes, 3.0 * kHugeLine + 128e6);
  // No input changed; nothing written but the empty files a missing input name creates.
  std::map<std::string, std::string> after = f.files();
  for (const auto& [name, bytes] : before) EXPECT_TRUE(after[name] == bytes) << name;
  for (const auto& [name, bytes] : after) {
    if (!before.count(name)) {
      EXPECT_EQ(bytes, "") << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileFileTest, ::testing::ValuesIn(hostileFiles()),
                         [](const auto& info) {
                           return std::string(info.param.name) + std::to_string(info.index);
                         });

// Titles holding quotes, run through the real shell and adapters: the plot scripts carry them
// as gnuplot text, never as commands. The case's scripts draw on gnuplot's text terminal, so
// each plot file shows the title as gnuplot read it.
struct QuotedTitle {
  const char* name;
  std::string record;  // the title record of the main data file
  std::string title;
};

class QuotedTitleTest : public ::testing::TestWithParam<QuotedTitle> {};

TEST_P(QuotedTitleTest, IsDrawnAsTextAndRunsNothing) {
  CaseFolder f;
  copyCase(f);
  replaceRecord(f, 16, GetParam().record);
  const std::string realShell;
  RunResult r = f.run({}, &realShell);
  EXPECT_EQ(r.status, 0);
  std::string doubled = std::regex_replace(GetParam().title, std::regex("'"), "''");
  for (const char* script : {"Kestrovanilque_pU", "Kestrovanilque_U", "Kestrovanilque_U_2"}) {
    std::vector<std::string> lines = crlfLines(undated(f.read(script + std::string(".gnu"))));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "set title '" + doubled + " <date>'") << script;
  }
  EXPECT_FALSE(f.exists("pwned"));
  if (std::system("command -v gnuplot > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "gnuplot is not installed: the scripts were not run";
  }
  EXPECT_EQ(r.err, "") << "gnuplot failed on a script";
  for (const char* plot : {"Kestrovanilque_pU", "Kestrovanilque_U", "Kestrovanilque_U_2"}) {
    EXPECT_NE(f.read(plot + std::string(".png")).find(GetParam().title + " ("), std::string::npos)
        << plot;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuotedTitleTest,
    ::testing::Values(
        QuotedTitle{"Apostrophe", "'Joe''s case'", "Joe's case"},
        QuotedTitle{"GnuplotCommands", "'a''; print system(''touch pwned''); set title ''b'",
                    "a'; print system('touch pwned'); set title 'b"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file larger than memory (a sparse terabyte) ends with the memory line at once, as long as
// the system refuses allocations beyond its memory.
TEST(HostileFile, FileLargerThanMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer ends the program when memory runs out, instead of throwing";
#endif
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int mode = -1;
  if (!(overcommit >> mode) || mode == 1) GTEST_SKIP() << "memory is overcommitted";
  CaseFolder f;
  copyCase(f);
  fs::remove(f.path() / "g01.dat");
  std::ofstream(f.path() / "g01.dat").close();
  std::error_code error;
  fs::resize_file(f.path() / "g01.dat", uintmax_t{1} << 40, error);
  if (error) GTEST_SKIP() << "no sparse terabyte here";
  RunResult r = f.run();
  EXPECT_EQ(r.status, 41);
  EXPECT_EQ(r.err, "kestrovanilque: severe (41): insufficient virtual memory\n");
  EXPECT_EQ(fs::file_size(f.path() / "g01.dat"), uintmax_t{1} << 40);
}

}  // namespace
}  // namespace kv::e2e
