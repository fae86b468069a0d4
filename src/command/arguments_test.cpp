#include "command/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::study {
namespace {

ParsedCommand parse(std::vector<const char*> args) {
  args.insert(args.begin(), "kestrovanilque");
  return parseCommand(static_cast<int>(args.size()), args.data());
}

ParsedCommand parseWords(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  return parse(argv);
}

// The option of a row with a value it takes, as written on the command line.
std::vector<std::string> written(const OptionRow& row) {
  const std::string name(row.name);
  switch (row.valueKind()) {
    case ValueKind::Flag:
      return {name};
    case ValueKind::Real:
      return {name, "0.5"};
    case ValueKind::Integer:
      return {name, std::to_string(static_cast<int64_t>(row.low))};
    case ValueKind::Slab:
      return {name, "1/1"};
    case ValueKind::Text:
      break;
  }
  return {name, row.choices.empty() ? "points.csv" : std::string(row.choices.front())};
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

// Every row, declared from the table: its option read from the command line of a study and of a
// merge (with the option it needs), known by its name, and then accepted by the kinds it applies
// to and refused with one line by the others. The help lists it where it applies.
TEST(Arguments, EveryOptionIsReadAndRefusedByItsRow) {
  const ParsedCommand help = parse({"study", "--help"}), mergeHelp = parse({"merge", "--help"});
  for (const OptionRow& row : optionRows()) {
    std::vector<std::string> options = written(row);
    std::vector<std::string> names = {std::string(row.name)};
    if (!row.needs.empty()) {
      const std::vector<std::string> needed = written(*optionRow(row.needs));
      options.insert(options.end(), needed.begin(), needed.end());
      names.emplace_back(row.needs);
    }
    std::vector<std::string> study = {"study", "c.csv"}, merge = {"merge", "a"};
    study.insert(study.end(), options.begin(), options.end());
    merge.insert(merge.end(), options.begin(), options.end());
    if (row.name != "--out") merge.insert(merge.end(), {"--out", "o"});  // a merge needs it
    const ParsedCommand p = parseWords(study);
    ASSERT_TRUE(p.arguments) << row.name << ": " << p.err;
    EXPECT_TRUE(parseWords(merge).arguments) << row.name;
    for (const std::string& name : names) EXPECT_TRUE(p.arguments->has(name)) << name;
    EXPECT_EQ(validate(p.arguments->options, p.arguments->output), std::nullopt) << row.name;
    // An option and the one it needs apply to the same kinds; the first given is named.
    if (!row.needs.empty()) {
      EXPECT_EQ(optionRow(row.needs)->kinds, row.kinds) << row.name;
    }
    const OptionRow& first = *optionRow(p.arguments->given.front());
    for (unsigned k = 0; k <= static_cast<unsigned>(CaseKind::MeshField); ++k) {
      const auto kind = static_cast<CaseKind>(k);
      const std::optional<std::string> refused = refusedOption(kind, p.arguments->given, p.arguments->output.format);
      if (row.applies(kind)) {
        EXPECT_EQ(refused, std::nullopt) << row.name << " for " << caseKindName(kind);
      } else {
        EXPECT_EQ(refused, std::string(first.name) + " applies to " + std::string(first.appliesTo) + ", not to " +
                               std::string(caseKindName(kind)));
      }
    }
    // Every option a command accepts is in its help (a merge reads the others only to refuse them).
    const std::string listed = "\n  " + std::string(row.name) + " ";
    EXPECT_NE(help.out.find(listed), std::string::npos) << row.name;
    EXPECT_EQ(mergeHelp.out.find(listed) != std::string::npos, row.applies(CaseKind::Slabs)) << row.name;
    EXPECT_NE(help.out.find(std::string(row.help)), std::string::npos) << row.name;
  }
  EXPECT_NE(mergeHelp.out.find("--out TEXT REQUIRED         the output folder of the whole field\n"), std::string::npos);
  EXPECT_NE(help.out.find("--out TEXT                  output folder (default: CASE without extension + .study)\n"),
            std::string::npos);
}

// What validate() finds beyond CLI11's checks of each value: --no-csv with --format csv. An option
// without the one it needs stays refused by CLI11, with its message.
TEST(Arguments, TheOptionsAsAWholeAreValidated) {
  const ParsedCommand p = parse({"study", "f.h5", "--no-csv", "--format", "csv"});
  ASSERT_TRUE(p.arguments);
  EXPECT_EQ(validate(p.arguments->options, p.arguments->output),
            (Error{"", 0, "--format csv prints summary.csv, which --no-csv leaves out"}));
  EXPECT_EQ(parse({"study", "c.csv", "--dim", "2"}).err,
            "kestrovanilque study: error: --dim requires --cells\nRun 'kestrovanilque study --help' for the options.\n");
}

// An option that is none of the command's: the closest that is, in one line, whatever else is
// wrong; none when nothing is close (then where the options are explained), nor one that the
// command would refuse (a merge takes no --order).
TEST(Arguments, AnUnknownOptionGetsTheClosestOne) {
  const struct {
    std::vector<const char*> args;
    const char* unknown;
    const char* near;  // nullptr: no option is close
  } cases[] = {
      {{"study", "c.csv", "--oder", "1"}, "--oder", "--order"},
      {{"study", "c.csv", "-order", "1"}, "-order", "--order"},
      {{"study", "--oder"}, "--oder", "--order"},
      {{"study", "c.csv", "--oder=1"}, "--oder", "--order"},
      {{"study", "c.csv", "--target_gci", "0.1"}, "--target_gci", "--target-gci"},
      {{"study", "c.csv", "--interp", "2"}, "--interp", "--interp-degree"},
      {{"study", "c.csv", "--cell", "--dim", "2"}, "--cell", "--cells"},
      {{"merge", "a", "--out", "o", "--no-csb"}, "--no-csb", "--no-csv"},
      {{"merge", "a", "--out", "o", "--oder", "1"}, "--oder", nullptr},
      {{"study", "c.csv", "--colour"}, "--colour", nullptr},
      {{"study", "c.csv", "-x"}, "-x", nullptr},
  };
  for (const auto& c : cases) {
    const ParsedCommand p = parse(c.args);
    const std::string program = std::string("kestrovanilque ") + c.args.front();
    const std::string error = program + ": error: unknown option " + c.unknown;
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.err, c.near ? error + ": did you mean " + c.near + "?\n"
                            : error + "\nRun '" + program + " --help' for the options.\n");
  }
  // What is no option: a negative value, standard input, an extra positional argument.
  EXPECT_EQ(parse({"study", "c.csv", "--noise", "-1"}).err.find("unknown"), std::string::npos);
  EXPECT_TRUE(parse({"study", "-", "--order", "1"}).arguments);
  EXPECT_EQ(parse({"study", "c.csv", "d.csv"}).err,
            "kestrovanilque study: error: The following argument was not expected: d.csv\n"
            "Run 'kestrovanilque study --help' for the options.\n");
}

// The program as a whole: its help (the commands, one line each, and the classic run without
// arguments), and an unknown command or option refused with the closest one and the help.
TEST(Arguments, TheTopLevelHelpsWithUnknownCommands) {
  const auto top = [](std::vector<const char*> args) {
    args.insert(args.begin(), "kestrovanilque");
    return parseTopLevel(static_cast<int>(args.size()), args.data());
  };
  const ParsedCommand help = top({"-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(top({"--help", "study"}).out, help.out);
  EXPECT_EQ(help.out.rfind("Usage: kestrovanilque", 0), 0u);
  for (const char* line : {"\n  study CASE [OPTIONS] ", "\n  merge SLAB_DIR... --out DIR ", "\nWithout arguments: the classic interactive run",
                           "\n  -h, --help ", "\n  --version "}) {
    EXPECT_NE(help.out.find(line), std::string::npos) << line;
  }
  const struct {
    std::vector<const char*> args;
    const char* first;  // the line before the help
  } cases[] = {
      {{"stdy", "x.csv"}, "kestrovanilque: error: unknown command 'stdy': did you mean 'study'?"},
      {{"x.csv", "--order", "1"}, "kestrovanilque: error: unknown command 'x.csv': did you mean 'kestrovanilque study x.csv'?"},
      {{"report"}, "kestrovanilque: error: unknown command 'report'"},
      {{"--verison"}, "kestrovanilque: error: unknown option --verison: did you mean --version?"},
      {{"-"}, "kestrovanilque: error: unknown command '-'"},
  };
  for (const auto& c : cases) {
    const ParsedCommand p = top(c.args);
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, std::string(c.first) + "\n" + help.out);
  }
}

}  // namespace
}  // namespace kv::study
