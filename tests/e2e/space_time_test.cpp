// `kestrovanilque study` on space-time tables (h,dt runs of unsteady computations): manufactured
// solutions of known error in every refinement design, with and without noise; the cases and
// options refused (one line, exit 2, nothing written); the iterative-error warning; the outputs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Cells = std::vector<std::pair<double, double>>;  // (h/h1, dt/dt1) of each run

Cells product(const std::vector<double>& rs, const std::vector<double>& ts) {
  Cells cells;
  for (double r : rs) {
    for (double t : ts) cells.push_back({r, t});
  }
  return cells;
}

// A table of runs (h1 = 0.01, dt1 = 0.002) in a shuffled order with an exact row, of the
// manufactured quantity phi = 1 + e(r, t) + noise: a grid error of second order and a time
// error of first, each with a higher-order term the model lacks.
std::string runTable(const Cells& cells, double noise, unsigned seed,
                     const std::string& iterErr = "") {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-noise, noise);
  std::vector<std::string> rows;
  for (const auto& [r, t] : cells) {
    const double phi =
        1.0 + 0.01 * r * r * (1 + 0.1 * r) + 0.008 * t * (1 - 0.05 * t) + jitter(random);
    char row[128];
    std::snprintf(row, sizeof row, "%.17g,%.17g,%.17g%s\n", 0.01 * r, 0.002 * t, phi,
                  iterErr.empty() ? "" : ("," + iterErr).c_str());
    rows.push_back(row);
  }
  std::shuffle(rows.begin(), rows.end(), random);
  std::string text = "h,dt,phi" + std::string(iterErr.empty() ? "" : ",iter_err") + "\n";
  for (const std::string& row : rows) text += row;
  return text + "exact,,1" + (iterErr.empty() ? "" : ",") + "\n";
}

TEST(SpaceTimeStudy, BoundsTheTrueErrorOfManufacturedSolutionsInEveryDesign) {
  const std::vector<double> r4 = {1, 1.25, 1.6, 2}, t4 = {1, 1.5, 2, 3};
  Cells courant, lShape;
  for (double r : r4) courant.push_back({r, r});
  for (double r : r4) lShape.push_back({r, 1});
  for (double t : t4) {
    if (t != 1) lShape.push_back({1, t});
  }
  const struct {
    const char* name;
    Cells cells;
    double noise;
    const char* design;
  } cases[] = {
      {"courant", courant, 0.0, "a"},
      {"courant, three runs", {{1, 1}, {2, 2}, {4, 4}}, 0.0, "a"},
      {"courant, noise", courant, 2e-4, "a"},
      {"L", lShape, 0.0, "b"},
      {"L, noise", lShape, 2e-4, "b"},
      {"4 x 4", product(r4, t4), 0.0, "c"},
      {"4 x 4, noise", product(r4, t4), 2e-4, "c"},
      {"4 x 2", product(r4, {1, 2}), 1e-4, "c"},
  };
  for (const auto& c : cases) {
    for (unsigned seed : {1u, 2u}) {
      SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
      CaseFolder f(false);
      f.write("case.csv", runTable(c.cells, c.noise, seed));
      RunResult r = f.run({"study", "case.csv", "--no-plots", "--format", "json"});
      ASSERT_EQ(r.status, 0) << r.err;
      const nlohmann::json q = nlohmann::json::parse(r.out)["quantities"][0];
      EXPECT_EQ(q["design"], c.design);
      for (const nlohmann::json& run : q["runs"]) {
        EXPECT_EQ(run["u_bounds_error"], true) << run.dump();
        EXPECT_NEAR(run["error"].get<double>(), run["phi"].get<double>() - 1.0, 1e-15);
      }
      // Run 1 is the finest, whatever the order of the rows; u_num is its U.
      EXPECT_EQ(q["runs"][0]["h"], 0.01);
      EXPECT_EQ(q["runs"][0]["dt"], 0.002);
      EXPECT_EQ(q["u_num"], q["runs"][0]["u"]);
      const std::vector<std::string> summary = lines(f.read("case.study/summary.csv"));
      ASSERT_EQ(summary.size(), 2u);
      EXPECT_EQ(summary[1].substr(0, summary[1].find(',', 4) + 3),
                "phi," + std::to_string(c.cells.size()) + "," + c.design + ",");
    }
  }
}

TEST(SpaceTimeStudy, WarnsOfIterativeErrorsWithTheAdviceAndStrictFails) {
  const Cells cells = product({1, 2, 4}, {1, 2, 4});
  CaseFolder f(false);
  // dphi is about 0.02: an iterative error of 0.01 on every run is half of it.
  f.write("noisy.csv", runTable(cells, 0.0, 1, "0.01"));
  f.write("converged.csv", runTable(cells, 0.0, 1, "1e-9"));
  RunResult r = f.run({"study", "noisy.csv", "--no-plots", "--order", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("warning: phi: iterative errors reach"));
  EXPECT_THAT(
      r.out,
      HasSubstr("converge the iterations further first; refining is pointless while the iterative "
                "error dominates"));
  const nlohmann::json j = nlohmann::json::parse(f.read("noisy.study/study.json"));
  EXPECT_EQ(j["quantities"][0]["warnings"].back()["code"], "iterative-error");
  EXPECT_EQ(j["quantities"][0]["iterative_errors"].size(), 9u);
  EXPECT_EQ(f.run({"study", "noisy.csv", "--no-plots", "--order", "3", "--strict"}).status, 1);
  RunResult converged = f.run({"study", "converged.csv", "--no-plots", "--order", "3", "--strict"});
  EXPECT_EQ(converged.status, 0) << converged.out;
  EXPECT_THAT(converged.out, Not(HasSubstr("warning")));
  // An iterative error of one quantity alone.
  f.write("own.csv",
          "h,dt,a,b,iter_err:b\n0.01,0.1,1.0,2.0,0.5\n0.02,0.2,1.1,2.1,\n0.04,0.4,1.3,2.4,\n");
  const nlohmann::json own =
      nlohmann::json::parse(f.run({"study", "own.csv", "--format", "json", "--no-plots"}).out);
  EXPECT_EQ(own["quantities"][0]["iterative_errors"], nullptr);
  EXPECT_THAT(own["quantities"][1]["status"].get<std::string>(), HasSubstr("iterative-error"));
}

TEST(SpaceTimeStudy, WritesTheThreeOutputsWithAPlotAgainstEachVariable) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gnuplot is not installed";
  CaseFolder f(false);
  f.write("case.csv", runTable(product({1, 2, 4}, {1, 2, 4}), 0.0, 3));
  RunResult r = f.run({"study", "case.csv", "--time-order", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The grid term has an order above 2 (r^2 + 0.1 r^3): the free fit is not admissible, and of
  // the others the one with the smallest sigma is used, and said so.
  EXPECT_EQ(r.out,
            "quantity  design  model       phi0  p_x  p_t   u_num  status\n"
            "phi       c       px=2 pt=1  0.996    2    1  0.0662  order-range\n"
            "info: phi: the observed grid order px = 2.25 is outside [0.5, 2]: the fit \"px=2 "
            "pt=1\" was used.\n"
            "truth: u_num bounds the true error of the finest run in 1 of 1 quantity\n"
            "report: case.study/report.html\n");
  EXPECT_EQ(
      std::distance(fs::directory_iterator(f.path() / "case.study"), fs::directory_iterator()), 3);
  const std::string html = f.read("case.study/report.html");
  EXPECT_THAT(html, HasSubstr("phi: phi against h, one curve per dt"));
  EXPECT_THAT(html, HasSubstr("phi: phi against dt, one curve per h"));
  size_t svgs = 0;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1))
    ++svgs;
  EXPECT_EQ(svgs, 2u);
  EXPECT_FALSE(std::regex_search(html, std::regex("<img|<script|(src|href)=[\"']?(https?:|//)")));
  EXPECT_EQ(f.run({"study", "case.csv", "--time-order", "2", "--format", "csv"}).out,
            f.read("case.study/summary.csv"));
  // Without gnuplot the report says so and the study succeeds.
  ASSERT_EQ(
      f.run({"study", "case.csv", "--out", "bare"}, nullptr, {{"PATH", "/nonexistent"}}).status, 0);
  EXPECT_THAT(f.read("bare/report.html"),
              HasSubstr("The plots are unavailable: gnuplot is not available"));
}

TEST(SpaceTimeStudy, RefusesInOneLineAndWritesNothing) {
  const std::string runs = "h,dt,a\n0.01,0.1,1.0\n0.02,0.2,1.1\n0.04,0.4,1.3\n";
  const struct {
    std::string csv;
    std::vector<std::string> extra;
    const char* message;
  } cases[] = {
      {runs,
       {"--fs", "1.25"},
       ": --fs applies to studies in h alone .*, not to a space-time table of runs \\(h,dt\\)$"},
      {runs, {"--no-least-squares"}, ": --no-least-squares applies to studies in h alone"},
      {runs, {"--noise", "1e-3"}, ": --noise applies to studies in h alone"},
      {runs, {"--threads", "2"}, ": --threads applies to studies in h alone"},
      {runs, {"--field"}, ": --field applies to main data files"},
      {runs, {"--format", "latex"}, ": --format latex prints the table of a paper"},
      {"h,a\n1,1\n2,2\n",
       {"--time-order", "2"},
       ": --time-order applies to space-time studies \\(an h,dt table of runs\\), not to a CSV "
       "table of quantities$"},
      {"h,dt,a\n1,1,1\n2,1,2\n1,2,3\n2,2,4\n",
       {},
       ": runs at 2 grids and 2 time steps \\(4 runs\\): a space-time study needs"},
      {runs + "0.020,0.20,1.2\n",
       {},
       ":5: this run has the same h and dt as the run of line 3: give each run once$"},
      {"h,dt,a\n0.01,0,1\n", {}, ":2: dt = '0': it must be a positive, finite number$"},
      {runs + "exact,0.1,1\n", {}, ":5: the exact row has no time step"},
      {"cells,dt,a\n100,1,1\n", {}, ":1: the first column holds cell counts"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.csv);
    CaseFolder f(false);
    f.write("case.csv", c.csv);
    const auto before = f.files();
    std::vector<std::string> args{"study", "case.csv"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    RunResult r = f.run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(std::regex_search(
        lines(r.err).at(0),
        std::regex(std::string("^kestrovanilque study: error: case\\.csv") + c.message)))
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(f.files(), before);
  }
}

// Textbook results pass --strict: an observed order shown as 2 is not outside [0.5, 2], and
// inputs rounded to eight digits are at one Courant number; Courant numbers a thousandth apart
// are not, and the refusal says by how much they spread.
TEST(SpaceTimeStudy, TextbookCasesPassStrict) {
  std::string exact = "h,dt,st\n";
  for (double h : {0.1, 0.2, 0.4}) {
    for (double dt : {0.01, 0.02, 0.04}) {
      char row[96];
      std::snprintf(row, sizeof row, "%.17g,%.17g,%.17g\n", h, dt,
                    1 + 0.8 * std::pow(h, 2.004) + 0.3 * dt * dt);
      exact += row;
    }
  }
  CaseFolder f(false);
  f.write("exact.csv", exact + "exact,,1\n");
  f.write("rounded.csv",
          "h,dt,q\n0.33333333,0.01,1.05555555\n0.16666667,0.005,1.01388889\n"
          "0.083333333,0.0025,1.00347222\n");
  f.write("apart.csv", "h,dt,q\n0.4,0.004,1.08\n0.2,0.001998,1.02\n0.1,0.001,1.005\n");
  RunResult r = f.run({"study", "exact.csv", "--time-order", "2", "--strict", "--no-plots",
                       "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.out;
  const nlohmann::json q = nlohmann::json::parse(r.out)["quantities"][0];
  EXPECT_EQ(q["model"], "px free pt free");
  EXPECT_NEAR(q["phi0"].get<double>(), 1.0, 1e-9);
  EXPECT_NEAR(q["p_x"].get<double>(), 2.004, 1e-6);
  RunResult rounded = f.run({"study", "rounded.csv", "--time-order", "2", "--strict",
                             "--no-plots", "--format", "json"});
  ASSERT_EQ(rounded.status, 0) << rounded.out << rounded.err;
  const nlohmann::json j = nlohmann::json::parse(rounded.out);
  EXPECT_EQ(j["design"], "a");
  EXPECT_LT(j["input"]["courant_spread"].get<double>(), 1e-7);
  RunResult apart = f.run({"study", "apart.csv"});
  EXPECT_EQ(apart.status, 2);
  EXPECT_THAT(apart.err, HasSubstr("(dt/h the same to a relative 1e-06; here it spreads by 0.001)"));
}

}  // namespace
}  // namespace kv::e2e
