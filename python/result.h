// The result of one quantity's study as a Python object: every summary.csv column as an
// attribute of the column's name, the uncertainties with their details, the warnings and the
// series over all grids.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "study/study.h"
#include "study/summary.h"

namespace kv::python {

struct QuantityResult {
  study::QuantityStudy quantity;
  std::vector<double> h;  // finest first
  bool withTarget = false;  // a target GCI was asked for: the target columns are written
};

// A column's value as Python gives it: a float (NaN where the CSV field is empty), an int for a
// count, a str for a text and the convergence type.
pybind11::object columnValue(const study::SummaryColumn& column, const study::QuantityStudy& q);

// What each column of summary.csv holds, for the docstrings.
const char* columnDoc(std::string_view name);

// Result, Warning, LeastSquares, LeastSquaresFit, CorrectionFactor, FactorOfSafety.
void bindResult(pybind11::module_& m);

}  // namespace kv::python
