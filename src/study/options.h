// The options of a study, whatever front end fills them (the command line, the Python module):
// what is computed (StudyOptions) and what is written and shown (OutputOptions), and the one
// table of them, a row per option (optionRows()). From the rows come the command line's
// declarations (command/arguments.cpp), `study --help` and `merge --help` (every row is listed
// where it applies: an option nobody should see is no row), the man page and the bash completion
// (command/manual.cpp), the refusal of an option that does not apply to the kind of the case,
// validate(), and the keyword arguments of the Python module (python/options.cpp).
//
// Adding an option: give it its member in StudyOptions or OutputOptions (with its default), add
// its row to kRows in options.cpp (where it stands in the table is where it stands in --help),
// then use the member where it acts (the drivers, the study). Its name, help, value and range
// checks, the kinds of case it applies to, its Python keyword, its entry in the man page and its
// completion in bash all come from the row. A check that ties two options together beyond `needs`
// goes into validate().
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/error.h"
#include "cases/kind.h"

namespace kv::study {

inline constexpr double kDefaultPlotTimeout = 120.0;  // seconds

// A slab of a job array: the index-th (1-based) of count.
struct Slab {
  uint64_t index = 1;
  uint64_t count = 1;
  bool operator==(const Slab&) const = default;
};

// "I/N" with 1 <= I <= N; nothing when the text is anything else.
std::optional<Slab> parseSlab(std::string_view text);

// An integer member holds 0 while its option is not given.
struct StudyOptions {
  // Every point.
  std::optional<double> order;      // theoretical order; default: the case's pL, else 2
  std::optional<double> fs;         // safety factor; default: the case's Fs, else by grid count
  std::optional<double> targetGci;  // a GCI_fine21 to reach (a fraction): the grid it needs
  bool leastSquares = true;         // the least-squares estimate (four grids or more)
  std::optional<double> noise;      // the absolute noise level of the values (iterative convergence)
  // The case.
  std::optional<double> timeOrder;  // a space-time table's theoretical order in time
  bool cells = false;               // the first column holds cell counts: h = cells^(-1/dimension)
  int dimension = 0;
  bool field = false;               // a main data file as a field, however few its records
  std::string at;                   // grids that share no points: the study points ("": the coarsest grid's)
  int interpDegree = 0;             // grids that share no points: 1 to 3; 0: from the theoretical order
  // The run.
  unsigned threads = 0;             // 0: all cores
  uint64_t blockPoints = 0;         // points read and computed at a time; 0: the kind's default
  std::optional<Slab> slab;         // an HDF5 field: one slab of a job array
  bool noCsv = false;               // an HDF5 field: summary.h5 without summary.csv
};

struct OutputOptions {
  std::string out;                 // "" for the default folder
  std::string format = "table";    // what standard output shows: table, csv, json, latex, markdown
  bool strict = false;             // exit 1 on a quantity or point that does not converge
  bool noPlots = false;
  double plotTimeout = kDefaultPlotTimeout;
};

// The member an option fills; its type is the option's kind of value: a flag (bool), a real
// number (double), an integer (int, unsigned, uint64_t), a text (std::string; one of `choices`
// when the row has them) or a slab (I/N).
using OptionTarget =
    std::variant<bool StudyOptions::*, std::optional<double> StudyOptions::*, int StudyOptions::*,
                 unsigned StudyOptions::*, uint64_t StudyOptions::*, std::string StudyOptions::*,
                 std::optional<Slab> StudyOptions::*, bool OutputOptions::*, double OutputOptions::*,
                 std::string OutputOptions::*>;

enum class ValueKind : uint8_t { Flag, Real, Integer, Text, Slab };

// The functions of the Python module that take an option's keyword.
enum PythonEntry : uint8_t {
  kNoPython = 0,
  kPythonRead = 1,   // read_case: how the case is read
  kPythonStudy = 2,  // study, study_table, field: what is computed
};

struct OptionRow {
  std::string_view name{};       // "--order"
  std::string_view help{};
  std::string_view byDefault{};  // what holds without the option, for --help ("": nothing to say)
  std::string_view value{};      // what its value is called in the man page ("DIR", "FILE", "P"); a flag or
                                 // a text of `choices` has none (a DIR or FILE completes names)
  OptionTarget target{};
  bool flagValue = true;         // a flag: what it sets its member to (--no-least-squares: false)
  // A real: within (low, high), bounds excluded; an integer: within [low, high].
  double low = 0.0;
  double high = 0.0;
  std::string_view must{};       // a real or a slab: what the value must be, for the message
  std::span<const std::string_view> choices{};  // a text: the values it may take (none: any)
  std::string_view needs{};      // an option that must be given with this one
  uint16_t kinds = 0;            // the case kinds it applies to, a bit per CaseKind
  std::string_view appliesTo{};  // those kinds, in the message that refuses it for another kind
  std::string_view keyword{};    // the Python keyword argument ("": Python does not take it)
  uint8_t python = kNoPython;    // PythonEntry bits: the functions that take the keyword

  ValueKind valueKind() const;
  bool applies(CaseKind kind) const { return (kinds >> static_cast<unsigned>(kind) & 1u) != 0; }
};

// The member a row's target names, in whichever of the two structs holds it.
template <typename T, typename Study, typename Output>
auto& optionMember(T StudyOptions::*target, Study& study, Output&) {
  return study.*target;
}
template <typename T, typename Study, typename Output>
auto& optionMember(T OutputOptions::*target, Study&, Output& output) {
  return output.*target;
}

// Every option, in the order of --help.
std::span<const OptionRow> optionRows();
// The row of an option by its long name ("--order"), or of a Python keyword ("order").
const OptionRow* optionRow(std::string_view name);
const OptionRow* keywordRow(std::string_view keyword);

// Whether an option ("--order") applies to a case kind (the help of a merge lists only those).
bool optionApplies(std::string_view option, CaseKind kind);

// The first of the options `given` (by their long names) that does not apply to `kind`, or a
// --format that does not: the message says to what it applies.
std::optional<std::string> refusedOption(CaseKind kind, std::span<const std::string> given, std::string_view format);

// A value as a front end other than the command line gives it (the Python module): the flag's
// member value, a number, an integer or a text.
using OptionValue = std::variant<bool, double, int64_t, std::string>;

// Checks `value` against the row and sets the row's member to it; else the message, with the
// option named ("--order: the theoretical order: a number above 0 and below 100, not 0"). A flag
// takes a bool (its member's value), a real a double or an integer, an integer an integer, a
// text or a slab a text.
std::optional<std::string> setOption(const OptionRow& row, const OptionValue& value, StudyOptions& study,
                                     OutputOptions& output);

// The message when `text`, given to the real or slab option of `row` on the command line, is not
// one of its values (without the option's name); "" when it is. (CLI11 checks the integers.)
std::string textRefusal(const OptionRow& row, const std::string& text);

// Every value within its range and every combination sound (an option and the one it needs,
// --no-csv and --format csv); the first that is not, with the options named.
std::optional<Error> validate(const StudyOptions& study, const OutputOptions& output);

// A number as messages show it: its shortest decimal form, or nan, inf, -inf.
std::string numberText(double value);

}  // namespace kv::study
