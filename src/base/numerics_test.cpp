#include "base/numerics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace kv {
namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

bool sameBits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

TEST(IntegerPower, RepeatedSquaringWithTheReciprocalFirst) {
  EXPECT_EQ(integerPower(2.0, 10), 1024.0);
  EXPECT_EQ(integerPower(2.0, 0), 1.0);
  EXPECT_EQ(integerPower(0.0, 0), 1.0);
  EXPECT_EQ(integerPower(-2.0, 3), -8.0);
  EXPECT_EQ(integerPower(2.0, -2), 0.25);
  // (1/3)^1 is the reciprocal itself, not 1 / 3^1 computed otherwise.
  EXPECT_EQ(integerPower(3.0, -1), 1.0 / 3.0);
  // (1/3)^2 squares the rounded reciprocal.
  EXPECT_EQ(integerPower(3.0, -2), (1.0 / 3.0) * (1.0 / 3.0));
  EXPECT_EQ(integerPower(1.0, std::numeric_limits<int32_t>::min()), 1.0);
  EXPECT_EQ(integerPower(2.0, 2000), kInf);
  EXPECT_EQ(integerPower(0.0, -1), kInf);
}

struct PowerCase {
  double x, y;
};

TEST(RealPower, SpecialValuesAreThoseOfTheCLibrary) {
  for (PowerCase c : {PowerCase{2.0, 0.0},   PowerCase{kNaN, 0.0},   PowerCase{1.0, kNaN},
                      PowerCase{kNaN, 1.0},  PowerCase{2.0, kNaN},   PowerCase{0.0, 2.0},
                      PowerCase{-0.0, 3.0},  PowerCase{-0.0, 2.0},   PowerCase{0.0, -1.0},
                      PowerCase{-0.0, -1.0}, PowerCase{-0.0, -2.0},  PowerCase{kInf, 2.0},
                      PowerCase{kInf, -2.0}, PowerCase{-kInf, 3.0},  PowerCase{-kInf, 2.0},
                      PowerCase{-kInf, -3.0}, PowerCase{0.5, kInf},  PowerCase{2.0, kInf},
                      PowerCase{0.5, -kInf}, PowerCase{2.0, -kInf},  PowerCase{-1.0, kInf},
                      PowerCase{-2.0, 0.5},  PowerCase{-2.0, 3.0},   PowerCase{-2.0, -2.0},
                      PowerCase{-1.0, 3.0},  PowerCase{10.0, 400.0}, PowerCase{10.0, -400.0},
                      PowerCase{-10.0, 401.0}, PowerCase{2.0, 0x1p70}, PowerCase{0.5, 0x1p70},
                      PowerCase{4.0, 0.5},   PowerCase{2.0, -1074.0}, PowerCase{1.5, 2.0}}) {
    EXPECT_TRUE(sameBits(realPower(c.x, c.y), std::pow(c.x, c.y)))
        << c.x << " ^ " << c.y << ": " << realPower(c.x, c.y) << " against " << std::pow(c.x, c.y);
  }
}

TEST(Log10, SpecialValuesAndExactPowersOfTen) {
  EXPECT_EQ(log10(0.0), -kInf);
  EXPECT_EQ(log10(-0.0), -kInf);
  EXPECT_TRUE(std::isnan(log10(-1.0)));
  EXPECT_TRUE(std::isnan(log10(kNaN)));
  EXPECT_EQ(log10(kInf), kInf);
  EXPECT_EQ(log10(1.0), 0.0);
  for (int k = -300; k <= 300; ++k) {
    double x = std::stod("1e" + std::to_string(k));
    EXPECT_EQ(log10(x), k) << "1e" << k;
  }
  EXPECT_EQ(log10(0.125), -0.9030899869919435);
  EXPECT_EQ(log10(5e-324), -323.3062153431158);
}

// Against a reference carried in extended precision: the result must be the double nearest to
// the reference, except where the reference lies too close to a midpoint to tell.
template <typename F, typename G>
void expectCorrectlyRounded(F ours, G reference, double x, double y) {
  long double exact = reference(static_cast<long double>(x), static_cast<long double>(y));
  double nearest = static_cast<double>(exact);
  if (!std::isfinite(nearest) || nearest == 0.0) return;
  double other = exact > nearest ? std::nextafter(nearest, kInf) : std::nextafter(nearest, -kInf);
  long double distance = std::fabs(exact - static_cast<long double>(nearest));
  long double gap = std::fabs(static_cast<long double>(other) - static_cast<long double>(nearest));
  if (distance > gap * 0.49L) return;  // too close to a midpoint for the reference
  ASSERT_EQ(ours(x, y), nearest) << std::hexfloat << "x = " << x << " y = " << y;
}

TEST(Numerics, CorrectlyRoundedOnRandomArguments) {
  if (std::numeric_limits<long double>::digits < 64) GTEST_SKIP() << "no extended precision";
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-300.0, 300.0), unit(0.0, 1.0);
  for (int n = 0; n < 100000; ++n) {
    double x = std::pow(10.0, exponent(random)) * (0.5 + unit(random));
    expectCorrectlyRounded([](double a, double) { return log10(a); },
                           [](long double a, long double) { return std::log10(a); }, x, 0.0);
    // Spacing ratios near 1 and orders of accuracy, as the bisection and the extrapolations use.
    double r = 1.0 + 4.0 * unit(random);
    double p = -10.0 + 20.0 * unit(random);
    expectCorrectlyRounded([](double a, double b) { return realPower(a, b); },
                           [](long double a, long double b) { return std::pow(a, b); }, r, p);
  }
}

}  // namespace
}  // namespace kv
