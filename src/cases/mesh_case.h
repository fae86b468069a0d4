// A field on grids that share no points: a field case (h,file or cells,file, field/field_case.h)
// whose grid files hold each point's coordinates beside its values, so that the grids need not
// list the same points:
//
//   - a CSV file whose header names the coordinates and the quantities, several per file:
//       x,y,T,p          (or x,y,z,...; the names in any case)
//     or ParaView's CSV export as it comes ("Points:0","Points:1","Points:2" anywhere among the
//     columns, vector components as U:0, U:1, U:2). With Points:k columns, x, y and z are
//     quantities like any other. Columns named vtk... (VTK's bookkeeping) and "Point ID" are
//     left out. The delimiter, quotes and comments are those of every CSV input (text/csv.h),
//     the numbers of the Decimal grammar (text/number.h); a quantity's value may be NaN, a
//     coordinate must be finite;
//   - a VTK file, .vtu, .pvtu or .vtk (mesh/vtk_reader.h): its point data, or, when it has only
//     cell data, the cell data at the cells' centres.
//
// How such a case is told from a field of point files: its finest grid file ends in .vtu,
// .pvtu or .vtk, or is a CSV whose header names coordinates (x and y, or Points:0 and Points:1)
// and at least one more column. A point file (`id,value`) has two columns, so none is taken for
// a grid with coordinates.
//
// Memory. A grid file is read whole, and a k-d tree is built over its points. Each point of a
// CSV file costs 8 bytes per coordinate and per quantity (up to twice that while the file is
// read, as the arrays grow) and about 12 bytes of tree (20 are counted); a VTK file's point costs
// about kVtkBytesPerPoint while VTK reads it (VTK's copy of the points, arrays and cells, then
// ours). A file whose points would take more than kMeshFileBudget is refused: a CSV file as soon as
// its rows pass the budget, a VTK file before it is read, from the number of points it declares,
// or when VTK's own copy of all it declares (kVtkBytesPerValue a value) would pass it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cases/case_head.h"
#include "mesh/point_cloud.h"

namespace kv::study {

inline constexpr uint64_t kMeshFileBudget = uint64_t{4} << 30;  // bytes, per grid file
inline constexpr uint64_t kMeshTreeBytesPerPoint = 20;
inline constexpr uint64_t kVtkBytesPerPoint = 256;
// Every value VTK allocates for what a file declares (mesh/vtk_declared.h) takes 8 bytes or more.
inline constexpr uint64_t kVtkBytesPerValue = 8;

// The head's gridFiles hold coordinates, and so does its exactFile.
using MeshCase = CaseHead;

// Whether the field case `file` (an h,file table) names grid files with coordinates. A table
// that cannot be read is not one (the field of point files then reports why).
bool isMeshFieldTable(const std::string& file);

// Reads the table; throws Failure.
MeshCase readMeshCase(const std::string& file, int dimension);

// Whether a CSV header line names coordinates and at least one column besides.
bool namesCoordinates(std::string_view headerLine);

// The points of a grid file (CSV with coordinates, or VTK) with every quantity; the cells of a
// VTK file's points come along. `needQuantities`: a file without a quantity is refused (a grid);
// a file of study points (--at) needs none. Throws Failure.
struct GridPoints {
  mesh::PointCloud cloud;
  bool cellCentres = false;  // the points are a VTK file's cell centres (it had no point data)
};
GridPoints readGridPoints(const std::string& path, bool needQuantities = true);

// 1 + the last axis on which some point has a coordinate other than 0 (1 when there is none).
int usedDimension(const mesh::PointCloud& cloud);

// Lays the cloud out with `dim` coordinates a point: axes added as zeros, axes dropped (they
// must be zero: dim >= usedDimension).
void setDimension(mesh::PointCloud& cloud, int dim);

}  // namespace kv::study
