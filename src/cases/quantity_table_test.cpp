#include "cases/quantity_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "base/limits.h"
#include "cases/csv_case.h"

namespace kv::study {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Rows held in memory, named as a DataFrame's: row k is "row k" (from 0).
TableRules memoryRules(bool cells = false, int dimension = 0) {
  return TableRules(TableRows([](size_t k) { return "row " + std::to_string(k); }), "grid", cells, dimension);
}

// A table in memory: the header a, b; each row's fields as given.
StudyCase memoryTable(const TableRules& rules, const std::vector<std::vector<TableField>>& rows) {
  QuantityTable table(rules, "<table>");
  const TableField names[] = {TableField("a"), TableField("b")};
  table.names(names, 0);
  for (size_t r = 0; r < rows.size(); ++r) table.row(rows[r], r + 1);
  return table.finish(0);
}

std::string refusal(const std::function<void()>& read) {
  try {
    read();
  } catch (const Failure& e) {
    return e.where();
  }
  return "(read)";
}

TEST(QuantityTable, StudiesValuesThatAreNotFiniteAndLeavesNaNExactUnknown) {
  const TableRules rules = memoryRules();
  const StudyCase c = memoryTable(rules, {
                                             {TableField::of(0.2), TableField("nan"), TableField::of(kInf)},
                                             {TableField("exact"), TableField::of(NAN), TableField("1.5")},
                                             {TableField::of(0.1), TableField::of(NAN), TableField("-inf")},
                                         });
  EXPECT_EQ(c.h, (std::vector<double>{0.1, 0.2}));
  EXPECT_EQ(c.lines, (std::vector<size_t>{3, 1}));
  EXPECT_TRUE(std::isnan(c.quantities[0].values[0]) && std::isnan(c.quantities[0].values[1]));
  EXPECT_EQ(c.quantities[1].values, (std::vector<double>{-kInf, kInf}));
  EXPECT_TRUE(std::isnan(c.quantities[0].exact));
  EXPECT_EQ(c.quantities[1].exact, 1.5);
  // The same from a CSV file: nan and inf are values; an empty exact field is unknown.
  const StudyCase csv = parseCsvCase("h,a,b\n0.2,nan,inf\nexact,,1.5\n0.1,NaN,-inf\n", "t.csv", {});
  EXPECT_EQ(csv.h, c.h);
  EXPECT_EQ(csv.quantities[1].values, c.quantities[1].values);
  EXPECT_TRUE(std::isnan(csv.quantities[0].values[0]) && std::isnan(csv.quantities[0].exact));
}

TEST(QuantityTable, RefusesAsTheCsvTableDoesNamingTheRow) {
  const TableRules rules = memoryRules();
  const auto grid = [](double h) {
    return std::vector<TableField>{TableField::of(h), TableField::of(1.0), TableField::of(2.0)};
  };
  const struct {
    std::vector<std::vector<TableField>> rows;
    const char* memory;  // the refusal of the table in memory
    const char* csv;     // the same table as a CSV file
    const char* where;   // its refusal
  } cases[] = {
      {{grid(0.1), {TableField::of(NAN), TableField::of(1.0), TableField::of(2.0)}},
       "row 1: h = 'nan': it must be a positive, finite number", "h,a,b\n0.1,1,2\nnan,1,2\n",
       "t.csv:3: h = 'nan': it must be a positive, finite number"},
      {{grid(0.1), grid(0.2), {TableField("exact"), TableField::of(kInf), TableField()}},
       "row 2: column 'a': the exact value 'inf' is not finite: leave the field empty when it is unknown",
       "h,a,b\n0.1,1,2\n0.2,1,2\nexact,inf,\n",
       "t.csv:4: column 'a': the exact value 'inf' is not finite: leave the field empty when it is unknown"},
      {{grid(0.1), grid(0.2), {TableField("exact"), TableField("nan"), TableField()}},
       "row 2: column 'a': the exact value 'nan' is not finite", "h,a,b\n0.1,1,2\n0.2,1,2\nexact,nan,\n",
       "t.csv:4: column 'a': the exact value 'nan' is not finite"},
      {{{TableField("Exact"), TableField(), TableField()}, grid(0.1), {TableField("exact"), TableField(), TableField()}},
       "row 2: a second exact row (the first is row 0): keep one", "h,a,b\nExact,,\n0.1,1,2\nexact,,\n",
       "t.csv:4: a second exact row (the first is line 2): keep one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.csv);
    EXPECT_EQ(refusal([&] { memoryTable(rules, c.rows); }).rfind(c.memory, 0), 0u)
        << refusal([&] { memoryTable(rules, c.rows); });
    EXPECT_EQ(refusal([&] { parseCsvCase(c.csv, "t.csv", {}); }).rfind(c.where, 0), 0u)
        << refusal([&] { parseCsvCase(c.csv, "t.csv", {}); });
  }
}

// An empty field (a None) is a missing value of its quantity on its grid, wherever the table
// comes from, and follows its grid finest first; nan is a value.
TEST(QuantityTable, AnEmptyFieldIsAMissingValue) {
  const StudyCase memory = memoryTable(memoryRules(), {{TableField::of(0.4), TableField(), TableField::of(3.0)},
                                                       {TableField::of(0.1), TableField::of(1.0), TableField::of(NAN)},
                                                       {TableField::of(0.2), TableField(), TableField::of(2.0)}});
  const StudyCase csv = parseCsvCase("h,a,b\n0.4,,3\n0.1,1,nan\n0.2,,2\n", "t.csv", {});
  for (const StudyCase* c : {&memory, &csv}) {
    EXPECT_EQ(c->quantities[0].missing, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(c->quantities[0].values[0], 1.0);
    EXPECT_TRUE(c->quantities[1].missing.empty());
  }
}

// pandas' index column, first and unnamed before h or cells, is refused with how to save without
// it; any other header without h first keeps its message.
TEST(QuantityTable, RefusesPandasIndexColumn) {
  const char* const hint = ": save the table with to_csv(path, index=False)";
  EXPECT_EQ(refusal([] { parseCsvCase(",h,a\n0,0.1,1\n1,0.2,2\n", "t.csv", {}); }),
            std::string("t.csv:1: the first column has no name and h comes second, as pandas writes its index with to_csv()") +
                hint);
  EXPECT_EQ(refusal([] { parseCsvCase("# c\n;cells;a\n0;8;1\n1;64;2\n", "t.csv", {true, 3}); }),
            std::string("t.csv:2: the first column has no name and cells comes second, as pandas writes its index with "
                        "to_csv()") + hint);
  EXPECT_EQ(refusal([] { parseCsvCase(",a,h\n0,0.1,1\n", "t.csv", {}); }).rfind("t.csv:1: missing header", 0), 0u);
}

TEST(QuantityTable, ChecksTheNamesOnTheTableAsAWhole) {
  const TableRules rules = memoryRules();
  const auto names = [&](std::vector<TableField> given) {
    return refusal([&] { QuantityTable(rules, "<table>").names(given, 0); });
  };
  EXPECT_EQ(names({}), "the header has no quantity column: name one column per quantity after the first, separated "
                       "by , ; or tab");
  EXPECT_EQ(names({TableField("a"), TableField("a")}),
            "the quantity name 'a' appears twice: give each column its own name");
  EXPECT_EQ(names({TableField("a"), TableField("")}), "column 3 has no name: name every quantity");
  // A second column of grids is no quantity, from a file and from memory.
  EXPECT_EQ(names({TableField("a"), TableField("H")}),
            "column 3 is named H: a table gives its grids by one column (h or cells), its first");
  EXPECT_EQ(refusal([] { parseCsvCase("h,h,q\n0.1,0.1,1\n0.2,0.2,1.1\n", "t.csv", {}); }),
            "t.csv:1: column 2 is named h: a table gives its grids by one column (h or cells), its first");
  std::vector<TableField> many(kMaxTableQuantities + 1, TableField("q"));
  EXPECT_EQ(names(many).rfind("20001 quantities: a table holds at most 20000", 0), 0u);
}

TEST(GridTable, OrdersFinestFirstAndRefusesWhatATableRefuses) {
  const TableRules cells = memoryRules(true, 2);
  const StudyCase c = gridTable(std::vector<double>{100, 400, 25}, cells, "<field>");
  EXPECT_EQ(c.h, (std::vector<double>{0.05, 0.1, 0.2}));
  EXPECT_EQ(c.cells, (std::vector<double>{400, 100, 25}));
  EXPECT_EQ(c.lines, (std::vector<size_t>{2, 1, 3}));
  EXPECT_EQ(c.dimension, 2);
  EXPECT_TRUE(c.quantities.empty());

  const TableRules h = memoryRules();
  std::vector<double> spacings;
  for (size_t k = 0; k < kMaxGrids; ++k) spacings.push_back(1.0 + static_cast<double>(k));
  EXPECT_EQ(gridTable(spacings, h, "<field>").h.size(), kMaxGrids);
  spacings.resize(5000, 1e9);
  EXPECT_EQ(refusal([&] { gridTable(spacings, h, "<field>"); }), "row 64: more than 64 grids: a study takes at most 64");
  EXPECT_EQ(refusal([&] { gridTable(std::vector<double>{0.1, -kInf}, h, "<field>"); }),
            "row 1: h = '-inf': it must be a positive, finite number");
  EXPECT_EQ(refusal([&] { gridTable(std::vector<double>{0.1}, h, "<field>"); }),
            "only 1 grid: a study needs the values of two grids at least (three for an observed order)");
}

}  // namespace
}  // namespace kv::study
