#include "base/text_field.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(TextField, FixedTrimmedAdjusted) {
  EXPECT_EQ(fixedText("abc", 5), "abc  ");
  EXPECT_EQ(fixedText("abcdef", 4), "abcd");
  EXPECT_EQ(trimmed("  a b  "), "  a b");
  EXPECT_EQ(adjusted("  g1.dat   "), "g1.dat");
  EXPECT_EQ(adjusted("     "), "");
  EXPECT_EQ(adjusted(" 2"), "2");
}

}  // namespace
}  // namespace kv
