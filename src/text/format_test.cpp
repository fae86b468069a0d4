#include "text/format.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv {
namespace {

class Collect final : public RecordSink {
 public:
  void putRecord(std::string_view record) override { records.emplace_back(record); }
  std::vector<std::string> records;
};

std::vector<std::string> run(std::string_view format, std::vector<FormatItem> items) {
  Collect sink;
  Format(format).execute(items, sink);
  return sink.records;
}

std::string one(std::string_view format, std::vector<FormatItem> items) {
  std::vector<std::string> records = run(format, std::move(items));
  EXPECT_EQ(records.size(), 1u) << format;
  return records.empty() ? "" : records[0];
}

using Records = std::vector<std::string>;

TEST(Format, PositioningAndLiterals) {
  EXPECT_EQ(run("(/,T3,'h',T15,'Th')", {}), (Records{"", "  h           Th"}));
  EXPECT_EQ(one("(1PE12.4,22X,1PE22.14)", {0.5, 0.25}),
            "  5.0000E-01" + std::string(22, ' ') + "  2.50000000000000E-01");
  EXPECT_EQ(one("(T5,'b',T2,'a')", {}), " a  b");
  EXPECT_EQ(one("('abc',TL2,'X',TR2,'Y')", {}), "aXc Y");
  // Positioning alone never lengthens a record.
  EXPECT_EQ(one("('a',10X)", {}), "a");
}

TEST(Format, LiteralsAreLatin1AndQuotesDouble) {
  EXPECT_EQ(one("('título = ',A)", {"x"}), "t\xEDtulo = x");
  EXPECT_EQ(run("('set title ''',A,/,'replot')", {"Cavity flow (6/1/2026)'"}),
            (Records{"set title 'Cavity flow (6/1/2026)'", "replot"}));
  EXPECT_EQ(one("(\"it\"\"s\")", {}), "it\"s");
}

TEST(Format, TextDescriptors) {
  EXPECT_EQ(one("(A12)", {"abcdefghijkl"}), "abcdefghijkl");
  EXPECT_EQ(one("(A)", {std::string(50, ' ').replace(0, 3, "g.d")}),
            "g.d" + std::string(47, ' '));
  EXPECT_EQ(one("(A5)", {"ab"}), "   ab");
  EXPECT_EQ(one("(A2)", {"abc"}), "ab");
}

TEST(Format, IntegerDescriptors) {
  EXPECT_EQ(one("(I2)", {-5}), "-5");
  EXPECT_EQ(one("(I2)", {7}), " 7");
  EXPECT_EQ(one("(I2)", {-10}), "**");
  EXPECT_EQ(one("(I2)", {101}), "**");
  EXPECT_EQ(one("(1PE12.4,I8)", {-0.5, 2}), " -5.0000E-01       2");
}

TEST(Format, StopsAtADataDescriptorWithoutItem) {
  // What stands before the stop is still done: the closing parenthesis follows the text.
  EXPECT_EQ(one("('pE(Th) - pL(',A,')')", {"2"}), "pE(Th) - pL(2)");
  EXPECT_EQ(one("(1PE12.4,1PE22.14,22X,1PE22.14)", {0.125}), "  1.2500E-01");
  EXPECT_EQ(one("(1PE12.4,1PE22.14,22X,1PE22.14)", {0.125, 1.75}),
            "  1.2500E-01  1.75000000000000E+00");
  EXPECT_EQ(one("(1PE12.4,'x')", {}), "");
  EXPECT_EQ(one("('a',I4)", {}), "a");
}

TEST(Format, ReversionRepeatsTheLastOuterGroup) {
  std::vector<FormatItem> items;
  items.push_back(1.0);
  for (int i = 0; i < 45; ++i) items.push_back(2.0);
  Records records = run("(1PE12.4,30(1PE22.14))", items);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 12u + 30 * 22);
  EXPECT_EQ(records[1].size(), 15u * 22);
  EXPECT_EQ(records[1].substr(0, 22), "  2.00000000000000E+00");
  // Without a group the whole format is repeated.
  EXPECT_EQ(run("(I2,I3)", {1, 2, 3}), (Records{" 1  2", " 3"}));
  // A group's repeat count applies again on reversion.
  EXPECT_EQ(run("(I1,2(I2))", {1, 2, 3, 4, 5, 6}), (Records{"1 2 3", " 4 5", " 6"}));
  // An exactly used-up format ends without an empty extra record.
  EXPECT_EQ(run("(I2,I3)", {1, 2}), (Records{" 1  2"}));
}

TEST(Format, SlashEndsRecords) {
  EXPECT_EQ(run("(/,2X,A)", {"h  Th"}), (Records{"", "  h  Th"}));
  EXPECT_EQ(run("(I1,2/,I1)", {1, 2}), (Records{"1", "", "2"}));
  EXPECT_EQ(run("(I1/I1)", {1, 2}), (Records{"1", "2"}));
}

TEST(Format, RepeatCountsOnDescriptors) {
  EXPECT_EQ(one("(3I2)", {1, 2, 3}), " 1 2 3");
  EXPECT_EQ(one("(2(1PE13.4))", {1.0, 2.0}), "   1.0000E+00   2.0000E+00");
}

TEST(Format, ScaleFactorsOfEitherSign) {
  EXPECT_EQ(one("(-1PE12.4)", {1234.5}), "  0.0123E+05");
  EXPECT_EQ(one("(0PE11.4,2PE12.4)", {-0.03125, 0.03125}), "-0.3125E-01  31.250E-03");
  EXPECT_THROW(Format{"(-1X)"}, std::invalid_argument);
}

TEST(Format, InfinityFillsItsWholeFieldAtTheEndOfARecord) {
  EXPECT_EQ(one("(1PE12.4)", {std::numeric_limits<double>::infinity()}), " Infinity   ");
}

TEST(Format, MalformedFormatsAreRejected) {
  for (const char* text : {"", "1PE12.4", "(E12)", "(Q3)", "('abc)", "(I2", "(I2)x", "(I2 I3)"}) {
    EXPECT_THROW(Format{text}, std::invalid_argument) << text;
  }
  // Groups nest 32 deep at most.
  auto nested = [](int depth) {
    return "(" + std::string(depth, '(') + "I1" + std::string(depth, ')') + ")";
  };
  EXPECT_EQ(one(nested(32), {7}), "7");
  EXPECT_THROW(Format{nested(33)}, std::invalid_argument);
}

TEST(WriteToField, FirstRecordPaddedOrCut) {
  Format i2("(I2)");
  EXPECT_EQ(writeToField(i2, {2}, 2), " 2");
  EXPECT_EQ(writeToField(i2, {101}, 2), "**");
  EXPECT_EQ(writeToField(Format("(A)"), {"(6/1/2026)"}, 12), "(6/1/2026)  ");
  EXPECT_EQ(writeToField(Format("(A)"), {"abcdef"}, 3), "abc");
}

}  // namespace
}  // namespace kv
