// The cases the command reads, as read_case returns them: the grids, the quantities and their
// values, the exact values and the settings of a main data file.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "options.h"
#include "cases/case_kind.h"

namespace kv::python {

struct CaseObject {
  study::Case read;
};

// Reads `path` as `kestrovanilque study PATH` with these options would (an option that does not
// apply to the kind of the case refused). Throws OptionError and Failure.
CaseObject readCaseFile(const std::string& path, const KeywordOptions& options);

// The Case class.
void bindCase(pybind11::module_& m);

}  // namespace kv::python
