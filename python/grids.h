// The grids of a study given from Python: spacings h or cell counts (h = cells^(-1/D), as a CSV
// table's cells column), in any order, checked as the command checks the rows of a table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace kv::python {

struct Grids {
  std::vector<double> h;       // as given
  std::vector<double> cells;   // as given, when the grids are given by their cell counts
  std::vector<size_t> finestFirst;  // the grids' indices, finest first (h ascending)
  int dimension = 0;           // with cell counts

  size_t size() const { return h.size(); }
  // h and (with cell counts) cells, finest first.
  std::vector<double> hFinestFirst() const;
  std::vector<double> cellsFinestFirst() const;
};

// `h` or `cells` (with `dimension` 1 to 3, checked by the options): every one positive and
// finite, at least two grids, no two with the same h. `label(k)` names the k-th grid in
// messages ("h[2]", "row 3"). Throws OptionError.
Grids readGrids(const std::optional<std::vector<double>>& h, const std::optional<std::vector<double>>& cells,
                int dimension, const std::vector<std::string>& labels = {});

// The values of one quantity, one per grid: finite, as many as the grids. Throws OptionError.
void checkValues(const Grids& grids, const std::vector<double>& values, const std::string& what);

}  // namespace kv::python
