// The command lines of `kestrovanilque study CASE [options]` and `kestrovanilque merge
// SLAB_DIR... --out DIR [options]`: one parser (CLI11) and one set of arguments for both. Every
// option is read and checked here, in one place, whatever the case; which options apply to which
// kind of case is decided in case_kind.h, again in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/gnuplot.h"
#include "study/study.h"

namespace kv::study {

// A slab of a job array: the index-th (1-based) of count.
struct Slab {
  uint64_t index = 1;
  uint64_t count = 1;
  bool operator==(const Slab&) const = default;
};

// "I/N" with 1 <= I <= N; nothing when the text is anything else.
std::optional<Slab> parseSlab(std::string_view text);

struct Arguments {
  enum class Command : uint8_t { Study, Merge };
  Command command = Command::Study;
  std::string caseFile;                  // study: the CASE
  std::vector<std::string> slabFolders;  // merge: the SLAB_DIRs
  std::string out;                       // "" for the default folder
  std::string format = "table";          // what standard output shows: table, csv, json
  StudyOptions options;                  // --order, --fs, --target-gci, --no-least-squares
  std::optional<double> timeOrder;       // --time-order: a space-time study's p_t,th
  bool cells = false;
  int dimension = 0;
  bool noPlots = false;
  bool strict = false;
  bool field = false;
  unsigned threads = 0;  // 0: all cores
  double plotTimeout = kDefaultPlotTimeout;
  std::optional<Slab> slab;
  bool noCsv = false;
  uint64_t blockPoints = 0;  // 0: the default of the case kind
  std::string at;            // grids that share no points: the file of the study points ("": the coarsest grid's)
  int interpDegree = 0;      // grids that share no points: 1 to 3; 0: from the theoretical order
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

// argv[1] is "study" or "merge".
ParsedCommand parseCommand(int argc, const char* const* argv);

// The program's name in messages: "kestrovanilque study", "kestrovanilque merge".
std::string_view programName(Arguments::Command command);

}  // namespace kv::study
