// The options of the module's functions: keyword arguments read by the rows of the options table
// (study/options.h) straight into StudyOptions, with the command's ranges, defaults and messages,
// an option named by its keyword ("order: ..." where the command says "--order: ...").
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "study/options.h"

namespace kv::python {

// A bad option value or combination; the message is the command's.
class OptionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A number as the messages show it: the shortest text that reads back as the same double ("nan",
// "inf", "-inf" for the others).
using study::numberText;

// The name of the type of `x` ("float"), for messages.
std::string typeName(pybind11::handle x);

// A message of the command with its options named as the keyword arguments ("--order: --order
// is ..." -> "order: order is ...").
std::string keywordMessage(std::string message);

// The options given to a function as keyword arguments.
struct KeywordOptions {
  study::StudyOptions options;
  std::vector<std::string> given;  // by the long names of the options they amount to, as given
};

// Reads the keywords of `function`, one of the functions of `entry` (a study::PythonEntry): each
// must be the keyword of an option they take (else TypeError, as for an unknown argument) and of
// its type (a flag True or False, a real a number, an integer an int; else TypeError); None is
// the option not given (a flag: False). Each value is checked in the order of the table (else
// OptionError).
KeywordOptions readKeywords(const pybind11::kwargs& keywords, uint8_t entry, const char* function);

// The options as a whole (validate(): an option and the one it needs, ...). Throws OptionError.
void checkOptions(const study::StudyOptions& options);

// The first option given that does not apply to `kind`. Throws OptionError.
void refuseOptions(const KeywordOptions& options, study::CaseKind kind);

}  // namespace kv::python
