#include "text/list_directed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "text/record_writer.h"

namespace kv {
namespace {

ListDirectedReader reader(std::string content) {
  return ListDirectedReader::fromText(kInputUnit, "main.dat", std::move(content));
}

TEST(ListDirected, CommentTextAfterValuesIsSkipped) {
  ListDirectedReader in = reader("3      = variable number\r\nlist.txt  listing\r\n2.5e-3 tol\n");
  int32_t n = 0;
  std::string name;
  double tolerance = 0;
  in.read({InputItem::integer(n)});
  in.read({InputItem::text(name, 50)});
  in.read({InputItem::real(tolerance)});
  EXPECT_EQ(n, 3);
  EXPECT_EQ(name, "list.txt" + std::string(42, ' '));
  EXPECT_EQ(tolerance, 2.5e-3);
}

TEST(ListDirected, RealForms) {
  struct Case {
    const char* text;
    double value;
  };
  for (Case c : {Case{"1", 1.0}, Case{"1.5", 1.5}, Case{".5", 0.5}, Case{"1.5E-3", 1.5e-3},
                 Case{"1.5D-3", 1.5e-3}, Case{"1.5e-3", 1.5e-3}, Case{"1.5d+3", 1500.0},
                 Case{"-2.", -2.0}, Case{"+4", 4.0}, Case{"1.5-3", 1.5e-3},
                 Case{"0.1", 0.1}, Case{"-Infinity", -INFINITY}}) {
    ListDirectedReader in = reader(c.text);
    double value = 0;
    in.read({InputItem::real(value)});
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ListDirected, SeparatorsBlanksTabsCommasAndRecordEnds) {
  ListDirectedReader in = reader("1\t 2 ,3\n\n  4,\n5 6\n");
  int32_t a = 0, b = 0, c = 0, d = 0, e = 0;
  in.read({InputItem::integer(a), InputItem::integer(b), InputItem::integer(c),
           InputItem::integer(d), InputItem::integer(e)});
  EXPECT_EQ((std::vector<int>{a, b, c, d, e}), (std::vector<int>{1, 2, 3, 4, 5}));
  // The read took the rest of record 4; the next read starts after it.
  EXPECT_DEATH(in.read({InputItem::integer(a)}), "end-of-file during read, unit 7, file main.dat");
}

TEST(ListDirected, SlashEndsTheReadAndNullValuesKeepVariables) {
  ListDirectedReader in = reader("1 / 2\n,,7\n5,,9\n");
  int32_t a = -1, b = -1, c = -1;
  in.read({InputItem::integer(a), InputItem::integer(b)});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, -1);
  in.read({InputItem::integer(a), InputItem::integer(b), InputItem::integer(c)});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, 7);
  in.read({InputItem::integer(a), InputItem::integer(b), InputItem::integer(c)});
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, 9);
}

TEST(ListDirected, Names) {
  struct Case {
    const char* text;
    const char* value;
  };
  for (Case c : {Case{"'Test case 1'", "Test case 1"}, Case{"Test case 1", "Test"},
                 Case{"'  g1.dat'", "  g1.dat"}, Case{"\"it's\"", "it's"},
                 Case{"'it''s'", "it's"}, Case{"\"say \"\"hi\"\"\"", "say \"hi\""},
                 Case{"'abc'def", "abc"}, Case{"2*x.txt", "2*x.txt"}, Case{"a,b", "a"},
                 Case{"a/b", "a"}, Case{"'a/b, c'", "a/b, c"}, Case{"'two\r\nlines'", "twolines"},
                 Case{"caf\xE9.dat", "caf\xE9.dat"}}) {
    ListDirectedReader in = reader(c.text);
    std::string name;
    in.read({InputItem::text(name, 12)});
    EXPECT_EQ(name, std::string(c.value).append(12 - std::string(c.value).size(), ' ')) << c.text;
  }
}

TEST(ListDirected, LongTextKeepsItsFirstCharacters) {
  ListDirectedReader in = reader(std::string(95, 'x'));
  std::string title;
  in.read({InputItem::text(title, 90)});
  EXPECT_EQ(title, std::string(90, 'x'));
}

TEST(ListDirected, TwoValuesAcrossRecords) {
  ListDirectedReader in = reader("1\n  2.5   the value\n3 0.5\n");
  int32_t index = 0;
  double value = 0;
  in.read({InputItem::integer(index), InputItem::real(value)});
  EXPECT_EQ(index, 1);
  EXPECT_EQ(value, 2.5);
  in.read({InputItem::integer(index), InputItem::real(value)});
  EXPECT_EQ(index, 3);
  EXPECT_EQ(value, 0.5);
}

TEST(ListDirected, SkipRecordConsumesAnyLineAndGivesItsOffset) {
  ListDirectedReader in = reader("set x\r\n\r\n'unbalanced\nlast");
  in.skipRecord();
  EXPECT_EQ(in.nextRecordOffset(), 7u);
  in.skipRecord();
  in.skipRecord();
  EXPECT_EQ(in.nextRecordOffset(), 21u);
  in.skipRecord();
  EXPECT_EQ(in.nextRecordOffset(), in.content().size());
  EXPECT_EXIT(in.skipRecord(), ::testing::ExitedWithCode(24),
              "^kestrovanilque: severe \\(24\\): end-of-file during read, unit 7, file main.dat\n$");
}

struct BadCase {
  const char* text;
  InputItem::Kind kind;
  int status;
  const char* message;
};

class ListDirectedFailure : public ::testing::TestWithParam<BadCase> {};

TEST_P(ListDirectedFailure, EndsTheRunWithItsFatalLine) {
  const BadCase& c = GetParam();
  ListDirectedReader in = reader(c.text);
  int32_t integer = 0;
  double real = 0;
  std::string text;
  InputItem item = c.kind == InputItem::Kind::Integer ? InputItem::integer(integer)
                   : c.kind == InputItem::Kind::Real  ? InputItem::real(real)
                                                      : InputItem::text(text, 50);
  EXPECT_EXIT(in.read({item}), ::testing::ExitedWithCode(c.status),
              std::string("^kestrovanilque: severe \\(") + std::to_string(c.status) +
                  "\\): " + c.message + ", unit 7, file main\\.dat\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListDirectedFailure,
    ::testing::Values(
        BadCase{"", InputItem::Kind::Integer, 24, "end-of-file during read"},
        BadCase{"\n  \n", InputItem::Kind::Real, 24, "end-of-file during read"},
        BadCase{"'never closed\n", InputItem::Kind::Text, 24, "end-of-file during read"},
        BadCase{"abc", InputItem::Kind::Integer, 59, "list-directed I/O syntax error"},
        BadCase{"1*2", InputItem::Kind::Integer, 59, "list-directed I/O syntax error"},
        BadCase{"'3'", InputItem::Kind::Integer, 59, "list-directed I/O syntax error"},
        BadCase{"x1.5", InputItem::Kind::Real, 59, "list-directed I/O syntax error"},
        BadCase{"1.5e", InputItem::Kind::Real, 59, "list-directed I/O syntax error"},
        BadCase{"2.5", InputItem::Kind::Integer, 64, "input conversion error"},
        BadCase{"1e3", InputItem::Kind::Integer, 64, "input conversion error"},
        BadCase{"2147483648", InputItem::Kind::Integer, 64, "input conversion error"},
        BadCase{"1e999", InputItem::Kind::Real, 64, "input conversion error"}));

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST(ListDirected, ThrowingReaderReportsTheFailureAndItsLine) {
  struct Case {
    const char* text;
    int reads;  // reals read before the failing one
    FatalCode code;
    size_t line;
  } cases[] = {
      {"1.0\n2.0\n", 2, FatalCode::EndOfFile, 3},
      {"1.0\n\n  x2\n", 1, FatalCode::ListDirectedSyntax, 3},
      {"1e999\n", 0, FatalCode::InputConversion, 1},
  };
  for (const Case& c : cases) {
    ListDirectedReader in = ListDirectedReader::fromText(kInputUnit, "g.dat", c.text);
    in.throwOnFailure();
    double value = 0;
    for (int k = 0; k < c.reads; ++k) in.read({InputItem::real(value)});
    EXPECT_TRUE(c.code != FatalCode::EndOfFile || in.atEnd());
    try {
      in.read({InputItem::real(value)});
      ADD_FAILURE() << c.text;
    } catch (const ListDirectedError& e) {
      EXPECT_EQ(e.code, c.code) << c.text;
      EXPECT_EQ(e.line, c.line) << c.text;
    }
  }
}

}  // namespace
}  // namespace kv
