#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "listing/report_test_support.h"
#include "listing/result_tables.h"

namespace kv {
namespace {

using report_test::blank;
using report_test::Line;
using report_test::records;
using report_test::ReportTest;

// Labels at 3 and 15 + 12 (k - 1).
std::string narrowHeader(std::initializer_list<const char*> labels) {
  return report_test::headerLine(12, labels);
}

const std::string kEffectivityHeader =
    narrowHeader({"Ud/|Eh|-1", "U12/Eh-1", "U13/Eh-1", "UpU/Eh-1", "U23/Eh-1", "Ubi/Eh-1",
                  "Utri/Eh-1", "U/|Ec12|-1", "U/|Ec13|-1"});
const std::string kTrueErrorRatioHeader =
    narrowHeader({"Eh/Ei12", "Ei13/Ei12", "EipU/Ei12", "Ei23/Ei12", "E_bi/Ei12", "E_tri/Ei12",
                  "Ec12/Ei12", "Ec13/Ei12", "Eh/Ec12", "Eh/Ec13", "Ec13/Ec12"});
const std::string kEstimatorRatioHeader =
    narrowHeader({"Ud/U12-1", "U13/U12-1", "UpU/U12-1", "U23/U12-1", "Ubi/U12-1", "Utri/U12-1",
                  "|U12|/Uc12", "|U12|/Uc13", "Uc13/Uc12"});
// Three 22-character columns, then 12-character ones from position 79.
const std::string kGciHeaderWithoutTrueError = Line()
                                                   .at(3, "h")
                                                   .at(15, "Uri_p(Th)")
                                                   .at(37, "GCI_pL(Th)")
                                                   .at(59, "GCI_p(Th)")
                                                   .at(81, "Urip/U12-1")
                                                   .at(93, "GpL/|U12|-Fs")
                                                   .at(105, "Gp/|U12|-Fs")
                                                   .str();
const std::string kGciHeader = Line()
                                   .at(1, kGciHeaderWithoutTrueError)
                                   .at(117, "Urip/Eh-1")
                                   .at(129, "GpL/|Eh|-Fs")
                                   .at(141, "Gp/|Eh|-Fs")
                                   .str();

class RatioTables : public ReportTest {
 protected:
  void spacings() {
    for (int i = 1; i <= run.grid.count; ++i) run.grid.h(i) = 1.0 / (1 << i);
  }
};

TEST_F(RatioTables, Effectivity) {
  start(5);
  spacings();
  GridSeries& g = run.grid;
  g.E_Th(2) = -0.5;
  g.Ud(2) = 1.0;
  g.Uri_12(2) = 0.25;

  g.Ti_pU(3) = 1.0;
  g.E_Th(3) = 0.25;
  g.Ud(3) = 0.5;
  g.Uri_12(3) = 0.125;
  g.Uri_13(3) = 0.25;
  g.Uri_pU(3) = 0.75;
  g.Uri_23(3) = 1.0;
  g.Uri_bi(3) = -0.25;
  g.Uc_12(3) = 0.5;
  g.E_Tc_12(3) = -0.125;  // divided through its magnitude
  g.Uc_13(3) = 0.125;
  g.E_Tc_13(3) = 0.0625;

  g.Ti_pU(4) = 1.0e11;
  g.E_Th(4) = 0.125;
  g.Ud(4) = 0.25;
  g.Uri_12(4) = 0.0625;
  g.Uri_13(4) = 0.125;
  g.Uri_23(4) = 0.5;
  g.Uri_bi(4) = 0.375;
  g.Uri_tri(4) = 0.25;

  // Ti_pU defined but E(Tc_12) = 0: no row, although most ratios could be formed.
  g.Ti_pU(5) = 1.0;
  g.E_Th(5) = 1.0;
  g.E_Tc_13(5) = 1.0;
  g.E_Tc_12(5) = 0.0;

  writeEffectivityTable(*run.listing, run);
  EXPECT_EQ(listing(),
            records({"", kEffectivityHeader, "  5.0000E-01", "  2.5000E-01  1.0000E+00 -1.5000E+00",
                     "  1.2500E-01  1.0000E+00 -5.0000E-01  0.0000E+00  2.0000E+00  3.0000E+00 "
                     "-2.0000E+00" +
                         blank(12) + "  3.0000E+00  1.0000E+00",
                     "  6.2500E-02  1.0000E+00 -5.0000E-01  0.0000E+00" + blank(12) +
                         "  3.0000E+00  2.0000E+00  1.0000E+00"}));
}

TEST_F(RatioTables, GciWithAndWithoutTrueError) {
  for (int32_t exact : {1, 0}) {
    SCOPED_TRACE(exact);
    start(5, exact);
    run.params.Fs = 1.25;
    spacings();
    GridSeries& g = run.grid;
    g.E_Th(2) = 0.5;
    g.Uri_12(2) = -0.25;
    g.GCI_pL(2) = 0.5;

    g.Ti_pU(3) = 1.0;
    g.Uri_12(3) = 0.5;
    g.E_Th(3) = -0.25;
    g.Uri_p(3) = 0.75;
    g.GCI_pL(3) = 1.0;
    g.GCI_p(3) = 1.5;

    g.Ti_pU(4) = 1.0e11;
    g.Uri_12(4) = 0.125;
    g.E_Th(4) = 0.125;
    g.GCI_pL(4) = 0.25;

    // E(Th) = 0 drops the grid from the first form only.
    g.Ti_pU(5) = 1.0;
    g.Uri_12(5) = 1.0;
    g.E_Th(5) = 0.0;
    g.Uri_p(5) = 0.5;
    g.GCI_pL(5) = 2.0;
    g.GCI_p(5) = 3.0;

    writeGciTable(*run.listing, run);
    std::string text = listing();
    if (exact == 1) {
      std::string grid2 = "  2.5000E-01" + blank(22) + "  5.00000000000000E-01" + blank(34) +
                          "  7.5000E-01" + blank(24) + " -2.5000E-01";
      EXPECT_EQ(grid2.size(), 138u);
      EXPECT_EQ(text, records({"", kGciHeader, "  5.0000E-01", grid2,
                               "  1.2500E-01  7.50000000000000E-01  1.00000000000000E+00  "
                               "1.50000000000000E+00  5.0000E-01  7.5000E-01  1.7500E+00 "
                               "-4.0000E+00  2.7500E+00  4.7500E+00",
                               "  6.2500E-02" + blank(22) + "  2.50000000000000E-01" + blank(34) +
                                   "  7.5000E-01" + blank(24) + "  7.5000E-01"}));
    } else {
      EXPECT_EQ(
          text,
          records(
              {"", kGciHeaderWithoutTrueError, "  5.0000E-01",
               "  2.5000E-01" + blank(22) + "  5.00000000000000E-01" + blank(34) + "  7.5000E-01",
               "  1.2500E-01  7.50000000000000E-01  1.00000000000000E+00  "
               "1.50000000000000E+00  5.0000E-01  7.5000E-01  1.7500E+00",
               "  6.2500E-02" + blank(22) + "  2.50000000000000E-01" + blank(34) + "  7.5000E-01",
               "  3.1250E-02  5.00000000000000E-01  2.00000000000000E+00  "
               "3.00000000000000E+00 -5.0000E-01  7.5000E-01  1.7500E+00"}));
    }
  }
}

TEST_F(RatioTables, TrueErrorRatios) {
  start(5);
  spacings();
  GridSeries& g = run.grid;
  g.E_Ti_12(2) = 0.5;
  g.E_Th(2) = 0.25;

  g.Ti_pU(3) = 1.0;
  g.E_Ti_12(3) = 0.5;
  g.E_Th(3) = 1.0;
  g.E_Ti_13(3) = 0.25;
  g.E_Ti_pU(3) = -0.5;
  g.E_Ti_23(3) = 1.5;
  g.E_Ti_bi(3) = 0.125;
  g.E_Tc_12(3) = 2.0;
  g.E_Tc_13(3) = -1.0;

  g.Ti_pU(4) = 1.0e11;
  g.E_Ti_12(4) = 0.25;
  g.E_Th(4) = 0.5;
  g.E_Ti_13(4) = 0.125;
  g.E_Ti_23(4) = 0.75;
  g.E_Ti_bi(4) = 1.0;
  g.E_Ti_tri(4) = 0.0625;

  g.Ti_pU(5) = 1.0;
  g.E_Ti_12(5) = 1.0;
  g.E_Tc_12(5) = 1.0;
  g.E_Tc_13(5) = 0.0;  // a zero divisor: no row

  writeTrueErrorRatioTable(*run.listing, run);
  EXPECT_EQ(listing(),
            records({"", kTrueErrorRatioHeader, "  5.0000E-01", "  2.5000E-01  5.0000E-01",
                     "  1.2500E-01  2.0000E+00  5.0000E-01 -1.0000E+00  3.0000E+00  2.5000E-01" +
                         blank(12) + "  4.0000E+00 -2.0000E+00  5.0000E-01 -1.0000E+00 -5.0000E-01",
                     "  6.2500E-02  2.0000E+00  5.0000E-01" + blank(12) +
                         "  3.0000E+00  4.0000E+00  2.5000E-01"}));
}

TEST_F(RatioTables, EstimatorRatios) {
  start(6, 0);
  spacings();
  GridSeries& g = run.grid;
  g.Uri_12(2) = 0.0;  // Th(2) = Th(1): no row for grid 2
  g.Ud(2) = 0.0;

  g.Ti_pU(3) = 1.0;
  g.Uri_12(3) = -0.5;
  g.Ud(3) = -1.0;
  g.Uri_13(3) = -0.25;
  g.Uri_pU(3) = 0.5;
  g.Uri_23(3) = -1.5;
  g.Uri_bi(3) = -0.5;
  g.Uc_12(3) = 0.25;
  g.Uc_13(3) = -1.0;

  g.Ti_pU(4) = 1.0;
  g.Uri_12(4) = 1.0;
  g.Ud(4) = 2.0;
  g.Uri_13(4) = 1.0;
  g.Uri_pU(4) = 0.5;
  g.Uri_23(4) = 3.0;
  g.Uri_bi(4) = 0.25;
  g.Uri_tri(4) = 1.5;
  g.Uc_12(4) = 0.5;
  g.Uc_13(4) = 4.0;

  g.Ti_pU(5) = 1.0e11;
  g.Uri_12(5) = 0.5;
  g.Ud(5) = 0.5;
  g.Uri_13(5) = 1.0;
  g.Uri_23(5) = 0.25;
  g.Uri_bi(5) = 1.5;
  g.Uri_tri(5) = 0.75;

  g.Ti_pU(6) = 1.0;
  g.Uri_12(6) = 1.0;
  g.Uc_13(6) = 1.0;
  g.Uc_12(6) = 0.0;

  writeEstimatorRatioTable(*run.listing, run);
  EXPECT_EQ(listing(),
            records({"", kEstimatorRatioHeader, "  5.0000E-01",
                     "  1.2500E-01  1.0000E+00 -5.0000E-01 -2.0000E+00  2.0000E+00  0.0000E+00" +
                         blank(12) + "  2.0000E+00 -5.0000E-01 -4.0000E+00",
                     "  6.2500E-02  1.0000E+00  0.0000E+00 -5.0000E-01  2.0000E+00 -7.5000E-01  "
                     "5.0000E-01  2.0000E+00  2.5000E-01  8.0000E+00",
                     "  3.1250E-02  0.0000E+00  1.0000E+00" + blank(12) +
                         " -5.0000E-01  2.0000E+00  5.0000E-01"}));
}

// Th(2) = Th(1) makes Uri_12(2) = 0: the effectivity row of grid 2 stays (its test is on E(Th)
// alone, and its second column is then -1); the GCI and estimator ratio tables drop grid 2.
TEST_F(RatioTables, ZeroUri12OnGridTwo) {
  start(2);
  spacings();
  run.grid.E_Th(2) = 0.5;
  run.grid.Ud(2) = 0.5;
  run.grid.Uri_12(2) = 0.0;
  run.grid.GCI_pL(2) = 0.0;
  writeEffectivityTable(*run.listing, run);
  writeGciTable(*run.listing, run);
  writeEstimatorRatioTable(*run.listing, run);
  EXPECT_EQ(listing(),
            records({"", kEffectivityHeader, "  5.0000E-01", "  2.5000E-01  0.0000E+00 -1.0000E+00",
                     "", kGciHeader, "  5.0000E-01", "", kEstimatorRatioHeader, "  5.0000E-01"}));
}

// Grid 3 with Ti_pU undefined takes the short rows; exactly at the limit it gets no row.
struct GridThreeCase {
  const char* name;
  double tiPU;
  bool shortRows;
};
void PrintTo(const GridThreeCase& c, std::ostream* os) { *os << c.name; }

class GridThree : public RatioTables, public ::testing::WithParamInterface<GridThreeCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, GridThree,
                         ::testing::Values(GridThreeCase{"Undefined", 1.0e11, true},
                                           GridThreeCase{"AtTheLimit", 1.0e10, false}),
                         [](const ::testing::TestParamInfo<GridThreeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_P(GridThree, ShortRowsOfTheNarrowTables) {
  start(3);
  run.params.Fs = 1.0;
  spacings();
  GridSeries& g = run.grid;
  for (GridArray<double>* array :
       {&g.E_Th, &g.E_Ti_12, &g.E_Ti_13, &g.E_Ti_23, &g.E_Ti_bi, &g.E_Tc_12, &g.E_Tc_13, &g.Ud,
        &g.Uri_12, &g.Uri_13, &g.Uri_23, &g.Uri_bi, &g.Uc_12, &g.Uc_13, &g.GCI_pL}) {
    for (int i = 2; i <= 3; ++i) (*array)(i) = 1.0;
  }
  g.Ti_pU(3) = GetParam().tiPU;
  writeEffectivityTable(*run.listing, run);
  writeGciTable(*run.listing, run);
  writeTrueErrorRatioTable(*run.listing, run);
  writeEstimatorRatioTable(*run.listing, run);

  const std::string zero = "  0.0000E+00";
  const std::string one = "  1.0000E+00";
  const std::string grid3 = "  1.2500E-01";
  const bool s = GetParam().shortRows;
  std::string expected =
      records({"", kEffectivityHeader, "  5.0000E-01", "  2.5000E-01" + zero + zero});
  if (s) expected += records({grid3 + zero + zero + zero + blank(12) + zero + zero});
  expected += records({"", kGciHeader, "  5.0000E-01",
                       "  2.5000E-01" + blank(22) + "  1.00000000000000E+00" + blank(34) +
                           "  0.0000E+00" + blank(24) + "  0.0000E+00"});
  if (s) {
    expected += records(
        {grid3 + blank(22) + "  1.00000000000000E+00" + blank(34) + zero + blank(24) + zero});
  }
  expected += records({"", kTrueErrorRatioHeader, "  5.0000E-01", "  2.5000E-01" + one});
  if (s) expected += records({grid3 + one + one + blank(12) + one + one});
  expected += records({"", kEstimatorRatioHeader, "  5.0000E-01", "  2.5000E-01" + zero});
  if (s) expected += records({grid3 + zero + zero + blank(12) + zero + zero});
  EXPECT_EQ(listing(), expected);
}

}  // namespace
}  // namespace kv
