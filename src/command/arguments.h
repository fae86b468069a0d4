// The command lines of `kestrovanilque study CASE [options]` and `kestrovanilque merge
// SLAB_DIR... --out DIR [options]`: one parser (CLI11) and one set of arguments for both. Every
// option is declared from its row in the table of study/options.h, which also says to which kinds
// of case it applies.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "study/options.h"

namespace kv::study {

struct Arguments {
  enum class Command : uint8_t { Study, Merge };
  Command command = Command::Study;
  std::string caseFile;                  // study: the CASE
  std::vector<std::string> slabFolders;  // merge: the SLAB_DIRs
  StudyOptions options;                  // what is computed
  OutputOptions output;                  // what is written and shown
  // The options given, by their long name ("--cells", ...), in the order given.
  std::vector<std::string> given;

  bool has(std::string_view option) const;
};

// What the parse gave: the arguments, or the exit status and what to print (help, an error).
struct ParsedCommand {
  std::optional<Arguments> arguments;
  int status = 0;
  std::string out;  // for standard output (help)
  std::string err;  // for standard error
};

// argv[1] is "study" or "merge". An option that is none of the command's is refused with the
// closest one that is ("did you mean '--order'?"), where one is close.
ParsedCommand parseCommand(int argc, const char* const* argv);

// The command line whose argv[1] is no command: -h or --help (the help of the program as a whole:
// its commands, and the classic run without arguments), --version, or anything else, refused
// (status 2) with the closest command or option where one is close, then the help.
ParsedCommand parseTopLevel(int argc, const char* const* argv);

// The name of `names` closest to `given` (leading dashes aside): a few slips of the finger away
// (one per three letters of the name, one at least), or one the given word begins; none when no
// name is that close. The first of equally close names.
std::optional<std::string_view> closestName(std::string_view given, std::span<const std::string_view> names);

// The program's name in messages: "kestrovanilque study", "kestrovanilque merge".
std::string_view programName(Arguments::Command command);

// What --help says: of the command, of its operand (CASE, SLAB_DIR) and of an option (its help
// and default); and whether it lists the option (for a merge, only those that apply to a merge
// of slabs). The man page and the bash completion say the same
// (command/manual.h).
std::string_view commandSummary(Arguments::Command command);
std::string_view operandHelp(Arguments::Command command);
bool listedInHelp(const OptionRow& row, Arguments::Command command);
std::string optionHelp(const OptionRow& row, Arguments::Command command);

}  // namespace kv::study
