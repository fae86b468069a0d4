// `kestrovanilque study`: whole runs of the real binary on the shipped examples, on published
// cases, and on every kind of bad input (one message, its exit status, nothing created).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kHeader =
    "quantity,grids,h1,h2,h3,r21,r32,phi1,phi2,phi3,R,convergence,p,phi_ext21,e_a21,e_ext21,"
    "gci_fine21,gci_coarse32,asymptotic_ratio,exact,error_phi1,error_ext21,status,"
    "u_gci,u_ls,ls_fit,ls_p,ls_sigma,ls_fs,u_cf,u_fs,u_gci_th,u_osc\n";

// The fields of one summary row (no quoted fields in these cases).
std::vector<std::string> fields(const std::string& row) {
  std::vector<std::string> out;
  size_t begin = 0;
  for (size_t end; (end = row.find(',', begin)) != std::string::npos; begin = end + 1) {
    out.push_back(row.substr(begin, end - begin));
  }
  out.push_back(row.substr(begin));
  return out;
}

TEST(Study, ShippedExampleWritesEveryOutputAndTheTable) {
  CaseFolder f(false);
  f.write("step.csv", readFile(sourceDir() / "examples/study/step_flow.csv"));
  RunResult r = f.run({"study", "step.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string summary = f.read("step.study/summary.csv");
  EXPECT_THAT(summary, StartsWith(kHeader));
  EXPECT_EQ(lines(summary).size(), 5u);
  EXPECT_THAT(summary, HasSubstr(",oscillatory-convergence,"));
  EXPECT_THAT(summary, HasSubstr(",p far from theory;"));  // reattachment_length: p = 0.94
  EXPECT_THAT(summary, HasSubstr(",oscillatory;"));        // pressure_drop
  EXPECT_THAT(r.out, HasSubstr("pressure_drop        oscillatory-convergence"));
  EXPECT_THAT(r.out, HasSubstr("report: step.study/report.html"));
  // The same bytes on standard output for pipelines; the JSON is complete and parses.
  EXPECT_EQ(f.run({"study", "step.csv", "--format", "csv"}).out, summary);
  nlohmann::json j = nlohmann::json::parse(f.run({"study", "step.csv", "--format", "json"}).out);
  EXPECT_EQ(j["schema"], 2);
  EXPECT_EQ(j["quantities"].size(), 4u);
  EXPECT_EQ(j["quantities"][0]["series"]["pU"]["values"].size(), 4u);
  EXPECT_EQ(j["quantities"][3]["warnings"][0]["code"], "p far from theory");
  EXPECT_EQ(j["quantities"][0]["standard"]["gci_fine21_bounds_error"], true);
  EXPECT_EQ(j, nlohmann::json::parse(f.read("step.study/study.json")));
  // Only the outputs (the three, the tables for a paper and, when gnuplot drew them, the
  // figures), no temporary file left.
  const bool figures = fs::is_directory(f.path() / "step.study" / "figures");
  EXPECT_EQ(std::distance(fs::directory_iterator(f.path() / "step.study"), fs::directory_iterator()), figures ? 6 : 5);
  if (figures) {
    EXPECT_EQ(std::distance(fs::directory_iterator(f.path() / "step.study" / "figures"), fs::directory_iterator()), 16);
  }
}

TEST(Study, CelikTableOneFromCellCountsAndStandardInput) {
  // Celik et al. 2008, Table 1, column 1: N = 18000, 8000, 4500 cells in 2D, grids in any order.
  CaseFolder f(false);
  const std::string csv = "cells;phi\r\n8000;5.972\r\n18000;6.063\r\n4500;5.863\r\n";
  RunResult r = f.run({"study", "-", "--cells", "--dim", "2", "--format", "csv", "--out", "o"},
                      nullptr, {}, &csv);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> row = fields(lines(r.out).at(1));
  EXPECT_EQ(row[11], "monotonic-convergence");
  EXPECT_NEAR(std::stod(row[12]), 1.53, 0.005);     // p
  EXPECT_NEAR(std::stod(row[13]), 6.1685, 5e-5);    // phi_ext21
  EXPECT_NEAR(std::stod(row[16]), 0.022, 5e-4);     // GCI_fine21 2.2 %
  EXPECT_EQ(row[22], "ok");
}

// Text that is not UTF-8 is read as Latin-1, as the classic files are written: the shipped
// trapezoid case with a title in Portuguese in Latin-1, studied as a table and as a field, and a
// CSV table with a Latin-1 quantity name reach every output as UTF-8, and no study aborts.
TEST(Study, Latin1TextReachesEveryOutputAsUtf8) {
  CaseFolder f(false);
  for (const auto& entry : fs::directory_iterator(sourceDir() / "examples/trapezoid")) {
    f.write(entry.path().filename().string(), readFile(entry.path()));
  }
  std::string main = f.read("trapezoid_case.txt");
  const size_t title = main.find("'Trapezoidal rule");
  main.replace(title, main.find('\'', title + 1) + 1 - title, "'Regra do trap\xe9zio, integral de 1/(1+x) = ln 2'");
  f.write("trapezoid_case.txt", main);
  const std::string utf8 = "Regra do trap\xc3\xa9zio";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"study", "trapezoid_case.txt", "--out", "table"},
                                              {"study", "trapezoid_case.txt", "--field", "--out", "field"}}) {
    const RunResult r = f.run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = args.back();
    EXPECT_THAT(nlohmann::json::parse(f.read(out + "/study.json"))["input"]["title"].get<std::string>(),
                StartsWith(utf8));
    EXPECT_THAT(f.read(out + "/report.html"), HasSubstr(utf8));
  }
  f.write("q.csv", "h,press\xe3o\n0.1,1.01\n0.2,1.04\n0.4,1.16\n");
  const RunResult r = f.run({"study", "q.csv", "--no-plots"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string name = "press\xc3\xa3o";
  EXPECT_THAT(r.out, HasSubstr(name + "  monotonic-convergence"));
  EXPECT_THAT(f.read("q.study/summary.csv"), HasSubstr("\n" + name + ",3,"));
  EXPECT_EQ(nlohmann::json::parse(f.read("q.study/study.json"))["quantities"][0]["name"], name);
  EXPECT_THAT(f.read("q.study/report.html"), HasSubstr(name));
  EXPECT_THAT(f.read("q.study/table.md"), HasSubstr(name));
}

// A gnuplot that never returns is stopped by --plot-timeout: the study succeeds without its plots,
// says so once on standard error and in the report, and leaves no scratch folder behind.
TEST(Study, AHungGnuplotIsStoppedAndTheStudyGoesOn) {
  CaseFolder f(false);
  f.write("step.csv", readFile(sourceDir() / "examples/study/step_flow.csv"));
  fs::create_directories(f.path() / "bin");
  fs::create_directories(f.path() / "tmp");
  f.write("bin/gnuplot", "#!/bin/sh\nexec sleep 60\n");
  fs::permissions(f.path() / "bin/gnuplot", fs::perms::owner_all);
  const std::map<std::string, std::string> env = {
      {"PATH", (f.path() / "bin").string() + ":" + std::getenv("PATH")}, {"TMPDIR", (f.path() / "tmp").string()}};
  for (const char* c : {"step.csv", "field.csv"}) {
    if (std::string(c) == "field.csv") {
      f.write("g1.csv", "id,value\n1,1.0\n2,2.0\n");
      f.write("g2.csv", "id,value\n1,1.1\n2,2.2\n");
      f.write("g3.csv", "id,value\n1,1.3\n2,2.6\n");
      f.write("field.csv", "h,file\n1,g1.csv\n2,g2.csv\n4,g3.csv\n");
    }
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = f.run({"study", c, "--plot-timeout", "1"}, nullptr, env);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "kestrovanilque study: warning: gnuplot did not finish within 1 s and was stopped "
                     "(--plot-timeout sets the limit)\n");
    const std::string stem = fs::path(c).stem().string();
    EXPECT_THAT(f.read(stem + ".study/report.html"), HasSubstr("gnuplot did not finish within 1 s"));
    EXPECT_TRUE(fs::is_empty(f.path() / "tmp")) << c;
  }
}

TEST(Study, ClassicMainDataFileIsReadAndLeftAlone) {
  CaseFolder f(false);
  const fs::path example = sourceDir() / "examples/trapezoid";
  for (const auto& entry : fs::directory_iterator(example)) {
    f.write(entry.path().filename().string(), readFile(entry.path()));
  }
  const auto before = f.files();
  RunResult r = f.run({"study", "trapezoid_case.txt", "--no-plots"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.launches.empty());
  for (const auto& [name, bytes] : before) EXPECT_EQ(f.read(name), bytes) << name;
  EXPECT_FALSE(f.exists("trapezoid_listing.txt"));
  nlohmann::json j = nlohmann::json::parse(f.read("trapezoid_case.study/study.json"));
  EXPECT_EQ(j["input"]["kind"], "main-data");
  EXPECT_EQ(j["input"]["h"].size(), 8u);
  EXPECT_EQ(j["input"]["theoretical_order"], 2.0);
  EXPECT_EQ(j["input"]["safety_factor"], 3.0);
  ASSERT_GE(j["quantities"].size(), 2u);
  EXPECT_EQ(j["quantities"][1]["name"], "var2");
  // The trapezoidal rule on ln 2: second order, the exact value from the exact-solution file.
  EXPECT_NEAR(j["quantities"][1]["standard"]["p"].get<double>(), 2.0, 1e-3);
  EXPECT_NEAR(j["quantities"][1]["standard"]["exact"].get<double>(), std::log(2.0), 1e-12);
  EXPECT_THAT(f.read("trapezoid_case.study/report.html"), HasSubstr("id=\"no-plots\""));
  // The start file leads to the same case.
  ASSERT_EQ(f.run({"study", "Kestrovanilque.in", "--no-plots", "--out", "via_start"}).status, 0);
  EXPECT_EQ(f.read("via_start/summary.csv"), f.read("trapezoid_case.study/summary.csv"));
}

struct StudyBadInputCase {
  const char* what;
  const char* content;  // nullptr: no case file at all
  std::vector<std::string> extra;
  int status;
  const char* message;  // a regular expression the error output must match
};

class StudyBadInput : public ::testing::TestWithParam<StudyBadInputCase> {};

TEST_P(StudyBadInput, OneMessageItsStatusAndNothingCreated) {
  const StudyBadInputCase& c = GetParam();
  CaseFolder f(false);
  if (c.content) f.write("case.csv", c.content);
  const auto before = f.files();
  std::vector<std::string> args{"study", "case.csv"};
  args.insert(args.end(), c.extra.begin(), c.extra.end());
  RunResult r = f.run(args);
  EXPECT_EQ(r.status, c.status);
  EXPECT_TRUE(std::regex_search(r.err, std::regex(c.message))) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(f.files(), before);
  EXPECT_FALSE(f.exists("case.study"));
}

const char* const kPrefix = "^kestrovanilque study: error: case\\.csv";

INSTANTIATE_TEST_SUITE_P(
    Cases, StudyBadInput,
    ::testing::Values(
        StudyBadInputCase{"missing", nullptr, {}, 2, "^kestrovanilque study: error: case\\.csv: cannot read the file \\(No such file"},
        StudyBadInputCase{"empty", "", {}, 2, ":1: the file is empty"},
        StudyBadInputCase{"only comments", "# nothing\n\n", {}, 2, ":1: the file holds no data"},
        StudyBadInputCase{"no header", "0.1,1.0\n0.2,1.1\n", {}, 2, ":1: missing header.*found '0.1'"},
        StudyBadInputCase{"pandas index", ",h,a\n0,0.1,1\n1,0.2,2\n", {}, 2, ":1: the first column has no name and h comes second, as pandas writes its index with to_csv\\(\\): save the table with to_csv\\(path, index=False\\)\n$"},
        StudyBadInputCase{"no quantity", "h\n0.1\n0.2\n", {}, 2, ":1: the header has no quantity column"},
        StudyBadInputCase{"one grid", "h,a\n0.1,1\n", {}, 2, ":2: only 1 grid"},
        StudyBadInputCase{"duplicate name", "h,a,a\n0.1,1,2\n0.2,1,2\n", {}, 2, ":1: the quantity name 'a' appears twice"},
        StudyBadInputCase{"field count", "h,a,b\n0.1,1,2\n0.2,1\n", {}, 2, ":3: 2 fields, but the header has 3 columns"},
        StudyBadInputCase{"not a number", "h,drag\n0.1,1.0\n0.2,abc\n", {}, 2, ":3: column 'drag': 'abc' is not a number"},
        StudyBadInputCase{"decimal comma, comma delimiter", "h,a\n0.1,1,5\n0.2,1,6\n", {}, 2, ":2: 3 fields.*write 0\\.1, not 0,1"},
        StudyBadInputCase{"decimal comma", "h;a\n0,1;1\n0,2;2\n", {}, 2, ":2: column 'h': '0,1' has a decimal comma: write 0\\.1, not 0,1"},
        StudyBadInputCase{"h zero", "h,a\n0,1\n0.2,2\n", {}, 2, ":2: h = '0': it must be a positive, finite number"},
        StudyBadInputCase{"h negative", "h,a\n0.1,1\n-0.2,2\n", {}, 2, ":3: h = '-0.2'"},
        StudyBadInputCase{"h NaN", "h,a\nnan,1\n0.2,2\n", {}, 2, ":2: h = 'nan'"},
        StudyBadInputCase{"h infinite", "h,a\ninf,1\n0.2,2\n", {}, 2, ":2: h = 'inf'"},
        StudyBadInputCase{"same h", "h,a\n0.1,1\n0.2,2\n0.10,3\n", {}, 2, ":4: this grid has the same h as the grid of line 2"},
        StudyBadInputCase{"cells without dim", "cells,a\n100,1\n400,2\n", {}, 2, ":1: the first column holds cell counts: give --cells --dim D"},
        StudyBadInputCase{"cells zero", "cells,a\n0,1\n400,2\n", {"--cells", "--dim", "2"}, 2, ":2: cells = '0'"},
        StudyBadInputCase{"bad option", "h,a\n0.1,1\n0.2,2\n", {"--colour"}, 2, "^kestrovanilque study: error: .*--colour\nRun 'kestrovanilque study --help'"},
        StudyBadInputCase{"misspelt option", "h,a\n0.1,1\n0.2,2\n", {"--target_gci", "0.1"}, 2, "^kestrovanilque study: error: unknown option --target_gci: did you mean --target-gci\\?\n$"},
        StudyBadInputCase{"bad format", "h,a\n0.1,1\n0.2,2\n", {"--format", "xml"}, 2, "^kestrovanilque study: error: --format: .*xml"},
        StudyBadInputCase{"dim out of range", "h,a\n0.1,1\n0.2,2\n", {"--cells", "--dim", "4"}, 2, "error: --dim: .*4"},
        StudyBadInputCase{"dim without cells", "h,a\n0.1,1\n0.2,2\n", {"--dim", "2"}, 2, "error: --dim requires --cells"},
        StudyBadInputCase{"negative order", "h,a\n0.1,1\n0.2,2\n", {"--order", "-1"}, 2, "error: --order: the theoretical order: a number above 0 and below 100, not -1"}),
    [](const ::testing::TestParamInfo<StudyBadInputCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name.push_back(std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
      return name;
    });

// An empty field is a missing value: study.json and the report name the grids its quantity was
// studied on.
TEST(Study, AnEmptyFieldIsAMissingValue) {
  CaseFolder f(false);
  f.write("case.csv", "h,a,b\n0.4,1.3,1.3\n0.2,1.1,\n0.1,1.0,1.0\n0.05,0.975,0.975\n");
  RunResult r = f.run({"study", "case.csv", "--no-plots", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_FALSE(j["quantities"][0].contains("grids"));
  EXPECT_EQ(j["quantities"][1]["grids"], nlohmann::json::parse("[1, 2, 4]"));
  EXPECT_EQ(j["quantities"][1]["values"], nlohmann::json::parse("[0.975, 1.0, 1.3]"));
  EXPECT_THAT(f.read("case.study/report.html"), HasSubstr("Studied on grids 1, 2, 4 of 4: the others have no value."));
  // The table for a paper gives each quantity the cell counts of its own three finest grids.
  f.write("cells.csv", "cells,a,b\n8000,1.01,\n1000,1.04,1.04\n125,1.16,1.16\n16,1.64,1.64\n");
  r = f.run({"study", "cells.csv", "--cells", "--dim", "3", "--no-plots", "--format", "markdown"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("| N<sub>1</sub> | 8000 | 1000 |\n| N<sub>2</sub> | 1000 | 125 |\n| N<sub>3</sub> | 125 | 16 |"));
}

TEST(Study, AcceptsByteOrderMarkCommentsTabsAndCrLf) {
  CaseFolder f(false);
  f.write("case.csv", "\xEF\xBB\xBF# comment\r\nh\tlift\r\n\r\n0.4\t1.3\r\n0.1\t1.0\r\n0.2\t1.1\r\nexact\t0.9\r\n");
  RunResult r = f.run({"study", "case.csv", "--no-plots", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> row = fields(lines(r.out).at(1));
  EXPECT_EQ(row[0], "lift");
  EXPECT_EQ(row[2], "0.1");  // h1: the finest grid, whatever the order of the rows
  EXPECT_NEAR(std::stod(row[12]), 1.0, 1e-12);  // p = ln(0.2/0.1)/ln 2
  EXPECT_EQ(row[19], "0.9");
}

// --strict fails a quantity that does not converge monotonically, and one with a finding of
// severity warning (here: p = 1 against p_th = 2, outside the calibration of CF and FS).
TEST(Study, StrictFailsOnAnyQuantityThatDoesNotConvergeMonotonically) {
  struct Case {
    const char* csv;
    int status;
  } cases[] = {
      {"h,a,b\n1,1.0,2.0\n2,1.03,2.06\n4,1.15,2.3\n", 0},
      {"h,a,b\n1,1.0,2.0\n2,1.1,2.2\n4,1.3,2.6\n", 1},  // p = 1: a warning
      {"h,a,b\n1,1.0,2.0\n2,1.1,1.9\n4,1.3,2.6\n", 1},  // b oscillates
      {"h,a\n1,1.0\n2,1.1\n", 1},                       // two grids: no observed order
      {"h,a\n1,1.0\n2,1.0\n4,1.0\n", 1},                // no change
  };
  for (const Case& c : cases) {
    CaseFolder f(false);
    f.write("case.csv", c.csv);
    RunResult r = f.run({"study", "case.csv", "--strict", "--no-plots"});
    EXPECT_EQ(r.status, c.status) << c.csv << r.err;
    EXPECT_TRUE(f.exists("case.study/summary.csv"));
  }
}

TEST(Study, UnwritableOutputFolderLeavesNothing) {
  CaseFolder f(false);
  f.write("case.csv", "h,a\n1,1.0\n2,1.1\n4,1.3\n");
  f.write("file", "not a folder\n");
  const auto before = f.files();
  RunResult r = f.run({"study", "case.csv", "--out", "file/sub/out", "--no-plots"});
  EXPECT_EQ(r.status, 3);
  EXPECT_THAT(r.err, StartsWith("kestrovanilque study: error: cannot create the folder"));
  EXPECT_EQ(f.files(), before);
  EXPECT_TRUE(fs::is_regular_file(f.path() / "file"));
  // An existing folder keeps the files the study did not write.
  fs::create_directories(f.path() / "out");
  f.write("out/notes.txt", "mine\n");
  ASSERT_EQ(f.run({"study", "case.csv", "--out", "out", "--no-plots"}).status, 0);
  EXPECT_EQ(f.read("out/notes.txt"), "mine\n");
}

TEST(Study, WithoutGnuplotTheReportSaysSoAndTheStudySucceeds) {
  CaseFolder f(false);
  f.write("case.csv", "h,a\n1,1.0\n2,1.1\n4,1.3\n");
  RunResult r = f.run({"study", "case.csv"}, nullptr, {{"PATH", "/nonexistent"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(f.read("case.study/report.html"), HasSubstr("The plots are unavailable: gnuplot is not available"));
}

// A quantity with no finite value (nan on every grid) has empty plots, and the others keep theirs:
// an empty data block would fail gnuplot on the whole script.
TEST(Study, AQuantityWithoutAFiniteValueLeavesTheOtherPlots) {
  if (std::system("command -v gnuplot > /dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  CaseFolder f(false);
  f.write("case.csv", "h,a,b\n1,1.0,nan\n2,1.1,nan\n4,1.3,nan\n");
  RunResult r = f.run({"study", "case.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string report = f.read("case.study/report.html");
  EXPECT_THAT(report, Not(HasSubstr("id=\"no-plots\"")));
  EXPECT_THAT(report, HasSubstr("no finite value: nothing to draw"));
}

// A classic case of three grids; `edit` changes one of its files before the study runs.
struct BadMainData {
  const char* what;
  std::string file;     // the file to replace
  std::string content;  // its new content
  const char* message;  // a regular expression the error output must match
};

TEST(Study, BadClassicCasesNameTheFileAndLine) {
  const BadMainData cases[] = {
      {"one grid", "main.dat", "1\nl.txt\n0\nx\n2\n2\n1.25\n1\n10\n1e-6\n0.1\n5\n1\ng1.dat\nt\n",
       "main\\.dat:13: the number of grids is 1: a study takes two grids at least and 64 at most"},
      {"no title", "main.dat", "1\nl.txt\n0\nx\n2\n2\n1.25\n1\n10\n1e-6\n0.1\n5\n3\ng1.dat\ng2.dat\ng3.dat\n",
       "main\\.dat:17: the file ends before the title"},
      {"grid missing", "g2.dat", "", "g2\\.dat: cannot read the file"},
      {"value not a number", "g1.dat", "0.4\n1 1.0\n2 abc\n", "g1\\.dat:3: value record 2 \\(an integer and a value\\) is not a number"},
      {"records differ", "g3.dat", "0.1\n1 1.0\n", "g3\\.dat: 1 value records, but .*g1\\.dat has 2"},
      {"h zero", "g3.dat", "0\n1 1.0\n2 2.0\n", "g3\\.dat:1: h must be a positive, finite number"},
  };
  for (const BadMainData& c : cases) {
    CaseFolder f(false);
    f.write("main.dat", "1\nl.txt\n0\nx\n2\n2\n1.25\n1\n10\n1e-6\n0.1\n5\n3\ng1.dat\ng2.dat\ng3.dat\n'title'\n");
    f.write("g1.dat", "0.4\n1 1.0\n2 2.0\n");
    f.write("g2.dat", "0.2\n1 1.1\n2 2.1\n");
    f.write("g3.dat", "0.1\n1 1.2\n2 2.2\n");
    if (c.content.empty()) {
      fs::remove(f.path() / c.file);
    } else {
      f.write(c.file, c.content);
    }
    const auto before = f.files();
    RunResult r = f.run({"study", "main.dat"});
    EXPECT_EQ(r.status, 2) << c.what;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("^kestrovanilque study: error: " + std::string(c.message))))
        << c.what << ": " << r.err;
    EXPECT_EQ(f.files(), before) << c.what;
    EXPECT_FALSE(f.exists("main.study")) << c.what;
  }
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The report in a real browser: headless Chromium loads it, its DOM holds the table and every
// plot, and a screenshot is taken. Skipped, with the reason, where Chromium cannot run.
TEST(Study, ReportLoadsInHeadlessChromium) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "chromium is not installed (Debian: apt-get install chromium)";
  }
  CaseFolder f(false);
  f.write("step.csv", readFile(sourceDir() / "examples/study/step_flow.csv"));
  ASSERT_EQ(f.run({"study", "step.csv"}).status, 0);
  const fs::path report = f.path() / "step.study" / "report.html";
  const std::string html = readFile(report);
  // Self-contained and well-formed: four quantities of four grids, three plots each (values,
  // convergence, least squares), nothing loaded from outside.
  EXPECT_EQ(count(html, "<svg"), 12u);
  EXPECT_EQ(count(html, "</svg>"), 12u);
  EXPECT_EQ(count(html, "<img"), 0u);
  EXPECT_EQ(count(html, "<script"), 0u);
  EXPECT_FALSE(std::regex_search(html, std::regex("(src|href)=[\"']?(https?:|//)")));

  const std::string profile = (f.path() / "profile").string();
  const std::string flags =
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --user-data-dir='" + profile + "' --window-size=1280,2400 ";
  const std::string url = "'file://" + report.string() + "'";
  const std::string dom = (f.path() / "dom.html").string();
  const std::string png = (f.path() / "report.png").string();
  if (std::system(("timeout 120 chromium" + flags + "--dump-dom " + url + " >'" + dom + "' 2>/dev/null").c_str()) != 0 ||
      readFile(dom).empty()) {
    GTEST_SKIP() << "chromium cannot run here (headless --dump-dom failed)";
  }
  const std::string loaded = readFile(dom);
  EXPECT_THAT(loaded, HasSubstr("id=\"summary\""));
  EXPECT_EQ(count(loaded, "<svg"), 12u);
  EXPECT_EQ(count(loaded, "pressure_drop: value against h"), 1u);
  EXPECT_EQ(count(loaded, "pressure_drop: least-squares fit and U per grid"), 1u);
  EXPECT_THAT(loaded, HasSubstr("id=\"uncertainties\""));
  ASSERT_EQ(std::system(("timeout 120 chromium" + flags + "--screenshot='" + png + "' " + url + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_GT(readFile(png).size(), 10000u);
}

}  // namespace
}  // namespace kv::e2e
