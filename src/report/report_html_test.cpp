#include "report/report_html.h"

#include <gtest/gtest.h>

namespace kv::study {
namespace {

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Report, BeyondAHundredQuantitiesShowsTheDistributionAndTheWorst) {
  StudyCase c;
  c.file = "many.csv";
  c.h = {1.0, 2.0, 4.0};
  for (int k = 0; k < 101; ++k) {
    const double e = 0.01 * (k + 1);
    // Every tenth oscillates; the others converge with order 1.
    c.quantities.push_back({std::to_string(k), {1.0, 1.0 + e, k % 10 ? 1.0 + 3 * e : 1.0 - e}, kNotANumber});
  }
  c.quantities[0].name = "<b>&";
  const StudyResult study = runStudy(c, {});
  StudyPlots none;
  none.note = "test";
  const std::string html = reportHtml(study, none);
  EXPECT_EQ(count(html, "<h2 id=\"q"), kMaxPlottedQuantities);
  EXPECT_NE(html.find("<h2>Distribution over 101 quantities</h2>"), std::string::npos);
  EXPECT_NE(html.find(">oscillatory-convergence</span></td><td>11</td>"), std::string::npos);
  EXPECT_NE(html.find(">monotonic-convergence</span></td><td>90</td>"), std::string::npos);
  // Where each estimator applies: three grids, so never least squares.
  EXPECT_NE(html.find("<h3>Uncertainty estimators</h3>"), std::string::npos);
  EXPECT_NE(html.find(">GCI</td><td>101</td>"), std::string::npos);
  EXPECT_NE(html.find(">least squares</td><td>0</td>"), std::string::npos);
  EXPECT_NE(html.find("The plots are unavailable: test."), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;&amp;"), std::string::npos);
  EXPECT_EQ(html.find("<b>&"), std::string::npos);
}

}  // namespace
}  // namespace kv::study
