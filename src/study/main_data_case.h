// A study case given as the main data file of a classic run: its grid files, exact-solution
// file, pL, deltaP, Fs and refinement settings are used, and every value record of the grid
// files becomes a quantity, named var1, var2, ... by its position. The files are only read;
// relative names are taken from the main data file's folder.
#pragma once

#include <string>

#include "study/study_case.h"

namespace kv::study {

// Reads the main data file `file` (its text already read) and the files it names; throws
// InputError naming the file and line of the first fault.
StudyCase readMainDataCase(const std::string& file, const std::string& text);

}  // namespace kv::study
