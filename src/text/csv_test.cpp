#include "text/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/number.h"
#include "text/utf8.h"

namespace kv {
namespace {

std::vector<std::string> split(std::string_view line, char delimiter = ',') {
  CsvLine fields;
  fields.split(line, delimiter);
  return {fields.fields().begin(), fields.fields().end()};
}

// The one CSV rule of every CSV input: quotes, blanks, delimiters.
TEST(Csv, OneRuleForQuotesBlanksAndDelimiters) {
  const struct {
    const char* line;
    char delimiter;
    std::vector<std::string> fields;
  } cases[] = {
      {"h,drag,lift", ',', {"h", "drag", "lift"}},
      {"  0.1 ,\t2 ", ',', {"0.1", "2"}},
      {"a,,b,", ',', {"a", "", "b", ""}},
      {"\"Points:0\",\"U:1\"", ',', {"Points:0", "U:1"}},
      {" \"a, b\" ,c", ',', {"a, b", "c"}},
      {"\"say \"\"hi\"\"\",x", ',', {"say \"hi\"", "x"}},
      {"\"unclosed, to the end", ',', {"unclosed, to the end"}},
      {"\"q\"tail,x", ',', {"qtail", "x"}},     // never dropped: as Python's csv and pandas read it
      {"\"a\" b  ;\"c\"  ", ';', {"a b", "c"}},
      {"ab\"c,d", ',', {"ab\"c", "d"}},
      {"1;2,5;3", ';', {"1", "2,5", "3"}},
      {"", ',', {""}},
  };
  for (const auto& c : cases) EXPECT_EQ(split(c.line, c.delimiter), c.fields) << c.line;
  EXPECT_EQ(csvDelimiter("h\tdrag;lift"), '\t');
  EXPECT_EQ(csvDelimiter("h"), ',');
  EXPECT_TRUE(csvKeyword("EXACT", "exact"));
  EXPECT_FALSE(csvKeyword("exacts", "exact"));
}

TEST(Csv, DataLinesSkipCommentsBlanksAndTheByteOrderMark) {
  CsvLines lines("\xEF\xBB\xBF# comment\r\n\r\n  \nh,a\r\n # again\n0.1,1");
  std::string_view line;
  size_t number = 0;
  ASSERT_TRUE(lines.next(line, number));
  EXPECT_EQ(line, "h,a");
  EXPECT_EQ(number, 4u);
  ASSERT_TRUE(lines.next(line, number));
  EXPECT_EQ(line, "0.1,1");
  EXPECT_EQ(number, 6u);
  EXPECT_FALSE(lines.next(line, number));
}

// The decimal grammar of CSV numbers: no Fortran exponents, no sign-only exponent (1.5-3 in a CSV
// is a typing error, not 1.5e-3); out of range told apart from not a number.
TEST(Number, DecimalGrammarAndRange) {
  double x = 0.0;
  EXPECT_EQ(parseReal("1.5e-3", x, NumberGrammar::Decimal), NumberStatus::Ok);
  EXPECT_EQ(parseReal("+2.5E2", x, NumberGrammar::Decimal), NumberStatus::Ok);
  EXPECT_EQ(x, 250.0);
  for (const char* bad : {"1.5D-3", "1.5-3", "1.5Q2", "0,1", "1e", "--1"}) {
    EXPECT_EQ(parseReal(bad, x, NumberGrammar::Decimal), NumberStatus::NotANumber) << bad;
  }
  EXPECT_EQ(parseReal("1.5D-3", x), NumberStatus::Ok);
  EXPECT_EQ(parseReal("1e400", x, NumberGrammar::Decimal), NumberStatus::OutOfRange);
  EXPECT_EQ(parseReal("1D400", x), NumberStatus::OutOfRange);
  int64_t n = 0;
  EXPECT_EQ(parseInteger("99999999999999999999", n), NumberStatus::OutOfRange);
  EXPECT_EQ(parseReal(std::string(300, '1'), x), NumberStatus::Ok);  // no limit on the digits
}

// Valid UTF-8 is kept; anything else is Latin-1, converted byte by byte.
TEST(Utf8, ValidTextIsKeptAndTheRestReadAsLatin1) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"pressure", "pressure"},
      {"press\xc3\xa3o", "press\xc3\xa3o"},
      {"press\xe3o", "press\xc3\xa3o"},
      {"\xff\xfe", "\xc3\xbf\xc3\xbe"},
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},          // an overlong form is not UTF-8
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},  // nor a surrogate
      {"\xe2\x82", "\xc3\xa2\xc2\x82"},          // nor a sequence cut short
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toUtf8(c.in), c.out) << c.in;
    EXPECT_TRUE(isUtf8(toUtf8(c.in)));
  }
}

}  // namespace
}  // namespace kv
