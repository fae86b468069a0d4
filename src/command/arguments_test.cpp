#include "command/arguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv::study {
namespace {

ParsedCommand parse(std::vector<const char*> args) {
  args.insert(args.begin(), "kestrovanilque");
  return parseCommand(static_cast<int>(args.size()), args.data());
}

TEST(Arguments, SlabArgument) {
  EXPECT_EQ(parseSlab("3/8"), (Slab{3, 8}));
  EXPECT_EQ(parseSlab("1/1"), (Slab{1, 1}));
  for (const char* bad : {"0/4", "5/4", "3", "3/", "/4", "-1/4", "+1/4", "1/4x", "a/b", "1.5/4", ""}) {
    EXPECT_EQ(parseSlab(bad), std::nullopt) << bad;
  }
}

// Values at and past the edges of each option: accepted inside, refused (exit 2, one message
// naming the option) outside; nan and inf are never a value.
TEST(Arguments, OptionValuesAtTheirEdges) {
  const struct {
    std::vector<const char*> args;
    bool accepted;
  } cases[] = {
      {{"study", "c.csv", "--order", "2"}, true},       {{"study", "c.csv", "--order", "0"}, false},
      {{"study", "c.csv", "--order", "nan"}, false},    {{"study", "c.csv", "--order", "inf"}, false},
      {{"study", "c.csv", "--order", "1e-9"}, true},    {{"study", "c.csv", "--order", "100"}, false},
      {{"study", "c.csv", "--fs", "nan"}, false},       {{"study", "c.csv", "--fs", "-1"}, false},
      {{"study", "c.csv", "--fs", "1.25"}, true},       {{"study", "c.csv", "--target-gci", "1"}, false},
      {{"study", "c.csv", "--target-gci", "0.5"}, true}, {{"study", "c.csv", "--target-gci", "NaN"}, false},
      {{"study", "c.csv", "--plot-timeout", "0"}, false}, {{"study", "c.csv", "--plot-timeout", "0.5"}, true},
      {{"study", "c.csv", "--threads", "0"}, false},    {{"study", "c.csv", "--threads", "2"}, true},
      {{"study", "c.csv", "--slab", "2/2"}, true},      {{"study", "c.csv", "--slab", "3/2"}, false},
      {{"study", "c.csv", "--cells"}, false},           {{"study", "c.csv", "--cells", "--dim", "4"}, false},
      {{"study", "c.csv", "--cells", "--dim", "3"}, true}, {{"study"}, false},
      {{"merge", "a", "b"}, false},                     {{"merge", "a", "b", "--out", "c"}, true},
  };
  for (const auto& c : cases) {
    const ParsedCommand p = parse(c.args);
    EXPECT_EQ(p.arguments.has_value(), c.accepted) << c.args.back() << ": " << p.err.substr(0, p.err.find('\n'));
    if (!c.accepted) {
      EXPECT_EQ(p.status, 2);
    }
  }
  EXPECT_EQ(parse({"study", "c.csv", "--order", "nan"}).err,
            "kestrovanilque study: error: --order: the theoretical order: a number above 0 and below 100, not nan\n"
            "Run 'kestrovanilque study --help' for the options.\n");
}

TEST(Arguments, TheGivenOptionsAreKnownByTheirNames) {
  const ParsedCommand p = parse({"study", "--threads", "2", "f.h5", "--no-least-squares", "--order", "1"});
  ASSERT_TRUE(p.arguments);
  EXPECT_EQ(p.arguments->caseFile, "f.h5");
  EXPECT_EQ(p.arguments->options.threads, 2u);
  EXPECT_FALSE(p.arguments->options.leastSquares);
  EXPECT_EQ(p.arguments->options.order, 1.0);
  EXPECT_TRUE(p.arguments->has("--threads") && p.arguments->has("--no-least-squares") && !p.arguments->has("--fs"));
  const ParsedCommand help = parse({"study", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--plot-timeout", "--no-least-squares", "--slab", "--no-csv", "--threads", "--target-gci"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  // A merge keeps its slabs' settings: its help shows only what a merge takes.
  const ParsedCommand mergeHelp = parse({"merge", "--help"});
  for (const char* option : {"--order", "--threads", "--fs", "--noise", "--field", "--at", "--time-order"}) {
    EXPECT_EQ(mergeHelp.out.find(option), std::string::npos) << option;
  }
  for (const char* option : {"--out", "--no-csv", "--strict", "--format"}) {
    EXPECT_NE(mergeHelp.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace kv::study
