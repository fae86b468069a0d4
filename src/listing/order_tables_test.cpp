#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

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

// The Th header with pL = 2, column by column: "h" at 3, "pE(Th)" at 15, "pU(Th)" at 37,
// "pE(Th) - pL(2)" at 59, "pU(Th) - pL(2)" at 81, "it_pU(Th)" at 104.
const std::string kThHeader = "  h" + blank(11) + "pE(Th)" + blank(16) + "pU(Th)" + blank(16) +
                              "pE(Th) - pL(2)" + blank(8) + "pU(Th) - pL(2)" + blank(9) +
                              "it_pU(Th)";

// Style A plot headers: "#", "log(h)" at column 4, the label at column 27.
std::string styleA(std::string_view label) { return "#  log(h)" + blank(17) + std::string(label); }

class OrderReport : public ReportTest {
 protected:
  void setSpacings() {
    for (int i = 1; i <= run.grid.count; ++i) run.grid.h(i) = 1.0 / (1 << i);
  }
};

TEST_F(OrderReport, ThMemberWithEveryOrderDefined) {
  start(3);
  setSpacings();  // 0.5, 0.25, 0.125
  run.grid.pE_Th(2) = 1.5;
  run.grid.pE_Th(3) = 1.75;
  run.grid.pU_Th(3) = 2.25;
  run.grid.it_pU_Th(3) = 7;
  writeOrderReport(run, OrderMember::Th);

  EXPECT_EQ(kThHeader.size(), 112u);
  const std::string row3 =
      "  1.2500E-01  1.75000000000000E+00  2.25000000000000E+00 -2.50000000000000E-01  "
      "2.50000000000000E-01         7";
  EXPECT_EQ(row3.size(), 110u);
  EXPECT_EQ(
      listing(),
      records({"", kThHeader, "  5.0000E-01",
               "  2.5000E-01  1.50000000000000E+00" + blank(22) + " -5.00000000000000E-01", row3}));
  EXPECT_EQ(contents("pL.dat"), records({"#  log(h)                 pL", " -3.0103E-01       2",
                                         " -6.0206E-01       2", " -9.0309E-01       2"}));
  EXPECT_EQ(contents("pE_h.dat"),
            records({"#  log(h)                 pE_h", " -6.0206E-01  1.50000000000000E+00",
                     " -9.0309E-01  1.75000000000000E+00"}));
  EXPECT_EQ(contents("pU_h.dat"), records({styleA("pU_h"), " -9.0309E-01  2.25000000000000E+00"}));
}

// The row of grid 2 (the first grid with a pE) and of grid 3 (pE and pU), and what the plot
// files show for them, for values on both sides of definedLimit.
struct ThCase {
  const char* name;
  double pE2, pE3, pU3;
  std::string row2;
  std::optional<std::string> row3;  // none: grid 3 gets no row
  std::string pE2Record, pE3Record, pU3Record;
};
void PrintTo(const ThCase& c, std::ostream* os) { *os << c.name; }

class ThRows : public OrderReport, public ::testing::WithParamInterface<ThCase> {};

const std::string kRow2Defined =
    "  2.5000E-01  1.50000000000000E+00" + blank(22) + " -5.00000000000000E-01";
const std::string kPE2 = " -6.0206E-01  1.50000000000000E+00";
const std::string kPE3 = " -9.0309E-01  1.75000000000000E+00";
const std::string kPU3 = " -9.0309E-01  2.25000000000000E+00";

INSTANTIATE_TEST_SUITE_P(
    Cases, ThRows,
    ::testing::Values(
        ThCase{"BothDefined", 1.5, 1.75, 2.25, kRow2Defined,
               "  1.2500E-01  1.75000000000000E+00  2.25000000000000E+00 -2.50000000000000E-01"
               "  2.50000000000000E-01         7",
               kPE2, kPE3, kPU3},
        // 78 characters: pU column blank, pE - pL in its own column, no it_pU.
        ThCase{"PUUndefined", 1.5, 1.75, 1.0e11, kRow2Defined,
               "  1.2500E-01  1.75000000000000E+00" + blank(22) + " -2.50000000000000E-01", kPE2,
               kPE3, ""},
        ThCase{"PEUndefined", 1.5, 1.0e11, 2.25, kRow2Defined,
               "  1.2500E-01" + blank(22) + "  2.25000000000000E+00" + blank(22) +
                   "  2.50000000000000E-01         7",
               kPE2, "", kPU3},
        ThCase{"BothUndefined", 1.0e11, 1.0e11, 1.0e11, "  2.5000E-01", "  1.2500E-01", "", "", ""},
        // Exactly definedLimit is neither defined nor undefined: no row from grid 3 on; the
        // grid-2 rule only asks "below", so grid 2 shows h alone.
        ThCase{"PEAtTheLimit", 1.0e10, 1.0e10, 2.25, "  2.5000E-01", std::nullopt, "", "", kPU3},
        ThCase{"PUAtTheLimit", 1.5, 1.75, 1.0e10, kRow2Defined, std::nullopt, kPE2, kPE3, ""},
        // The tests are one-sided: a large negative order is defined.
        ThCase{"LargeNegativePE", -1.0e11, -1.0e11, 1.0e11,
               "  2.5000E-01 -1.00000000000000E+11" + blank(22) + " -1.00000000002000E+11",
               "  1.2500E-01 -1.00000000000000E+11" + blank(22) + " -1.00000000002000E+11",
               " -6.0206E-01 -1.00000000000000E+11", " -9.0309E-01 -1.00000000000000E+11", ""}),
    [](const ::testing::TestParamInfo<ThCase>& info) { return std::string(info.param.name); });

TEST_P(ThRows, RowsAndPlotRecords) {
  const ThCase& c = GetParam();
  start(3);
  setSpacings();
  run.grid.pE_Th(2) = c.pE2;
  run.grid.pE_Th(3) = c.pE3;
  run.grid.pU_Th(3) = c.pU3;
  run.grid.it_pU_Th(3) = 7;
  writeOrderReport(run, OrderMember::Th);

  std::string expected = records({"", kThHeader, "  5.0000E-01", c.row2});
  if (c.row3) expected += records({*c.row3});
  EXPECT_EQ(listing(), expected);
  // A grid that cannot be plotted keeps its place as an empty line.
  EXPECT_EQ(contents("pE_h.dat"), records({styleA("pE_h"), c.pE2Record, c.pE3Record}));
  EXPECT_EQ(contents("pU_h.dat"), records({styleA("pU_h"), c.pU3Record}));
}

// The composite labels carry the text of the member's reference order, trimmed.
struct HeaderCase {
  const char* name;
  OrderMember member;
  int32_t pL, deltaP;
  std::string header;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class OrderHeaders : public OrderReport, public ::testing::WithParamInterface<HeaderCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, OrderHeaders,
    ::testing::Values(
        HeaderCase{"ThPL12", OrderMember::Th, 12, 1,
                   "  h" + blank(11) + "pE(Th)" + blank(16) + "pU(Th)" + blank(16) +
                       "pE(Th) - pL(12)" + blank(7) + "pU(Th) - pL(12)" + blank(8) + "it_pU(Th)"},
        HeaderCase{"ThPL100", OrderMember::Th, 100, 1,
                   "  h" + blank(11) + "pE(Th)" + blank(16) + "pU(Th)" + blank(16) +
                       "pE(Th) - pL(**)" + blank(7) + "pU(Th) - pL(**)" + blank(8) + "it_pU(Th)"},
        HeaderCase{"TiPUNegative", OrderMember::Ti_pU, 1, -2,
                   Line()
                       .at(3, "h")
                       .at(15, "pE(Ti_pU)")
                       .at(37, "pU(Ti_pU)")
                       .at(59, "pE(Ti_pU) - p2(-1)")
                       .at(81, "pU(Ti_pU) - p2(-1)")
                       .at(104, "it_pU(Ti_pU)")
                       .str()},
        HeaderCase{"TbiPULowerCaseU", OrderMember::Tbi_pU, 2, 2,
                   Line()
                       .at(3, "h")
                       .at(15, "pE(Tbi_pU)")
                       .at(37, "pU(Tbi_pu)")
                       .at(59, "pE(Tbi_pU) - p3(6)")
                       .at(81, "pU(Tbi_pU) - p3(6)")
                       .at(104, "it_pU(Tbi_pU)")
                       .str()},
        HeaderCase{"Tc12TwoDigits", OrderMember::Tc_12, 1, 50,
                   Line()
                       .at(3, "h")
                       .at(15, "pE(Tc_12)")
                       .at(37, "pU(Tc_12)")
                       .at(59, "pE(Tc_12) - p2(51)")
                       .at(81, "pU(Tc_12) - p2(51)")
                       .at(104, "it_pU(Tc_12)")
                       .str()},
        HeaderCase{"Tc13TooWide", OrderMember::Tc_13, 2, 98,
                   Line()
                       .at(3, "h")
                       .at(15, "pE(Tc_13)")
                       .at(37, "pU(Tc_13)")
                       .at(59, "pE(Tc_13) - p2(**)")
                       .at(81, "pU(Tc_13) - p2(**)")
                       .at(104, "it_pU(Tc_13)")
                       .str()}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST_P(OrderHeaders, CompositeLabels) {
  const HeaderCase& c = GetParam();
  start(0, 1, c.pL, c.deltaP);
  writeOrderReport(run, c.member);
  EXPECT_EQ(listing(), records({"", c.header}));
}

std::set<std::string> filesInFolder() {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST_F(OrderReport, TwoGridsAllMembers) {
  start(2);  // pL = 2, deltaP = 2: p2 = 4, p3 = 6 even though pV holds two entries only
  setSpacings();
  run.grid.pE_Th(2) = 1.5;
  for (OrderMember member : {OrderMember::Th, OrderMember::Ti_pU, OrderMember::Tbi_pU,
                             OrderMember::Tc_12, OrderMember::Tc_13}) {
    writeOrderReport(run, member);
  }
  auto header = [](const char* x, const char* tag, const char* q) {
    std::string pE = std::string("pE(") + x + ")";
    std::string pU = std::string("pU(") + x + ")";
    if (std::string(x) == "Tbi_pU") pU = "pU(Tbi_pu)";
    return Line()
        .at(3, "h")
        .at(15, pE)
        .at(37, pU)
        .at(59, std::string("pE(") + x + ") - " + tag + "(" + q + ")")
        .at(81, std::string("pU(") + x + ") - " + tag + "(" + q + ")")
        .at(104, std::string("it_pU(") + x + ")")
        .str();
  };
  const std::string hAlone = records({"  5.0000E-01", "  2.5000E-01"});
  EXPECT_EQ(listing(), records({"", kThHeader, "  5.0000E-01", kRow2Defined}) +
                           records({"", header("Ti_pU", "p2", "4")}) + hAlone +
                           records({"", header("Tbi_pU", "p3", "6")}) + hAlone +
                           records({"", header("Tc_12", "p2", "4")}) + hAlone +
                           records({"", header("Tc_13", "p2", "4")}) + hAlone);
  EXPECT_EQ(contents("pL.dat"),
            records({styleA("pL"), " -3.0103E-01       2", " -6.0206E-01       2"}));
  EXPECT_EQ(contents("pE_h.dat"), records({styleA("pE_h"), kPE2}));
  EXPECT_EQ(contents("pU_h.dat"), records({styleA("pU_h")}));
  EXPECT_EQ(contents("p2.dat"),
            records({styleA("pV(2)"), " -3.0103E-01       4", " -6.0206E-01       4"}));
  EXPECT_EQ(contents("p3.dat"),
            records({styleA("pV(3)"), " -3.0103E-01       6", " -6.0206E-01       6"}));
  for (const char* name :
       {"pE_i", "pU_i", "pE_bi", "pU_bi", "pE_c12", "pU_c12", "pE_c13", "pU_c13"}) {
    EXPECT_EQ(contents(std::string(name) + ".dat"), records({styleA(name)})) << name;
  }
  EXPECT_EQ(filesInFolder(),
            (std::set<std::string>{"listing.txt", "pL.dat", "pE_h.dat", "pU_h.dat", "p2.dat",
                                   "pE_i.dat", "pU_i.dat", "p3.dat", "pE_bi.dat", "pU_bi.dat",
                                   "pE_c12.dat", "pU_c12.dat", "pE_c13.dat", "pU_c13.dat"}));
}

TEST_F(OrderReport, NoGridsGiveHeadersAlone) {
  start(0);
  writeOrderReport(run, OrderMember::Th);
  EXPECT_EQ(listing(), records({"", kThHeader}));
  EXPECT_EQ(contents("pL.dat"), records({styleA("pL")}));
  EXPECT_EQ(contents("pE_h.dat"), records({styleA("pE_h")}));
  EXPECT_EQ(contents("pU_h.dat"), records({styleA("pU_h")}));
}

TEST_F(OrderReport, TbiPUMemberStartsAtItsSixthGrid) {
  start(7);
  setSpacings();  // 2^-1 .. 2^-7
  run.grid.pE_Tbi_pU(6) = 5.5;
  run.grid.pE_Tbi_pU(7) = 6.25;
  run.grid.pU_Tbi_pU(7) = 5.75;
  run.grid.it_pU_Tbi_pU(7) = 12;
  // Orders on the leading grids are never looked at.
  run.grid.pE_Tbi_pU(5) = 1.0;
  run.grid.pU_Tbi_pU(6) = 1.0;
  writeOrderReport(run, OrderMember::Tbi_pU);

  std::string header = Line()
                           .at(3, "h")
                           .at(15, "pE(Tbi_pU)")
                           .at(37, "pU(Tbi_pu)")
                           .at(59, "pE(Tbi_pU) - p3(6)")
                           .at(81, "pU(Tbi_pU) - p3(6)")
                           .at(104, "it_pU(Tbi_pU)")
                           .str();
  EXPECT_EQ(listing(),
            records({"", header, "  5.0000E-01", "  2.5000E-01", "  1.2500E-01", "  6.2500E-02",
                     "  3.1250E-02",
                     "  1.5625E-02  5.50000000000000E+00" + blank(22) + " -5.00000000000000E-01",
                     "  7.8125E-03  6.25000000000000E+00  5.75000000000000E+00  "
                     "2.50000000000000E-01 -2.50000000000000E-01        12"}));
  EXPECT_EQ(contents("p3.dat"),
            records({styleA("pV(3)"), " -3.0103E-01       6", " -6.0206E-01       6",
                     " -9.0309E-01       6", " -1.2041E+00       6", " -1.5051E+00       6",
                     " -1.8062E+00       6", " -2.1072E+00       6"}));
  EXPECT_EQ(contents("pE_bi.dat"), records({styleA("pE_bi"), " -1.8062E+00  5.50000000000000E+00",
                                            " -2.1072E+00  6.25000000000000E+00"}));
  EXPECT_EQ(contents("pU_bi.dat"),
            records({styleA("pU_bi"), " -2.1072E+00  5.75000000000000E+00"}));
}

TEST_F(OrderReport, WithoutExactSolutionEveryPEIsUndefined) {
  start(3, 0);
  setSpacings();
  run.grid.pU_Th(3) = 2.25;
  run.grid.it_pU_Th(3) = 7;
  writeOrderReport(run, OrderMember::Th);
  EXPECT_EQ(listing(), records({"", kThHeader, "  5.0000E-01", "  2.5000E-01",
                                "  1.2500E-01" + blank(22) + "  2.25000000000000E+00" + blank(22) +
                                    "  2.50000000000000E-01         7"}));
  EXPECT_EQ(contents("pE_h.dat"), records({styleA("pE_h"), "", ""}));
  EXPECT_EQ(contents("pU_h.dat"), records({styleA("pU_h"), kPU3}));
}

}  // namespace
}  // namespace kv
