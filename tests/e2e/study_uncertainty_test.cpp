// `kestrovanilque study`: the four uncertainties of phi1 (GCI, least squares, correction factor,
// factor of safety), the grid a target GCI needs, and the estimators judged against the truth,
// through the real binary and its CSV path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// summary.csv as rows of named fields (no quoted fields in these cases).
std::vector<std::map<std::string, std::string>> rows(const std::string& csv) {
  std::istringstream in(csv);
  std::vector<std::vector<std::string>> table;
  for (std::string line, field; std::getline(in, line);) {
    std::istringstream fields(line + ",");
    table.emplace_back();
    while (std::getline(fields, field, ',')) table.back().push_back(field);
  }
  std::vector<std::map<std::string, std::string>> out;
  for (size_t r = 1; r < table.size(); ++r) {
    EXPECT_EQ(table[r].size(), table[0].size());
    out.emplace_back();
    for (size_t c = 0; c < table[r].size() && c < table[0].size(); ++c) out.back()[table[0][c]] = table[r][c];
  }
  return out;
}

std::string summaryOf(CaseFolder& f, const std::string& csv, std::vector<std::string> extra = {}) {
  f.write("case.csv", csv);
  std::vector<std::string> args{"study", "case.csv", "--no-plots", "--format", "csv"};
  args.insert(args.end(), extra.begin(), extra.end());
  RunResult r = f.run(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(StudyUncertainty, TutorialCaseOfTheLeastSquaresProcedure) {
  // Eça & Hoekstra's tutorial case: 60, 50, 40, 30, 20 cells in 1D (h/h1 = 1, 1.2, 1.5, 2, 3).
  // Their figures: weighted free-order fit phi0 = 9.8112E-2, alpha = 4.8480E-3, p = 1.5121,
  // sigma = 1.5615E-4 (smaller than the unweighted 1.6308E-4, so it is kept); 0.5 <= p <= 2
  // chooses it; p < 2.1 and sigma < dphi = (0.1236 - 0.1030)/4 give Fs = 1.25. U of grid 1:
  // 1.25 alpha + sigma + |0.1030 - (phi0 + alpha)| = 6.0600E-3 + 1.5615E-4 + 4.0E-5 = 6.25615E-3.
  CaseFolder f(false);
  auto r = rows(summaryOf(f, "cells,cd\n60,0.1030\n50,0.1045\n40,0.1069\n30,0.1121\n20,0.1236\n",
                          {"--cells", "--dim", "1"}));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0]["ls_fit"], "pw");
  EXPECT_NEAR(std::stod(r[0]["ls_p"]), 1.5121, 5e-5);
  EXPECT_NEAR(std::stod(r[0]["ls_sigma"]), 1.5615e-4, 5e-9);
  EXPECT_EQ(r[0]["ls_fs"], "1.25");
  EXPECT_NEAR(std::stod(r[0]["u_ls"]), 6.25615e-3, 3e-7);
  // The three finest grids by hand: h = 1/60, 1/50, 1/40, r21 = 1.2, r32 = 1.25,
  // eps21 = 0.0015, eps32 = 0.0024; p ln 1.2 = ln 1.6 + ln((1.2^p - 1)/(1.25^p - 1)) gives
  // p = 1.31586; 1.2^p - 1 = 0.271136; GCI_fine21 = 1.25 (0.0015/0.1030)/0.271136 = 6.7140 %,
  // u_gci = 0.0015 * 1.25 / 0.271136 = 6.9154E-3. delta_RE = 0.0015/0.271136 = 5.5323E-3,
  // CF = 0.271136/(1.2^2 - 1) = 0.61621, |1 - CF| >= 0.125: U_cf = (2 * 0.38379 + 1) delta_RE
  // = 9.7788E-3; P = p/2 = 0.65793: U_fs = (1.6 P + 2.45 (1 - P)) delta_RE = 1.04603E-2.
  EXPECT_NEAR(std::stod(r[0]["u_gci"]), 6.91540e-3, 1e-8);
  EXPECT_NEAR(std::stod(r[0]["u_cf"]), 9.77877e-3, 1e-8);
  EXPECT_NEAR(std::stod(r[0]["u_fs"]), 1.046028e-2, 1e-8);
  EXPECT_EQ(r[0].count("h_target"), 0u);  // only with --target-gci
  // Every fit and U of every grid in the JSON.
  nlohmann::json j = nlohmann::json::parse(f.read("case.study/study.json"));
  const auto& ls = j["quantities"][0]["uncertainty"]["least_squares"];
  ASSERT_EQ(ls["fits"].size(), 8u);
  EXPECT_EQ(ls["fits"][0]["name"], "p");
  EXPECT_NEAR(ls["fits"][0]["phi0"].get<double>(), 9.7959e-2, 5e-7);
  EXPECT_NEAR(ls["fits"][0]["p"].get<double>(), 1.4928, 5e-5);
  EXPECT_EQ(ls["chosen"], "pw");
  EXPECT_EQ(ls["u"].size(), 5u);
  EXPECT_NEAR(j["quantities"][0]["uncertainty"]["correction_factor"]["cf"].get<double>(), 0.616214, 1e-6);
}

TEST(StudyUncertainty, EstimatorsThatDoNotApplyLeaveTheirFieldsEmpty) {
  const struct {
    const char* what;
    const char* csv;
    bool gci, ls, cfAndFs;
  } cases[] = {
      {"three grids: no least squares", "h,a\n1,1.0\n2,1.1\n4,1.3\n", true, false, true},
      {"two grids: only the GCI", "h,a\n1,1.0\n2,1.1\n", true, false, false},
      {"diverging: least squares only", "h,a\n1,1.0\n2,1.2\n4,1.3\n8,1.35\n", false, true, false},
      {"converging on four grids: all four", "h,a\n1,1.0\n2,1.1\n4,1.3\n8,1.8\n", true, true, true},
      {"no change: none", "h,a\n1,1\n2,1\n4,1\n8,1\n", false, false, false},
  };
  for (const auto& c : cases) {
    CaseFolder f(false);
    auto r = rows(summaryOf(f, c.csv));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(!r[0]["u_gci"].empty(), c.gci) << c.what;
    for (const char* k : {"u_ls", "ls_fit", "ls_p", "ls_sigma", "ls_fs"}) EXPECT_EQ(!r[0][k].empty(), c.ls) << c.what << " " << k;
    EXPECT_EQ(!r[0]["u_cf"].empty(), c.cfAndFs) << c.what;
    EXPECT_EQ(!r[0]["u_fs"].empty(), c.cfAndFs) << c.what;
  }
}

TEST(StudyUncertainty, TargetGciGivesTheSpacingAndTheCellCount) {
  // Celik et al. 2008, Table 1, column 1 (2D): p = 1.533969, GCI_fine21 = 2.17499 %;
  // h = h1 (0.01/0.0217499)^(1/p) = 0.0044913253 with h1 = 18000^(-1/2), and
  // N = 18000 (h1/h)^2 = 49573.66 cells (not 18000 r, which is what some tools print).
  CaseFolder f(false);
  const std::string csv = "cells,phi\n18000,6.063\n8000,5.972\n4500,5.863\n";
  auto r = rows(summaryOf(f, csv, {"--cells", "--dim", "2", "--target-gci", "0.01"}));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_NEAR(std::stod(r[0]["h_target"]), 0.0044913253, 1e-10);
  EXPECT_NEAR(std::stod(r[0]["cells_target"]), 49573.66, 0.005);
  // Without cell counts there is a spacing but no count.
  r = rows(summaryOf(f, "h,phi\n1,1.0\n2,1.1\n4,1.3\n", {"--target-gci", "0.5"}));
  EXPECT_FALSE(r[0]["h_target"].empty());
  EXPECT_EQ(r[0]["cells_target"], "");
  for (const char* bad : {"0", "1", "-0.1", "1.5", "abc", "nan"}) {
    RunResult b = f.run({"study", "case.csv", "--target-gci", bad});
    EXPECT_EQ(b.status, 2) << bad;
    EXPECT_THAT(b.err, HasSubstr("0 < X < 1")) << bad;
  }
}

TEST(StudyUncertainty, JudgedAgainstTheTruthOnAManufacturedFamily) {
  // phi = 1 + a h^2 exactly, exact value 1: in the asymptotic range every estimator bounds the
  // true error E = a h1^2 of phi1, with U/|E| = Fs = 1.25 for the GCI and least squares,
  // 9.6 (1 - 1)^2 + 1.1 = 1.1 for the correction factor and 1.6 P = 1.6 for the factor of
  // safety. The quantity without an exact value is left out.
  CaseFolder f(false);
  f.write("case.csv",
          "h,a,b,c,d\n0.1,1.01,0.97,1.002,5\n0.2,1.04,0.88,1.008,6\n0.4,1.16,0.52,1.032,8\n"
          "0.8,1.64,-0.92,1.128,9\nexact,1,1,1,\n");
  RunResult r = f.run({"study", "case.csv", "--no-plots"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("truth: GCI               bounds 3 of 3 quantities (100 %), U/|E| median 1.25, 10-90 % 1.25 to 1.25\n"));
  EXPECT_THAT(r.out, HasSubstr("truth: least squares     bounds 3 of 3 quantities (100 %), U/|E| median 1.25,"));
  EXPECT_THAT(r.out, HasSubstr("truth: correction factor bounds 3 of 3 quantities (100 %), U/|E| median 1.1,"));
  EXPECT_THAT(r.out, HasSubstr("truth: factor of safety  bounds 3 of 3 quantities (100 %), U/|E| median 1.6,"));
  nlohmann::json j = nlohmann::json::parse(f.read("case.study/study.json"));
  ASSERT_EQ(j["judged_against_truth"].size(), 5u);  // with the conservative GCI; no oscillation here
  EXPECT_EQ(j["judged_against_truth"][2]["estimator"], "correction factor");
  EXPECT_NEAR(j["judged_against_truth"][2]["median_u_over_error"].get<double>(), 1.1, 1e-9);
  const std::string html = f.read("case.study/report.html");
  EXPECT_THAT(html, HasSubstr("id=\"judged\""));
  EXPECT_THAT(html, Not(HasSubstr("id=\"order-note\"")));
  // Another theoretical order: the report says the procedure was published for second order.
  ASSERT_EQ(f.run({"study", "case.csv", "--no-plots", "--order", "1", "--out", "o1"}).status, 0);
  EXPECT_THAT(f.read("o1/report.html"), HasSubstr("id=\"order-note\""));
}

}  // namespace
}  // namespace kv::e2e
