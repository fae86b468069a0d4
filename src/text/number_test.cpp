#include "text/number.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace kv {
namespace {

// The forms the classic list-directed reader accepts and rejects (text/list_directed.h).
TEST(ParseReal, AgreesWithTheClassicReaderOnWhatANumberIs) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
  const Case cases[] = {
      {"1", true, 1.0},           {"+1.5", true, 1.5},          {".5", true, 0.5},
      {"5.", true, 5.0},          {"-1.5E-3", true, -1.5e-3},   {"1.5D-3", true, 1.5e-3},
      {"1.5d+3", true, 1.5e3},    {"1.5Q2", true, 150.0},       {"1.5-3", true, 1.5e-3},
      {"+2.5+2", true, 250.0},    {"Infinity", true, INFINITY}, {"-inf", true, -INFINITY},
      {"1e400", false, 0},        {"", false, 0},               {"+", false, 0},
      {".", false, 0},            {"1.5E", false, 0},           {"1.5E+", false, 0},
      {"1,5", false, 0},          {"0x10", false, 0},           {"abc", false, 0},
      {"nan(1)", false, 0},       {"1.5e3x", false, 0},         {"--1", false, 0},
  };
  for (const Case& c : cases) {
    double value = 0.0;
    EXPECT_EQ(readReal(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  double nan = 0.0;
  EXPECT_TRUE(readReal("NaN", nan) && std::isnan(nan));
}

TEST(ParseReal, ReadsBackEveryShortestFormInEveryExponentSpelling) {
  std::mt19937_64 random(15);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    char text[64];
    auto end = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific).ptr;
    std::string s(text, end);
    std::string fortran = s;
    fortran[fortran.find('e')] = 'D';
    std::string plus = x < 0 ? fortran : "+" + fortran;
    for (const std::string& form : {s, fortran, plus}) {
      double back = 0.0;
      ASSERT_TRUE(readReal(form, back)) << form;
      ASSERT_EQ(std::memcmp(&back, &x, sizeof x), 0) << form;
    }
  }
}

TEST(ParseInteger, SignedDigitsOnlyAndInRange) {
  int64_t v = 0;
  EXPECT_TRUE(readInteger("+007", v) && v == 7);
  EXPECT_TRUE(readInteger("-12", v) && v == -12);
  for (const char* bad : {"", "+", "1.0", "1e3", "12a", "99999999999999999999"}) {
    EXPECT_FALSE(readInteger(bad, v)) << bad;
  }
}

}  // namespace
}  // namespace kv
