#include "listing/repeated_extrapolation_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "plots/test_support.h"

namespace kv {
namespace {

using levels_test::blanks;
using levels_test::prepareRun;
using levels_test::row12;

class LevelTables : public levels_test::InTempFolder {
 protected:
  void openListing() { run_.listing.emplace(kListingUnit, "listing.txt"); }
  std::string listing() {
    run_.listing->close();
    run_.listing.reset();
    return contents("listing.txt");
  }
  // Writes one table into a fresh listing and returns the listing.
  std::string table(void (*stage)(FormattedRecordWriter&, const RunData&)) {
    openListing();
    stage(*run_.listing, run_);
    return listing();
  }
  // The empty line and the header line of a table.
  static std::string header(const std::string& text) { return "\r\n  " + text + "\r\n"; }

  // Three grids by hand, exact value 1: h = 1, 0.5, 0.25; Th = 2, 1.5, 1.25; level values
  // 1.125 (grid 2), 1.0625 and 1.03125 (grid 3).
  void threeGrids() {
    prepareRun(run_, 3, 1, 1);
    run_.params.hasExactSolution = 1;
    run_.params.exactValue = 1.0;
    GridSeries& g = run_.grid;
    g.h(1) = 1.0, g.h(2) = 0.5, g.h(3) = 0.25;
    g.Th(1) = 2.0, g.Th(2) = 1.5, g.Th(3) = 1.25;
    g.E_Th(1) = -1.0, g.E_Th(2) = -0.5, g.E_Th(3) = -0.25;
    g.T_i(2, 1) = 1.125;
    g.T_i(3, 1) = 1.0625;
    g.T_i(3, 2) = 1.03125;
    g.Uri_12(2) = -0.25, g.Uri_12(3) = -0.125;
    g.Uri_12_T_i(3, 1) = -0.03125;
  }

  testing_support::TestRun run_;
};

TEST_F(LevelTables, HeaderOfFourGridsWithOrdersTwoToEight) {
  prepareRun(run_, 4, 2, 2);
  GridSeries& g = run_.grid;
  for (int i = 1; i <= 4; ++i) g.h(i) = 1.0, g.Th(i) = 2.0;
  for (int i = 2; i <= 4; ++i) {
    for (int j = 1; j < i; ++j) g.T_i(i, j) = 2.0;
  }
  std::string h = "1.0000E+00", two = "2.00000000000000E+00";
  EXPECT_EQ(table(writeTTable), "\r\n" + blanks(2) + "h" + blanks(11) + "Th(p=2)" + blanks(15) +
                                    "T_1i(p=4)" + blanks(13) + "T_2i(p=6)" + blanks(13) +
                                    "T_3i(p=8)\r\n" + row12({h, two}) + row12({h, two, two}) +
                                    row12({h, two, two, two}) + row12({h, two, two, two, two}));
}

TEST_F(LevelTables, SevenMembersOfThreeGrids) {
  threeGrids();
  std::string h1 = "1.0000E+00", h2 = "5.0000E-01", h3 = "2.5000E-01";
  EXPECT_EQ(
      table(writeTTable),
      header("h" + blanks(11) + "Th(p=1)" + blanks(15) + "T_1i(p=2)" + blanks(13) + "T_2i(p=3)") +
          row12({h1, "2.00000000000000E+00"}) +
          row12({h2, "1.50000000000000E+00", "1.12500000000000E+00"}) +
          row12({h3, "1.25000000000000E+00", "1.06250000000000E+00", "1.03125000000000E+00"}));
  EXPECT_EQ(table(writeDTTable), header("h" + blanks(11) + "dTh(p=1)" + blanks(14) + "dT_1i(p=2)" +
                                        blanks(12) + "dT_2i(p=3)") +
                                     row12({h1}) + row12({h2, "-5.00000000000000E-01"}) +
                                     row12({h3, "-2.50000000000000E-01", "-6.25000000000000E-02"}));
  EXPECT_EQ(table(writeETable), header("h" + blanks(11) + "E(Th(p=1))" + blanks(12) +
                                       "E(T_1i(p=2))" + blanks(10) + "E(T_2i(p=3))") +
                                    row12({h1, "-1.00000000000000E+00"}) +
                                    row12({h2, "-5.00000000000000E-01", "-1.25000000000000E-01"}) +
                                    row12({h3, "-2.50000000000000E-01", "-6.25000000000000E-02",
                                           "-3.12500000000000E-02"}));
  EXPECT_EQ(
      table(writeERatioTable),
      header("h" + blanks(11) + "E(Th)/E(Th)" + blanks(11) + "E(Th)/E(T_1i)" + blanks(9) +
             "E(Th)/E(T_2i)") +
          row12({h1, "1.00000000000000E+00"}) +
          row12({h2, "1.00000000000000E+00", "4.00000000000000E+00"}) +
          row12({h3, "1.00000000000000E+00", "4.00000000000000E+00", "8.00000000000000E+00"}));
  EXPECT_EQ(table(writeUri12Table),
            header("h" + blanks(11) + "Uri_12(Th(p=1))" + blanks(7) + "Uri_12(T_1i(p=2))" +
                   blanks(5) + "Uri_12(T_2i(p=3))") +
                row12({h1}) + row12({h2, "-2.50000000000000E-01"}) +
                row12({h3, "-1.25000000000000E-01", "-3.12500000000000E-02"}));
  EXPECT_EQ(table(writeUOverETable),
            header("h" + blanks(11) + "(U/E-1)(Th(p=1))" + blanks(6) + "(U/E-1)(T_1i(p=2))" +
                   blanks(4) + "(U/E-1)(T_2i(p=3))") +
                row12({h1}) + row12({h2, "-5.00000000000000E-01"}) +
                row12({h3, "-5.00000000000000E-01", "-5.00000000000000E-01"}));
  EXPECT_EQ(table(writeURatioTable),
            header("h" + blanks(11) + "U12(Th)/U12(Th)" + blanks(7) + "U12(Th)/U12(T_1i)" +
                   blanks(5) + "U12(Th)/U12(T_2i)") +
                row12({h1}) + row12({h2, "1.00000000000000E+00"}) +
                row12({h3, "1.00000000000000E+00", "4.00000000000000E+00"}));
}

TEST_F(LevelTables, ExactOnlyMembersWriteNothingWithoutAnExactSolution) {
  threeGrids();
  for (int flag : {0, 2}) {
    run_.params.hasExactSolution = flag;
    for (auto stage : {writeETable, writeERatioTable, writeUOverETable}) {
      EXPECT_EQ(table(stage), "");
    }
    EXPECT_NE(table(writeURatioTable), "");
  }
}

TEST_F(LevelTables, AZeroInAnyLevelCellLeavesTheWholeRowOut) {
  threeGrids();
  std::string h1 = "1.0000E+00", h2 = "5.0000E-01", h3 = "2.5000E-01";
  // A level value equal to the exact value: a zero true error in row 3, level 1.
  run_.grid.T_i(3, 1) = 1.0;
  std::string eRatio = table(writeERatioTable);
  EXPECT_EQ(eRatio.substr(eRatio.find("\r\n", 2) + 2),
            row12({h1, "1.00000000000000E+00"}) +
                row12({h2, "1.00000000000000E+00", "4.00000000000000E+00"}));
  std::string uOverE = table(writeUOverETable);
  EXPECT_EQ(uOverE.substr(uOverE.find("\r\n", 2) + 2),
            row12({h1}) + row12({h2, "-5.00000000000000E-01"}));
  // Tables without divisors keep the row.
  std::string e = table(writeETable);
  EXPECT_NE(
      e.find(row12({h3, "-2.50000000000000E-01", "0.00000000000000E+00", "-3.12500000000000E-02"})),
      std::string::npos);

  // A zero true error of level 2 (the last level of row 3): only ERatio looks at it.
  threeGrids();
  run_.grid.T_i(3, 2) = 1.0;
  eRatio = table(writeERatioTable);
  EXPECT_EQ(eRatio.substr(eRatio.find("\r\n", 2) + 2),
            row12({h1, "1.00000000000000E+00"}) +
                row12({h2, "1.00000000000000E+00", "4.00000000000000E+00"}));
  uOverE = table(writeUOverETable);
  EXPECT_EQ(uOverE.substr(uOverE.find("\r\n", 2) + 2),
            row12({h1}) + row12({h2, "-5.00000000000000E-01"}) +
                row12({h3, "-5.00000000000000E-01", "-5.00000000000000E-01"}));

  // A zero estimate of a level, and a zero Uri_12 of grid 2.
  threeGrids();
  run_.grid.Uri_12_T_i(3, 1) = 0.0;
  std::string uRatio = table(writeURatioTable);
  EXPECT_EQ(uRatio.substr(uRatio.find("\r\n", 2) + 2),
            row12({h1}) + row12({h2, "1.00000000000000E+00"}));
  threeGrids();
  run_.grid.Uri_12(2) = 0.0;
  uRatio = table(writeURatioTable);
  EXPECT_EQ(uRatio.substr(uRatio.find("\r\n", 2) + 2),
            row12({h1}) + row12({h3, "1.00000000000000E+00", "4.00000000000000E+00"}));

  // A zero true error of Th: the row goes from every ratio table that divides by it.
  threeGrids();
  run_.grid.E_Th(2) = 0.0;
  eRatio = table(writeERatioTable);
  EXPECT_EQ(
      eRatio.substr(eRatio.find("\r\n", 2) + 2),
      row12({h1, "1.00000000000000E+00"}) +
          row12({h3, "1.00000000000000E+00", "4.00000000000000E+00", "8.00000000000000E+00"}));
  uOverE = table(writeUOverETable);
  EXPECT_EQ(uOverE.substr(uOverE.find("\r\n", 2) + 2),
            row12({h1}) + row12({h3, "-5.00000000000000E-01", "-5.00000000000000E-01"}));
}

TEST_F(LevelTables, OneGrid) {
  prepareRun(run_, 1, 2, 2);
  run_.params.hasExactSolution = 1;
  run_.grid.h(1) = 0.5;
  run_.grid.Th(1) = 3.0;
  run_.grid.E_Th(1) = -0.25;
  std::string h = "5.0000E-01";
  EXPECT_EQ(table(writeTTable),
            header("h" + blanks(11) + "Th(p=2)") + row12({h, "3.00000000000000E+00"}));
  EXPECT_EQ(table(writeETable),
            header("h" + blanks(11) + "E(Th(p=2))") + row12({h, "-2.50000000000000E-01"}));
  EXPECT_EQ(table(writeERatioTable),
            header("h" + blanks(11) + "E(Th)/E(Th)") + row12({h, "1.00000000000000E+00"}));
  // The four tables whose row 2 needs grid 2 end after row 1.
  EXPECT_EQ(table(writeDTTable), header("h" + blanks(11) + "dTh(p=2)") + row12({h}));
  EXPECT_EQ(table(writeUri12Table), header("h" + blanks(11) + "Uri_12(Th(p=2))") + row12({h}));
  EXPECT_EQ(table(writeUOverETable), header("h" + blanks(11) + "(U/E-1)(Th(p=2))") + row12({h}));
  EXPECT_EQ(table(writeURatioTable), header("h" + blanks(11) + "U12(Th)/U12(Th)") + row12({h}));
  // A zero true error leaves the ratio table with its header alone.
  run_.grid.E_Th(1) = 0.0;
  EXPECT_EQ(table(writeERatioTable), header("h" + blanks(11) + "E(Th)/E(Th)"));
}

TEST_F(LevelTables, TwoGrids) {
  prepareRun(run_, 2, 2, 2);
  GridSeries& g = run_.grid;
  g.h(1) = 0.5, g.h(2) = 0.25;
  g.Th(1) = 1.5, g.Th(2) = 1.25;
  g.T_i(2, 1) = 1.125;
  g.Uri_12(2) = -0.125;
  std::string h1 = "5.0000E-01", h2 = "2.5000E-01";
  std::string dHeader = "h" + blanks(11) + "dTh(p=2)" + blanks(14) + "dT_1i(p=4)";
  EXPECT_EQ(table(writeDTTable),
            header(dHeader) + row12({h1}) + row12({h2, "-2.50000000000000E-01"}));
  EXPECT_EQ(table(writeTTable), header("h" + blanks(11) + "Th(p=2)" + blanks(15) + "T_1i(p=4)") +
                                    row12({h1, "1.50000000000000E+00"}) +
                                    row12({h2, "1.25000000000000E+00", "1.12500000000000E+00"}));
  EXPECT_EQ(table(writeURatioTable),
            header("h" + blanks(11) + "U12(Th)/U12(Th)" + blanks(7) + "U12(Th)/U12(T_1i)") +
                row12({h1}) + row12({h2, "1.00000000000000E+00"}));
}

TEST_F(LevelTables, NoGridsGiveTheFirstLabelAlone) {
  prepareRun(run_, 0, 3, 1);
  EXPECT_EQ(table(writeTTable), header("h" + blanks(11) + "Th(p=3)"));
  EXPECT_EQ(table(writeURatioTable), header("h" + blanks(11) + "U12(Th)/U12(Th)"));
}

TEST_F(LevelTables, LevelNumbersAndOrdersThatDoNotFitBecomeAsterisks) {
  prepareRun(run_, 3, 98, 1);  // orders 98, 99, 100
  GridSeries& g = run_.grid;
  for (int i = 1; i <= 3; ++i) g.h(i) = 1.0, g.Th(i) = 2.0;
  g.T_i(2, 1) = g.T_i(3, 1) = g.T_i(3, 2) = 2.0;
  std::string t = table(writeTTable);
  EXPECT_EQ(t.substr(0, t.find("\r\n", 2) + 2), header("h" + blanks(11) + "Th(p=98)" + blanks(15) +
                                                       "T_1i(p=99)" + blanks(13) + "T_2i(p=**)"));
}

// 35 grids: the header passes 500 characters and is cut; rows of grids 31 and on continue on
// a second record.
TEST_F(LevelTables, LongHeaderIsCutAndLongRowsContinueOnFurtherRecords) {
  const int n = 35;
  prepareRun(run_, n, 1, 1);
  GridSeries& g = run_.grid;
  for (int i = 1; i <= n; ++i) {
    g.h(i) = 1.0;
    g.Th(i) = 2.0;
    for (int j = 1; j < i; ++j) g.T_i(i, j) = 2.0;
  }
  // The first label, two blanks and then one label per level; level j reads T_ji(p=j+1).
  std::string full = "h" + blanks(11) + "Th(p=1)  ";
  for (int j = 1; j < n; ++j) {
    full += blanks(13) + "T_" + std::to_string(j) + "i(p=" + std::to_string(j + 1) + ")";
  }
  std::string cut = full.substr(0, 500);
  // By hand: 21 characters before level 1, 22 for each of levels 1 to 8, 23 for level 9 and 24
  // for each later one, so level 20 ends at 484 and the cut falls inside "T_21i(p=22)".
  ASSERT_EQ(cut.substr(484 - 11), "T_20i(p=21)" + blanks(13) + "T_2");

  std::string expected = header(cut);
  const std::string h = "  1.0000E+00", two = "  2.00000000000000E+00";
  for (int i = 1; i <= n; ++i) {
    int values = i;  // Th and levels 1 to i - 1
    std::string record = h;
    for (int k = 0; k < values && k < 30; ++k) record += two;
    expected += record + "\r\n";
    if (values > 30) {
      std::string more;
      for (int k = 30; k < values; ++k) more += two;
      expected += more + "\r\n";
    }
  }
  EXPECT_EQ(table(writeTTable), expected);
}

TEST_F(LevelTables, RowsOfMoreThanSixtyOneValuesTakeThreeRecords) {
  const int n = 65;
  prepareRun(run_, n, 1, 1);
  GridSeries& g = run_.grid;
  for (int i = 1; i <= n; ++i) {
    g.h(i) = 0.5;
    g.Th(i) = -1.0;
    for (int j = 1; j < i; ++j) g.T_i(i, j) = -1.0;
  }
  std::string t = table(writeTTable);
  // The last row: h and 65 values, as 1 + 30, 30 and 5 fields.
  const std::string minus = " -1.00000000000000E+00";
  std::string thirty;
  for (int k = 0; k < 30; ++k) thirty += minus;
  std::string five;
  for (int k = 0; k < 5; ++k) five += minus;
  std::string last = "  5.0000E-01" + thirty + "\r\n" + thirty + "\r\n" + five + "\r\n";
  ASSERT_GE(t.size(), last.size());
  EXPECT_EQ(t.substr(t.size() - last.size()), last);
}

}  // namespace
}  // namespace kv
