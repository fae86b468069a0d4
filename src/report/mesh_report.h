// What a field on grids that share no points adds to study.json, report.html and the text on
// standard output: where the study points come from, how the grids were interpolated to them
// and what that gave at each point, and, for a 2-D field, maps of the observed order and the GCI
// over the points (a sample of them, drawn by gnuplot).
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mesh/interpolation.h"
#include "study/mesh_summary.h"

namespace kv::study {

// The worse of two statuses: outside, then interpolation-unreliable, then ok, then exact.
mesh::InterpolationStatus worseStatus(mesh::InterpolationStatus a, mesh::InterpolationStatus b);

// The "interpolation" object of study.json.
nlohmann::ordered_json meshJson(const MeshSummary& m);
// The section of report.html on the interpolation.
void meshHtml(std::ostringstream& h, const MeshSummary& m, double theoreticalOrder);
// The gnuplot script of the maps of quantity `k` in `folder`: q<k>_map_p.svg, q<k>_map_gci.svg
// (the points whose |phi1| is below `nearZero` (NaN: none but 0) drawn apart, for their relative
// GCI only reflects phi ~ 0) and q<k>_map_u.svg, the absolute U of every point.
std::string meshMapScript(const MeshMap& map, double theoreticalOrder, double nearZero, const std::string& folder,
                          size_t k);
// The line for standard output.
std::string meshText(const MeshSummary& m);

}  // namespace kv::study
