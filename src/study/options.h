// The options of a study, whatever front end fills them (the command line, the Python module):
// what is computed (StudyOptions) and what is written and shown (OutputOptions).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Whether an option ("--order") applies to a case kind (the help of a merge lists only those).
bool optionApplies(std::string_view option, CaseKind kind);

// The first of the options `given` (by their long names) that does not apply to `kind`, or a
// --format that does not: the message says to what it applies.
std::optional<std::string> refusedOption(CaseKind kind, std::span<const std::string> given, std::string_view format);

}  // namespace kv::study
