#include "mesh/vtk_declared.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kv::mesh {
namespace {

// Big-endian 32-bit integers, as a binary legacy file holds them.
std::string ints(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) {
    const auto u = static_cast<uint32_t>(v);
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>((u >> shift) & 0xff));
  }
  return out;
}

const std::string kLegacy = "# vtk DataFile Version 3.0\ntitle\n";

TEST(VtkDeclared, FindsEveryCountHoweverTheFileWritesIt) {
  const std::string piece = "<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid>";
  const struct {
    const char* name;
    bool xml;
    std::string text;
    uint64_t points, values;
    const char* fault;  // a part of it; "" for none
  } cases[] = {
      {"quotes in any order, spaces around =", true,
       piece + "<Piece NumberOfCells = '2' NumberOfPoints='2000000000'><Points><DataArray "
               "NumberOfComponents=\"3\"/></Points><Cells><DataArray Name='offsets'/></Cells>",
       2000000000, 6000000002, ""},
      {"character references", true, piece + "<Piece NumberOfPoints=\"&#50;0&#x30;\">", 200, 0, ""},
      {"components of point and cell data, field tuples", true,
       piece +
           "<FieldData><DataArray NumberOfTuples=\"7\"/></FieldData><Piece NumberOfPoints=\"4\" "
           "NumberOfCells=\"3\"><PointData><DataArray "
           "NumberOfComponents=\"1000000000\"/></PointData>"
           "<CellData><DataArray NumberOfComponents=\"2\"></DataArray></CellData></Piece>",
       4, 4000000013, ""},
      {"comments, CDATA and appended bytes hide nothing VTK reads", true,
       piece +
           "<!-- <Piece NumberOfPoints=\"9\"> --><![CDATA[<Piece NumberOfPoints=\"9\">]]><Piece "
           "NumberOfPoints=\"5\"/><AppendedData encoding=\"raw\">_<Piece NumberOfPoints=\"9\">",
       5, 0, ""},
      {"an entity of its own", true, piece + "<Piece NumberOfPoints=\"&big;\">", 0, 0,
       "with an entity"},
      {"a document type", true, "<!DOCTYPE v [<!ENTITY big \"9\">]>" + piece, 0, 0,
       "document type"},
      {"UTF-16", true, std::string("<\0?\0x\0m\0", 8), 0, 0, "UTF-16"},
      {"ASCII, keywords in any case, a count on the next line", false,
       kLegacy +
           "ASCII\nDATASET UNSTRUCTURED_GRID\npoints\n3 float\n0 0 0 1 0 0 0 1 0\n"
           "CELLS 1 4\n3 0 1 2\nCell_Types 1\n5\nPOINT_DATA 3\nSCALARS T double 2\n"
           "LOOKUP_TABLE default\n1 2 3 4 5 6\nMETADATA\nINFORMATION 0\n\n"
           "FIELD f 2\nname 1 2 string\na b\nc d\nNULL_ARRAY\nVECTORS U float\n1 2 3 4 5 6 7 8 9\n",
       3, 9 + 5 + 1 + 6 + 2 + 9, ""},
      {"the cell list of version 5.1", false,
       "# vtk DataFile Version 5.1\nt\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n"
       "POLYGONS 2 3\nOFFSETS vtktypeint64\n0 3\nCONNECTIVITY vtktypeint64\n0 1 2\n",
       3, 9 + 5, ""},
      {"binary: the sections after the binary data", false,
       kLegacy + "BINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 2 int\n" + ints({0, 0, 0, 1, 0, 0}) +
           "\nCELLS 1 3\n" + ints({2, 0, 1}) + "\nCELL_TYPES 1\n" + ints({3}) +
           "\nCELL_DATA 1\nFIELD f 1\nc 2000000 1000 double\n",
       2, 6 + 4 + 1 + 2000000000, ""},
      {"DIMENSIONS", false,
       kLegacy + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 3 4 5\nORIGIN 0 0 0\n", 60, 0, ""},
      {"a huge count", false,
       kLegacy + "BINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 99999999999 double\n", 99999999999,
       299999999997, ""},
      {"a cell that names more points than its list holds", false,
       kLegacy +
           "ASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n0 0 0\nCELLS 1 5\n900000 0 0 0 0\n",
       1, 9, "CELLS: cell 0 of 1 names 900000 points where 4 values"},
      {"the same in a binary file", false,
       kLegacy + "BINARY\nDATASET POLYDATA\nPOINTS 1 float\n" + std::string(12, '\0') +
           "\nLINES 1 3\n" + ints({3, 0, 0}),
       1, 7, "LINES: cell 0 of 1 names 3 points where 2"},
      {"a negative count of points in a cell", false,
       kLegacy + "ASCII\nDATASET POLYDATA\nVERTICES 2 3\n1 0 -1\n", 0, 5,
       "cell 1 of 2 names -1 points"},
      {"offsets out of order in version 5.1", false,
       "# vtk DataFile Version 5.1\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\nCELLS 3 4\nOFFSETS "
       "vtktypeint64\n" +
           std::string(15, '\0') + "\x04" + std::string(8, '\0'),
       0, 7, "CELLS OFFSETS: offset 2 is 0"},
      {"fewer cell types than cells", false,
       kLegacy + "ASCII\nDATASET UNSTRUCTURED_GRID\nCELLS 2 4\n1 0 1 0\nCELL_TYPES 1\n1\n", 0, 7,
       "CELL_TYPES: 1 types for 2 cells"},
      {"a negative count", false, kLegacy + "ASCII\nDATASET POLYDATA\nPOINTS -4 float\n", 0, 0,
       "negative count"},
      {"a keyword the walk does not know", false,
       kLegacy + "ASCII\nDATASET UNSTRUCTURED_GRID\nBLOB 3\n", 0, 0, "the keyword blob"},
      {"a binary string array", false,
       kLegacy + "BINARY\nDATASET POLYDATA\nFIELD f 1\ns 1 1 string\nab\n", 0, 1,
       "binary string array"},
      {"not a VTK file", false, "x,y\n0,0\n", 0, 0, ""},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    const VtkDeclared d = c.xml ? declaredInVtu(in) : declaredInLegacyVtk(in);
    EXPECT_EQ(d.points, c.points) << c.name;
    EXPECT_EQ(d.values, c.values) << c.name;
    if (*c.fault) {
      EXPECT_NE(d.fault.find(c.fault), std::string::npos) << c.name << ": " << d.fault;
    } else {
      EXPECT_EQ(d.fault, "") << c.name;
    }
  }
}

}  // namespace
}  // namespace kv::mesh
