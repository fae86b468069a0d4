// The arithmetic shared by the computation and the plot files: one integer power, one real
// power and one logarithm, so that every stage rounds the same way.
#pragma once

#include <cstdint>

namespace kv {

// x^n for an integer n, by repeated squaring and multiplication: x^0 = 1; for n < 0 the
// reciprocal 1/x is taken first and then raised to -n.
double integerPower(double x, int32_t n);

// x^y for a real exponent y (the general floating-point power function).
double realPower(double x, double y);

// The common (base-10) logarithm.
double log10(double x);

}  // namespace kv
