// The real power and the common logarithm are computed by the program itself, in double-double
// arithmetic, not by the platform's C runtime: the runtimes' results differ between platforms in
// the last bit, and so in printed digits. Every step is an IEEE 754 addition, subtraction,
// multiplication or division of doubles (no fused multiply-add, no extended precision), so the
// results are the same bits with any compiler and C runtime. About 100 bits are carried, so the
// result is the correctly rounded value except when the exact value lies within about 2^-95
// (relative) of a midpoint between two doubles.
#include "base/numerics.h"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

namespace kv {

namespace {

// A double-double: the unevaluated sum hi + lo with |lo| <= ulp(hi) / 2.
struct DD {
  double hi;
  double lo;
};

constexpr DD kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
constexpr DD kInvLn10{0x1.bcb7b1526e50ep-2, 0x1.95355baaafad3p-57};
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

DD twoSum(double a, double b) {
  double s = a + b;
  double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

DD quickTwoSum(double a, double b) {  // |a| >= |b|
  double s = a + b;
  return {s, b - (s - a)};
}

// Dekker's split of a into two halves of 26 bits each (|a| < 2^996).
DD split(double a) {
  double t = 134217729.0 * a;  // 2^27 + 1
  double hi = t - (t - a);
  return {hi, a - hi};
}

DD twoProduct(double a, double b) {
  double p = a * b;
  DD x = split(a), y = split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

DD add(DD a, DD b) {
  DD s = twoSum(a.hi, b.hi);
  DD t = twoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = quickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return quickTwoSum(s.hi, s.lo);
}

DD negate(DD a) { return {-a.hi, -a.lo}; }

DD multiply(DD a, DD b) {
  DD p = twoProduct(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return quickTwoSum(p.hi, p.lo);
}

DD divide(DD a, DD b) {
  double q1 = a.hi / b.hi;
  DD r = add(a, negate(multiply({q1, 0.0}, b)));
  double q2 = r.hi / b.hi;
  r = add(r, negate(multiply({q2, 0.0}, b)));
  double q3 = r.hi / b.hi;
  return add(quickTwoSum(q1, q2), {q3, 0.0});
}

// 2^n as a double, for -1022 <= n <= 1023.
double powerOfTwo(int n) { return std::bit_cast<double>(static_cast<uint64_t>(n + 1023) << 52); }

// x * 2^n by exact multiplications (only the last one rounds, and only for a subnormal result).
double scale(double x, int n) {
  while (n > 1023) {
    x *= powerOfTwo(1023);
    n -= 1023;
  }
  while (n < -1022) {
    x *= powerOfTwo(-1022);
    n += 1022;
  }
  return x * powerOfTwo(n);
}

// 2 atanh(s) = ln((1 + s) / (1 - s)) = 2 (s + s^3/3 + s^5/5 + ...) with `terms` + 1 terms of
// the series, as a double-double.
DD twiceAtanh(DD s, int terms) {
  constexpr int kMostTerms = 24;
  // The coefficients 1 / (2k + 1), divided out once.
  static const std::array<DD, kMostTerms + 1> kCoefficients = [] {
    std::array<DD, kMostTerms + 1> c;
    for (int k = 0; k <= kMostTerms; ++k) c[k] = divide({1.0, 0.0}, {2.0 * k + 1.0, 0.0});
    return c;
  }();
  DD z = multiply(s, s);
  DD sum = kCoefficients[terms];
  for (int k = terms - 1; k >= 0; --k) sum = add(multiply(sum, z), kCoefficients[k]);
  DD result = multiply(s, sum);
  return {2.0 * result.hi, 2.0 * result.lo};
}

// The fractions c = k / 128 nearest to a mantissa in [sqrt(1/2), sqrt(2)): k = 91 .. 181.
constexpr int kLowestFraction = 91;
constexpr int kHighestFraction = 181;

// ln(k / 128) for every fraction, computed once by the series in s = (c - 1) / (c + 1),
// |s| < 0.172, with 25 terms (s^50 / 49 < 2^-125).
const std::array<DD, kHighestFraction + 1>& fractionLogarithms() {
  static const std::array<DD, kHighestFraction + 1> table = [] {
    std::array<DD, kHighestFraction + 1> t{};
    for (int k = kLowestFraction; k <= kHighestFraction; ++k) {
      double c = k / 128.0;
      t[k] = twiceAtanh(divide({c - 1.0, 0.0}, twoSum(c, 1.0)), 24);  // c - 1 is exact
    }
    return t;
  }();
  return table;
}

// Natural logarithm of a finite x > 0, as a double-double.
DD logarithm(double x) {
  // x = m * 2^e with m in [sqrt(1/2), sqrt(2)).
  int e = 0;
  uint64_t bits = std::bit_cast<uint64_t>(x);
  if ((bits >> 52) == 0) {  // subnormal: make it normal first
    x *= 0x1p54;
    e = -54;
    bits = std::bit_cast<uint64_t>(x);
  }
  e += static_cast<int>(bits >> 52) - 1023;
  double m = std::bit_cast<double>((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52));
  if (m > 0x1.6a09e667f3bcdp+0) {  // above sqrt(2): use m / 2
    m *= 0.5;
    e += 1;
  }
  // ln m = ln c + 2 atanh(s), s = (m - c) / (m + c), with c = k / 128 the fraction nearest to m:
  // m - c is exact (c / 2 <= m <= 2 c) and |s| <= 1/362, so 8 terms of the series reach
  // s^16 / 15 < 2^-139.
  int k = static_cast<int>(m * 128.0 + 0.5);
  double c = k / 128.0;
  DD lnM = add(fractionLogarithms()[k], twiceAtanh(divide({m - c, 0.0}, twoSum(m, c)), 7));
  DD eLn2 = twoProduct(static_cast<double>(e), kLn2.hi);
  eLn2 = add(eLn2, {static_cast<double>(e) * kLn2.lo, 0.0});
  return add(eLn2, lnM);
}

// e^t for a double-double t with |t.hi| < 746, rounded to a double.
double exponential(DD t) {
  double k = static_cast<double>(static_cast<int64_t>(t.hi * kInvLn2 + (t.hi < 0 ? -0.5 : 0.5)));
  DD r = add(t, negate(multiply({k, 0.0}, kLn2)));  // |r| <= 0.35
  r = {r.hi * 0x1p-9, r.lo * 0x1p-9};                 // |r| <= 0.00068
  // p = e^r - 1 by its Taylor series (r^13 / 13! < 2^-160), then squared back 9 times:
  // e^(2r) - 1 = 2p + p^2.
  constexpr int kTerms = 13;
  DD p = {1.0, 0.0};
  for (int n = kTerms; n >= 2; --n) {
    p = add({1.0, 0.0}, divide(multiply(p, r), {static_cast<double>(n), 0.0}));
  }
  p = multiply(p, r);
  for (int i = 0; i < 9; ++i) p = add({2.0 * p.hi, 2.0 * p.lo}, multiply(p, p));
  DD e = add({1.0, 0.0}, p);
  return scale(e.hi + e.lo, static_cast<int>(k));
}

bool isInteger(double y) {
  if (!(y - y == 0.0)) return false;  // infinite or NaN
  if (y >= 0x1p52 || y <= -0x1p52) return true;
  return static_cast<double>(static_cast<int64_t>(y)) == y;
}

bool isOddInteger(double y) {
  if (!isInteger(y) || y >= 0x1p53 || y <= -0x1p53) return false;
  return (static_cast<int64_t>(y) & 1) != 0;
}

}  // namespace

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

double realPower(double x, double y) {
  // The special values of the C library's pow.
  if (y == 0.0 || x == 1.0) return 1.0;
  if (x != x || y != y) return kNaN;
  double ax = x < 0 ? -x : x;
  double ay = y < 0 ? -y : y;
  if (ay == kInfinity) {
    if (ax == 1.0) return 1.0;
    return (ax < 1.0) == (y > 0) ? 0.0 : kInfinity;
  }
  bool signBit = (std::bit_cast<uint64_t>(x) >> 63) != 0;
  bool negative = signBit && isOddInteger(y);  // -0 included
  if (ax == 0.0 || ax == kInfinity) {
    bool large = (ax == 0.0) == (y < 0);
    double magnitude = large ? kInfinity : 0.0;
    return negative ? -magnitude : magnitude;
  }
  if (signBit && !isInteger(y)) return kNaN;
  if (ax == 1.0) return negative ? -1.0 : 1.0;  // x = -1
  if (ay > 0x1p64) return (ax < 1.0) == (y > 0) ? 0.0 : kInfinity;  // an even integer y
  DD t = multiply({y, 0.0}, logarithm(ax));
  double result;
  if (t.hi > 710.0) {
    result = kInfinity;
  } else if (t.hi < -746.0) {
    result = 0.0;
  } else {
    result = exponential(t);
  }
  return negative ? -result : result;
}

double log10(double x) {
  if (x != x) return x;
  if (x == 0.0) return -kInfinity;
  if (x < 0.0) return kNaN;
  if (x == kInfinity) return x;
  DD r = multiply(logarithm(x), kInvLn10);
  return r.hi + r.lo;
}

}  // namespace kv
