#include "plots/plot_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "listing/report_test_support.h"

namespace kv {
namespace {

using report_test::blank;
using report_test::records;
using report_test::ReportTest;

using PlotFiles = ReportTest;

TEST_F(PlotFiles, HeaderStyles) {
  {
    PlotFile file("a.dat", PlotHeaderStyle::LabelsAt27, {"log|E_pL|", "log|E_p2|"});
    file.close();
  }
  {
    PlotFile file("b.dat", PlotHeaderStyle::LabelsAt15, {"log|Ud|", "log|Uri_12|", "log(GCI_pL)"});
    file.close();
  }
  {
    PlotFile file("c.dat", PlotHeaderStyle::LabelsAt15, {"log|E_p3|"});
    file.close();
  }
  // "#" in column 1; style A: "log(h)" at 4, labels at 27 and 50; style B: "log(h)" at 3,
  // labels at 15, 37 and 59. The header ends after its last label.
  EXPECT_EQ(contents("a.dat"),
            records({"#  log(h)" + blank(17) + "log|E_pL|" + blank(14) + "log|E_p2|"}));
  EXPECT_EQ(contents("b.dat"), records({"# log(h)" + blank(6) + "log|Ud|" + blank(15) +
                                        "log|Uri_12|" + blank(11) + "log(GCI_pL)"}));
  EXPECT_EQ(contents("c.dat"), records({"# log(h)" + blank(6) + "log|E_p3|"}));
}

TEST_F(PlotFiles, OneRecordPerGridOrAnEmptyLine) {
  start(3);
  run.grid.h(1) = 0.5;
  run.grid.h(2) = 0.25;
  run.grid.h(3) = 0.125;
  run.grid.E_Th(1) = -0.01;
  run.grid.E_Th(2) = 0.0;
  run.grid.E_Th(3) = 0.001;
  static const Format record("(6(1PE23.14))");
  writePlotFile("Eh.dat", PlotHeaderStyle::LabelsAt27, {"log|Eh|"}, record, run.grid, 1,
                [this](int i, std::vector<FormatItem>& items) {
                  double e = run.grid.E_Th(i);
                  if (e == 0.0) return false;
                  items.emplace_back(std::log10(std::fabs(e)));
                  return true;
                });
  EXPECT_EQ(contents("Eh.dat"), records({"#  log(h)" + blank(17) + "log|Eh|",
                                         "  -3.01029995663981E-01  -2.00000000000000E+00", "",
                                         "  -9.03089986991944E-01  -3.00000000000000E+00"}));
  // A range that starts after the last grid leaves the header alone.
  writePlotFile("Ebi.dat", PlotHeaderStyle::LabelsAt27, {"log|Ebi_pU|"}, record, run.grid, 5,
                [](int, std::vector<FormatItem>&) { return true; });
  EXPECT_EQ(contents("Ebi.dat"), records({"#  log(h)" + blank(17) + "log|Ebi_pU|"}));
}

}  // namespace
}  // namespace kv
