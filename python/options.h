// The options of the module's functions, read by the command's own parser (study/arguments.h):
// the same names, defaults, ranges and messages as `kestrovanilque study`.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "command/arguments.h"

namespace kv::python {

struct OptionValues {
  std::optional<double> order;
  std::optional<double> fs;
  std::optional<double> targetGci;
  bool leastSquares = true;
  std::optional<double> noise;
  bool cells = false;                // the grids are given by their cell counts
  std::optional<int64_t> dimension;  // D of h = cells^(-1/D)
  std::optional<int64_t> threads;
  bool field = false;                // read_case: a main data file as a field
};

// A bad option value or combination; the message is the command's.
class OptionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A number as the command line carries it: the shortest text that reads back as the same double
// ("nan", "inf", "-inf" for the others), so the parser sees exactly the value given.
std::string numberText(double value);

// A message of the command with its options named as the keyword arguments ("--order: --order
// is ..." -> "order is ...").
std::string keywordMessage(std::string message);

// The arguments of `kestrovanilque study CASE` with these options (CASE: `caseFile`). Throws
// OptionError with the command's message.
study::Arguments commandArguments(const OptionValues& values, const std::string& caseFile = "-");

}  // namespace kv::python
