#include "app/session.h"

#include <gtest/gtest.h>

#include "base/text_field.h"

namespace kv {
namespace {

TEST(RunStamp, NumbersWithoutLeadingZerosInFixedFields) {
  struct Case {
    LocalTime now;
    const char* date;
    const char* time;
  };
  for (Case c : {Case{{2026, 1, 6, 9, 5, 7}, "(6/1/2026)  ", "9:5:7   "},
                 Case{{2026, 12, 16, 10, 15, 30}, "(16/12/2026)", "10:15:30"},
                 Case{{2026, 12, 7, 0, 0, 0}, "(7/12/2026) ", "0:0:0   "}}) {
    RunParameters p;
    buildRunStamp(p, c.now);
    EXPECT_EQ(p.runDate, c.date);
    EXPECT_EQ(p.runTime, c.time);
  }
}

TEST(PlotTitle, TrimmedTitleDateAndClosingApostropheIn102Characters) {
  RunParameters p;
  p.title = fixedText("Cavity flow", kTitleLength);
  buildRunStamp(p, LocalTime{2026, 1, 6, 9, 5, 7});
  buildPlotTitle(p);
  EXPECT_EQ(trimmed(p.plotTitle), "Cavity flow (6/1/2026)'");
  EXPECT_EQ(p.plotTitle.size(), kPlotTitleLength);

  p.title = std::string(kTitleLength, 'x');
  buildPlotTitle(p);
  EXPECT_EQ(p.plotTitle, std::string(90, 'x') + " (6/1/2026)'");  // exactly 102 characters
  buildRunStamp(p, LocalTime{2026, 12, 16, 9, 5, 7});
  buildPlotTitle(p);
  EXPECT_EQ(p.plotTitle, std::string(90, 'x') + " (16/12/2026");  // cut at 102
}

}  // namespace
}  // namespace kv
