// What every case says of its grids, whatever its kind: the one description of a case's grids
// that readers fill and studies, reports and front ends read. Grids FINEST FIRST (grid 1 the
// finest), the numbering of the standard procedure.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kv::study {

struct CaseHead {
  std::string file;                       // the case as named on the command line
  std::string title;                      // a main data file's title; "" for others
  std::vector<double> h;                  // finest first
  std::vector<double> cells;              // finest first, when the case gives cell counts
  int dimension = 0;                      // of the cell counts
  std::vector<std::string> gridFiles;     // the files of the grids, when each grid has one
  std::optional<std::string> exactFile;   // the file of the exact values, when there is one
};

}  // namespace kv::study
