// Running gnuplot on a script file, quietly, waiting for it to finish. One file per platform:
// gnuplot_posix.cpp and gnuplot_windows.cpp.
#pragma once

#include <filesystem>

namespace kv::study {

// Runs `gnuplot SCRIPT` (found on PATH) with its output and messages discarded. Returns
// whether it ran and exited with status 0.
bool runGnuplot(const std::filesystem::path& script);

}  // namespace kv::study
