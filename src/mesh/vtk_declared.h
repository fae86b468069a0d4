// What a VTK file declares it holds, read from its own text before VTK reads it. VTK allocates
// whatever a file declares (points, cells, arrays of any number of components) and trusts the
// cell lists of a legacy file, where each cell's count of points says how far to read: a file
// of a few bytes could ask it for terabytes, or send it past the end of its own arrays.
//
// Read here, as VTK reads them:
//   - XML (.vtu): the attributes NumberOfPoints and NumberOfCells of each Piece, NumberOfComponents
//     and NumberOfTuples of each DataArray, in either quotes, in any order, with character
//     references decoded, up to the appended data (raw bytes). A file in UTF-16 or with entities
//     of its own in these attributes cannot be checked, and is refused;
//   - legacy (.vtk), ASCII or binary: every section of the file, from its keyword (in any case,
//     matched on its first letters as VTK does) and its counts, the data skipped by its size;
//     each cell list (CELLS, VERTICES, LINES, POLYGONS, TRIANGLE_STRIPS of files before version
//     5.1) is walked, and one whose counts run past its end, or are negative, is refused. A
//     section the walk cannot follow (an unknown keyword, a binary string array) is refused too:
//     a cell list could follow it unchecked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace kv::mesh {

struct VtkDeclared {
  uint64_t points = 0;  // every piece's points (legacy: POINTS, or the product of DIMENSIONS)
  uint64_t values = 0;  // the values VTK allocates from counts: coordinates, cells, arrays
  bool found = false;   // some count was declared
  std::string fault;    // what makes the file unsafe to give VTK; empty when none
  size_t line = 0;      // the line of the fault, when known
};

// Saturating: the counts of a hostile file may overflow 64 bits.
inline constexpr uint64_t kVtkCountCap = UINT64_MAX / 4;

// `block`: the bytes read at a time (any size gives the same result; the fuzz target checks it).
inline constexpr size_t kVtkReadBlock = size_t{1} << 16;
VtkDeclared declaredInVtu(std::istream& in, size_t block = kVtkReadBlock);
VtkDeclared declaredInLegacyVtk(std::istream& in, size_t block = kVtkReadBlock);

// By the extension of `path` (in any case): a .vtu, the pieces a .pvtu names (beside it), a
// legacy .vtk. Nothing for a file that cannot be opened or of another extension.
std::optional<VtkDeclared> declaredVtk(const std::string& path);

}  // namespace kv::mesh
