#include "command/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
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
    if (!listedInHelp(row, a.command)) option->group("");
  }
  for (const OptionRow& row : optionRows()) {
    if (!row.needs.empty()) app.get_option(std::string(row.name))->needs(app.get_option(std::string(row.needs)));
  }
  if (merge) app.get_option("--out")->required();
}

}  // namespace

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
  return !row.hidden && (command != Arguments::Command::Merge || row.applies(CaseKind::Slabs));
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
    // One line naming the option, then where the options are explained (not all of them again).
    parsed.err = name + ": error: " + e.what() + "\nRun '" + name + " --help' for the options.\n";
    return parsed;
  }
  for (const CLI::Option* option : app.get_options()) {
    if (option->count() > 0 && !option->get_lnames().empty()) a.given.push_back("--" + option->get_lnames().front());
  }
  parsed.arguments = std::move(a);
  return parsed;
}

}  // namespace kv::study
