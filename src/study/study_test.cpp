#include "study/study.h"

#include <gtest/gtest.h>

#include <cmath>

#include "study/summary.h"

namespace kv::study {
namespace {

// A table of four grids (finest first) with cell counts: `a` on every grid, `b` as given, NaN
// where `missing` says so.
StudyCase tableOf(std::vector<double> b, std::vector<bool> missing) {
  StudyCase c;
  c.h = {0.125, 0.25, 0.5, 1.0};
  c.cells = {512, 64, 8, 1};
  c.dimension = 3;
  c.lines = {2, 3, 4, 5};
  c.quantities = {{"a", {1.0, 1.01, 1.05, 1.2}, 0.99}, {"b", std::move(b), 2.0}};
  c.quantities[1].missing = std::move(missing);
  return c;
}

// The same table with only the grids `keep` (finest first): what a quantity with missing values
// must come out as.
StudyCase only(const StudyCase& c, const std::vector<size_t>& keep) {
  StudyCase out = c;
  out.h.clear();
  out.cells.clear();
  out.quantities = {c.quantities[1]};
  out.quantities[0].values.clear();
  out.quantities[0].missing.clear();
  for (size_t g : keep) {
    out.h.push_back(c.h[g]);
    out.cells.push_back(c.cells[g]);
    out.quantities[0].values.push_back(c.quantities[1].values[g]);
  }
  return out;
}

// A missing value leaves its quantity the grids that have one, studied as a table of those grids
// alone (a target's cell count from the finest of them); the other quantities are as without it.
// Fewer than three left is a finding, first, worded with the grids.
TEST(Study, AQuantityIsStudiedOnTheGridsThatHaveItsValues) {
  StudyOptions options;
  options.targetGci = 1e-4;
  const struct {
    std::vector<double> values;
    std::vector<bool> missing;
    std::vector<size_t> kept;
    std::vector<size_t> numbers;  // the grids studied, 1 the finest
    const char* finding;          // "": none
  } cases[] = {
      {{NAN, 2.02, 2.1, 2.4}, {true, false, false, false}, {1, 2, 3}, {2, 3, 4}, ""},
      {{2.0, NAN, 2.1, 2.4}, {false, true, false, false}, {0, 2, 3}, {1, 3, 4}, ""},
      {{2.0, NAN, NAN, 2.4}, {false, true, true, false}, {0, 3}, {1, 4},
       "a value on only 2 of the 4 grids (the other fields are empty): no observed order, and the GCI rests on the "
       "theoretical order and Fs = 3; give the values of three grids or more"},
      {{NAN, NAN, 2.1, NAN}, {true, true, false, true}, {2}, {3},
       "a value on only 1 of the 4 grids (the other fields are empty): nothing can be estimated; give the values of "
       "three grids or more"},
      {{NAN, NAN, NAN, NAN}, {true, true, true, true}, {}, {}, "a value on only 0 of the 4 grids"},
  };
  const StudyCase whole = tableOf({2.0, 2.02, 2.1, 2.4}, {});
  const StudyResult full = runStudy(whole, options);
  for (const auto& c : cases) {
    const StudyCase input = tableOf(c.values, c.missing);
    const StudyResult study = runStudy(input, options);
    const QuantityStudy& b = study.quantities[1];
    SCOPED_TRACE(summaryRow(b, true));
    EXPECT_EQ(summaryRow(study.quantities[0], true), summaryRow(full.quantities[0], true));
    ASSERT_TRUE(b.grids.has_value());
    EXPECT_EQ(study.gridNumbers(b), c.numbers);
    EXPECT_EQ(b.standard.grids, static_cast<int>(c.numbers.size()));
    const StudyCase alone = only(input, c.kept);
    EXPECT_EQ(study.spacings(b), alone.h);
    if (std::string_view(c.finding).empty()) {
      EXPECT_EQ(summaryRow(b, true), summaryRow(runStudy(alone, options).quantities[0], true));
    } else {
      ASSERT_FALSE(b.findings.empty());
      EXPECT_EQ(b.findings.front().code, "missing values");
      EXPECT_EQ(b.findings.front().message.rfind(c.finding, 0), 0u) << b.findings.front().message;
      EXPECT_EQ(b.status.rfind("missing values", 0), 0u);
    }
  }
  EXPECT_FALSE(full.quantities[1].grids.has_value());
  EXPECT_EQ(full.gridNumbers(full.quantities[1]), (std::vector<size_t>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace kv::study
