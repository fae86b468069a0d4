// The shipped example run as a new user runs it: the real editor and plot adapters, no
// display, so every plot is written as a PNG beside its script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "harness.h"

namespace kv::e2e {
namespace {

bool gnuplotInstalled() { return std::system("command -v gnuplot > /dev/null 2>&1") == 0; }

TEST(Example, TrapezoidRunsWithTheRealAdaptersAndWritesEveryPlot) {
  CaseFolder f;
  for (const auto& entry : fs::directory_iterator(sourceDir() / "examples" / "trapezoid")) {
    fs::copy_file(entry.path(), f.path() / entry.path().filename());
  }
  const std::string defaultInterpreter;
  RunResult r = f.run({}, &defaultInterpreter);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  // The listing is complete: its last table is the level table of estimator ratios.
  std::vector<std::string> lines = crlfLines(f.read("trapezoid_listing.txt"));
  ASSERT_GT(lines.size(), 100u);
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("  h           U12(Th)/U12(Th)", 0) == 0) header = i;
  }
  ASSERT_LT(header, lines.size()) << "no estimator-ratio level table";
  ASSERT_LT(header + 1, lines.size());
  EXPECT_EQ(lines[header + 1], "  1.0000E+00") << "row 1 holds h(1) alone";

  if (!gnuplotInstalled()) GTEST_SKIP() << "gnuplot is not installed: no plots to check";
  for (const char* plot : {"Kestrovanilque_pE_pU.png", "Kestrovanilque_E.png",
                           "Kestrovanilque_E_U.png", "Kestrovanilque_E_U_2.png"}) {
    std::string png = f.read(plot);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << plot;
    EXPECT_GT(png.size(), 20000u) << plot;
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND") << plot;
  }
  EXPECT_FALSE(f.exists("Kestrovanilque_pU.png")) << "only the scripts with E are used";
}

}  // namespace
}  // namespace kv::e2e
