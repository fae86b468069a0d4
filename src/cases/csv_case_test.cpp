#include "cases/csv_case.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv::study {
namespace {

TEST(CsvCase, ReadsEveryAcceptedForm) {
  struct Case {
    const char* text;
    CsvOptions options;
    std::vector<double> h;  // finest first
    std::vector<std::string> names;
    double firstValueOfFinest;
  } cases[] = {
      {"h,a\n0.2,2\n0.1,1\n", {}, {0.1, 0.2}, {"a"}, 1.0},
      {"H ; \"x;y\" ; b\n1;+1e-3;2\n0.5;-2.5E+1;3\n", {}, {0.5, 1.0}, {"x;y", "b"}, -25.0},
      {"\"h\"\t\"say \"\"hi\"\"\"\n8\t1\n1\t2\n", {}, {1.0, 8.0}, {"say \"hi\""}, 2.0},
      {"cells,a\n1000,1\n8000,2\n", {false, 3}, {0.05, 0.1}, {"a"}, 2.0},
      {"cells,a\n100,1\n400,2\n", {true, 1}, {1.0 / 400, 1.0 / 100}, {"a"}, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StudyCase s = parseCsvCase(c.text, "t.csv", c.options);
    ASSERT_EQ(s.h.size(), c.h.size());
    for (size_t k = 0; k < c.h.size(); ++k) EXPECT_NEAR(s.h[k], c.h[k], 1e-15);
    ASSERT_EQ(s.quantities.size(), c.names.size());
    for (size_t k = 0; k < c.names.size(); ++k) EXPECT_EQ(s.quantities[k].name, c.names[k]);
    EXPECT_EQ(s.quantities[0].values[0], c.firstValueOfFinest);
    EXPECT_TRUE(std::isnan(s.quantities[0].exact));
  }
}

TEST(CsvCase, ExactRowMayLeaveValuesUnknownButNotRepeat) {
  StudyCase s = parseCsvCase("h,a,b\nexact,,7\n1,1,2\n2,3,4\n", "t.csv", {});
  EXPECT_TRUE(std::isnan(s.quantities[0].exact));
  EXPECT_EQ(s.quantities[1].exact, 7.0);
  EXPECT_EQ(s.lines, (std::vector<size_t>{3, 4}));
  try {
    parseCsvCase("h,a\nexact,1\n1,1\nEXACT,2\n2,3\n", "t.csv", {});
    ADD_FAILURE();
  } catch (const Failure& e) {
    EXPECT_EQ(e.where(), "t.csv:4: a second exact row (the first is line 2): keep one");
  }
}

TEST(CsvCase, RecognisesATableByItsFirstField) {
  EXPECT_TRUE(looksLikeCsv("# c\n\ncells;a\n"));
  EXPECT_TRUE(looksLikeCsv("\xEF\xBB\xBFh,a\n"));
  EXPECT_FALSE(looksLikeCsv("2            variable number\nlisting.txt\n"));
  EXPECT_FALSE(looksLikeCsv(""));
}

}  // namespace
}  // namespace kv::study
