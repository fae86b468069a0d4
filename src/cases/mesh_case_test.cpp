#include "cases/mesh_case.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/error.h"
#include "mesh/vtk_declared.h"
#include "mesh/vtu_writer.h"
#include "temp_folder.h"

namespace kv::study {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

TEST(MeshCase, HeadersThatNameCoordinates) {
  const struct {
    const char* header;
    bool coordinates;
  } cases[] = {
      {"x,y,T", true},
      {"X;Y;Z;p;U", true},
      {"\"p\",\"U:0\",\"vtkValidPointMask\",\"Points:0\",\"Points:1\",\"Points:2\"", true},
      {"x,\"Points_0\",\"Points_1\"", true},  // with Points columns, x is a quantity
      {"id,value", false},                    // a point file's two columns
      {"x,y", false},                         // coordinates alone
      {"x,T,U", false},                       // no y
      {"x,y,T,T", true},                      // a name twice: a grid, which its reader refuses
      {"0.5,0.25,1", false},                  // data, no header
      {"x,y,,T", true},                       // an unnamed column: the same
  };
  for (const auto& c : cases) EXPECT_EQ(namesCoordinates(c.header), c.coordinates) << c.header;
}

TEST(MeshCase, ReadsParaViewsExportAsItComes) {
  TempFolder folder("mesh_case");
  writeBytes("pv.csv",
             "\xEF\xBB\xBF\"T\",\"U:0\",\"vtkValidPointMask\",\"Point "
             "ID\",\"Points:0\",\"Points:1\",\"Points:2\"\r\n"
             "# a comment line\r\n"
             "1.5,nan,1,0,0,0,0\r\n"
             "\r\n"
             "2.5,-1e-3,1,1,0.5,0.25,0\r\n");
  const GridPoints read = readGridPoints("pv.csv");
  const mesh::PointCloud& cloud = read.cloud;
  ASSERT_EQ(cloud.dim, 3);
  ASSERT_EQ(cloud.size(), 2u);
  ASSERT_EQ(cloud.quantities.size(), 2u);
  EXPECT_EQ(cloud.quantities[0].name, "T");
  EXPECT_EQ(cloud.quantities[1].name, "U:0");
  EXPECT_EQ(cloud.quantities[0].values, (std::vector<double>{1.5, 2.5}));
  EXPECT_TRUE(std::isnan(cloud.quantities[1].values[0]));
  EXPECT_EQ(usedDimension(cloud), 2);
  mesh::PointCloud plane = cloud;
  setDimension(plane, 2);
  EXPECT_EQ(plane.coordinates, (std::vector<double>{0, 0, 0.5, 0.25}));
  setDimension(plane, 3);
  EXPECT_EQ(plane.coordinates, cloud.coordinates);
}

TEST(MeshCase, RefusesWhatItCannotReadWithTheLine) {
  TempFolder folder("mesh_case");
  const struct {
    const char* text;
    size_t line;
    const char* says;
  } cases[] = {
      {"x,y,T\n0,0,1\n1,0\n", 3, "expected 3 fields"},
      {"x,y,T\n0,0,1\n0,inf,2\n", 3, "not finite"},
      {"x,y,T\n0,0,1\n0,1,2,5\n", 3, "decimal comma"},
      {"x,y,T\n0,0,one\n", 2, "is not a number"},
      {"x,y\n0,0\n", 1, "no quantity"},
      {"a,b,c\n0,0,1\n", 1, "no coordinates"},
      {"x,y,T,T\n0,0,1,2\n", 1, "the column T is named twice"},
      {"x,y,,T\n0,0,1,2\n", 1, "column 3 is empty"},
      {"x,y,T\n", 0, "holds no points"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    writeBytes("g.csv", c.text);
    try {
      readGridPoints("g.csv");
      ADD_FAILURE() << "read";
    } catch (const Failure& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  writeBytes("at.csv", "x,y\n0,0\n1,1\n");
  EXPECT_EQ(readGridPoints("at.csv", false).cloud.size(), 2u);  // study points need no quantity
}

TEST(MeshCase, KnowsTheVtkPointsBeforeReadingThem) {
  TempFolder folder("mesh_case");
  mesh::PointCloud cloud;
  cloud.dim = 2;
  cloud.coordinates = {0, 0, 1, 0, 0, 1};
  cloud.quantities = {{"T", {1, 2, 3}}};
  ASSERT_EQ(mesh::writeVtu("three.vtu", cloud), std::nullopt);
  EXPECT_EQ(mesh::declaredVtk("three.vtu")->points, 3u);
  writeBytes(
      "two.pvtu",
      "<VTKFile type=\"PUnstructuredGrid\"><PUnstructuredGrid>"
      "<Piece Source=\"three.vtu\"/><Piece Source=\"three.vtu\"/></PUnstructuredGrid></VTKFile>");
  EXPECT_EQ(mesh::declaredVtk("two.pvtu")->points, 6u);
  writeBytes("grid.vtk",
             "# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 3 4 5\n");
  EXPECT_EQ(mesh::declaredVtk("grid.vtk")->points, 60u);
  // A file that declares more points than the budget holds is refused before VTK reads it.
  writeBytes("huge.vtk",
             "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 99999999999 "
             "double\n");
  EXPECT_EQ(mesh::declaredVtk("huge.vtk")->points, 99999999999u);
  try {
    readGridPoints("huge.vtk");
    ADD_FAILURE() << "read";
  } catch (const Failure& e) {
    EXPECT_NE(std::string(e.what()).find("declares 99999999999 points"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace kv::study
