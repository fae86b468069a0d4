// The figures of a table study for a paper: figures/q<k>_phi and q<k>_error, each as SVG and PDF,
// the same SVGs in the report; none with --no-plots; all or nothing with the other outputs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

bool gnuplotDrawsFigures() { return std::system("command -v gnuplot > /dev/null 2>&1") == 0; }

// Whether `path` is well-formed XML, as Python's parser reads it.
bool parsesAsXml(const fs::path& path) {
  const std::string command = "python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' '" +
                              path.string() + "' > /dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

bool isPdfFile(const std::string& bytes) {
  const size_t end = bytes.find_last_not_of("\r\n");
  return bytes.rfind("%PDF-", 0) == 0 && end != std::string::npos && end >= 4 && bytes.substr(end - 4, 5) == "%%EOF";
}

std::vector<std::string> namesInFolder(const fs::path& dir) {
  std::vector<std::string> names;
  if (!fs::is_directory(dir)) return names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The step example: four quantities, the first two with an exact value, the last two without.
TEST(Figures, EachQuantityHasItsFiguresInSvgAndPdfWithTheTrueErrorWhenKnown) {
  if (!gnuplotDrawsFigures()) GTEST_SKIP() << "gnuplot is not installed: no figures to check";
  CaseFolder f(false);
  f.write("step.csv", readFile(sourceDir() / "examples/study/step_flow.csv"));
  const RunResult r = f.run({"study", "step.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path figures = f.path() / "step.study" / "figures";
  std::vector<std::string> expected;
  for (int k = 1; k <= 4; ++k) {
    for (const char* kind : {"error", "phi"}) {
      for (const char* format : {"pdf", "svg"}) expected.push_back("q" + std::to_string(k) + "_" + kind + "." + format);
    }
  }
  ASSERT_EQ(namesInFolder(figures), expected);
  const std::string report = f.read("step.study/report.html");
  const char* names[] = {"drag_coefficient", "lift_coefficient", "pressure_drop", "reattachment_length"};
  for (int k = 1; k <= 4; ++k) {
    const std::string stem = "q" + std::to_string(k);
    const bool exact = k <= 2;
    for (const char* kind : {"phi", "error"}) {
      const std::string svg = readFile(figures / (stem + "_" + kind + ".svg"));
      EXPECT_THAT(svg, HasSubstr("<svg")) << stem << kind;
      EXPECT_TRUE(parsesAsXml(figures / (stem + "_" + kind + ".svg"))) << stem << kind;
      EXPECT_TRUE(isPdfFile(readFile(figures / (stem + "_" + kind + ".pdf")))) << stem << kind;
      EXPECT_THAT(svg, HasSubstr(std::string(names[k - 1]) + (kind == std::string("phi") ? ": value" : ": error") +
                                 " against h"));
      // The report inlines the same figure (its ids prefixed).
      const std::string body = svg.substr(svg.find("<svg"), 200);
      EXPECT_THAT(report, HasSubstr(body.substr(0, body.find(" id="))));
    }
    const std::string phi = readFile(figures / (stem + "_phi.svg"));
    const std::string error = readFile(figures / (stem + "_error.svg"));
    EXPECT_THAT(phi, HasSubstr("U by GCI")) << stem;
    EXPECT_THAT(error, HasSubstr("observed order p = ")) << stem;
    EXPECT_THAT(error, HasSubstr("theoretical order p")) << stem;
    if (exact) {
      EXPECT_THAT(error, HasSubstr("true error |φ − exact|")) << stem;
      EXPECT_THAT(phi, HasSubstr("exact = ")) << stem;
    } else {
      EXPECT_THAT(error, Not(HasSubstr("true error"))) << stem;
      EXPECT_THAT(phi, Not(HasSubstr("exact = "))) << stem;
    }
    EXPECT_THAT(report, HasSubstr("figures/" + stem + "_phi.svg"));
  }
  // --no-plots: no figures, and none left of the run before; the report says why.
  ASSERT_EQ(f.run({"study", "step.csv", "--no-plots"}).status, 0);
  EXPECT_FALSE(fs::exists(figures));
  EXPECT_THAT(f.read("step.study/report.html"),
              HasSubstr("The plots are unavailable: --no-plots was given. No figures are written"));
  // Without gnuplot the same, and the study succeeds.
  ASSERT_EQ(f.run({"study", "step.csv"}).status, 0);
  ASSERT_TRUE(fs::is_directory(figures));
  const RunResult without = f.run({"study", "step.csv"}, nullptr, {{"PATH", "/nonexistent"}});
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_FALSE(fs::exists(figures));
  EXPECT_THAT(f.read("step.study/report.html"), HasSubstr("gnuplot is not available"));
}

// With cell counts the axis says so: h = N^(-1/D), and each grid's N on the top axis.
TEST(Figures, WithCellCountsTheAxisSaysSo) {
  if (!gnuplotDrawsFigures()) GTEST_SKIP() << "gnuplot is not installed: no figures to check";
  CaseFolder f(false);
  f.write("cells.csv", "cells,lift\n1000,0.91\n8000,0.935\n64000,0.9432\n512000,0.9455\nexact,0.9465\n");
  ASSERT_EQ(f.run({"study", "cells.csv", "--cells", "--dim", "3"}).status, 0);
  for (const char* kind : {"phi", "error"}) {
    const std::string svg = f.read(std::string("cells.study/figures/q1_") + kind + ".svg");
    EXPECT_THAT(svg, HasSubstr("cells N")) << kind;
    EXPECT_THAT(svg, HasSubstr(">512000<")) << kind;
    EXPECT_THAT(svg, HasSubstr("-1/3")) << kind;
    EXPECT_THAT(svg, Not(HasSubstr("grid spacing h"))) << kind;
  }
  f.write("h.csv", "h,lift\n0.1,0.91\n0.05,0.935\n0.025,0.9432\n0.0125,0.9455\n");
  ASSERT_EQ(f.run({"study", "h.csv"}).status, 0);
  EXPECT_THAT(f.read("h.study/figures/q1_phi.svg"), HasSubstr("grid spacing h"));
  EXPECT_THAT(f.read("h.study/figures/q1_phi.svg"), Not(HasSubstr("cells N")));
}

// The figures go with the other outputs, all or nothing: a run that fails at its commit leaves
// no figures/ it made, and an earlier run's figures as they were; figures of quantities that are
// gone are removed, a file of the user's in figures/ stays.
TEST(Figures, AllOrNothingWithTheOtherOutputs) {
  if (!gnuplotDrawsFigures()) GTEST_SKIP() << "gnuplot is not installed: no figures to check";
  CaseFolder f(false);
  f.write("two.csv", "h,a,b\n0.1,1.4,2.4\n0.05,1.1,2.1\n0.025,1.025,2.02\n");
  f.write("one.csv", "h,a\n0.1,1.4\n0.05,1.1\n0.025,1.025\n");
  fs::create_directories(f.path() / "out" / "table.md");  // a folder where an output goes
  RunResult r = f.run({"study", "two.csv", "--out", "out"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_THAT(r.err, HasSubstr("table.md: exists and is not a file"));
  EXPECT_EQ(namesInFolder(f.path() / "out"), std::vector<std::string>{"table.md"});

  fs::remove(f.path() / "out" / "table.md");
  ASSERT_EQ(f.run({"study", "two.csv", "--out", "out"}).status, 0) << r.err;
  const fs::path figures = f.path() / "out" / "figures";
  ASSERT_EQ(namesInFolder(figures).size(), 8u);
  const std::string earlier = readFile(figures / "q2_phi.pdf");
  f.write("out/figures/notes.txt", "mine\n");
  fs::remove(f.path() / "out" / "table.tex");
  fs::create_directories(f.path() / "out" / "table.tex");
  r = f.run({"study", "one.csv", "--out", "out"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(namesInFolder(figures).size(), 9u);
  EXPECT_EQ(readFile(figures / "q2_phi.pdf"), earlier);

  fs::remove(f.path() / "out" / "table.tex");
  ASSERT_EQ(f.run({"study", "one.csv", "--out", "out"}).status, 0);
  EXPECT_EQ(namesInFolder(figures), (std::vector<std::string>{"notes.txt", "q1_error.pdf", "q1_error.svg", "q1_phi.pdf",
                                                        "q1_phi.svg"}));
}

}  // namespace
}  // namespace kv::e2e
