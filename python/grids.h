// The grids of a study given from Python as lists: spacings h or cell counts (h = cells^(-1/D)),
// in any order, checked and ordered by the rules of a table's first column
// (cases/quantity_table.h), each fault named by its element: h[2], cells[0].
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "cases/study_case.h"

namespace kv::python {

// `h` or `cells` (with `dimension` 1 to 3, checked by the options): the case's grids finest
// first, StudyCase::lines the position of each in the list given, from 1. Throws OptionError for
// both or neither, Failure for a fault of the grids.
study::StudyCase gridCase(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                          int dimension, std::string file);

// The positions in the list given of a gridCase's grids, finest first (from 0).
std::vector<size_t> givenPositions(const study::StudyCase& grids);

// The case of study(): one quantity of `values`, one per grid in the order of the list given
// (NaN and inf studied, as in a table), and its exact value (None or NaN: unknown).
study::StudyCase singleCase(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                            int dimension, const std::vector<double>& values, std::optional<double> exact,
                            const std::string& name);

}  // namespace kv::python
