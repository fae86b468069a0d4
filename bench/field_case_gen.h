// Manufactured field cases for the field benchmarks: `grids` grids (3 to 6) of `points` points.
// Most points follow a smooth field with an error a h^2 + b h^3; one in twenty oscillates with
// the grid, one in fifty diverges, a few do not change at all. Spacings 0.01, 0.02, 0.03,
// 0.045, ... (r21 = 2, then 1.5: a variable ratio, so the order equation is solved).
#pragma once

#include <cstdint>
#include <filesystem>

namespace kv::bench {

enum class FieldLayout { Classic, Csv };

// Writes `folder`/case.csv (h,file and an exact row), the grid files g1 (finest) ... and the
// exact values, in the classic layout (a spacing record, then "index value") or as id,value
// CSV files. Returns the bytes written.
uint64_t writeFieldCase(const std::filesystem::path& folder, uint64_t points, int grids,
                        FieldLayout layout);

}  // namespace kv::bench
