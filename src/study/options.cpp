#include "study/options.h"

#include <charconv>
#include <cmath>
#include <string>
#include <type_traits>

#include "study/quantity_study.h"
#include "text/number.h"

namespace kv::study {

namespace {

constexpr uint16_t bit(CaseKind kind) { return static_cast<uint16_t>(1u << static_cast<unsigned>(kind)); }

constexpr uint16_t kEveryKind = bit(CaseKind::Table) | bit(CaseKind::MainData) | bit(CaseKind::MainDataField) |
                                bit(CaseKind::FieldTable) | bit(CaseKind::Hdf5) | bit(CaseKind::Slabs) |
                                bit(CaseKind::SpaceTime) | bit(CaseKind::MeshField);
constexpr uint16_t kCsv =
    bit(CaseKind::Table) | bit(CaseKind::FieldTable) | bit(CaseKind::SpaceTime) | bit(CaseKind::MeshField);
constexpr uint16_t kFields =
    bit(CaseKind::MainDataField) | bit(CaseKind::FieldTable) | bit(CaseKind::Hdf5) | bit(CaseKind::MeshField);
constexpr uint16_t kStudies = bit(CaseKind::Table) | bit(CaseKind::MainData) | kFields;

constexpr std::string_view kEveryCase = "every case";
constexpr std::string_view kCsvCases = "CSV cases (a table of quantities, an h,dt table of runs or an h,file table)";
constexpr std::string_view kHAlone = "studies in h alone (a merge keeps the settings of its slabs)";
constexpr std::string_view kUnsharedGrids = "fields on grids that share no points (grid files with coordinates)";

constexpr std::string_view kFormats[] = {"table", "csv", "json", "latex", "markdown"};

// The options, in the order of --help.
constexpr OptionRow kRows[] = {
    {.name = "--out",
     .help = "output folder",
     .byDefault = "CASE without extension + .study",
     .value = "DIR",
     .target = &OutputOptions::out,
     .kinds = kEveryKind,
     .appliesTo = kEveryCase},
    {.name = "--format",
     .help = "what standard output shows: table, csv, json, or (a table of quantities) latex or markdown",
     .byDefault = "table",
     .target = &OutputOptions::format,
     .choices = kFormats,
     .kinds = kEveryKind,
     .appliesTo = kEveryCase},
    {.name = "--order",
     .help = "theoretical order",
     .byDefault = "pL of a main data file, else 2",
     .value = "P",
     .target = &StudyOptions::order,
     .low = 0.0,
     .high = 100.0,
     .must = "the theoretical order: a number above 0 and below 100",
     .kinds = kStudies | bit(CaseKind::SpaceTime),
     .appliesTo = "studies (a merge keeps the settings of its slabs)",
     .keyword = "order",
     .python = kPythonStudy},
    {.name = "--time-order",
     .help = "space-time tables (h,dt): theoretical order of the time integration; --order is that of the grid",
     .byDefault = "1",
     .value = "PT",
     .target = &StudyOptions::timeOrder,
     .low = 0.0,
     .high = 100.0,
     .must = "the theoretical order in time: a number above 0 and below 100",
     .kinds = bit(CaseKind::SpaceTime),
     .appliesTo = "space-time studies (an h,dt table of runs)"},
    {.name = "--fs",
     .help = "safety factor",
     .byDefault = "1.25 with three or more grids, 3 with two",
     .value = "F",
     .target = &StudyOptions::fs,
     .low = 0.0,
     .high = 1e6,
     .must = "a safety factor: a number above 0",
     .kinds = kStudies,
     .appliesTo = kHAlone,
     .keyword = "fs",
     .python = kPythonStudy},
    {.name = "--target-gci",
     .help = "a GCI_fine21 to reach, as a fraction (0.01 is 1 %): the spacing (and with --cells, the cell count) it "
             "needs",
     .value = "X",
     .target = &StudyOptions::targetGci,
     .low = 0.0,
     .high = 1.0,
     .must = "a fraction: 0 < X < 1 (0.01 for 1 %)",
     .kinds = kStudies,
     .appliesTo = kHAlone,
     .keyword = "target_gci",
     .python = kPythonStudy},
    {.name = "--noise",
     .help = "the absolute noise level of the values (iterative convergence, digits written): changes within it "
             "classify as within-noise",
     .value = "N",
     .target = &StudyOptions::noise,
     .low = -1e-300,
     .high = 1e300,
     .must = "an absolute level: a finite number, 0 or above",
     .kinds = kStudies,
     .appliesTo = kHAlone,
     .keyword = "noise",
     .python = kPythonStudy},
    {.name = "--cells",
     .help = "the first column holds cell counts: h = cells^(-1/D)",
     .target = &StudyOptions::cells,
     .needs = "--dim",
     .kinds = kCsv,
     .appliesTo = kCsvCases,
     .keyword = "cells",
     .python = kPythonRead},
    {.name = "--dim",
     .help = "dimension D of the cell counts (1, 2 or 3)",
     .value = "D",
     .target = &StudyOptions::dimension,
     .low = 1,
     .high = 3,
     .needs = "--cells",
     .kinds = kCsv,
     .appliesTo = kCsvCases,
     .keyword = "dim",
     .python = kPythonRead | kPythonStudy},
    {.name = "--no-plots",
     .help = "do not draw the plots of report.html",
     .target = &OutputOptions::noPlots,
     .kinds = kEveryKind,
     .appliesTo = kEveryCase},
    {.name = "--plot-timeout",
     .help = "seconds gnuplot may take to draw the plots; beyond them it is stopped and the report has no plots",
     .byDefault = "120",
     .value = "S",
     .target = &OutputOptions::plotTimeout,
     .low = 0.0,
     .high = 1e6,
     .must = "a number of seconds above 0",
     .kinds = kEveryKind,
     .appliesTo = kEveryCase},
    {.name = "--strict",
     .help = "exit 1 when a quantity or point does not converge monotonically or has no observed order (a "
             "space-time table: has no U, or a warning other than which error dominates)",
     .target = &OutputOptions::strict,
     .kinds = kEveryKind,
     .appliesTo = kEveryCase},
    {.name = "--field",
     .help = "study a main data file as a field, one point per value record, however few the records (by default "
             "a field needs more than 100)",
     .target = &StudyOptions::field,
     .kinds = kFields | bit(CaseKind::MainData),
     .appliesTo = "main data files (a table of quantities is not a field)",
     .keyword = "field",
     .python = kPythonRead},
    {.name = "--no-least-squares",
     .help = "leave out the least-squares estimate (four grids or more), which is otherwise computed for every "
             "quantity and point",
     .target = &StudyOptions::leastSquares,
     .flagValue = false,
     .kinds = kStudies,
     .appliesTo = kHAlone},
    {.name = "--least-squares",
     .help = "the least-squares estimate (the default)",
     .target = &StudyOptions::leastSquares,
     .kinds = kStudies,
     .appliesTo = kHAlone,
     .keyword = "least_squares",
     .python = kPythonStudy},
    {.name = "--threads",
     .help = "threads of a field study",
     .byDefault = "all cores",
     .value = "N",
     .target = &StudyOptions::threads,
     .low = 1,
     .high = 1024,
     .kinds = kStudies,
     .appliesTo = "studies in h alone (a merge computes nothing)",
     .keyword = "threads",
     .python = kPythonStudy},
    {.name = "--slab",
     .help = "HDF5 fields: study only the I-th of N contiguous slabs of points (I/N), for job arrays",
     .value = "I/N",
     .target = &StudyOptions::slab,
     .must = "write I/N with 1 <= I <= N, e.g. --slab 3/8",
     .kinds = bit(CaseKind::Hdf5),
     .appliesTo = "HDF5 fields"},
    {.name = "--no-csv",
     .help = "HDF5 fields: write summary.h5, not summary.csv",
     .target = &StudyOptions::noCsv,
     .kinds = bit(CaseKind::Hdf5) | bit(CaseKind::Slabs),
     .appliesTo = "HDF5 fields and their merge"},
    {.name = "--at",
     .help = "grids that share no points: study the field at the points of this CSV (x,y[,z]) instead of the "
             "coarsest grid's",
     .value = "FILE",
     .target = &StudyOptions::at,
     .kinds = bit(CaseKind::MeshField),
     .appliesTo = kUnsharedGrids},
    {.name = "--interp-degree",
     .help = "grids that share no points: the degree of the interpolation to the study points, 1 (linear), 2 or 3",
     .byDefault = "the theoretical order",
     .value = "K",
     .target = &StudyOptions::interpDegree,
     .low = 1,
     .high = 3,
     .kinds = bit(CaseKind::MeshField),
     .appliesTo = kUnsharedGrids},
    {.name = "--block-points",
     .help = "fields: points read and computed at a time (memory against speed; the results are the same)",
     .byDefault = "chosen for the kind of field",
     .value = "N",
     .target = &StudyOptions::blockPoints,
     .low = 1,
     .high = static_cast<double>(uint64_t{1} << 40),
     .kinds = kFields,
     .appliesTo = "fields"},
};

template <typename T>
constexpr ValueKind kindOf() {
  if constexpr (std::is_same_v<T, bool>) return ValueKind::Flag;
  else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::optional<double>>) return ValueKind::Real;
  else if constexpr (std::is_integral_v<T>) return ValueKind::Integer;
  else if constexpr (std::is_same_v<T, std::string>) return ValueKind::Text;
  else return ValueKind::Slab;
}

template <typename Member>
struct MemberType;
template <typename T, typename Struct>
struct MemberType<T Struct::*> {
  using type = T;
};

bool realWithin(const OptionRow& row, double x) {
  return std::isfinite(x) && x > row.low && x < row.high;
}

std::string named(const OptionRow& row, const std::string& message) { return std::string(row.name) + ": " + message; }

std::string realRefusal(const OptionRow& row, const std::string& text) { return std::string(row.must) + ", not " + text; }

// As CLI11 words it for the command line.
std::string integerRefusal(const OptionRow& row, const std::string& text) {
  return "Value " + text + " not in range " + std::to_string(static_cast<int64_t>(row.low)) + " to " +
         std::to_string(static_cast<int64_t>(row.high));
}

std::string choiceRefusal(const OptionRow& row, const std::string& text) {
  std::string set;
  for (std::string_view choice : row.choices) set += (set.empty() ? "" : ",") + std::string(choice);
  return text + " not in {" + set + "}";
}

bool chosen(const OptionRow& row, std::string_view text) {
  if (row.choices.empty()) return true;
  for (std::string_view choice : row.choices) {
    if (choice == text) return true;
  }
  return false;
}

std::string slabText(const Slab& slab) { return std::to_string(slab.index) + "/" + std::to_string(slab.count); }

// Whether the option of a row is given, as far as its member tells: a flag's value, an integer
// not 0, a text not empty, an optional value there (what `needs` looks at).
bool isGiven(const OptionRow& row, const StudyOptions& study, const OutputOptions& output) {
  return std::visit(
      [&](auto target) {
        const auto& value = optionMember(target, study, output);
        using T = std::remove_cvref_t<decltype(value)>;
        if constexpr (std::is_same_v<T, bool>) {
          return value == row.flagValue;
        } else if constexpr (std::is_integral_v<T>) {
          return value != 0;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return !value.empty();
        } else if constexpr (std::is_same_v<T, double>) {
          return true;
        } else {
          return value.has_value();
        }
      },
      row.target);
}

}  // namespace

ValueKind OptionRow::valueKind() const {
  return std::visit([](auto target) { return kindOf<typename MemberType<decltype(target)>::type>(); }, target);
}

std::span<const OptionRow> optionRows() { return kRows; }

const OptionRow* optionRow(std::string_view name) {
  for (const OptionRow& row : kRows) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

const OptionRow* keywordRow(std::string_view keyword) {
  for (const OptionRow& row : kRows) {
    if (!row.keyword.empty() && row.keyword == keyword) return &row;
  }
  return nullptr;
}

std::optional<Slab> parseSlab(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits) -> std::optional<uint64_t> {
    uint64_t value = 0;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
  };
  const auto index = number(text.substr(0, slash));
  const auto count = number(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count) return std::nullopt;
  return Slab{*index, *count};
}

std::string numberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return shortest(value);
}

bool optionApplies(std::string_view option, CaseKind kind) {
  const OptionRow* row = optionRow(option);
  return row == nullptr || row->applies(kind);
}

std::optional<std::string> refusedOption(CaseKind kind, std::span<const std::string> given, std::string_view format) {
  // The tables for a paper have a column per quantity; a field shows its distribution.
  const uint16_t tables = bit(CaseKind::Table) | bit(CaseKind::MainData);
  if ((format == "latex" || format == "markdown") && (tables & bit(kind)) == 0) {
    return "--format " + std::string(format) + " prints the table of a paper, one column per quantity: it applies to tables of "
           "quantities, not to " + std::string(caseKindName(kind));
  }
  for (const std::string& option : given) {
    if (!optionApplies(option, kind)) {
      return option + " applies to " + std::string(optionRow(option)->appliesTo) + ", not to " +
             std::string(caseKindName(kind));
    }
  }
  return std::nullopt;
}

std::string textRefusal(const OptionRow& row, const std::string& text) {
  if (row.valueKind() == ValueKind::Slab) return parseSlab(text) ? std::string() : text + ": " + std::string(row.must);
  double x = 0.0;
  if (!readReal(text, x, NumberGrammar::Decimal) || !realWithin(row, x)) return realRefusal(row, text);
  return std::string();
}

std::optional<std::string> setOption(const OptionRow& row, const OptionValue& value, StudyOptions& study,
                                     OutputOptions& output) {
  return std::visit(
      [&](auto target) -> std::optional<std::string> {
        auto& member = optionMember(target, study, output);
        using T = std::remove_cvref_t<decltype(member)>;
        if constexpr (std::is_same_v<T, bool>) {
          if (const bool* on = std::get_if<bool>(&value)) {
            member = *on;
            return std::nullopt;
          }
        } else if constexpr (kindOf<T>() == ValueKind::Real) {
          const double* real = std::get_if<double>(&value);
          const int64_t* integer = std::get_if<int64_t>(&value);
          if (real || integer) {
            const double x = real ? *real : static_cast<double>(*integer);
            if (!realWithin(row, x)) return named(row, realRefusal(row, numberText(x)));
            member = x;
            return std::nullopt;
          }
        } else if constexpr (std::is_integral_v<T>) {
          if (const int64_t* integer = std::get_if<int64_t>(&value)) {
            // The bounds are exact doubles (up to 2^40).
            if (static_cast<double>(*integer) < row.low || static_cast<double>(*integer) > row.high) {
              return named(row, integerRefusal(row, std::to_string(*integer)));
            }
            member = static_cast<T>(*integer);
            return std::nullopt;
          }
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (const std::string* text = std::get_if<std::string>(&value)) {
            if (!chosen(row, *text)) return named(row, choiceRefusal(row, *text));
            member = *text;
            return std::nullopt;
          }
        } else {
          if (const std::string* text = std::get_if<std::string>(&value)) {
            member = parseSlab(*text);
            if (!member) return named(row, *text + ": " + std::string(row.must));
            return std::nullopt;
          }
        }
        return named(row, "not a value of this option");
      },
      row.target);
}

std::optional<Error> validate(const StudyOptions& study, const OutputOptions& output) {
  auto fail = [](std::string message) { return Error{"", 0, std::move(message)}; };
  for (const OptionRow& row : kRows) {
    std::optional<std::string> refused = std::visit(
        [&](auto target) -> std::optional<std::string> {
          const auto& member = optionMember(target, study, output);
          using T = std::remove_cvref_t<decltype(member)>;
          if constexpr (std::is_same_v<T, double>) {
            if (!realWithin(row, member)) return realRefusal(row, numberText(member));
          } else if constexpr (std::is_same_v<T, std::optional<double>>) {
            if (member && !realWithin(row, *member)) return realRefusal(row, numberText(*member));
          } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
            // 0: not given.
            if (member != 0 && (static_cast<double>(member) < row.low || static_cast<double>(member) > row.high)) {
              return integerRefusal(row, std::to_string(member));
            }
          } else if constexpr (std::is_same_v<T, std::string>) {
            if (!chosen(row, member)) return choiceRefusal(row, member);
          } else if constexpr (std::is_same_v<T, std::optional<Slab>>) {
            if (member && (member->index < 1 || member->index > member->count)) {
              return slabText(*member) + ": " + std::string(row.must);
            }
          }
          return std::nullopt;
        },
        row.target);
    if (refused) return fail(named(row, *refused));
  }
  for (const OptionRow& row : kRows) {
    if (row.needs.empty() || !isGiven(row, study, output)) continue;
    const OptionRow* other = optionRow(row.needs);
    if (other != nullptr && !isGiven(*other, study, output)) return fail(std::string(row.name) + " requires " + std::string(row.needs));
  }
  if (study.noCsv && output.format == "csv") return fail("--format csv prints summary.csv, which --no-csv leaves out");
  return std::nullopt;
}

}  // namespace kv::study
