// field(): a field of points in a numpy array (grids x points), studied with the interpreter
// released, and the same points through the command's own kernel (its summary.csv rows), for
// measuring the command's work without its files.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

#include "options.h"

namespace kv::python {

struct FieldArguments {
  std::optional<std::vector<double>> h;
  pybind11::object values;
  pybind11::object exact;
  study::StudyOptions options;  // checked
  std::optional<std::vector<double>> cells;
  pybind11::object columns;  // None: every column written
};

// A dict of numpy arrays, one per column of summary.csv, and the names of the codes.
pybind11::dict fieldStudy(const FieldArguments& a);

// The summary.csv rows of the points made by the command's field kernel (with the header), or
// only their number of bytes with `discard`.
pybind11::object fieldCsv(const FieldArguments& a, bool discard);

}  // namespace kv::python
