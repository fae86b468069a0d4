// The arithmetic shared by the computation and the plot files: one integer power, one real
// power and one logarithm, so that every stage rounds the same way.
#pragma once

#include <cstdint>

namespace kv {

// x^n for an integer n, by repeated squaring and multiplication: x^0 = 1; for n < 0 the
// reciprocal 1/x is taken first and then raised to -n.
double integerPower(double x, int32_t n);

// x^y for a real exponent y: the general floating-point power function, correctly rounded, with
// the special values of the C library's pow (x^0 = 1, 1^y = 1, a NaN otherwise gives a NaN,
// a negative x with a non-integer y gives a NaN, 0 and infinity as in pow).
double realPower(double x, double y);

// `value` wrapped to 32 bits (two's complement), as an order sum formed in 64 bits is stored:
// extreme inputs give a wrong order instead of an integer overflow.
constexpr int32_t wrapToInt32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

// The common (base-10) logarithm, correctly rounded; log10(0) = -infinity, log10(x < 0) = NaN.
double log10(double x);

}  // namespace kv
