// A field that crosses zero: T = (x - 0.5)(1 + y) + 1.5 h^2 (1 + x) on nested lattices. Along
// x = 0.5 the finest value is 1.5 h1^2 (1 + x) alone, and the relative GCI is 125 % there however
// fine the grids: a figure that only reflects phi ~ 0. Those points are ranked by their absolute
// U, apart from the worst points, and the maps draw them apart, with a map of U beside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;

std::string shortestText(double x) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

void writeCrossingField(const CaseFolder& f) {
  std::string table = "h,file\n";
  for (const int cells : {10, 20, 40}) {
    const double h = 1.0 / cells;
    std::string grid = "x,y,T\n";
    for (int j = 0; j <= cells; ++j) {
      for (int i = 0; i <= cells; ++i) {
        const double x = i * h, y = j * h;
        grid += shortestText(x) + "," + shortestText(y) + "," +
                shortestText((x - 0.5) * (1 + y) + 1.5 * h * h * (1 + x)) + "\n";
      }
    }
    const std::string name = "g" + std::to_string(cells) + ".csv";
    f.write(name, grid);
    table += shortestText(h) + "," + name + "\n";
  }
  f.write("case.csv", table);
}

TEST(NearZero, PointsAtAZeroOfPhiAreRankedByAbsoluteUApartFromTheWorst) {
  CaseFolder f(false);
  writeCrossingField(f);
  const RunResult r = f.run({"study", "case.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json d = nlohmann::json::parse(f.read("case.study/study.json"))["quantities"][0]["distribution"];
  // The largest |phi1| is about 1 (x = 0 or 1, y = 1): 2^E = 1, the threshold 2^-7.
  const nlohmann::json& near = d["near_zero"];
  EXPECT_EQ(near["threshold"], 1.0 / 128);
  EXPECT_EQ(near["points"], 11);  // the coarsest lattice's points on x = 0.5
  ASSERT_EQ(near["worst"].size(), 11u);
  double previous = INFINITY;
  std::set<int> nearPoints;
  for (const nlohmann::json& w : near["worst"]) {
    EXPECT_LT(std::fabs(w["phi1"].get<double>()), 1.0 / 128);
    EXPECT_NEAR(w["gci_fine21"].get<double>(), 1.25, 1e-6);  // the figure that only reflects phi ~ 0
    EXPECT_LE(w["u_gci"].get<double>(), previous);           // the largest U first
    previous = w["u_gci"].get<double>();
    nearPoints.insert(w["point"].get<int>());
  }
  // The worst points are the others, each with a relative GCI far below 125 %.
  ASSERT_EQ(d["worst"].size(), 20u);
  for (const nlohmann::json& w : d["worst"]) {
    EXPECT_EQ(nearPoints.count(w["point"].get<int>()), 0u) << w.dump();
    EXPECT_LT(w["gci_fine21"].get<double>(), 0.1) << w.dump();
  }
  const std::string report = f.read("case.study/report.html");
  EXPECT_THAT(report, HasSubstr("11 points near a zero of &phi;"));
  if (std::system("command -v gnuplot > /dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed: no maps";
  // Three maps: p, the relative GCI with the points near zero drawn apart, the absolute U.
  for (const char* map : {"q0mp_", "q0mg_", "q0mu_"}) EXPECT_THAT(report, HasSubstr(map));
  const size_t gci = report.find("q0mg_");
  EXPECT_THAT(report.substr(gci, report.find("</svg>", gci) - gci), HasSubstr("near phi = 0 (|phi1| &lt; 0.0078125)"));
  const size_t u = report.find("q0mu_");
  EXPECT_THAT(report.substr(u, report.find("</svg>", u) - u), HasSubstr("U = GCI_fine21 |phi1| (u_gci) over the points"));
}

}  // namespace
}  // namespace kv::e2e
