// Solutions exported from a solver or ParaView as VTK files, read into point clouds: the XML
// unstructured grid (.vtu), its parallel form (.pvtu, the pieces it names) and the legacy format
// (.vtk, any kind of data set). Reading needs VTK 9; a build without it has a stand-in that says
// how to export the data as CSV instead. On POSIX systems the reader is a module of its own,
// libkv_vtk.so, loaded on the first VTK file (vtk_loader_posix.cpp): VTK's libraries cost every
// start of the program some 13 MB and 7 ms, and only fields on meshes need them.
//
// What is read:
//   - the points, with each point-data array as a quantity: a one-component array under its own
//     name, the components of a vector or tensor U as U:0, U:1, ...; arrays that are not numbers
//     (strings) and VTK's own (named vtk..., such as vtkGhostType) are left out;
//   - the cells (their VTK types and points); cells without points are left out;
//   - the cell-data arrays, as quantities of a second cloud: the cells' centres, each the mean of
//     the cell's points.
// The dimension is 3, or 2 when every z is 0, or 1 when every y and z are 0 (VTK stores three
// coordinates whatever the problem).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mesh/point_cloud.h"
#include "mesh/vtk_declared.h"

namespace kv::mesh {

struct VtkContent {
  PointCloud points;       // point data, cells
  PointCloud cellCentres;  // cell data at the cells' centres; no points when there are no cells
};

// What a program that cannot read VTK files advises.
inline constexpr std::string_view kExportCsvAdvice =
    "Export the data as CSV instead: in ParaView, File > Save Data > CSV, with the \"Points\" "
    "coordinates (Points:0, Points:1, Points:2 columns) and the point data";

// Whether this build reads VTK files.
bool vtkReaderAvailable();

// Reads `path` (.vtu, .pvtu or .vtk, by its extension in any case). Returns why it could not:
// another extension, a file that is missing or not of its format, a file VTK must not be given
// (the fault of what it declares: `declared` when given, else declaredVtk(path)), cells that name
// points the file does not hold, data that make no valid point cloud (a coordinate that is not
// finite, two arrays of one name), or a build without VTK.
std::optional<std::string> readVtk(const std::string& path, VtkContent& out,
                                   const VtkDeclared* declared = nullptr);

}  // namespace kv::mesh
