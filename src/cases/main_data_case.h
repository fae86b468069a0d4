// A study case given as the main data file of a classic run: its grid files, exact-solution
// file, pL, deltaP, Fs and refinement settings are used, and every value record of the grid
// files becomes a quantity, named var1, var2, ... by its position. The files are only read;
// relative names are taken from the main data file's folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cases/study_case.h"

namespace kv::study {

// What the main data file itself says: the settings and the names of the grid files (in the
// file's order, coarsest first) and of the exact-solution file, resolved from its folder.
struct MainDataHead {
  std::vector<std::string> gridFiles;
  std::vector<size_t> gridLines;  // the line of the main data file that names each
  std::optional<std::string> exactFile;
  int32_t pL = 0;
  double Fs = 0.0;
  ClassicSettings classic;
  std::string title;
};

// Reads the main data file alone; throws Failure as below.
MainDataHead readMainDataHead(const std::string& file, const std::string& text);

// Reads the main data file `file` (its text already read) and the files it names; throws
// Failure naming the file and line of the first fault.
StudyCase readMainDataCase(const std::string& file, const std::string& text);

}  // namespace kv::study
