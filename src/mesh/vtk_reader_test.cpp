#include "mesh/vtk_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "mesh/vtu_writer.h"

namespace kv::mesh {
namespace {

std::string vtkTempPath(const std::string& name) { return testing::TempDir() + "kv_vtk_" + name; }

class VtkReader : public testing::Test {
 protected:
  void SetUp() override {
    if (!vtkReaderAvailable()) GTEST_SKIP() << "built without VTK 9";
  }
};

TEST(VtkReaderUnavailable, SaysHowToExportCsvInstead) {
  if (vtkReaderAvailable()) GTEST_SKIP() << "built with VTK 9";
  VtkContent content;
  auto error = readVtk("flow.vtu", content);
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("File > Save Data > CSV"), std::string::npos) << *error;
}

// What the writer writes, VTK (and so ParaView) reads back: points, cells, NaN and all.
TEST_F(VtkReader, ReadsBackWhatTheWriterWrites) {
  PointCloud cloud;
  cloud.dim = 3;
  cloud.coordinates = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
  cloud.cells = {{0, 1, 2, 3, 1, 2, 3, 4}, {4, 8}, {10, 10}};
  cloud.quantities = {{"U:0", {1, 2, NAN, 4, 5}}, {"T", {-1, 0, 1, 2, 3}}};
  const std::string file = vtkTempPath("back.vtu");
  ASSERT_EQ(writeVtu(file, cloud, {{{"status", {0, 1, 2, 3, 0}}}, {{"status=ok", 0}}}),
            std::nullopt);
  VtkContent in;
  ASSERT_EQ(readVtk(file, in), std::nullopt);
  EXPECT_EQ(in.points.coordinates, cloud.coordinates);
  EXPECT_EQ(in.points.cells.connectivity, cloud.cells.connectivity);
  EXPECT_EQ(in.points.cells.offsets, cloud.cells.offsets);
  EXPECT_EQ(in.points.cells.types, cloud.cells.types);
  ASSERT_EQ(in.points.quantities.size(), 3u);
  EXPECT_EQ(in.points.quantities[1].values, cloud.quantities[1].values);
  EXPECT_TRUE(std::isnan(in.points.quantities[0].values[2]));
  EXPECT_EQ(in.points.quantities[2].name, "status");
  EXPECT_EQ(in.cellCentres.coordinates, (std::vector<double>{.25, .25, .25, .5, .5, .5}));
}

// A legacy file of a flat grid: two dimensions, a vector split into components, cell data at
// the centres of the triangles.
TEST_F(VtkReader, ReadsALegacyFile) {
  const std::string file = vtkTempPath("flat.vtk");
  std::ofstream(file) << "# vtk DataFile Version 3.0\nflat\nASCII\nDATASET UNSTRUCTURED_GRID\n"
                         "POINTS 4 double\n0 0 0\n3 0 0\n3 3 0\n0 3 0\n"
                         "CELLS 2 8\n3 0 1 2\n3 0 2 3\nCELL_TYPES 2\n5\n5\n"
                         "POINT_DATA 4\nSCALARS p double 1\nLOOKUP_TABLE default\n1 2 3 4\n"
                         "VECTORS U double\n1 5 0\n2 6 0\n3 7 0\n4 8 0\n"
                         "CELL_DATA 2\nSCALARS c double 1\nLOOKUP_TABLE default\n10 20\n";
  VtkContent content;
  ASSERT_EQ(readVtk(file, content), std::nullopt);
  EXPECT_EQ(content.points.dim, 2);
  EXPECT_EQ(content.points.coordinates, (std::vector<double>{0, 0, 3, 0, 3, 3, 0, 3}));
  std::vector<std::string> names;
  for (const Quantity& q : content.points.quantities) names.push_back(q.name);
  EXPECT_EQ(names, (std::vector<std::string>{"p", "U:0", "U:1", "U:2"}));
  EXPECT_EQ(content.points.quantities[2].values, (std::vector<double>{5, 6, 7, 8}));
  EXPECT_EQ(content.cellCentres.coordinates, (std::vector<double>{2, 1, 1, 2}));
  EXPECT_EQ(content.cellCentres.quantities[0].values, (std::vector<double>{10, 20}));
}

TEST_F(VtkReader, ReadsTheMergedPiecesOfAParallelFile) {
  for (int piece = 0; piece < 2; ++piece) {
    PointCloud cloud;
    cloud.dim = 2;
    cloud.coordinates = {0.0 + piece, 1, 1.0 + piece, 1};
    cloud.quantities = {{"f", {1.0 + piece, 2.0 + piece}}};
    ASSERT_EQ(writeVtu(vtkTempPath("piece" + std::to_string(piece) + ".vtu"), cloud), std::nullopt);
  }
  const std::string file = vtkTempPath("whole.pvtu");
  std::ofstream(file) << R"(<?xml version="1.0"?>
<VTKFile type="PUnstructuredGrid" version="1.0" byte_order="LittleEndian" header_type="UInt64">
  <PUnstructuredGrid GhostLevel="0">
    <PPointData><PDataArray type="Float64" Name="f"/></PPointData>
    <PPoints><PDataArray type="Float64" NumberOfComponents="3"/></PPoints>
    <Piece Source="kv_vtk_piece0.vtu"/><Piece Source="kv_vtk_piece1.vtu"/>
  </PUnstructuredGrid>
</VTKFile>
)";
  VtkContent content;
  ASSERT_EQ(readVtk(file, content), std::nullopt);
  EXPECT_EQ(content.points.size(), 4u);
  EXPECT_EQ(content.points.quantities[0].values, (std::vector<double>{1, 2, 2, 3}));
}

// Cells that name points the file does not hold (just past the end, negative, far beyond), in
// legacy and XML files, cell lists that run past their end, cell types missing: refused, and
// nothing is read through them first.
TEST_F(VtkReader, RefusesCellsOutsideTheGrid) {
  auto legacy = [](const std::string& cells, const std::string& types) {
    return "# vtk DataFile Version 3.0\ng\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 double\n0 0 0\n"
           "1 0 0\n1 1 0\n0 1 0\n" + cells + "\nCELL_TYPES " + types +
           "\nPOINT_DATA 4\nSCALARS T double 1\nLOOKUP_TABLE default\n1 2 3 4\n";
  };
  auto xml = [](const std::string& connectivity) {
    return R"(<VTKFile type="UnstructuredGrid" version="1.0"><UnstructuredGrid><Piece NumberOfPoints="4" NumberOfCells="1">
<Points><DataArray type="Float64" NumberOfComponents="3" format="ascii">0 0 0 1 0 0 1 1 0 0 1 0</DataArray></Points>
<Cells><DataArray type="Int64" Name="connectivity" format="ascii">)" + connectivity + R"(</DataArray>
<DataArray type="Int64" Name="offsets" format="ascii">4</DataArray><DataArray type="UInt8" Name="types" format="ascii">9</DataArray></Cells>
<PointData><DataArray type="Float64" Name="T" format="ascii">1 2 3 4</DataArray></PointData></Piece></UnstructuredGrid></VTKFile>)";
  };
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"past.vtk", legacy("CELLS 1 5\n4 0 1 2 4", "1\n9"), "refers to point 4 of a cloud of 4 points"},
      {"negative.vtk", legacy("CELLS 1 5\n4 0 1 2 -1", "1\n9"), "refers to point -1 of"},
      {"far.vtk", legacy("CELLS 1 5\n4 0 1 2 900000000", "1\n9"), "refers to point 900000000 of"},
      {"overrun.vtk", legacy("CELLS 1 5\n900000000 0 1 2 3", "1\n9"), "line 11: CELLS: cell 0 of 1 names 900000000"},
      {"types.vtk", legacy("CELLS 2 10\n4 0 1 2 3\n4 3 2 1 0", "1\n9"), "line 13: CELL_TYPES: 1 types for 2 cells"},
      {"past.vtu", xml("0 1 2 4"), "refers to point 4 of"},
      {"negative.vtu", xml("0 1 -1 2"), "refers to point -1 of"},
      {"far.vtu", xml("0 1 2 900000000"), "refers to point 900000000 of"},
  };
  for (const auto& c : cases) {
    const std::string file = vtkTempPath(c.name);
    std::ofstream(file) << c.text;
    VtkContent content;
    const auto error = readVtk(file, content);
    ASSERT_TRUE(error) << c.name;
    EXPECT_NE(error->find(c.says), std::string::npos) << c.name << ": " << *error;
    EXPECT_EQ(content.points.size(), 0u) << c.name;
  }
}

TEST_F(VtkReader, RefusesWhatIsNoVtkFile) {
  std::ofstream(vtkTempPath("text.vtu")) << "not xml at all\n";
  std::ofstream(vtkTempPath("text.vtk")) << "# vtk DataFile Version 3.0\nx\nASCII\nDATASET NOTHING\n";
  VtkContent content;
  for (const char* name : {"missing.vtu", "text.vtu", "text.vtk", "flow.csv"}) {
    EXPECT_NE(readVtk(vtkTempPath(name), content), std::nullopt) << name;
    EXPECT_EQ(content.points.size(), 0u);
  }
}

}  // namespace
}  // namespace kv::mesh
