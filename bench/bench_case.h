// A whole case of N grids for timing runs: manufactured grid values with a known exact value,
// the start file, the main data file and the seven plot scripts, written into one folder.
#pragma once

#include <filesystem>

namespace kv::bench {

// Refinement ratio between consecutive grids: close to 1, so that 2000 grids keep spacings
// whose squares stay well above the round-off of the values.
inline constexpr double kRefinementRatio = 1.005;

// The exact value of the manufactured variable.
inline constexpr double kExactValue = 1.0;

// Writes the case into `folder` (created when missing): "Kestrovanilque.in", the main data file
// "bench_case.txt" (listing "bench_listing.txt", exact-solution file "exact.txt"), the grid
// files "g0001.txt" ... and the seven plot scripts, copied from `scriptFolder` when it holds
// them, else written as placeholders of the line counts a run keeps.
void writeCase(const std::filesystem::path& folder, int gridCount,
               const std::filesystem::path& scriptFolder);

// The files of a case that a run reads and never writes (plot scripts excluded).
bool isCaseInput(const std::filesystem::path& file);

}  // namespace kv::bench
