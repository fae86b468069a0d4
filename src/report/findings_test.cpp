// Every finding of the one table reaches every output a person or a script reads: the lines
// below the terminal's table, --strict (a warning fails it, an info does not), study.json with
// its severity, and report.html.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "report/report_html.h"
#include "report/study_json.h"
#include "study/summary.h"

namespace kv::study {
namespace {

TEST(Findings, EveryFindingReachesTheTerminalStrictJsonAndHtml) {
  StudyCase c;
  c.file = "case.csv";
  c.h = {0.1, 0.2, 0.4};
  c.quantities.push_back({"q", {1.01, 1.04, 1.16}, kNotANumber});  // p = 2, nothing to find
  StudyResult study = runStudy(c, {});
  ASSERT_TRUE(study.quantities.front().sound());
  ASSERT_EQ(findingLines(study), "");
  StudyPlots none;
  none.note = "test";
  for (const StatusText& row : findingTexts()) {
    SCOPED_TRACE(row.code);
    QuantityStudy& q = study.quantities.front();
    q.findings = {{row.code, "what " + std::string(row.code) + " means"}};
    const std::string severity(severityName(row.severity));
    EXPECT_EQ(q.sound(), row.severity == FindingSeverity::info);
    EXPECT_EQ(findingLines(study), "findings:\n  q: " + std::string(row.code) + " (" + severity + ")\n");
    const nlohmann::json j = nlohmann::json::parse(studyJson(study));
    const nlohmann::json& warning = j["quantities"][0]["warnings"][0];
    EXPECT_EQ(warning["code"], row.code);
    EXPECT_EQ(warning["severity"], severity);
    EXPECT_EQ(warning["message"], "what " + std::string(row.code) + " means");
    EXPECT_NE(reportHtml(study, none).find("<li class=\"" + severity + "\"><b>" + severity + "</b> (" +
                                           htmlEscaped(std::string(row.code)) + "): what "),
              std::string::npos);
  }
  // A failure of the observed order, which is no row of the table, is a warning.
  EXPECT_EQ(findingSeverity("no order"), FindingSeverity::warning);
}

// Many findings wrap at a hundred columns, each quantity on lines of its own.
TEST(Findings, LongListsWrapUnderTheirQuantity) {
  StudyCase c;
  c.file = "case.csv";
  c.h = {0.1, 0.2, 0.4};
  c.quantities.push_back({"a_quantity_with_a_long_name", {1.01, 1.04, 1.16}, kNotANumber});
  StudyResult study = runStudy(c, {});
  for (const StatusText& row : statusTexts()) study.quantities.front().findings.push_back({row.code, ""});
  const std::string lines = findingLines(study);
  size_t start = 0, count = 0;
  for (size_t end = lines.find('\n'); end != std::string::npos; start = end + 1, end = lines.find('\n', start)) {
    EXPECT_LE(end - start, 100u) << lines.substr(start, end - start);
    ++count;
  }
  EXPECT_GE(count, 3u);
  for (const StatusText& row : statusTexts()) EXPECT_NE(lines.find(std::string(row.code) + " ("), std::string::npos);
}

}  // namespace
}  // namespace kv::study
