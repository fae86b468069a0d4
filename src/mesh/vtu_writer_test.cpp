#include "mesh/vtu_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kv::mesh {
namespace {

std::string tempPath(const std::string& name) { return testing::TempDir() + "kv_mesh_" + name; }

// Runs a Python check on `files` with meshio (Debian's python3-meshio), the first read as m;
// false with its output in `log` when it fails.
bool meshioAccepts(const std::string& files, const std::string& check, std::string& log) {
  const std::string script = tempPath("check.py"), out = tempPath("check.out");
  std::ofstream(script) << "import math, sys, meshio\nm = meshio.read(sys.argv[1])\n" << check;
  int status =
      std::system(("/usr/bin/python3 " + script + " " + files + " > " + out + " 2>&1").c_str());
  std::ifstream in(out);
  log.assign(std::istreambuf_iterator<char>(in), {});
  return status == 0;
}

// A 2-D cloud without cells (vertices, a NaN, an integer array, labels, a name to escape) and a
// 3-D grid of a tetrahedron and a hexahedron sharing a face.
TEST(VtuWriter, MeshioReadsBackPointsAndCells) {
  if (std::system("/usr/bin/python3 -c 'import meshio' > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no meshio (Debian: python3-meshio)";
  }
  PointCloud cloud;
  cloud.dim = 2;
  cloud.coordinates = {0, 0, 1, 0, 0.5, 2};
  cloud.quantities = {{"p", {1.5, NAN, -2}}, {R"(a&b<"c">'d)", {1, 2, 3}}};
  VtuExtras extras{{{"status", {0, 2, 3}}}, {{"status=ok", 0}, {"status=outside", 2}}};
  const std::string points = tempPath("cloud.vtu"), cells = tempPath("cells.vtu");
  ASSERT_EQ(writeVtu(points, cloud, extras), std::nullopt);
  PointCloud grid;
  grid.dim = 3;
  grid.coordinates = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1,   0,   0, 0,
                      1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0.5, 0.5, -1};
  grid.cells = {{0, 1, 2, 8, 0, 1, 2, 3, 4, 5, 6, 7},
                {4, 12},
                {uint8_t(CellType::Tetra), uint8_t(CellType::Hexahedron)}};
  grid.quantities = {{"x", {0, 1, 1, 0, 0, 1, 1, 0, 0.5}}};
  ASSERT_EQ(writeVtu(cells, grid), std::nullopt);
  std::string log;
  EXPECT_TRUE(meshioAccepts(points + " " + cells, R"(
assert m.points.tolist() == [[0, 0, 0], [1, 0, 0], [0.5, 2, 0]], m.points
assert m.cells_dict["vertex"].tolist() == [[0], [1], [2]]
p = m.point_data["p"]
assert p[0] == 1.5 and math.isnan(p[1]) and p[2] == -2, p
assert m.point_data["a&b<\"c\">'d"].tolist() == [1, 2, 3]
assert m.point_data["status"].dtype.name == "int32" and m.point_data["status"].tolist() == [0, 2, 3]
assert {k: v.tolist() for k, v in m.field_data.items()} == {"status=ok": [0], "status=outside": [2]}
m = meshio.read(sys.argv[2])
assert [(c.type, c.data.tolist()) for c in m.cells] == [
    ("tetra", [[0, 1, 2, 8]]), ("hexahedron", [list(range(8))])]
assert m.points[8].tolist() == [0.5, 0.5, -1]
assert m.point_data["x"].tolist() == [0, 1, 1, 0, 0, 1, 1, 0, 0.5]
)",
                            log))
      << log;
}

TEST(VtuWriter, NothingIsLeftOfAFileThatCannotBeWritten) {
  PointCloud cloud;
  cloud.dim = 1;
  cloud.coordinates = {0, 1};
  EXPECT_NE(writeVtu(tempPath("no/such/folder.vtu"), cloud), std::nullopt);
  const std::string file = tempPath("short.vtu");
  EXPECT_NE(writeVtu(file, cloud, {{{"status", {0}}}, {}}), std::nullopt);  // one value short
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace kv::mesh
