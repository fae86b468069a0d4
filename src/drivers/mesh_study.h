// The study of a field on grids that share no points (mesh_case.h): every grid is brought to one
// set of study points by interpolation of higher order than the scheme (mesh/interpolation.h),
// then every point of every quantity is studied by the field kernel, as a field of point files
// is.
//
// The study points are the coarsest grid's own (no interpolation of it, the finer grids
// interpolated to it), or those of a file given with --at (every grid interpolated to them).
// Each grid is read, indexed and interpolated in turn, so that one grid and its k-d tree are in
// memory at a time beside the study points and their values on every grid.
//
// Memory: the largest grid file and its tree (mesh_case.h), the study points with 8 x grids x
// quantities bytes of values each, and for field.vtu 92 bytes per quantity: about 140 bytes a
// study point for one quantity on four grids; the study points too are held to kMeshFileBudget.
// Measured with 10^6 study points and grids of up to 8 x 10^6 points (2-D, one quantity): 383
// MiB at the peak.
//
// A point that a grid's interpolation leaves without a value (outside its region, or an
// ill-conditioned fit) gets NaN for that grid: the standard procedure then gives it no order when
// the grid is one of the three finest, and least squares, which needs every grid, none either.
// Its status starts with the interpolation's word (`outside`, `interpolation-unreliable`), the
// worse of those any grid gave it.
//
// Outputs beside those of every field: summary.csv gets the columns x, y, z after the others
// (empty beyond the field's dimension), and field.vtu holds the study points (the cells of their
// file when it is a mesh: the coarsest grid's, or the --at file's; vertices otherwise) with, per
// quantity, phi1, p, phi_ext21, gci_fine21, gci_coarse32 and the uncertainties u_gci, u_ls, u_cf,
// u_fs, u_gci_th, u_osc as doubles, the convergence type as an integer (its names in the field
// data, "convergence=NAME"), and the interpolation status of the point ("interpolation=NAME"). With
// one quantity the arrays bear these names; with several, QUANTITY.NAME (U:0.p, ...).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/temp_file.h"
#include "mesh/point_cloud.h"
#include "mesh/vtu_writer.h"
#include "study/field_kernel.h"
#include "cases/mesh_case.h"

namespace kv::study {

inline constexpr std::string_view kCoordinateColumns[] = {"x", "y", "z"};

struct MeshStudy {
  FieldSummary summary;    // with its `mesh`
  mesh::PointCloud field;  // the study points, their cells, the doubles of field.vtu
  mesh::VtuExtras extras;  // its integers and their names
  // The time of each stage, and the largest k-d tree: what a run at scale costs, and where.
  struct Stage {
    double wall = 0.0;  // seconds
    double cpu = 0.0;   // seconds of processor time, every thread's
  };
  Stage read;         // the grid files (and the study points)
  Stage tree;         // the k-d trees
  Stage interpolate;  // to the study points
  Stage study;        // every point of every quantity, its row written
  size_t treeBytes = 0;
};

// Studies every point of every quantity under `options` (its study points `at`, degree
// `interpDegree`, threads and block of points too), writing the rows to `rows` (open, its header
// written: summaryHeader(withTarget, kCoordinateColumns)). Throws Failure for a fault of the
// inputs.
MeshStudy runMeshStudy(const MeshCase& input, const StudyOptions& options, io::TempFile& rows);

}  // namespace kv::study
