#include "estimation/numerics.h"

#include <cmath>

namespace kv {

double integerPower(double x, int32_t n) {
  double result = 1.0;
  if (n == 0) return result;
  uint32_t u;
  if (n < 0) {
    u = 0u - static_cast<uint32_t>(n);
    x = 1.0 / x;
  } else {
    u = static_cast<uint32_t>(n);
  }
  for (;;) {
    if (u & 1u) result *= x;
    u >>= 1;
    if (u == 0) break;
    x *= x;
  }
  return result;
}

double realPower(double x, double y) { return std::pow(x, y); }

double log10(double x) { return std::log10(x); }

}  // namespace kv
