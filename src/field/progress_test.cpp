#include "field/progress.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kv::field {
namespace {

TEST(ProgressLine, SaysPointsRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine::text(1200000, 0.5, 250, 1000),
            "  1200000 points  2.4 M points/s  about 2 s left");
  EXPECT_EQ(ProgressLine::text(1500, 1.0, 0, 1000), "  1500 points  1.5 k points/s");
  EXPECT_EQ(ProgressLine::text(10, 0.0, 10, 0), "  10 points  0.0 points/s");
}

TEST(ProgressLine, WritesNothingWhenDisabled) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  {
    ProgressLine line(false, 100, stream);
    line.update(5, 50);
    line.finish();
  }
  EXPECT_EQ(std::ftell(stream), 0);
  std::fclose(stream);
}

}  // namespace
}  // namespace kv::field
