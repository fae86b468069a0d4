#include "estimation/order_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

namespace kv {
namespace {

// S with its minimum at `at`: found to the golden-section tolerance inside the bracket, exactly
// the bracket's end beyond it, by either scan, with or without the final interval's middle; and
// where S is flat, the first scanned order (the scan wins ties).
TEST(OrderSearch, FindsTheMinimumOrTheBracketEnd) {
  for (const OrderScan& scan : {OrderScan::evenly(401), OrderScan::stepping(0.05)}) {
    for (bool middle : {false, true}) {
      for (double at : {2.37, 0.6180339, 19.99, 35.0, -1.0, std::nan("")}) {
        auto s = [&](double p) { return std::isnan(at) ? 1.0 : (p - at) * (p - at); };
        const ScannedMinimum found = searchOrder(
            scan, [&](std::size_t, double p) { return s(p); }, s, middle);
        const double end = at > kOrderMax ? kOrderMax : kOrderMin;
        if (at > kOrderMin && at < kOrderMax) {
          EXPECT_NEAR(found.best.p, at, 3e-9);
        } else {
          EXPECT_TRUE(found.fromScan && found.best.p == end && atBracketEnd(end)) << at;
        }
      }
    }
  }
}

// The scans' orders are the bits the estimates were made with: running sums of the step drift
// from kOrderMin + k step, and both scans end on 20 exactly.
TEST(OrderSearch, ScansPlaceTheirOrders) {
  EXPECT_EQ(OrderScan::evenly(401).order(400), kOrderMax);
  EXPECT_EQ(OrderScan::evenly(401).order(2), kOrderMin + 2 * ((kOrderMax - kOrderMin) / 400));
  const OrderScan stepped = OrderScan::stepping(0.05);
  EXPECT_EQ(stepped.points, 401u);
  EXPECT_EQ(OrderScan::stepping(0.1).points, 201u);
  EXPECT_EQ(stepped.order(2), kOrderMin + 0.05 + 0.05);
  EXPECT_NE(stepped.order(2), kOrderMin + 0.05 * 2);
  EXPECT_EQ(stepped.orders()[399], stepped.order(399));
  EXPECT_EQ(stepped.orders().back(), kOrderMax);
}

}  // namespace
}  // namespace kv
