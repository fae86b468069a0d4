#include "plots/error_plot_files.h"

#include <gtest/gtest.h>

#include <string>

#include "plots/test_support.h"

namespace kv {
namespace {

using levels_test::blanks;
using levels_test::prepareRun;
using levels_test::row12;
using levels_test::row23;

// Headers: "#", "log(h)" from column 4 and the labels from columns 27 and 50 in the true-error
// files; "#", "log(h)" from column 3 and the label from column 15 in the reference files.
std::string headerA(const std::string& label) { return "#  log(h)" + blanks(17) + label + "\r\n"; }
std::string headerA(const std::string& label1, const std::string& label2) {
  return "#  log(h)" + blanks(17) + label1 + blanks(23 - label1.size()) + label2 + "\r\n";
}
std::string headerB(const std::string& label) { return "# log(h)" + blanks(6) + label + "\r\n"; }

const char* const kZero = "0.00000000000000E+00";

class TrueErrorFiles : public levels_test::InTempFolder {
 protected:
  testing_support::TestRun run_;
};

TEST_F(TrueErrorFiles, FirstRecordOfEhHoldsTheTwoLogarithms) {
  prepareRun(run_, 1, 2, 2);
  run_.grid.h(1) = 0.5;
  run_.grid.E_Th(1) = -0.01;
  writeTrueErrorPlotFiles(run_);
  std::string record = "  -3.01029995663981E-01  -2.00000000000000E+00";
  ASSERT_EQ(record.size(), 46u);
  EXPECT_EQ(contents("Eh.dat"), headerA("log|Eh|") + record + "\r\n");
  // One grid: every other per-grid file holds its header alone.
  for (const char* name : {"Ei_12.dat", "Ei_13.dat", "Ei_23.dat", "Ei_bi.dat", "Ei_tri.dat",
                           "Ei_pU.dat", "Ec_12.dat", "Ec_13.dat", "Ebi.dat"}) {
    std::string content = contents(name);
    EXPECT_EQ(content.find("\r\n"), content.size() - 2) << name;
  }
  EXPECT_EQ(contents("Ebi.dat"), headerA("log|Ebi_pU|"));
  // r = 1; the lower level is the error of grid 1 itself (every other candidate is unset), so
  // the line of slope 6 ends where it starts.
  EXPECT_EQ(contents("E_pL_p2.dat"),
            headerA("log|E_pL|", "log|E_p2|") +
                row23({"-3.01029995663981E-01", "-2.00000000000000E+00", "-2.00000000000000E+00"}) +
                row23({"-3.01029995663981E-01", "-2.00000000000000E+00", "-2.00000000000000E+00"}));
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|") +
                                      row23({"-3.01029995663981E-01", "-2.00000000000000E+00"}) +
                                      row23({"-3.01029995663981E-01", "-2.00000000000000E+00"}));
}

// Six grids h = 1, 0.1, ..., 1e-5 (log h = 0, -1, ..., -5), errors powers of ten.
TEST_F(TrueErrorFiles, SixGridsWithZerosAndUndefinedValues) {
  prepareRun(run_, 6, 1, 1);  // pL = 1, pV(2) = 2, pV(3) = 3
  GridSeries& g = run_.grid;
  const double h[] = {1.0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5};
  for (int i = 1; i <= 6; ++i) {
    g.h(i) = h[i - 1];
    g.E_Ti_13(i) = g.E_Ti_23(i) = g.E_Ti_bi(i) = 1e-2;
    g.E_Ti_tri(i) = 1e-3;
    g.Tc_12(i) = g.Tc_13(i) = 1.0;
    g.E_Tc_12(i) = g.E_Tc_13(i) = -1e-2;
  }
  g.E_Th(1) = -0.1, g.E_Th(2) = 0.01, g.E_Th(3) = 0.0, g.E_Th(4) = 1e-4, g.E_Th(5) = 1e-5,
  g.E_Th(6) = 1e-6;
  for (int i = 2; i <= 6; ++i) g.E_Ti_12(i) = i == 4 ? 0.0 : 1e-7;
  g.E_Tc_13(4) = 0.0;
  // Ti_pU undefined at grid 4, equal to the limit at grid 5, large and negative at grid 6.
  g.Ti_pU(3) = 1.0, g.E_Ti_pU(3) = 1e-3;
  g.Ti_pU(4) = undefinedValue, g.E_Ti_pU(4) = undefinedValue;
  g.Ti_pU(5) = 1e10, g.E_Ti_pU(5) = 1e-5;
  g.Ti_pU(6) = -1e12, g.E_Ti_pU(6) = 1e-7;
  // Ebi tests the error itself: a large negative error passes, the limit does not.
  g.E_Tbi_pU(5) = -1e12, g.E_Tbi_pU(6) = 1e10;
  writeTrueErrorPlotFiles(run_);

  const std::string l0 = kZero, l1 = "-1.00000000000000E+00", l2 = "-2.00000000000000E+00",
                    l3 = "-3.00000000000000E+00", l4 = "-4.00000000000000E+00",
                    l5 = "-5.00000000000000E+00", l6 = "-6.00000000000000E+00",
                    l7 = "-7.00000000000000E+00";
  const std::string empty = "\r\n";
  EXPECT_EQ(contents("Eh.dat"), headerA("log|Eh|") + row23({l0, l1}) + row23({l1, l2}) + empty +
                                    row23({l3, l4}) + row23({l4, l5}) + row23({l5, l6}));
  EXPECT_EQ(contents("Ei_12.dat"), headerA("log|Ei_12|") + row23({l1, l7}) + row23({l2, l7}) +
                                       empty + row23({l4, l7}) + row23({l5, l7}));
  for (const char* name : {"Ei_13.dat", "Ei_23.dat", "Ei_bi.dat"}) {
    std::string label =
        std::string("log|") + std::string(name).substr(0, std::string(name).find('.')) + "|";
    EXPECT_EQ(contents(name), headerA(label) + row23({l2, l2}) + row23({l3, l2}) + row23({l4, l2}) +
                                  row23({l5, l2}))
        << name;
  }
  EXPECT_EQ(contents("Ei_tri.dat"),
            headerA("log|Ei_tri|") + row23({l3, l3}) + row23({l4, l3}) + row23({l5, l3}));
  EXPECT_EQ(contents("Ei_pU.dat"),
            headerA("log|Ei_pU|") + row23({l2, l3}) + empty + empty + row23({l5, l7}));
  EXPECT_EQ(contents("Ec_12.dat"), headerA("log|Ec_12|") + row23({l2, l2}) + row23({l3, l2}) +
                                       row23({l4, l2}) + row23({l5, l2}));
  EXPECT_EQ(contents("Ec_13.dat"),
            headerA("log|Ec_13|") + row23({l2, l2}) + empty + row23({l4, l2}) + row23({l5, l2}));
  EXPECT_EQ(contents("Ebi.dat"),
            headerA("log|Ebi_pU|") + row23({l4, "1.20000000000000E+01"}) + empty);
  // r = h(6)/h(1) = 1e-5: slope 1 gives 1e-6, slope 2 gives 1e-11.
  EXPECT_EQ(contents("E_pL_p2.dat"), headerA("log|E_pL|", "log|E_p2|") + row23({l0, l1, l1}) +
                                         row23({l5, l6, "-1.10000000000000E+01"}));
  // The smallest candidate is 1e-7 (E(Ti_pU)(6), then E(Ti_12)(6) as large): the line of
  // slope 3 from (1, 0.1) reaches it at h = (1e-7 / 0.1)^(1/3) = 0.01.
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|") + row23({l0, l1}) + row23({l2, l7}));
}

TEST_F(TrueErrorFiles, ZeroErrorOfTheFirstGridGivesTheFallbackLines) {
  prepareRun(run_, 2, 1, 1);
  GridSeries& g = run_.grid;
  g.h(1) = 1.0, g.h(2) = 0.1;
  g.E_Th(1) = 0.0, g.E_Th(2) = 1e-3;
  g.E_Ti_12(2) = 1e-4;
  writeTrueErrorPlotFiles(run_);
  EXPECT_EQ(contents("Eh.dat"), headerA("log|Eh|") + "\r\n" +
                                    row23({"-1.00000000000000E+00", "-3.00000000000000E+00"}));
  // log r^1 = -1, log r^2 = -2.
  EXPECT_EQ(contents("E_pL_p2.dat"),
            headerA("log|E_pL|", "log|E_p2|") + row23({kZero, kZero, kZero}) +
                row23({"-1.00000000000000E+00", "-1.00000000000000E+00", "-2.00000000000000E+00"}));
  // x = (1^3 * 0.001)^(1/3) = 0.1.
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|") + row23({kZero, kZero}) +
                                      row23({"-1.00000000000000E+00", "-3.00000000000000E+00"}));
}

TEST_F(TrueErrorFiles, AZeroCandidateOfTheLowerLevelGivesTheFallbackLineOfOrder3Only) {
  prepareRun(run_, 2, 1, 1);
  GridSeries& g = run_.grid;
  g.h(1) = 1.0, g.h(2) = 0.1;
  g.E_Th(1) = -0.1, g.E_Th(2) = 1e-3;
  g.E_Ti_12(2) = 0.0;
  writeTrueErrorPlotFiles(run_);
  EXPECT_EQ(contents("E_pL_p2.dat"),
            headerA("log|E_pL|", "log|E_p2|") +
                row23({kZero, "-1.00000000000000E+00", "-1.00000000000000E+00"}) +
                row23({"-1.00000000000000E+00", "-2.00000000000000E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|") + row23({kZero, kZero}) +
                                      row23({"-1.00000000000000E+00", "-3.00000000000000E+00"}));
}

TEST_F(TrueErrorFiles, OrderZeroOfLevel3IsComputedAsWritten) {
  prepareRun(run_, 3, 2, -1);  // pV(3) = 0: the exponent 1/p is an infinity
  GridSeries& g = run_.grid;
  g.h(1) = 0.5, g.h(2) = 0.25, g.h(3) = 0.125;
  g.E_Th(1) = -0.01;
  g.E_Ti_12(3) = 1e-3;
  writeTrueErrorPlotFiles(run_);
  // x = (0.5^0 * 0.1)^(+Infinity) = 0, whose logarithm is minus infinity.
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|") +
                                      row23({"-3.01029995663981E-01", "-2.00000000000000E+00"}) +
                                      " -Infinity" + blanks(13) + "  -3.00000000000000E+00\r\n");
}

TEST_F(TrueErrorFiles, NoGridsGiveHeadersAlone) {
  prepareRun(run_, 0, 2, 2);
  writeTrueErrorPlotFiles(run_);
  EXPECT_EQ(contents("Eh.dat"), headerA("log|Eh|"));
  EXPECT_EQ(contents("Ei_tri.dat"), headerA("log|Ei_tri|"));
  EXPECT_EQ(contents("E_pL_p2.dat"), headerA("log|E_pL|", "log|E_p2|"));
  EXPECT_EQ(contents("E_p3.dat"), headerA("log|E_p3|"));
}

TEST_F(TrueErrorFiles, OlderContentIsReplaced) {
  put("Eh.dat", std::string(1000, 'x'));
  prepareRun(run_, 0, 2, 2);
  writeTrueErrorPlotFiles(run_);
  EXPECT_EQ(contents("Eh.dat"), headerA("log|Eh|"));
}

class EstimateReferenceFiles : public levels_test::InTempFolder {
 protected:
  // h = 1, 0.1, 0.01 with pL = 1, pV(2) = 2, pV(3) = 3, and the estimate 0.01 on grid 2.
  void threeGrids() {
    prepareRun(run_, 3, 1, 1);
    GridSeries& g = run_.grid;
    g.h(1) = 1.0, g.h(2) = 0.1, g.h(3) = 0.01;
    g.Uri_12(2) = 0.01;
    // First set: Uri_tri(3) stays undefined; the smallest is |Ud(3)| = 1e-4.
    g.Uri_bi(3) = 1e-3, g.Uri_pU(3) = 2e-3, g.Uri_23(3) = 1e-2, g.Uri_13(3) = 5e-3;
    g.Ud(3) = -1e-4, g.Uri_12(3) = 1e-3;
    // Second set: Uc_13(3) stays undefined; the smallest is |Uc_12(3)| = 1e-3.
    g.Uc_12(3) = -1e-3;
  }
  testing_support::TestRun run_;
};

TEST_F(EstimateReferenceFiles, SlopePLThroughTheEstimateOfGrid2) {
  prepareRun(run_, 3, 2, 2);
  GridSeries& g = run_.grid;
  g.h(1) = 0.5, g.h(2) = 0.25, g.h(3) = 0.125;
  g.Uri_12(2) = 0.01;
  g.Uri_12(3) = 0.0025;
  writeEstimateReferenceFiles(run_, EstimateReferenceSet::First);
  EXPECT_EQ(contents("U_pL.dat"),
            headerB("log|E_pL|") +
                " -6.0206E-01 -2.00000000000000E+00\r\n -9.0309E-01 -2.60205999132796E+00\r\n");
}

TEST_F(EstimateReferenceFiles, TheTwoSetsDifferInTheirLowerLevel) {
  threeGrids();
  const std::string slopeL = headerB("log|E_pL|") +
                             row12({"-1.0000E+00", "-2.00000000000000E+00"}) +
                             row12({"-2.0000E+00", "-3.00000000000000E+00"});
  const std::string start = row12({"-1.0000E+00", "-2.00000000000000E+00"});

  writeEstimateReferenceFiles(run_, EstimateReferenceSet::First);
  EXPECT_EQ(contents("U_pL.dat"), slopeL);
  // m = 1e-4: x = (0.1^2 * 0.01)^(1/2) = 0.01 and x = (0.1^3 * 0.01)^(1/3), log -5/3.
  EXPECT_EQ(contents("U_p2.dat"),
            headerB("log|E_p2|") + start + row12({"-2.0000E+00", "-4.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p3.dat"),
            headerB("log|E_p3|") + start + row12({"-1.6667E+00", "-4.00000000000000E+00"}));

  writeEstimateReferenceFiles(run_, EstimateReferenceSet::Second);
  EXPECT_EQ(contents("U_pL.dat"), slopeL);
  // m = 1e-3: log x = (-2 - 1) / 2 and (-3 - 1) / 3.
  EXPECT_EQ(contents("U_p2.dat"),
            headerB("log|E_p2|") + start + row12({"-1.5000E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p3.dat"),
            headerB("log|E_p3|") + start + row12({"-1.3333E+00", "-3.00000000000000E+00"}));
}

TEST_F(EstimateReferenceFiles, ZeroEstimateOfGrid2GivesTheFallbackLinesInAllThreeFiles) {
  threeGrids();
  run_.grid.Uri_12(2) = 0.0;
  writeEstimateReferenceFiles(run_, EstimateReferenceSet::First);
  const std::string start = row12({"0.0000E+00", kZero});
  EXPECT_EQ(contents("U_pL.dat"),
            headerB("log|E_pL|") + start + row12({"-2.0000E+00", "-2.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p2.dat"),
            headerB("log|E_p2|") + start + row12({"-1.5000E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p3.dat"),
            headerB("log|E_p3|") + start + row12({"-1.0000E+00", "-3.00000000000000E+00"}));
}

TEST_F(EstimateReferenceFiles, AZeroCandidateGivesTheFallbackLinesOfOrders2And3Only) {
  threeGrids();
  run_.grid.Ud(3) = 0.0;  // a candidate of the first set only
  writeEstimateReferenceFiles(run_, EstimateReferenceSet::First);
  const std::string fallbackStart = row12({"0.0000E+00", kZero});
  EXPECT_EQ(contents("U_pL.dat"), headerB("log|E_pL|") +
                                      row12({"-1.0000E+00", "-2.00000000000000E+00"}) +
                                      row12({"-2.0000E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p2.dat"),
            headerB("log|E_p2|") + fallbackStart + row12({"-1.5000E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p3.dat"),
            headerB("log|E_p3|") + fallbackStart + row12({"-1.0000E+00", "-3.00000000000000E+00"}));

  writeEstimateReferenceFiles(run_, EstimateReferenceSet::Second);
  EXPECT_EQ(contents("U_p2.dat"), headerB("log|E_p2|") +
                                      row12({"-1.0000E+00", "-2.00000000000000E+00"}) +
                                      row12({"-1.5000E+00", "-3.00000000000000E+00"}));
}

TEST_F(EstimateReferenceFiles, OneGridHasNoEstimateOfGrid2) {
  prepareRun(run_, 1, 1, 1);
  run_.grid.h(1) = 0.5;
  writeEstimateReferenceFiles(run_, EstimateReferenceSet::First);
  const std::string start = row12({"-3.0103E-01", kZero});
  // r = h(1)/h(1) = 1.
  EXPECT_EQ(contents("U_pL.dat"), headerB("log|E_pL|") + start + row12({"-3.0103E-01", kZero}));
  // x = (0.25 * 0.001)^(1/2) = 0.0158..., x = (0.125 * 0.001)^(1/3) = 0.05.
  EXPECT_EQ(contents("U_p2.dat"),
            headerB("log|E_p2|") + start + row12({"-1.8010E+00", "-3.00000000000000E+00"}));
  EXPECT_EQ(contents("U_p3.dat"),
            headerB("log|E_p3|") + start + row12({"-1.3010E+00", "-3.00000000000000E+00"}));
}

TEST_F(EstimateReferenceFiles, NoGridsGiveHeadersAlone) {
  prepareRun(run_, 0, 1, 1);
  writeEstimateReferenceFiles(run_, EstimateReferenceSet::Second);
  EXPECT_EQ(contents("U_pL.dat"), headerB("log|E_pL|"));
  EXPECT_EQ(contents("U_p2.dat"), headerB("log|E_p2|"));
  EXPECT_EQ(contents("U_p3.dat"), headerB("log|E_p3|"));
}

}  // namespace
}  // namespace kv
