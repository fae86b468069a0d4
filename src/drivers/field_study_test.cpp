#include "drivers/field_study.h"

#include <gtest/gtest.h>

namespace kv::study {
namespace {

TEST(FieldStudy, TheHeaderTellsAFieldTableFromATableOfQuantities) {
  const struct {
    const char* text;
    bool field;
  } cases[] = {
      {"h,file\n0.1,a.txt\n", true},
      {"\xEF\xBB\xBF# grids\r\n\r\ncells;file\r\n", true},
      {"  h\tfile\n", true},
      {"h,drag\n0.1,1\n", false},
      {"h,file,lift\n", false},
      {"file,h\n", false},
      {"# only a comment\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isFieldTable(c.text), c.field) << c.text;
}

// Worse converging points rank higher: not convergent above convergent, no GCI above any GCI
// (then by the change e_a21), and a larger GCI above a smaller one.
TEST(FieldStudy, BadnessRanksAsTheTableStudyDoes) {
  const double h[] = {1, 2, 4};
  auto rank = [&](double phi1, double phi2, double phi3) {
    const double phi[] = {phi1, phi2, phi3};
    return badness(PointStudy(std::vector<double>(std::begin(h), std::end(h)), StudySettings{})("x", phi, kNotANumber));
  };
  const double small = rank(1.0, 1.01, 1.03), large = rank(1.0, 1.1, 1.3);  // p = 1, GCI 1.25 e_a21
  const double oscillating = rank(1.0, 0.99, 1.03), unchanged = rank(1.0, 1.0, 1.0);
  const double diverging = rank(1.0, 1.3, 1.4), divergingMore = rank(1.0, 2.0, 2.5);
  EXPECT_LT(small, large);
  EXPECT_LT(large, oscillating);
  EXPECT_LT(oscillating, unchanged);
  EXPECT_LT(unchanged, diverging);
  EXPECT_LT(diverging, divergingMore);
}

}  // namespace
}  // namespace kv::study
