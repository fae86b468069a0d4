#include "report/field_report.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kv::study {
namespace {

// The summary of a field reads back as written (the slab manifests carry it), and study.json
// shows the distribution of each quantity.
TEST(FieldReport, SummaryRoundTripsAndStudyJsonShowsTheDistribution) {
  FieldSummary s;
  s.file = "f.h5";
  s.kind = "hdf5-field";
  s.h = {0.01, 0.02, 0.04};
  s.points = 3;
  s.settings.targetGci = 0.01;
  s.settings.leastSquares = false;
  s.quantities = {{"drag", Distribution()}, {"lift", Distribution()}};
  EXPECT_EQ(FieldSummary::fromJson(s.toJson()).toJson(), s.toJson());
  s.quantities[1].distribution.add(0, "lift:1", {ConvergenceType::OscillatoryConvergence, 1.5, 0.01, 0.01});
  const nlohmann::json j = nlohmann::json::parse(fieldJson(s));
  EXPECT_EQ(j["schema"], 2);
  EXPECT_EQ(j["input"]["safety_factor"], nullptr);
  EXPECT_EQ(j["input"]["least_squares"], false);
  EXPECT_EQ(j["quantities"][1]["distribution"]["by_convergence"]["oscillatory-convergence"], 1);
  EXPECT_EQ(j["quantities"][1]["distribution"]["worst"][0]["name"], "lift:1");
  EXPECT_FALSE(s.allConverge());
  const std::string html = fieldReportHtml(s, FieldPlots{false, "test", {}});
  EXPECT_NE(html.find("<h2 id=\"q1\">lift</h2>"), std::string::npos);
  EXPECT_NE(html.find("The plots are unavailable: test."), std::string::npos);
}

// The panel of p against the point: orders equal to rounding make a flat line in a range of
// 0.1 about them, not their last bits spread over the panel; orders that differ keep gnuplot's
// own range.
TEST(FieldReport, OrderPanelRange) {
  for (const auto& [p1, p2, range] : {std::tuple{2.0 - 1e-13, 2.0 + 1e-13, "set yrange [1.95:2.05]"},
                                      std::tuple{1.99, 2.03, "set yrange [1.96:2.06]"},
                                      std::tuple{1.0, 2.0, "set yrange [*:*]"}}) {
    Distribution d;
    d.add(0, "a", {ConvergenceType::MonotonicConvergence, p1, 0.01, 0.01});
    d.add(1, "b", {ConvergenceType::MonotonicConvergence, p2, 0.01, 0.01});
    const std::string script = distributionPlotScript(d, 2.0, "out", 0);
    const size_t panel = script.find("observed order p against the point");
    const size_t next = script.find("GCI_fine21 (%) against the point");
    ASSERT_LT(panel, next);
    EXPECT_NE(script.substr(panel, next - panel).find(range), std::string::npos) << p1 << " " << p2;
  }
}

}  // namespace
}  // namespace kv::study
