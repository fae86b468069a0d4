#include "command/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <type_traits>
#include <variant>

namespace kv::study {

namespace {

// The option of a row, declared to CLI11: its name, help, default, value check and the option it
// needs come from the row.
CLI::Option* addOption(CLI::App& app, const OptionRow& row, Arguments& a) {
  const std::string help = optionHelp(row, a.command);
  auto checked = [&row](const std::string& name) {
    return CLI::Validator([&row](std::string& text) { return textRefusal(row, text); }, name);
  };
  return std::visit(
      [&](auto target) -> CLI::Option* {
        auto& member = optionMember(target, a.options, a.output);
        using T = std::remove_cvref_t<decltype(member)>;
        if constexpr (std::is_same_v<T, bool>) {
          if (row.flagValue) return app.add_flag(std::string(row.name), member, help);
          return app.add_flag(std::string(row.name), [&member](int64_t) { member = false; }, help);
        } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) {
          return app.add_option(std::string(row.name), member, help)->check(checked(""));
        } else if constexpr (std::is_integral_v<T>) {
          return app.add_option(std::string(row.name), member, help)
              ->check(CLI::Range(static_cast<T>(row.low), static_cast<T>(row.high)));
        } else if constexpr (std::is_same_v<T, std::string>) {
          CLI::Option* option = app.add_option(std::string(row.name), member, help);
          if (!row.choices.empty()) option->check(CLI::IsMember(std::vector<std::string>(row.choices.begin(), row.choices.end())));
          return option;
        } else {
          return app
              .add_option_function<std::string>(
                  std::string(row.name), [&member](const std::string& text) { member = parseSlab(text); }, help)
              ->check(checked("I/N"));
        }
      },
      row.target);
}

void addOptions(CLI::App& app, Arguments& a) {
  const bool merge = a.command == Arguments::Command::Merge;
  const std::string operand(operandHelp(a.command));
  if (merge) {
    app.add_option("SLAB_DIR", a.slabFolders, operand)->required();
  } else {
    app.add_option("CASE", a.caseFile, operand)->required();
  }
  for (const OptionRow& row : optionRows()) {
    CLI::Option* option = addOption(app, row, a);
    // A merge keeps the settings of its slabs: its help lists only what applies to it (the others
    // are read, then refused with what they apply to).
    if (!listedInHelp(row, a.command)) option->group("");
  }
  for (const OptionRow& row : optionRows()) {
    if (!row.needs.empty()) app.get_option(std::string(row.name))->needs(app.get_option(std::string(row.needs)));
  }
  if (merge) app.get_option("--out")->required();
}


// Edits (insertions, deletions, substitutions, swaps of two neighbours) that make `a` into `b`.
size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::string_view withoutDashes(std::string_view word) {
  while (!word.empty() && word.front() == '-') word.remove_prefix(1);
  return word;
}

// An argument that is meant as an option: a dash and a letter ("-1", a value, and "-", standard
// input, are not).
bool optionLike(std::string_view word) {
  const std::string_view name = withoutDashes(word);
  return name.size() < word.size() && !name.empty() && std::isalpha(static_cast<unsigned char>(name.front()));
}

// The usage of the program as a whole: the two commands, and the classic run without arguments.
constexpr std::string_view kTopLevelHelp =
    "Usage: kestrovanilque [COMMAND [ARGUMENTS...]]\n"
    "Grid-convergence verification of quantities computed on a sequence of refined grids.\n"
    "\n"
    "Without arguments: the classic interactive run, in the folder of a case. It reads\n"
    "Kestrovanilque.in (the name of the main data file), the main data file, the grid files and\n"
    "the exact-solution file, opens the editor on the input files first and on the listing at the\n"
    "end, and writes the listing, the plot data files (.dat) and the plot scripts (.gnu).\n"
    "\n"
    "Commands:\n"
    "  study CASE [OPTIONS]         study every quantity or point of a case, in batch (study --help)\n"
    "  merge SLAB_DIR... --out DIR  join the outputs of the slabs of an HDF5 job array (merge --help)\n"
    "\n"
    "Options:\n"
    "  -h, --help                   this text\n"
    "  --version                    the version\n";

constexpr std::string_view kCommands[] = {"study", "merge"};
constexpr std::string_view kTopLevelOptions[] = {"--help", "--version"};

// The options a command takes, by their long names.
std::vector<std::string_view> commandOptions(Arguments::Command command) {
  std::vector<std::string_view> names;
  for (const OptionRow& row : optionRows()) {
    if (command == Arguments::Command::Study || row.applies(CaseKind::Slabs)) names.push_back(row.name);
  }
  names.emplace_back("--help");
  return names;
}

// The first argument CLI11 left over that is meant as an option, in the order given.
std::optional<std::string> unknownOption(const CLI::App& app, int argc, const char* const* argv) {
  const std::vector<std::string> extras = app.remaining();
  for (int k = 2; k < argc; ++k) {
    const std::string_view word(argv[k]);
    if (word == "--") break;
    const std::string option(word.substr(0, word.find('=')));
    if (!optionLike(option)) continue;
    if (std::find(extras.begin(), extras.end(), std::string(word)) != extras.end() ||
        std::find(extras.begin(), extras.end(), option) != extras.end()) {
      return option;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string_view> closestName(std::string_view given, std::span<const std::string_view> names) {
  const std::string_view word = withoutDashes(given);
  if (word.empty()) return std::nullopt;
  std::optional<std::string_view> best;
  size_t bestDistance = 0;
  for (std::string_view name : names) {
    const std::string_view bare = withoutDashes(name);
    size_t distance = editDistance(word, bare);
    // A beginning of the name (--interp for --interp-degree) is as close as a slip of the finger.
    const bool start = word.size() >= 3 && bare.substr(0, word.size()) == word;
    if (distance > std::max<size_t>(1, bare.size() / 3) && !start) continue;
    if (start) distance = std::min<size_t>(distance, 1);
    if (!best || distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

ParsedCommand parseTopLevel(int argc, const char* const* argv) {
  ParsedCommand parsed;
  const std::string_view word = argc > 1 ? std::string_view(argv[1]) : std::string_view();
  if (word == "-h" || word == "--help") {
    parsed.out = kTopLevelHelp;
    return parsed;
  }
  if (word == "--version") {
    parsed.out = "kestrovanilque " KV_VERSION "\n";
    return parsed;
  }
  parsed.status = 2;
  const bool option = optionLike(word);
  // Options bare, as every message names them; a command quoted.
  std::string message = option ? "kestrovanilque: error: unknown option " + std::string(word)
                               : "kestrovanilque: error: unknown command '" + std::string(word) + "'";
  if (auto near = option ? closestName(word, kTopLevelOptions) : closestName(word, kCommands)) {
    message += ": did you mean " + (option ? std::string(*near) : "'" + std::string(*near) + "'") + "?";
  } else if (!option && word.find_first_of("./") != std::string_view::npos) {
    // A case given without its command.
    message += ": did you mean 'kestrovanilque study " + std::string(word) + "'?";
  }
  parsed.err = message + "\n" + std::string(kTopLevelHelp);
  return parsed;
}

std::string_view programName(Arguments::Command command) {
  return command == Arguments::Command::Merge ? "kestrovanilque merge" : "kestrovanilque study";
}

std::string_view commandSummary(Arguments::Command command) {
  return command == Arguments::Command::Merge
             ? "Joins the output folders of the slabs of a job array (study FIELD.h5 --slab I/N) into the outputs "
               "of one run over the whole field."
             : "Grid-convergence study of every quantity or point of a case: the standard procedure (Celik et al. "
               "2008) on the three finest grids, six uncertainty estimates and, for a table, the classic series "
               "over all grids. Writes summary.csv, study.json and report.html.";
}

std::string_view operandHelp(Arguments::Command command) {
  return command == Arguments::Command::Merge
             ? "the output folders of every slab (study FIELD.h5 --slab I/N), in any order"
             : "CSV table (h or cells, then one column per quantity; - reads standard input), field table (h,file: "
               "point files, or grid files with coordinates), space-time table of runs (h,dt, then one column per "
               "quantity), classic main data file, or HDF5 field";
}

bool listedInHelp(const OptionRow& row, Arguments::Command command) {
  // A merge keeps the settings of its slabs: its help lists only what applies to it.
  return command != Arguments::Command::Merge || row.applies(CaseKind::Slabs);
}

std::string optionHelp(const OptionRow& row, Arguments::Command command) {
  if (command == Arguments::Command::Merge && row.name == "--out") return "the output folder of the whole field";
  std::string help(row.help);
  if (!row.byDefault.empty()) help += " (default: " + std::string(row.byDefault) + ")";
  return help;
}

bool Arguments::has(std::string_view option) const {
  return std::find(given.begin(), given.end(), option) != given.end();
}

ParsedCommand parseCommand(int argc, const char* const* argv) {
  ParsedCommand parsed;
  Arguments a;
  a.command = argc > 1 && std::string_view(argv[1]) == "merge" ? Arguments::Command::Merge : Arguments::Command::Study;
  const std::string name(programName(a.command));
  CLI::App app{std::string(commandSummary(a.command)), name};
  addOptions(app, a);
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::CallForHelp&) {
    parsed.out = app.help();
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.status = 2;
    // An option that is no option of the command, whatever else went wrong (a misspelt --cells
    // leaves --dim without it): the closest option that is, in one line.
    const std::optional<std::string> unknown = unknownOption(app, argc, argv);
    if (unknown) {
      const std::vector<std::string_view> names = commandOptions(a.command);
      if (const auto near = closestName(*unknown, names)) {
        parsed.err = name + ": error: unknown option " + *unknown + ": did you mean " + std::string(*near) + "?\n";
        return parsed;
      }
    }
    // One line naming the option, then where the options are explained (not all of them again).
    const std::string what = unknown ? "unknown option " + *unknown : std::string(e.what());
    parsed.err = name + ": error: " + what + "\nRun '" + name + " --help' for the options.\n";
    return parsed;
  }
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 0 && !option->get_lnames().empty()) a.given.push_back("--" + option->get_lnames().front());
  }
  parsed.arguments = std::move(a);
  return parsed;
}

}  // namespace kv::study
