#include "study/summary.h"

#include <gtest/gtest.h>

#include <random>

namespace kv::study {
namespace {

StudyResult studyOf(const StudyCase& c) { return runStudy(c, {}); }

TEST(Summary, ColumnsRowsAndEmptyFields) {
  StudyCase c;
  c.h = {1.0, 2.0};
  c.lines = {2, 3};
  c.quantities = {{"two, \"grids\"", {1.0, 1.3}, kNotANumber}};
  StudyResult s = studyOf(c);
  EXPECT_EQ(summaryCsv(s),
            "quantity,grids,h1,h2,h3,r21,r32,phi1,phi2,phi3,R,convergence,p,phi_ext21,e_a21,"
            "e_ext21,gci_fine21,gci_coarse32,asymptotic_ratio,exact,error_phi1,error_ext21,status,"
            "u_gci,u_ls,ls_fit,ls_p,ls_sigma,ls_fs,u_cf,u_fs,u_gci_th,u_osc\n"
            "\"two, \"\"grids\"\"\",2,1,2,,2,,1,1.3,,,two-grids,,0.9,"
            "0.30000000000000004,0.11111111111111108,0.30000000000000004,,,,,,ok,"
            "0.30000000000000004,,,,,,,,,\n");
}

TEST(Summary, EveryNumberReadsBackToTheSameDouble) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  StudyCase c;
  c.h = {0.1, 0.2, 0.4};
  for (int k = 0; k < 200; ++k) {
    c.quantities.push_back({std::to_string(k), {value(random), value(random), value(random)}, value(random)});
  }
  StudyResult s = studyOf(c);
  for (const QuantityStudy& q : s.quantities) {
    for (double x : {q.standard.phi1, q.standard.R, q.standard.exact, q.standard.order.p, q.standard.gciFine21}) {
      if (std::isfinite(x)) {
        EXPECT_EQ(std::stod(shortest(x)), x);
      }
    }
  }
  EXPECT_EQ(shortest(kNotANumber), "");
  EXPECT_EQ(shortest(0.1), "0.1");
  EXPECT_EQ(shortest(-0.0), "0");  // the same zero in every row, whatever the sign of a difference
}

// Rows written through the cache of repeated numbers are the rows written without it, whatever
// repeats from row to row (a zero, a NaN, a value that comes back after another).
TEST(Summary, RowsThroughTheCacheAreTheSame) {
  std::mt19937_64 random(11);
  const double pool[] = {0.0, -0.0, 1.5, 1.5000000000000002, kNotANumber, 2.0};
  StudyCase c;
  c.h = {0.1, 0.2, 0.4, 0.8};
  for (int k = 0; k < 300; ++k) {
    std::vector<double> v;
    for (int g = 0; g < 4; ++g) v.push_back(pool[random() % 6] + (random() % 4 == 0 ? 0.25 * g : 0.0));
    c.quantities.push_back({"q" + std::to_string(k), v, pool[random() % 6]});
  }
  const StudyResult s = studyOf(c);
  SummaryRowCache cache;
  for (const QuantityStudy& q : s.quantities) {
    std::string row;
    appendSummaryRow(row, q, true, &cache);
    EXPECT_EQ(row, summaryRow(q, true));
  }
}

TEST(Summary, TableAlignsWordsLeftAndNumbersRight) {
  StudyCase c;
  c.h = {1.0, 2.0, 4.0};
  c.quantities = {{"drag", {0.97050, 0.96854, 0.96178}, kNotANumber},
                  {"flat", {1.0, 1.0, 1.0}, kNotANumber}};
  EXPECT_EQ(summaryTable(studyOf(c)),
            "quantity  convergence                p    phi1  phi_ext21  GCI_fine21\n"
            "drag      monotonic-convergence  1.786  0.9705  0.9713003     0.103 %\n"
            "flat      no-change                  -       1          -           -\n");
}

TEST(Summary, JudgementLinesCountQuantities) {
  StudyResult study;
  study.judgements.resize(1);
  for (const auto& [count, line] : {std::pair<size_t, const char*>{1, "bounds 1 of 1 quantity (100 %)\n"},
                                    {2, "bounds 2 of 2 quantities (100 %)\n"}}) {
    study.judgements[0] = TruthJudgement{.count = count, .bounded = count, .boundedShare = 1.0};
    EXPECT_NE(judgementLines(study).find(line), std::string::npos) << judgementLines(study);
  }
}

}  // namespace
}  // namespace kv::study
