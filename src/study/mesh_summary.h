// What a field on grids that share no points records of its interpolation: where the study
// points come from, how each grid was interpolated to them and what that gave at each point,
// and, for a 2-D field, a sample of the points for the maps of the observed order and of the
// relative and absolute uncertainty.
// report/mesh_report.h writes it into study.json, report.html and the text on standard output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mesh/interpolation.h"

namespace kv::study {

inline constexpr size_t kMapPoints = 6000;  // points drawn on a map, about
inline constexpr size_t kMaxMappedQuantities = 8;

using StatusCounts = std::array<uint64_t, mesh::kInterpolationStatuses>;

struct MeshGrid {
  std::string file;
  uint64_t points = 0;       // in the file
  bool interpolated = true;  // false: the study points are this grid's own
  bool cellCentres = false;  // its values are cell data, at the cells' centres
  StatusCounts status{};     // the study points by what this grid gave them
};

// A sample of the study points of one quantity, for its maps.
struct MeshMap {
  uint64_t of = 0;  // the study points sampled
  std::vector<double> x, y, p, gci;
  std::vector<double> phi1, u;  // the finest grid's value and its absolute U (u_gci)
};

struct MeshSummary {
  std::string at;  // the file of the study points; "" for the coarsest grid's own
  int degree = 0;
  size_t neighbours = 0;
  int dimension = 0;            // of the coordinates
  std::vector<MeshGrid> grids;  // finest first
  std::optional<MeshGrid> exact;
  StatusCounts points{};  // each study point by the worst any grid gave it (outside first)
  std::vector<std::string> leftOut;  // quantities that some grid does not hold
  std::string vtu = "field.vtu";
  std::vector<MeshMap> maps;  // per quantity, for the first kMaxMappedQuantities of a 2-D field
};

}  // namespace kv::study
