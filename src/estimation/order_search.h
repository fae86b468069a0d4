// The search for a free order p of a power law in the spacing, phi = phi0 + alpha x^p: the
// bracket of orders, a scan of it, and golden-section search between the scanned minimum's
// neighbours. Least squares (least_squares.h) and the space-time fits (space_time.h) find their
// free orders with it, each minimising its own S(p), the sum of weighted squared residuals.
//
// Every free order lies in the bracket [0.01, 20]: below 0.01 a power of the spacing ratios is
// 1 to within a few per cent, above 20 it is no error expansion a scheme has; a minimum on an
// end of the bracket means that no order inside it fits the data.
//
// The scan places its orders in one of two ways (the estimates depend on every bit of the
// scanned orders, so each caller keeps the one it was made with):
//
//   evenly(points):  order k = 0.01 + k (20 - 0.01) / (points - 1);
//   stepping(step):  order 0 = 0.01, order k = order k-1 + step (each sum rounded), for as
//                    long as the sum stays below 20;
//
// and in both the last order is 20 exactly.
//
// Maths only, in this header: no state, safe from any thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace kv {

inline constexpr double kOrderMin = 0.01;
inline constexpr double kOrderMax = 20.0;
// Golden-section search stops when the interval is below this share of max(1, its lower end).
inline constexpr double kOrderSearchTolerance = 1e-10;

// The minimum of S(p) found on an end of the bracket.
constexpr bool atBracketEnd(double p) { return p == kOrderMin || p == kOrderMax; }

// The orders a scan visits (see the header comment).
struct OrderScan {
  std::size_t points = 0;
  double step = 0.0;
  bool accumulated = false;  // stepping: each order the previous one plus step

  static constexpr OrderScan evenly(std::size_t points) {
    return {points, (kOrderMax - kOrderMin) / static_cast<double>(points - 1), false};
  }
  static constexpr OrderScan stepping(double step) {
    std::size_t points = 1;  // kOrderMax
    for (double p = kOrderMin; p < kOrderMax; p += step) ++points;
    return {points, step, true};
  }

  // Order k; beyond the last, the last (kOrderMax). Takes k additions when accumulated.
  constexpr double order(std::size_t k) const {
    if (k + 1 >= points) return kOrderMax;
    if (!accumulated) return kOrderMin + step * static_cast<double>(k);
    double p = kOrderMin;
    for (std::size_t j = 0; j < k; ++j) p += step;
    return p;
  }

  // visit(k, order k) for every order, first to last.
  template <class Visit>
  constexpr void visit(Visit visit) const {
    double p = kOrderMin;
    for (std::size_t k = 0; k + 1 < points; ++k) {
      visit(k, accumulated ? p : kOrderMin + step * static_cast<double>(k));
      p += step;
    }
    visit(points - 1, kOrderMax);
  }

  std::vector<double> orders() const {
    std::vector<double> out;
    out.reserve(points);
    visit([&](std::size_t, double p) { out.push_back(p); });
    return out;
  }
};

struct OrderMinimum {
  double p = 0.0;
  double s = std::numeric_limits<double>::infinity();  // S(p)
};

// Golden-section search for the minimum of s(p) on [a, b], s evaluated at b - g (b - a) first,
// then at a + g (b - a), g = (sqrt(5) - 1) / 2; the interval keeps the inner point of the
// smaller S (the lower one on a tie) until it is no wider than kOrderSearchTolerance max(1, |a|).
// The result is the inner point of the smaller S (the lower on a tie) or, with `middle`, the
// smallest of S at the middle of the final interval and at its two inner points (the middle,
// then the lower point, winning ties).
template <class S>
OrderMinimum goldenSection(S s, double a, double b, bool middle) {
  constexpr double kRatio = 0.6180339887498949;  // (sqrt(5) - 1) / 2
  double c = b - kRatio * (b - a), d = a + kRatio * (b - a);
  double sc = s(c);
  double sd = s(d);
  while (b - a > kOrderSearchTolerance * std::max(1.0, std::abs(a))) {
    if (sc <= sd) {
      b = d, d = c, sd = sc;
      c = b - kRatio * (b - a);
      sc = s(c);
    } else {
      a = c, c = d, sc = sd;
      d = a + kRatio * (b - a);
      sd = s(d);
    }
  }
  if (!middle) return sc <= sd ? OrderMinimum{c, sc} : OrderMinimum{d, sd};
  const double m = 0.5 * (a + b);
  OrderMinimum best{m, s(m)};
  if (sc < best.s) best = {c, sc};
  if (sd < best.s) best = {d, sd};
  return best;
}

struct ScannedMinimum {
  OrderMinimum best;        // the order found and its S
  std::size_t scanned = 0;  // the scanned order of the smallest S (the first of equal ones)
  bool fromScan = true;     // best is that scanned order: the search found no smaller S
};

// The scan, S at every order by atScanned(k, order k); then golden-section search by at(p)
// between the neighbours of the scanned minimum (the scan's ends where it has none); the
// scanned order wins where its S is no larger.
template <class AtScanned, class At>
ScannedMinimum searchOrder(const OrderScan& scan, AtScanned atScanned, At at, bool middle) {
  ScannedMinimum out;
  out.best.p = kOrderMin;
  scan.visit([&](std::size_t k, double p) {
    const double s = atScanned(k, p);
    if (s < out.best.s) out.best = {p, s}, out.scanned = k;
  });
  const OrderMinimum found = goldenSection(at, scan.order(out.scanned == 0 ? 0 : out.scanned - 1),
                                           scan.order(out.scanned + 1), middle);
  if (found.s < out.best.s) out.best = found, out.fromScan = false;
  return out;
}

}  // namespace kv
