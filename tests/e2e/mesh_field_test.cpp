// `kestrovanilque study` on grids that share no points: a manufactured field whose discretisation
// error is C h^2 g(x, y) on jittered, non-nested point sets, studied through the real binary at
// the coarsest grid's points; points that coincide, points outside the grids, VTK grids and the
// field.vtu read back by meshio.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <random>

#include "harness.h"

namespace kv::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string decimal(double x) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

double exactField(const double* x) {
  return std::exp(0.7 * x[0]) * std::sin(2 * x[1] + 0.3) + x[0] * x[0] + std::cos(1.3 * x[2]);
}
double schemeError(const double* x) {
  return 1 + 0.5 * x[0] * x[1] + 0.25 * std::sin(3 * x[0]) + 0.2 * x[2];
}

// The solution on the lattice of `cells` cells per side of the unit square (cube), each inner
// point moved at random by up to `jitter` spacings along each axis: T = field + h^2 g, and
// U = -T beside it. `paraView` writes ParaView's CSV export (quoted names, Points last, z = 0).
std::string gridFile(int dim, int cells, std::mt19937_64& random, double jitter,
                     bool paraView = false) {
  std::uniform_real_distribution<double> shift(-jitter, jitter);
  const double h = 1.0 / cells;
  const int n = cells + 1, total = dim == 2 ? n * n : n * n * n;
  std::string out = paraView ? "\"T\",\"U\",\"Points:0\",\"Points:1\",\"Points:2\"\n"
                             : std::string(dim == 2 ? "x,y" : "x,y,z") + ",T,U\n";
  for (int p = 0; p < total; ++p) {
    double x[3] = {0, 0, 0};
    for (int d = 0, rest = p; d < dim; ++d, rest /= n) {
      const int i = rest % n;
      x[d] = h * (i + (i == 0 || i == cells ? 0.0 : shift(random)));
    }
    const double t = exactField(x) + h * h * schemeError(x);
    const std::string coordinates =
        decimal(x[0]) + "," + decimal(x[1]) + (dim == 3 ? "," + decimal(x[2]) : "");
    out += paraView ? decimal(t) + "," + decimal(-t) + "," + coordinates + ",0\n"
                    : coordinates + "," + decimal(t) + "," + decimal(-t) + "\n";
  }
  return out;
}

// A case of grids of cells[0] (the coarsest) to cells.back() cells per side.
void writeCase(const CaseFolder& f, int dim, std::vector<int> cells, double jitter,
               int paraViewGrid = -1) {
  std::mt19937_64 random(7);
  std::string table = "h,file\n";
  for (size_t g = 0; g < cells.size(); ++g) {
    const std::string name = "g" + std::to_string(cells[g]) + ".csv";
    f.write(name, gridFile(dim, cells[g], random, jitter, static_cast<int>(g) == paraViewGrid));
    table += decimal(1.0 / cells[g]) + "," + name + "\n";
  }
  f.write("case.csv", table);
}

struct Row {
  std::vector<std::string> fields;
  const std::string& operator[](size_t k) const { return fields[k]; }
  double x(size_t k) const {
    return fields[fields.size() - 3 + k].empty() ? 0.0 : std::stod(fields[fields.size() - 3 + k]);
  }
};

// The rows of summary.csv (split at every comma: no field before the status holds one).
std::vector<Row> rowsOf(const std::string& csv) {
  std::vector<Row> rows;
  for (const std::string& line : lines(csv)) {
    Row row;
    for (size_t at = 0;; ++at) {
      const size_t comma = line.find(',', at);
      row.fields.push_back(line.substr(at, comma - at));
      if (comma == std::string::npos) break;
      at = comma;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}
constexpr size_t kP = 12, kPhi1 = 7, kConvergence = 11, kStatus = 22;

// The share of the interior points (`margin` from the boundary) of quantity T whose observed
// order is within 0.05 of 2; printed with the median of |p - 2|.
double shareNearTwo(const std::vector<Row>& rows, int dim, double margin, const char* what) {
  std::vector<double> off;
  for (size_t r = 1; r < rows.size(); ++r) {
    if (!rows[r][0].starts_with("T:")) continue;
    bool inside = true;
    for (int d = 0; d < dim; ++d)
      inside = inside && rows[r].x(d) >= margin && rows[r].x(d) <= 1 - margin;
    if (inside)
      off.push_back(rows[r][kP].empty() ? INFINITY : std::fabs(std::stod(rows[r][kP]) - 2));
  }
  std::sort(off.begin(), off.end());
  const double share = static_cast<double>(std::count_if(off.begin(), off.end(),
                                                         [](double d) { return d <= 0.05; })) /
                       static_cast<double>(off.size());
  std::printf("%s: %zu interior points, %.1f %% with |p - 2| <= 0.05, median |p - 2| %.2g\n", what,
              off.size(), 100 * share, off[off.size() / 2]);
  return share;
}

bool meshioInstalled() {
  return std::system("/usr/bin/python3 -c 'import meshio' > /dev/null 2>&1") == 0;
}

// Runs `check` in Python on the folder's field.vtu read by meshio as m; its output on failure.
std::string meshioCheck(const CaseFolder& f, const std::string& folder, const std::string& check) {
  f.write("check.py", "import sys, math, meshio\nm = meshio.read(sys.argv[1])\n" + check);
  const std::string out = (f.path() / "check.out").string();
  const int status =
      std::system(("/usr/bin/python3 " + (f.path() / "check.py").string() + " " +
                   (f.path() / folder / "field.vtu").string() + " > " + out + " 2>&1")
                      .c_str());
  return status == 0 ? "" : readFile(out) + " (status " + std::to_string(status) + ")";
}

// Four jittered, non-nested point sets, h = 1/20 to 1/160: interpolation of degree 2 keeps the
// order 2 of the scheme, linear interpolation pollutes it. field.vtu holds what summary.csv does.
TEST(MeshField, ManufacturedFieldKeepsTheOrderOnlyWithQuadraticInterpolation) {
  CaseFolder f(false);
  writeCase(f, 2, {20, 40, 80, 160}, 0.25, 1);
  RunResult r = f.run({"study", "case.csv", "--out", "k2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(
      r.out,
      HasSubstr("interpolation of degree 2 to the 441 points of the coarsest grid: 0 outside"));
  ASSERT_EQ(
      f.run({"study", "case.csv", "--out", "k1", "--interp-degree", "1", "--no-plots"}).status, 0);
  const std::vector<Row> quadratic = rowsOf(f.read("k2/summary.csv")),
                         linear = rowsOf(f.read("k1/summary.csv"));
  ASSERT_EQ(quadratic.size(), 1 + 2 * 441u);  // T and U at each point
  EXPECT_THAT(lines(f.read("k2/summary.csv"))[0], ::testing::EndsWith(",u_gci_th,u_osc,x,y,z"));
  EXPECT_GE(shareNearTwo(quadratic, 2, 0.1, "2-D, degree 2"), 0.95);
  EXPECT_LT(shareNearTwo(linear, 2, 0.1, "2-D, degree 1"), 0.5);
  const nlohmann::json j = nlohmann::json::parse(f.read("k2/study.json"));
  EXPECT_EQ(j["input"]["kind"], "mesh-field");
  EXPECT_EQ(j["interpolation"]["degree"], 2);
  EXPECT_EQ(j["interpolation"]["grids"][3]["interpolated"], false);
  // Each quantity's two maps (drawn when gnuplot is here) are its own maps, not other plots.
  const std::string report = f.read("k2/report.html");
  for (const char* map : {"q0mp_", "q0mg_", "q1mp_", "q1mg_"}) {
    const size_t at = report.find(map);
    ASSERT_NE(at, std::string::npos) << map;
    EXPECT_NE(report.substr(at, report.find("</svg>", at) - at).find("over the points"), std::string::npos) << map;
  }
  EXPECT_THAT(f.read("k1/report.html"), HasSubstr("id=\"low-degree\""));

  if (!meshioInstalled()) GTEST_SKIP() << "no meshio (Debian: python3-meshio)";
  std::string rowsP = "[";
  for (size_t k = 1; k <= 441; ++k)
    rowsP += (quadratic[k][kP].empty() ? "float('nan')" : quadratic[k][kP]) + ",";
  EXPECT_EQ(
      meshioCheck(
          f, "k2",
          "p = " + rowsP +
              "]\n"
              "assert m.points.shape == (441, 3) and m.cells[0].type == 'vertex', m\n"
              "for name in ['T.p', 'T.phi_ext21', 'T.gci_fine21', 'T.u_gci', 'T.u_ls', 'T.u_cf', "
              "'T.u_fs',\n"
              "             'T.u_gci_th', 'T.u_osc', 'T.convergence', 'U.p', 'interpolation']:\n"
              "    assert name in m.point_data, name\n"
              "assert all(a == b for a, b in zip(m.point_data['T.p'], p))\n"
              "assert m.field_data['convergence=monotonic-convergence'][0] == 0\n"
              "assert m.field_data['interpolation=outside'][0] == 2\n"),
      "");
}

TEST(MeshField, ThreeDimensionalField) {
  CaseFolder f(false);
  writeCase(f, 3, {8, 16, 32, 64}, 0.25);
  ASSERT_EQ(f.run({"study", "case.csv", "--no-plots"}).status, 0);
  ASSERT_EQ(
      f.run({"study", "case.csv", "--no-plots", "--interp-degree", "1", "--out", "k1"}).status, 0);
  EXPECT_GE(shareNearTwo(rowsOf(f.read("case.study/summary.csv")), 3, 0.25, "3-D, degree 2"), 0.9);
  EXPECT_LT(shareNearTwo(rowsOf(f.read("k1/summary.csv")), 3, 0.25, "3-D, degree 1"), 0.5);
}

// Nested lattices: every study point is a point of every grid and takes its values as they are.
TEST(MeshField, CoincidentPointsTakeTheGridsValues) {
  CaseFolder f(false);
  writeCase(f, 2, {4, 8, 16}, 0.0);
  ASSERT_EQ(f.run({"study", "case.csv", "--no-plots"}).status, 0);
  const nlohmann::json j = nlohmann::json::parse(f.read("case.study/study.json"));
  EXPECT_EQ(j["interpolation"]["points"]["exact"], 25);
  for (const Row& row : rowsOf(f.read("case.study/summary.csv"))) {
    if (!row[0].starts_with("T:")) continue;
    const double x[3] = {row.x(0), row.x(1), 0};
    EXPECT_EQ(row[kPhi1], decimal(exactField(x) + schemeError(x) / 256)) << row[0];
  }
}

// Study points outside the grids get no value, no order, and say so first; their rows stay.
TEST(MeshField, OutsidePointsSayWhy) {
  CaseFolder f(false);
  writeCase(f, 2, {4, 8, 16}, 0.2);
  f.write("at.csv", "x,y\n0.5,0.5\n1.5,0.5\n-0.3,0.2\n");
  RunResult r = f.run({"study", "case.csv", "--at", "at.csv", "--no-plots", "--strict"});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::vector<Row> rows = rowsOf(f.read("case.study/summary.csv"));
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[1][kStatus], "ok");
  for (size_t k : {2, 3}) {
    EXPECT_THAT(rows[k][kStatus], StartsWith("outside"));
    EXPECT_EQ(rows[k][kConvergence], "undetermined");
    EXPECT_EQ(rows[k][kP], "");
  }
  EXPECT_EQ(rows[2].x(0), 1.5);
  EXPECT_EQ(rows[2].fields.back(), "");  // no z in 2-D
  EXPECT_EQ(
      nlohmann::json::parse(f.read("case.study/study.json"))["interpolation"]["points"]["outside"],
      2);

  // --at belongs to this kind of case only; a grid file that cannot be read stops everything.
  f.write("points.csv", "h,file\n0.1,a.txt\n0.2,b.txt\n");
  f.write("a.txt", "1 1\n");
  f.write("b.txt", "1 2\n");
  EXPECT_THAT(f.run({"study", "points.csv", "--at", "at.csv"}).err,
              HasSubstr("--at applies to fields on grids that share no points"));
  f.write("g8.csv", "x,y,T,U\n0,0,1,2\n0.5,0.5,1,2,3\n");
  r = f.run({"study", "case.csv", "--out", "bad"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("g8.csv:3: expected 4 fields"));
  EXPECT_FALSE(f.exists("bad"));
}

// Grids as legacy VTK files with quadrilateral cells: field.vtu keeps the coarsest grid's cells.
TEST(MeshField, VtkGridsGiveAFieldWithCells) {
  CaseFolder f(false);
  std::string table = "h,file\n";
  for (int cells : {4, 8, 16}) {
    const int n = cells + 1;
    std::string points, quads, types, values;
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const double x[3] = {static_cast<double>(i) / cells, static_cast<double>(j) / cells, 0};
        points += decimal(x[0]) + " " + decimal(x[1]) + " 0\n";
        values += decimal(exactField(x) + schemeError(x) / (cells * cells)) + "\n";
        if (i < cells && j < cells) {
          const int a = j * n + i;
          quads += "4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
                   std::to_string(a + n + 1) + " " + std::to_string(a + n) + "\n";
          types += "9\n";
        }
      }
    }
    const std::string c = std::to_string(cells * cells);
    f.write("g" + std::to_string(cells) + ".vtk",
            "# vtk DataFile Version 3.0\ngrid\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS " +
                std::to_string(n * n) + " double\n" + points + "CELLS " + c + " " +
                std::to_string(5 * cells * cells) + "\n" + quads + "CELL_TYPES " + c + "\n" +
                types + "POINT_DATA " + std::to_string(n * n) +
                "\nSCALARS T double 1\nLOOKUP_TABLE default\n" + values);
    table += decimal(1.0 / cells) + ",g" + std::to_string(cells) + ".vtk\n";
  }
  f.write("case.csv", table);
  RunResult r = f.run({"study", "case.csv", "--no-plots"});
  if (r.err.find("without VTK") != std::string::npos) GTEST_SKIP() << "built without VTK 9";
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      nlohmann::json::parse(f.read("case.study/study.json"))["interpolation"]["points"]["exact"],
      25);
  if (!meshioInstalled()) GTEST_SKIP() << "no meshio (Debian: python3-meshio)";
  EXPECT_EQ(
      meshioCheck(f, "case.study",
                  "assert len(m.points) == 25 and m.cells[0].type == 'quad' and "
                  "len(m.cells[0].data) == 16, m\n"
                  "assert all(abs(p - 2) < 1e-9 for p in m.point_data['p']), m.point_data['p']\n"),
      "");
}

// Hostile grid files: cells outside the grid (past its end, negative, far beyond) in .vtk and
// .vtu, a legacy cell list that runs past its end (ASCII and binary), declared sizes past the
// budget however they are written. Each ends the study with status 2 and one line, before
// anything is computed from them, and nothing is left in the folder.
TEST(MeshField, HostileGridFilesEndWithOneLine) {
  auto legacy = [](const std::string& mode, const std::string& cells) {
    return "# vtk DataFile Version 3.0\ng\n" + mode + "\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 double\n0 0 0\n"
           "1 0 0\n1 1 0\n0 1 0\n" + cells + "\nCELL_TYPES 1\n9\nPOINT_DATA 4\nSCALARS T double 1\n"
           "LOOKUP_TABLE default\n1 2 3 4\n";
  };
  auto xml = [](const std::string& piece, const std::string& connectivity, const std::string& array) {
    return "<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid><Piece " + piece +
           "><Points><DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 1 1 0 "
           "0 1 0</DataArray></Points><Cells><DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">" +
           connectivity + "</DataArray><DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">4</DataArray>"
           "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">9</DataArray></Cells><PointData><DataArray "
           "type=\"Float64\" Name=\"T\" " + array + " format=\"ascii\">1 2 3 4</DataArray></PointData></Piece>"
           "</UnstructuredGrid></VTKFile>\n";
  };
  const std::string four = "NumberOfPoints=\"4\" NumberOfCells=\"1\"";
  // A binary legacy file: its cell list (big-endian) names 900000000 points.
  std::string binary = "# vtk DataFile Version 3.0\ng\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 int\n" +
                       std::string(12, '\0') + "\nCELLS 1 2\n" + std::string("\x35\xa4\xe9\x00\x00\x00\x00\x00", 8);
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"far.vtk", legacy("ASCII", "CELLS 1 5\n4 0 1 2 900000000"), "cannot read far.vtk: a cell refers to point 900000000 of"},
      {"past.vtk", legacy("ASCII", "CELLS 1 5\n4 0 1 2 4"), "cannot read past.vtk: a cell refers to point 4 of"},
      {"negative.vtk", legacy("ASCII", "CELLS 1 5\n4 0 -1 2 3"), "cannot read negative.vtk: a cell refers to point -1 of"},
      {"overrun.vtk", legacy("ASCII", "CELLS 1 5\n900000000 0 1 2 3"), "overrun.vtk:11: CELLS: cell 0 of 1 names 900000000"},
      {"binary.vtk", binary, "binary.vtk: CELLS: cell 0 of 1 names 900000000 points"},
      {"huge.vtk", "# vtk DataFile Version 3.0\ng\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 2000000000 double\n",
       "huge.vtk: declares 2000000000 points"},
      {"far.vtu", xml(four, "0 1 2 900000000", ""), "cannot read far.vtu: a cell refers to point 900000000 of"},
      {"past.vtu", xml(four, "0 1 2 4", ""), "cannot read past.vtu: a cell refers to point 4 of"},
      {"negative.vtu", xml(four, "0 -1 2 3", ""), "cannot read negative.vtu: a cell refers to point -1 of"},
      {"single.vtu", xml("NumberOfCells='1' NumberOfPoints='2000000000'", "0 1 2 3", ""), "single.vtu: declares 2000000000 points"},
      {"reference.vtu", xml("NumberOfPoints=\"&#50;000000000\"", "0 1 2 3", ""), "reference.vtu: declares 2000000000 points"},
      {"components.vtu", xml(four, "0 1 2 3", "NumberOfComponents = '1000000000'"), "components.vtu: declares 4000000015 values"},
  };
  CaseFolder f(false);
  f.write("g1.vtu", xml(four, "0 1 2 3", ""));
  f.write("g2.vtu", xml(four, "0 1 2 3", ""));
  for (const auto& c : cases) {
    f.write(c.name, c.text);
    f.write("case.csv", std::string("h,file\n0.05,") + c.name + "\n0.1,g1.vtu\n0.2,g2.vtu\n");
    const auto before = f.files();
    const RunResult r = f.run({"study", "case.csv", "--no-plots"});
    if (r.err.find("without VTK") != std::string::npos) GTEST_SKIP() << "built without VTK 9";
    EXPECT_EQ(r.status, 2) << c.name << ": " << r.err;
    EXPECT_THAT(r.err, StartsWith(std::string("kestrovanilque study: error: ") + c.says)) << c.name;
    EXPECT_EQ(lines(r.err).size(), 1u) << c.name << ": " << r.err;
    EXPECT_EQ(f.files(), before) << c.name;
    EXPECT_FALSE(f.exists("case.study")) << c.name;
  }
}

}  // namespace
}  // namespace kv::e2e
