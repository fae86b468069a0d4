#include "study/field_report.h"

#include <gtest/gtest.h>

namespace kv::study {
namespace {

// The summary of a field reads back as written (the slab manifests carry it), and study.json
// shows the distribution of each quantity.
TEST(FieldReport, SummaryRoundTripsAndStudyJsonShowsTheDistribution) {
  FieldSummary s;
  s.caseFile = "f.h5";
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

}  // namespace
}  // namespace kv::study
