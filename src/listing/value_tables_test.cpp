#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "listing/report_test_support.h"
#include "listing/result_tables.h"

namespace kv {
namespace {

using report_test::blank;
using report_test::f12;
using report_test::f22;
using report_test::Line;
using report_test::records;
using report_test::ReportTest;

// Labels at 3 and 15 + 22 (k - 1).
const std::string kValueHeader = "  h" + blank(11) + "Th" + blank(20) + "Ti_12" + blank(17) +
                                 "Ti_13" + blank(17) + "Ti_pU" + blank(17) + "Ti_23" + blank(17) +
                                 "Ti_bi" + blank(17) + "Ti_tri" + blank(16) + "Tc_12" + blank(17) +
                                 "Tc_13" + blank(17) + "Tbi_pU";

const std::string kDifferenceHeader = Line()
                                          .at(3, "h")
                                          .at(15, "dTh")
                                          .at(37, "dTi_12")
                                          .at(59, "dTi_13")
                                          .at(81, "dTi_pU")
                                          .at(103, "dTi_23")
                                          .at(125, "dTi_bi")
                                          .at(147, "dTi_tri")
                                          .at(169, "dTc_12")
                                          .at(191, "dTc_13")
                                          .at(213, "dTbi_pU")
                                          .str();

const std::string kErrorHeader = Line()
                                     .at(3, "h")
                                     .at(15, "E(Th)")
                                     .at(37, "E(Ti_12)")
                                     .at(59, "E(Ti_13)")
                                     .at(81, "E(Ti_pU)")
                                     .at(103, "E(Ti_23)")
                                     .at(125, "E(Ti_bi)")
                                     .at(147, "E(Ti_tri)")
                                     .at(169, "E(Tc_12)")
                                     .at(191, "E(Tc_13)")
                                     .at(213, "E(Tbi_pU)")
                                     .str();

// h(i) = 2^-i; column k of grid i holds 10 k + i, its true error -(10 k + i).
class ValueTables : public ReportTest {
 protected:
  void fill(int gridCount) {
    start(gridCount);
    GridSeries& g = run.grid;
    GridArray<double>* values[] = {&g.Th,    &g.Ti_12,  &g.Ti_13, &g.Ti_pU, &g.Ti_23,
                                   &g.Ti_bi, &g.Ti_tri, &g.Tc_12, &g.Tc_13, &g.Tbi_pU};
    GridArray<double>* errors[] = {&g.E_Th,    &g.E_Ti_12,  &g.E_Ti_13, &g.E_Ti_pU, &g.E_Ti_23,
                                   &g.E_Ti_bi, &g.E_Ti_tri, &g.E_Tc_12, &g.E_Tc_13, &g.E_Tbi_pU};
    for (int i = 1; i <= gridCount; ++i) {
      g.h(i) = 1.0 / (1 << i);
      for (int k = 1; k <= 10; ++k) {
        (*values[k - 1])(i) = 10 * k + i;
        (*errors[k - 1])(i) = -(10 * k + i);
      }
    }
  }
};

TEST_F(ValueTables, HeaderIs218Characters) {
  EXPECT_EQ(kValueHeader.size(), 218u);
  EXPECT_EQ(kValueHeader.substr(212), "Tbi_pU");
  fill(0);
  writeValueTable(*run.listing, run);
  EXPECT_EQ(listing(), records({"", kValueHeader}));
}

TEST_F(ValueTables, TwoGrids) {
  fill(2);
  writeValueTable(*run.listing, run);
  writeDifferenceTable(*run.listing, run);
  writeTrueErrorTable(*run.listing, run);
  EXPECT_EQ(listing(), records({"", kValueHeader, "  5.0000E-01  1.10000000000000E+01",
                                "  2.5000E-01  1.20000000000000E+01  2.20000000000000E+01"}) +
                           records({"", kDifferenceHeader, "  5.0000E-01",
                                    "  2.5000E-01  1.00000000000000E+00"}) +
                           records({"", kErrorHeader, "  5.0000E-01 -1.10000000000000E+01",
                                    "  2.5000E-01 -1.20000000000000E+01 -2.20000000000000E+01"}));
}

TEST_F(ValueTables, ValueRowsUpToGridFour) {
  fill(4);
  run.grid.Ti_pU(4) = 1.0e11;  // grid 3 defined, grid 4 undefined
  writeValueTable(*run.listing, run);
  EXPECT_EQ(listing(),
            records({"", kValueHeader, "  5.0000E-01  1.10000000000000E+01",
                     "  2.5000E-01  1.20000000000000E+01  2.20000000000000E+01",
                     // no-tri: columns 1-6, column 7 blank, columns 8-9
                     "  1.2500E-01  1.30000000000000E+01  2.30000000000000E+01  "
                     "3.30000000000000E+01  4.30000000000000E+01  5.30000000000000E+01  "
                     "6.30000000000000E+01" +
                         blank(22) + "  8.30000000000000E+01  9.30000000000000E+01",
                     // no-pU: columns 1-3, column 4 blank, columns 5-7
                     "  6.2500E-02  1.40000000000000E+01  2.40000000000000E+01  "
                     "3.40000000000000E+01" +
                         blank(22) +
                         "  5.40000000000000E+01  6.40000000000000E+01  7.40000000000000E+01"}));
}

TEST_F(ValueTables, GridThreeUndefinedGridFourDefined) {
  fill(4);
  run.grid.Ti_pU(3) = 1.0e11;
  writeValueTable(*run.listing, run);
  writeDifferenceTable(*run.listing, run);
  const std::string grid1 = "  5.0000E-01  1.10000000000000E+01";
  const std::string grid2 = "  2.5000E-01  1.20000000000000E+01  2.20000000000000E+01";
  const std::string one = "  1.00000000000000E+00";
  EXPECT_EQ(listing(), records({"", kValueHeader, grid1, grid2,
                                "  1.2500E-01  1.30000000000000E+01  2.30000000000000E+01  "
                                "3.30000000000000E+01" +
                                    blank(22) + "  5.30000000000000E+01  6.30000000000000E+01",
                                "  6.2500E-02  1.40000000000000E+01  2.40000000000000E+01  "
                                "3.40000000000000E+01  4.40000000000000E+01  5.40000000000000E+01  "
                                "6.40000000000000E+01  7.40000000000000E+01  8.40000000000000E+01  "
                                "9.40000000000000E+01"}) +
                           // Grid 3 is "always" in the difference table; grid 4 takes no-tri, and
                           // its dTi_pU is printed as the subtraction gives it: 44 - 1.0e11.
                           records({"", kDifferenceHeader, "  5.0000E-01", "  2.5000E-01" + one,
                                    "  1.2500E-01" + one + one,
                                    "  6.2500E-02" + one + one + one + " -9.99999999560000E+10" +
                                        one + one + blank(22) + one + one}));
}

// Grid 5 onward: the four cases of Ti_pU and Tbi_pU, and values exactly at the limit.
struct GridFiveCase {
  const char* name;
  double tiPU, tbiPU;
  std::optional<std::string> row;
};
void PrintTo(const GridFiveCase& c, std::ostream* os) { *os << c.name; }

class GridFiveRows : public ValueTables, public ::testing::WithParamInterface<GridFiveCase> {};

const std::string kGrid5Full9 =
    "  3.1250E-02  1.50000000000000E+01  2.50000000000000E+01  3.50000000000000E+01  "
    "4.50000000000000E+01  5.50000000000000E+01  6.50000000000000E+01  7.50000000000000E+01  "
    "8.50000000000000E+01  9.50000000000000E+01";
const std::string kGrid5NoPU =
    "  3.1250E-02  1.50000000000000E+01  2.50000000000000E+01  3.50000000000000E+01" + blank(22) +
    "  5.50000000000000E+01  6.50000000000000E+01  7.50000000000000E+01";

INSTANTIATE_TEST_SUITE_P(
    Cases, GridFiveRows,
    ::testing::Values(
        GridFiveCase{"BothDefined", 45.0, 105.0, kGrid5Full9 + "  1.05000000000000E+02"},
        GridFiveCase{"TbiPUUndefined", 45.0, 1.0e11, kGrid5Full9},
        // Tbi_pU at positions 211-232, after two blank columns.
        GridFiveCase{"TiPUUndefined", 1.0e11, 105.0,
                     kGrid5NoPU + blank(44) + "  1.05000000000000E+02"},
        GridFiveCase{"BothUndefined", 1.0e11, 1.0e11, kGrid5NoPU},
        GridFiveCase{"TiPUAtTheLimit", 1.0e10, 105.0, std::nullopt},
        GridFiveCase{"TbiPUAtTheLimit", 45.0, 1.0e10, std::nullopt},
        GridFiveCase{"LargeNegativeIsDefined", -1.0e11, 105.0,
                     "  3.1250E-02  1.50000000000000E+01  2.50000000000000E+01  "
                     "3.50000000000000E+01 -1.00000000000000E+11  5.50000000000000E+01  "
                     "6.50000000000000E+01  7.50000000000000E+01  8.50000000000000E+01  "
                     "9.50000000000000E+01  1.05000000000000E+02"}),
    [](const ::testing::TestParamInfo<GridFiveCase>& info) {
      return std::string(info.param.name);
    });

TEST_P(GridFiveRows, ValueTable) {
  const GridFiveCase& c = GetParam();
  fill(5);
  run.grid.Ti_pU(5) = c.tiPU;
  run.grid.Tbi_pU(5) = c.tbiPU;
  writeValueTable(*run.listing, run);
  std::string text = listing();
  // Skip the header and the rows of grids 1 to 4.
  size_t start = 0;
  for (int line = 0; line < 6; ++line) start = text.find("\r\n", start) + 2;
  EXPECT_EQ(text.substr(start), c.row ? records({*c.row}) : "");
}

TEST_F(ValueTables, DifferenceTableFollowsOneGridLater) {
  fill(6);
  run.grid.Ti_pU(3) = 1.0e11;
  run.grid.Ti_pU(6) = 1.0e11;  // with Tbi_pU(6) defined
  writeDifferenceTable(*run.listing, run);
  const std::string one = "  1.00000000000000E+00";
  EXPECT_EQ(
      listing(),
      records({"", kDifferenceHeader, "  5.0000E-01", "  2.5000E-01" + one,
               "  1.2500E-01" + one + one,
               "  6.2500E-02" + one + one + one + " -9.99999999560000E+10" + one + one + blank(22) +
                   one + one,
               // Grid 5 is the value table's grid 4: full through column 9.
               "  3.1250E-02" + one + one + one + one + one + one + one + one + one,
               // dTi_pU near +1.0e11 is not shown: column 4 is blank.
               "  1.5625E-02" + one + one + one + blank(22) + one + one + one + blank(44) + one}));
}

TEST_F(ValueTables, TrueErrorTableTestsTheValuesNotTheErrors) {
  fill(5);
  run.grid.Ti_pU(4) = 1.0e11;
  run.grid.E_Ti_pU(3) = 1.0e11;  // an error above the limit is still printed
  run.grid.E_Tbi_pU(5) = 1.0e11;
  writeTrueErrorTable(*run.listing, run);
  EXPECT_EQ(
      listing(),
      records({"", kErrorHeader, "  5.0000E-01 -1.10000000000000E+01",
               "  2.5000E-01 -1.20000000000000E+01 -2.20000000000000E+01",
               "  1.2500E-01 -1.30000000000000E+01 -2.30000000000000E+01 -3.30000000000000E+01"
               "  1.00000000000000E+11 -5.30000000000000E+01 -6.30000000000000E+01" +
                   blank(22) + " -8.30000000000000E+01 -9.30000000000000E+01",
               "  6.2500E-02 -1.40000000000000E+01 -2.40000000000000E+01 -3.40000000000000E+01" +
                   blank(22) + " -5.40000000000000E+01 -6.40000000000000E+01 -7.40000000000000E+01",
               "  3.1250E-02 -1.50000000000000E+01 -2.50000000000000E+01 -3.50000000000000E+01"
               " -4.50000000000000E+01 -5.50000000000000E+01 -6.50000000000000E+01"
               " -7.50000000000000E+01 -8.50000000000000E+01 -9.50000000000000E+01"
               "  1.00000000000000E+11"}));
}

}  // namespace
}  // namespace kv
