#include "text/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace kv {
namespace {

std::string real(double value, int width, int decimals, int scale = 1) {
  std::string out(static_cast<size_t>(width), '?');
  renderReal(value, scale, width, decimals, out.data());
  return out;
}

std::string integer(int32_t value, int width) {
  std::string out(static_cast<size_t>(width), '?');
  renderInteger(value, width, out.data());
  return out;
}

struct RealCase {
  double value;
  int width;
  int decimals;
  const char* expected;
};

class RenderRealTest : public ::testing::TestWithParam<RealCase> {};

TEST_P(RenderRealTest, RendersWith1P) {
  const RealCase& c = GetParam();
  EXPECT_EQ(real(c.value, c.width, c.decimals), c.expected) << "value " << c.value;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Examples, RenderRealTest,
    ::testing::Values(
        RealCase{0.03125, 12, 4, "  3.1250E-02"},
        RealCase{0.00390625, 12, 4, "  3.9062E-03"},  // an exact tie goes to the even digit
        RealCase{0.00390675, 12, 4, "  3.9067E-03"},  // the double lies just below the tie
        RealCase{9.99996, 12, 4, "  1.0000E+01"},    // carry into the exponent
        RealCase{-2.5e-120, 12, 4, " -2.5000-120"},  // three-digit exponent drops the letter
        RealCase{1.0e100, 12, 4, "  1.0000+100"},
        RealCase{0.0, 12, 4, "  0.0000E+00"},
        RealCase{-0.0, 12, 4, "  0.0000E+00"},       // zero has no sign
        RealCase{1234.5, 22, 14, "  1.23450000000000E+03"},
        RealCase{-0.25, 22, 14, " -2.50000000000000E-01"},
        RealCase{0.125, 13, 4, "   1.2500E-01"},
        RealCase{-0.125, 23, 14, "  -1.25000000000000E-01"},
        RealCase{1.0e11, 22, 14, "  1.00000000000000E+11"},
        RealCase{5e-324, 12, 4, "  4.9407-324"},
        RealCase{1.7976931348623157e308, 12, 4, "  1.7977+308"},
        RealCase{kInf, 12, 4, " Infinity   "},
        RealCase{-kInf, 12, 4, " -Infinity  "},
        RealCase{kNaN, 12, 4, " NaN        "},
        RealCase{kInf, 22, 14, " Infinity             "},
        RealCase{-1.0, 10, 4, "**********"}));  // does not fit

TEST(RenderReal, FieldOverflowFillsAsterisks) {
  EXPECT_EQ(real(1.0, 10, 4), "1.0000E+00");
  EXPECT_EQ(real(-1.0e-100, 11, 4), "-1.0000-100");
  EXPECT_EQ(real(-1.0e-100, 10, 4), "**********");
}

TEST(RenderReal, OtherScaleFactors) {
  EXPECT_EQ(real(0.03125, 12, 4, 0), "  0.3125E-01");
  EXPECT_EQ(real(123.456, 12, 4, 2), "  12.346E+01");
  EXPECT_EQ(real(0.0, 12, 4, 0), "  0.0000E+00");
}

TEST(RenderInteger, RightJustifiedWithAsterisksOnOverflow) {
  EXPECT_EQ(integer(-5, 2), "-5");
  EXPECT_EQ(integer(7, 2), " 7");
  EXPECT_EQ(integer(-10, 2), "**");
  EXPECT_EQ(integer(101, 2), "**");
  EXPECT_EQ(integer(0, 4), "   0");
  EXPECT_EQ(integer(-2147483647 - 1, 11), "-2147483648");
  EXPECT_EQ(integer(-2147483647 - 1, 10), "**********");
}

// The renderer against printf("%.*E"): digits and exponent must agree on random doubles of
// every magnitude, for each field the program uses.
TEST(RenderReal, AgreesWithPrintfOnRandomDoubles) {
  std::mt19937_64 random(20261207);
  struct Field {
    int width, decimals;
  };
  for (Field field : {Field{12, 4}, Field{13, 4}, Field{22, 14}, Field{23, 14}}) {
    for (int n = 0; n < 200000; ++n) {
      double value;
      do {
        uint64_t bits = random();
        std::memcpy(&value, &bits, sizeof value);
      } while (!std::isfinite(value));
      if (n % 4 == 1) value = std::ldexp(static_cast<double>(random() % 100000), -int(random() % 40));
      char reference[64];
      std::snprintf(reference, sizeof reference, "%.*E", field.decimals, value);
      std::string expected = reference;
      if (value == 0) expected.erase(0, expected[0] == '-' ? 1 : 0);
      size_t e = expected.find('E');
      int exponent = std::stoi(expected.substr(e + 1));
      if (exponent > 99 || exponent < -99) expected.erase(e, 1);  // sign and three digits
      expected.insert(0, static_cast<size_t>(field.width) - expected.size(), ' ');
      ASSERT_EQ(real(value, field.width, field.decimals), expected)
          << "value " << reference << " width " << field.width;
    }
  }
}

// Doubles read from short decimals lie next to the rounding midpoints of the fields (for
// instance 1.23455 with four decimals): the digits must still be those of the exact value.
TEST(RenderReal, AgreesWithPrintfNextToRoundingMidpoints) {
  std::mt19937_64 random(42);
  struct Field {
    int width, decimals;
  };
  // The fields of the program, and 15 and 16 decimals, just past the most for which the
  // shortest representation decides the digits (there it must not be trusted).
  for (Field field : {Field{12, 4}, Field{13, 4}, Field{22, 14}, Field{23, 14}, Field{23, 15},
                      Field{24, 16}}) {
    for (int n = 0; n < 200000; ++n) {
      int digits = field.decimals + 1 + static_cast<int>(random() % 3);  // p, p + 1, p + 2
      std::string text = std::to_string(1 + random() % 9);
      text += '.';
      for (int k = 1; k < digits; ++k) text += static_cast<char>('0' + random() % 10);
      if (random() % 2) text.back() = '5';
      text += 'e';
      text += std::to_string(static_cast<int>(random() % 600) - 300);
      double value = std::stod(text) * (random() % 2 ? 1 : -1);
      char reference[64];
      std::snprintf(reference, sizeof reference, "%.*E", field.decimals, value);
      std::string expected = reference;
      size_t e = expected.find('E');
      int exponent = std::stoi(expected.substr(e + 1));
      if (exponent > 99 || exponent < -99) expected.erase(e, 1);
      expected.insert(0, static_cast<size_t>(field.width) - expected.size(), ' ');
      ASSERT_EQ(real(value, field.width, field.decimals), expected) << "value " << text;
    }
  }
}

}  // namespace
}  // namespace kv
