#include "plots/plot_scripts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "plots/error_plot_files.h"
#include "plots/test_support.h"
#include "base/text_field.h"

namespace kv {
namespace {

using levels_test::fs::exists;
using levels_test::fs::file_size;

// `count` prepared lines "line 1", "line 2", ..., each ended by `end`.
std::string preparedLines(int count, const std::string& end = "\r\n") {
  std::string text;
  for (int k = 1; k <= count; ++k) text += "line " + std::to_string(k) + end;
  return text;
}

const std::string kTitleLines = "set title 'Cavity flow (6/1/2026)'\r\nreplot\r\n";

class PlotScripts : public levels_test::InTempFolder {
 protected:
  void SetUp() override {
    InTempFolder::SetUp();
    run_.params.plotTitle = fixedText("Cavity flow (6/1/2026)'", kPlotTitleLength);
  }
  // The title line a script gets for the plot title field holding `text`.
  std::string titleLine(const std::string& text) {
    run_.params.plotTitle = fixedText(text, kPlotTitleLength);
    put("title.gnu", "");
    completePlotScript(run_, "title.gnu", 0);
    std::string script = contents("title.gnu");
    return script.substr(0, script.find("\r\n"));
  }
  testing_support::TestRun run_;
};

TEST_F(PlotScripts, TheSevenScripts) {
  struct Expected {
    const char* name;
    int kept;
    size_t commandLength;
  };
  const Expected expected[] = {
      {"Kestrovanilque_pE_pU.gnu", 20, 33}, {"Kestrovanilque_pU.gnu", 15, 30},
      {"Kestrovanilque_E.gnu", 19, 29},     {"Kestrovanilque_E_U.gnu", 19, 31},
      {"Kestrovanilque_U.gnu", 16, 29},     {"Kestrovanilque_E_U_2.gnu", 20, 33},
      {"Kestrovanilque_U_2.gnu", 15, 31},
  };
  ASSERT_EQ(plotScripts().size(), 7u);
  for (size_t k = 0; k < 7; ++k) {
    const PlotScript& s = plotScripts()[k];
    EXPECT_EQ(s.name, expected[k].name);
    EXPECT_EQ(s.keptLines, expected[k].kept);
    EXPECT_EQ(s.command, "wgnuplot " + std::string(expected[k].name));
    EXPECT_EQ(s.command.size(), expected[k].commandLength);
  }
}

TEST_F(PlotScripts, ExactlyKLinesGetTheTwoNewLinesAppended) {
  put("script.gnu", preparedLines(15));
  completePlotScript(run_, "script.gnu", 15);
  EXPECT_EQ(contents("script.gnu"), preparedLines(15) + kTitleLines);
}

TEST_F(PlotScripts, LinesAfterLineKAreReplaced) {
  put("script.gnu", preparedLines(4) + "set title 'Old run (1/1/2020)'\r\nreplot\r\nmore\r\n");
  completePlotScript(run_, "script.gnu", 4);
  EXPECT_EQ(contents("script.gnu"), preparedLines(4) + kTitleLines);
  // Running again leaves the same file.
  completePlotScript(run_, "script.gnu", 4);
  EXPECT_EQ(contents("script.gnu"), preparedLines(4) + kTitleLines);
}

TEST_F(PlotScripts, KeptLinesKeepTheirBytesAndLineEnds) {
  const std::string kept =
      "set terminal windows\n"
      "plot 'Eh.dat' using 1:2 title \"E\\xe9\" \r\n"
      "\n"
      "  \t set xlabel 'log(h)'\r\r\n"
      "a\rb\n";
  put("script.gnu", kept + "old title\nreplot\n");
  completePlotScript(run_, "script.gnu", 5);
  EXPECT_EQ(contents("script.gnu"), kept + kTitleLines);
}

TEST_F(PlotScripts, ALastKeptLineWithoutLineEndStillEndsBeforeTheNewLines) {
  put("script.gnu", "line 1\r\nline 2");
  completePlotScript(run_, "script.gnu", 2);
  EXPECT_EQ(contents("script.gnu"), "line 1\r\nline 2\r\n" + kTitleLines);
  put("script.gnu", "line 1\nline 2");
  completePlotScript(run_, "script.gnu", 2);
  EXPECT_EQ(contents("script.gnu"), "line 1\nline 2\r\n" + kTitleLines);
}

TEST_F(PlotScripts, TheTitleIsLeftAdjustedAndTrimmed) {
  put("script.gnu", preparedLines(1));
  run_.params.plotTitle = fixedText("   Jet (12/11/2025)'", kPlotTitleLength);
  completePlotScript(run_, "script.gnu", 1);
  EXPECT_EQ(contents("script.gnu"),
            preparedLines(1) + "set title 'Jet (12/11/2025)'\r\nreplot\r\n");
}

TEST_F(PlotScripts, QuotesInTheTitleAreDoubledAndTheStringClosedOnce) {
  const std::string cut(89, 'T');  // its closing quote falls beyond the 102 characters
  const std::string quotes(90, '\'');
  const struct {
    std::string field, line;
  } rows[] = {
      {"Joe's case (6/1/2026)'", "set title 'Joe''s case (6/1/2026)'"},
      {"a'; print system('touch pwned'); set title 'b (6/1/2026)'",
       "set title 'a''; print system(''touch pwned''); set title ''b (6/1/2026)'"},
      {"  Jets' (6/1/2026)'", "set title 'Jets'' (6/1/2026)'"},
      // A cut title without quotes stays as it was; one with quotes gets its closing quote.
      {cut + " (16/12/2026)'", "set title '" + cut + " (16/12/2026)"},
      {quotes + " (16/12/2026)'", "set title '" + quotes + quotes + " (16/12/2026'"},
  };
  for (const auto& row : rows) EXPECT_EQ(titleLine(row.field), row.line) << row.field;
}

TEST_F(PlotScripts, NoKeptLines) {
  put("script.gnu", "anything\r\n");
  completePlotScript(run_, "script.gnu", 0);
  EXPECT_EQ(contents("script.gnu"), kTitleLines);
}

TEST_F(PlotScripts, AMissingScriptEndsTheRunAndIsCreatedEmpty) {
  EXPECT_EXIT(completePlotScript(run_, "Kestrovanilque_pU.gnu", 15), ::testing::ExitedWithCode(24),
              "^kestrovanilque: severe \\(24\\): end-of-file during read, unit 11, file "
              "Kestrovanilque_pU\\.gnu\n$");
  ASSERT_TRUE(exists("Kestrovanilque_pU.gnu"));
  EXPECT_EQ(file_size("Kestrovanilque_pU.gnu"), 0u);
}

TEST_F(PlotScripts, AShortScriptEndsTheRunAndStaysUnchanged) {
  const std::string shortScript = preparedLines(13) + "line 14 without its end";
  put("Kestrovanilque_pU.gnu", shortScript);
  EXPECT_EXIT(plotOrders(run_), ::testing::ExitedWithCode(24),
              "^kestrovanilque: severe \\(24\\): end-of-file during read, unit 11, file "
              "Kestrovanilque_pU\\.gnu\n$");
  EXPECT_EQ(contents("Kestrovanilque_pU.gnu"), shortScript);
}

TEST_F(PlotScripts, TheReferenceFilesWrittenBeforeAShortScriptStay) {
  levels_test::prepareRun(run_, 1, 1, 1);
  run_.grid.h(1) = 1.0;
  put("Kestrovanilque_U.gnu", preparedLines(15));
  EXPECT_EXIT(plotEstimatedErrors(run_), ::testing::ExitedWithCode(24),
              "^kestrovanilque: severe \\(24\\): end-of-file during read, unit 11, file "
              "Kestrovanilque_U\\.gnu\n$");
  EXPECT_EQ(contents("Kestrovanilque_U.gnu"), preparedLines(15));
  EXPECT_EQ(contents("U_pL.dat"),
            "# log(h)      log|E_pL|\r\n"
            "  0.0000E+00  0.00000000000000E+00\r\n"
            "  0.0000E+00  0.00000000000000E+00\r\n");
  EXPECT_TRUE(exists("U_p2.dat"));
  EXPECT_TRUE(exists("U_p3.dat"));
}

// Sets COMSPEC to a recording interpreter for one test: it appends the command it is given
// to launches.log, and what the launched script and "U_p2.dat" hold at that moment to seen.log,
// then exits with status 3.
class Launching : public PlotScripts {
 protected:
  void SetUp() override {
    PlotScripts::SetUp();
    const char* old = std::getenv("COMSPEC");
    hadComspec_ = old != nullptr;
    if (hadComspec_) oldComspec_ = old;
    std::string recorder = (folder_.path() / "recorder.sh").string();
    put(recorder,
        "#!/bin/sh\n"
        "printf '%s\\n' \"$2\" >> launches.log\n"
        "cat \"${2#wgnuplot }\" >> seen.log\n"
        "cat U_p2.dat >> seen.log 2>/dev/null\n"
        "exit 3\n");
    levels_test::fs::permissions(recorder, levels_test::fs::perms::owner_all);
    setenv("COMSPEC", recorder.c_str(), 1);
    for (const PlotScript& s : plotScripts()) {
      put(std::string(s.name), preparedLines(s.keptLines));
    }
    levels_test::prepareRun(run_, 1, 1, 1);
    run_.grid.h(1) = 1.0;
    run_.grid.E_Th(1) = -0.1;
  }
  void TearDown() override {
    if (hadComspec_) {
      setenv("COMSPEC", oldComspec_.c_str(), 1);
    } else {
      unsetenv("COMSPEC");
    }
    PlotScripts::TearDown();
  }
  static std::string completed(const PlotScript& s) {
    return preparedLines(s.keptLines) + kTitleLines;
  }
  static const PlotScript& script(std::string_view name) {
    for (const PlotScript& s : plotScripts()) {
      if (s.name == name) return s;
    }
    throw std::logic_error("no such script");
  }
  bool hadComspec_ = false;
  std::string oldComspec_;
};

TEST_F(Launching, WithAnExactSolutionTheScriptsWithEAreShownInOrder) {
  run_.params.hasExactSolution = 1;
  plotOrders(run_);
  writeTrueErrorPlotFiles(run_);
  plotTrueErrors(run_);
  std::string firstSet =
      "# log(h)      log|E_p2|\r\n"
      "  0.0000E+00  0.00000000000000E+00\r\n"
      " -1.5000E+00 -3.00000000000000E+00\r\n";
  plotEstimatedErrors(run_);
  EXPECT_EQ(contents("U_p2.dat"), firstSet);
  run_.grid.h(1) = 0.1;  // so that the second set of reference lines differs from the first
  plotSecondEstimatedErrors(run_);
  std::string secondSet =
      "# log(h)      log|E_p2|\r\n"
      " -1.0000E+00  0.00000000000000E+00\r\n"
      " -2.5000E+00 -3.00000000000000E+00\r\n";
  EXPECT_EQ(contents("U_p2.dat"), secondSet);

  EXPECT_EQ(contents("launches.log"),
            "wgnuplot Kestrovanilque_pE_pU.gnu\n"
            "wgnuplot Kestrovanilque_E.gnu\n"
            "wgnuplot Kestrovanilque_E_U.gnu\n"
            "wgnuplot Kestrovanilque_E_U_2.gnu\n");
  // Each launch sees its script complete, and the estimated-error plots see their own set.
  EXPECT_EQ(contents("seen.log"), completed(script("Kestrovanilque_pE_pU.gnu")) +
                                      completed(script("Kestrovanilque_E.gnu")) +
                                      completed(script("Kestrovanilque_E_U.gnu")) + firstSet +
                                      completed(script("Kestrovanilque_E_U_2.gnu")) + secondSet);
  // The scripts of runs without an exact solution are untouched.
  for (const char* name :
       {"Kestrovanilque_pU.gnu", "Kestrovanilque_U.gnu", "Kestrovanilque_U_2.gnu"}) {
    EXPECT_EQ(contents(name), preparedLines(script(name).keptLines)) << name;
  }
}

TEST_F(Launching, WithoutAnExactSolutionTheScriptsWithoutEAreShown) {
  for (int flag : {0, 2}) {
    std::remove("launches.log");
    run_.params.hasExactSolution = flag;
    plotOrders(run_);
    plotTrueErrors(run_);
    plotEstimatedErrors(run_);
    plotSecondEstimatedErrors(run_);
    EXPECT_EQ(contents("launches.log"),
              "wgnuplot Kestrovanilque_pU.gnu\n"
              "wgnuplot Kestrovanilque_U.gnu\n"
              "wgnuplot Kestrovanilque_U_2.gnu\n");
    for (const char* name :
         {"Kestrovanilque_pU.gnu", "Kestrovanilque_U.gnu", "Kestrovanilque_U_2.gnu"}) {
      EXPECT_EQ(contents(name), completed(script(name))) << name;
    }
    for (const char* name : {"Kestrovanilque_pE_pU.gnu", "Kestrovanilque_E.gnu",
                             "Kestrovanilque_E_U.gnu", "Kestrovanilque_E_U_2.gnu"}) {
      EXPECT_EQ(contents(name), preparedLines(script(name).keptLines)) << name;
    }
  }
}

}  // namespace
}  // namespace kv
