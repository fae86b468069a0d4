#include <gtest/gtest.h>

#include <string>

#include "listing/report_test_support.h"
#include "listing/result_tables.h"

namespace kv {
namespace {

using report_test::blank;
using report_test::Line;
using report_test::records;
using report_test::ReportTest;

std::string wideHeader(std::initializer_list<const char*> labels) {
  return report_test::headerLine(22, labels);
}

// Style B plot headers: "#", "log(h)" at column 3, labels at 15, 37 and 59.
const std::string kU12Header =
    "# log(h)" + blank(6) + "log|Ud|" + blank(15) + "log|Uri_12|" + blank(11) + "log(GCI_pL)";
std::string styleB(const char* label) { return "# log(h)" + blank(6) + label; }

const std::string kOne = "  1.00000000000000E+00";
const std::string kTwo = "  2.00000000000000E+00";
const std::string kThree = "  3.00000000000000E+00";

class EstimatedErrorReport : public ReportTest {
 protected:
  // Four grids, h = 2^-i; Ti_pU defined on grid 3 and undefined on grid 4. Estimators are
  // powers of ten so that their logarithms are whole numbers.
  void fill(int32_t hasExactSolution) {
    start(4, hasExactSolution);
    GridSeries& g = run.grid;
    for (int i = 1; i <= 4; ++i) g.h(i) = 1.0 / (1 << i);
    g.E_Th(1) = 0.5;
    g.E_Th(2) = 0.25;
    g.Ud(2) = 10.0;
    g.Uri_12(2) = 100.0;
    g.GCI_pL(2) = 1000.0;

    g.Ti_pU(3) = 1.0;
    g.E_Th(3) = 0.125;
    g.Ud(3) = 0.0;         // Th(3) = Th(2): an empty line in "U_12.dat"
    g.Uri_12(3) = -100.0;  // plotted through its magnitude
    g.GCI_pL(3) = 1.0;
    g.Uri_13(3) = 10.0;
    g.Uri_pU(3) = 1000.0;
    g.Uri_p(3) = 10.0;
    g.GCI_p(3) = 100.0;
    g.Uri_23(3) = 100.0;
    g.Uri_bi(3) = 10.0;
    g.Uri_tri(3) = 5.0;  // not shown: column blank on grid 3
    g.Uc_12(3) = 100.0;
    g.Uc_13(3) = 1000.0;
    g.E_Tc_12(3) = 0.5;
    g.E_Tc_13(3) = 0.25;

    g.Ti_pU(4) = 1.0e11;
    g.E_Th(4) = 0.0625;
    g.Ud(4) = 100.0;
    g.Uri_12(4) = 10.0;
    g.GCI_pL(4) = 10.0;
    g.Uri_13(4) = 100.0;
    g.Uri_pU(4) = 1.0e11;
    g.Uri_23(4) = 1000.0;
    g.Uri_bi(4) = 100.0;
    g.Uri_tri(4) = 10.0;
    g.Uc_12(4) = 1.0e11;
    g.Uc_13(4) = 1.0e10;  // exactly the limit: not plotted
  }

  void expectFiles() {
    EXPECT_EQ(contents("U_12.dat"), records({kU12Header, " -6.0206E-01" + kOne + kTwo + kThree, "",
                                             " -1.2041E+00" + kTwo + kOne + kOne}));
    EXPECT_EQ(contents("Uri_13.dat"),
              records({styleB("log|Uri_13|"), " -9.0309E-01" + kOne, " -1.2041E+00" + kTwo}));
    EXPECT_EQ(contents("Uri_23.dat"),
              records({styleB("log|Uri_23|"), " -9.0309E-01" + kTwo, " -1.2041E+00" + kThree}));
    EXPECT_EQ(contents("Uri_bi.dat"),
              records({styleB("log|Uri_bi|"), " -9.0309E-01" + kOne, " -1.2041E+00" + kTwo}));
    EXPECT_EQ(contents("Uri_pU.dat"), records({"# log(h)" + blank(6) + "log|Uri_pU|" + blank(11) +
                                                   "log|Uri_p|" + blank(12) + "log(GCI_p)",
                                               " -9.0309E-01" + kThree + kOne + kTwo, ""}));
    EXPECT_EQ(contents("Uc_12.dat"), records({styleB("log(Uc_12)"), " -9.0309E-01" + kTwo, ""}));
    EXPECT_EQ(contents("Uc_13.dat"), records({styleB("log(Uc_13)"), " -9.0309E-01" + kThree, ""}));
    EXPECT_EQ(contents("Utri.dat"), records({styleB("log|Uri_tri|"), " -1.2041E+00" + kOne}));
  }
};

TEST_F(EstimatedErrorReport, WithTrueErrors) {
  fill(1);
  writeEstimatedErrorReport(run);
  EXPECT_EQ(listing(),
            records({"",
                     wideHeader({"E(Th)", "Uri_12(Th)", "Uri_13(Th)", "Uri_pU(Th)", "Uri_23(Th)",
                                 "Uri_bi(Th)", "Uri_tri(Th)", "Uc(Tc_12)", "Uc(Tc_13)", "E(Tc_12)",
                                 "E(Tc_13)"}),
                     "  5.0000E-01  5.00000000000000E-01",
                     "  2.5000E-01  2.50000000000000E-01  1.00000000000000E+02",
                     // columns 1-6, column 7 blank, columns 8-11
                     "  1.2500E-01  1.25000000000000E-01 -1.00000000000000E+02  "
                     "1.00000000000000E+01  1.00000000000000E+03  1.00000000000000E+02  "
                     "1.00000000000000E+01" +
                         blank(22) +
                         "  1.00000000000000E+02  1.00000000000000E+03  5.00000000000000E-01  "
                         "2.50000000000000E-01",
                     // columns 1-3, column 4 blank, columns 5-7; the Uc and E(Tc) columns absent
                     "  6.2500E-02  6.25000000000000E-02  1.00000000000000E+01  "
                     "1.00000000000000E+02" +
                         blank(22) +
                         "  1.00000000000000E+03  1.00000000000000E+02  1.00000000000000E+01"}));
  expectFiles();
}

TEST_F(EstimatedErrorReport, WithoutTrueErrors) {
  fill(0);
  writeEstimatedErrorReport(run);
  EXPECT_EQ(listing(),
            records({"",
                     wideHeader({"Uri_12(Th)", "Uri_13(Th)", "Uri_pU(Th)", "Uri_23(Th)",
                                 "Uri_bi(Th)", "Uri_tri(Th)", "Uc(Tc_12)", "Uc(Tc_13)"}),
                     "  5.0000E-01", "  2.5000E-01  1.00000000000000E+02",
                     // columns 1-5, column 6 blank, columns 7-8
                     "  1.2500E-01 -1.00000000000000E+02  1.00000000000000E+01  "
                     "1.00000000000000E+03  1.00000000000000E+02  1.00000000000000E+01" +
                         blank(22) + "  1.00000000000000E+02  1.00000000000000E+03",
                     // columns 1-2, column 3 blank, columns 4-6
                     "  6.2500E-02  1.00000000000000E+01  1.00000000000000E+02" + blank(22) +
                         "  1.00000000000000E+03  1.00000000000000E+02  1.00000000000000E+01"}));
  expectFiles();
}

TEST_F(EstimatedErrorReport, ThreeGridsWithTiPUAtTheLimit) {
  start(3, 0);
  GridSeries& g = run.grid;
  for (int i = 1; i <= 3; ++i) g.h(i) = 1.0 / (1 << i);
  g.Uri_12(2) = 100.0;
  g.Ud(2) = 10.0;
  g.GCI_pL(2) = 1000.0;
  g.Ti_pU(3) = 1.0e10;  // neither defined nor undefined: grid 3 gets no row
  g.Uri_13(3) = 10.0;
  g.Uri_23(3) = 100.0;
  g.Uri_bi(3) = 1000.0;
  g.Uri_pU(3) = -1000.0;  // the test is signed: a negative value passes
  g.Uri_p(3) = 10.0;
  g.GCI_p(3) = 10.0;
  g.Uc_12(3) = 0.0;  // zero: empty line
  g.Uc_13(3) = 10.0;
  writeEstimatedErrorReport(run);
  EXPECT_EQ(listing(), records({"",
                                wideHeader({"Uri_12(Th)", "Uri_13(Th)", "Uri_pU(Th)", "Uri_23(Th)",
                                            "Uri_bi(Th)", "Uri_tri(Th)", "Uc(Tc_12)", "Uc(Tc_13)"}),
                                "  5.0000E-01", "  2.5000E-01  1.00000000000000E+02"}));
  EXPECT_EQ(contents("Uri_pU.dat"), records({"# log(h)" + blank(6) + "log|Uri_pU|" + blank(11) +
                                                 "log|Uri_p|" + blank(12) + "log(GCI_p)",
                                             " -9.0309E-01" + kThree + kOne + kOne}));
  EXPECT_EQ(contents("Uc_12.dat"), records({styleB("log(Uc_12)"), ""}));
  EXPECT_EQ(contents("Uc_13.dat"), records({styleB("log(Uc_13)"), " -9.0309E-01" + kOne}));
  EXPECT_EQ(contents("Uri_bi.dat"), records({styleB("log|Uri_bi|"), " -9.0309E-01" + kThree}));
  EXPECT_EQ(contents("Utri.dat"), records({styleB("log|Uri_tri|")}));
}

TEST_F(EstimatedErrorReport, NoGrids) {
  start(0);
  writeEstimatedErrorReport(run);
  EXPECT_EQ(listing(),
            records({"", wideHeader({"E(Th)", "Uri_12(Th)", "Uri_13(Th)", "Uri_pU(Th)",
                                     "Uri_23(Th)", "Uri_bi(Th)", "Uri_tri(Th)", "Uc(Tc_12)",
                                     "Uc(Tc_13)", "E(Tc_12)", "E(Tc_13)"})}));
  EXPECT_EQ(contents("U_12.dat"), records({kU12Header}));
  for (const char* file : {"Uri_13", "Uri_23", "Uri_bi", "Uc_12", "Uc_13"}) {
    std::string label =
        file[1] == 'c' ? std::string("log(") + file + ")" : std::string("log|") + file + "|";
    EXPECT_EQ(contents(std::string(file) + ".dat"), records({styleB(label.c_str())})) << file;
  }
  EXPECT_EQ(contents("Uri_pU.dat"), records({"# log(h)" + blank(6) + "log|Uri_pU|" + blank(11) +
                                             "log|Uri_p|" + blank(12) + "log(GCI_p)"}));
  EXPECT_EQ(contents("Utri.dat"), records({styleB("log|Uri_tri|")}));
}

}  // namespace
}  // namespace kv
