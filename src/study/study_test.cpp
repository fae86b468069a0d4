#include "study/study.h"

#include <gtest/gtest.h>

#include <list>

#include "cases/csv_case.h"
#include "study/summary.h"

namespace kv::study {
namespace {

StudyResult csvStudy(const char* csv, const StudyOptions& options = {}) {
  static std::list<StudyCase> cases;  // a result points to its case
  cases.push_back(parseCsvCase(csv, "t.csv", {true, 3}));
  return runStudy(cases.back(), options);
}

// A missing value leaves its quantity the grids that have one, studied as a table of those grids
// alone (a target's cell count from the finest of them); the other quantities as without it.
// Fewer than three left is a finding, first.
TEST(Study, AQuantityIsStudiedOnTheGridsThatHaveItsValues) {
  StudyOptions target;
  target.targetGci = 1e-4;
  const StudyResult s = csvStudy("cells,a,b\n512,1.0,\n64,1.01,2.02\n8,1.05,2.1\n1,1.2,2.4\n", target);
  EXPECT_EQ(summaryRow(s.quantities[1], true),
            summaryRow(csvStudy("cells,b\n64,2.02\n8,2.1\n1,2.4\n", target).quantities[0], true));
  EXPECT_EQ(summaryRow(s.quantities[0], true),
            summaryRow(csvStudy("cells,a\n512,1.0\n64,1.01\n8,1.05\n1,1.2\n", target).quantities[0], true));
  EXPECT_EQ(s.gridNumbers(s.quantities[1]), (std::vector<size_t>{2, 3, 4}));
  EXPECT_EQ(s.spacings(s.quantities[1]), (std::vector<double>{0.25, 0.5, 1.0}));
  EXPECT_FALSE(s.quantities[0].grids);

  const StudyResult two = csvStudy("cells,a,b\n512,1.0,\n64,1.01,2.02\n8,1.05,\n1,1.2,2.4\n");
  EXPECT_EQ(two.quantities[1].status, "missing values");
  EXPECT_EQ(two.quantities[1].findings.front().message,
            "a value on only 2 of the 4 grids (the other fields are empty): no observed order, and the GCI rests on "
            "the theoretical order and Fs = 3; give the values of three grids or more");
  const StudyResult none = csvStudy("cells,a,b\n512,1.0,\n64,1.01,\n");
  EXPECT_EQ(none.quantities[1].standard.grids, 0);
  EXPECT_EQ(none.quantities[1].findings.front().message.rfind("a value on only 0 of the 2 grids", 0), 0u);
}

}  // namespace
}  // namespace kv::study
