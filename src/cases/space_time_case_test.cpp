#include "cases/space_time_case.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv::study {
namespace {

TEST(SpaceTimeCase, ReadsRunsFinestFirstWithTheirIterativeErrors) {
  // iter_err for every quantity, iter_err:b for b alone; runs in any order; cells with --dim.
  const SpaceTimeCase c = parseSpaceTimeCase(
      "cells;DT;a;iter_err;b;\"iter_err:b\"\n"
      "1000;0.2;1;1e-6;5;\n"
      "8000;0.2;2;;6;-3e-7\n"
      "8000;0.1;3;2e-6;7;4e-7\n"
      "exact;;0.5;;;\n",
      "t.csv", {true, 3});
  ASSERT_EQ(c.h.size(), 3u);
  EXPECT_EQ(c.h[0], c.h[1]);
  EXPECT_NEAR(c.h[0], 0.05, 1e-15);
  EXPECT_NEAR(c.h[2], 0.1, 1e-15);
  EXPECT_EQ(c.dt, (std::vector<double>{0.1, 0.2, 0.2}));
  EXPECT_EQ(c.cells, (std::vector<double>{8000, 8000, 1000}));
  EXPECT_EQ(c.lines, (std::vector<size_t>{4, 3, 2}));
  ASSERT_EQ(c.quantities.size(), 2u);
  const SpaceTimeQuantity &a = c.quantities[0], &b = c.quantities[1];
  EXPECT_EQ(a.values, (std::vector<double>{3, 2, 1}));
  EXPECT_EQ(a.exact, 0.5);
  ASSERT_EQ(a.iterErr.size(), 3u);
  EXPECT_EQ(a.iterErr[0], 2e-6);
  EXPECT_TRUE(std::isnan(a.iterErr[1]));
  EXPECT_EQ(b.values, (std::vector<double>{7, 6, 5}));
  EXPECT_TRUE(std::isnan(b.exact));
  ASSERT_EQ(b.iterErr.size(), 3u);
  EXPECT_EQ(b.iterErr[0], 4e-7);
  EXPECT_EQ(b.iterErr[1], -3e-7);
  EXPECT_TRUE(std::isnan(b.iterErr[2]));  // its own column, empty: not that of iter_err
  // Without an iterative-error column there are none.
  EXPECT_TRUE(parseSpaceTimeCase("h,dt,a\n1,1,1\n2,1,2\n4,1,3\n", "t.csv", {})
                  .quantities[0]
                  .iterErr.empty());
}

TEST(SpaceTimeCase, RefusesWithTheLineAndWhatToDo) {
  const char* const runs = "1,1,1\n2,1,2\n4,1,3\n";
  const struct {
    std::string text;
    const char* where;
  } cases[] = {
      {"h,dt\n" + std::string(runs), "t.csv:1: the header has no quantity column"},
      {"h,dt,a,a\n1,1,1,1\n", "t.csv:1: the quantity name 'a' appears twice"},
      {"h,dt,a,iter_err,ITER_ERR\n",
       "t.csv:1: two iterative-error columns for every quantity (iter_err): keep one"},
      {"h,dt,a,iter_err:b\n", "t.csv:1: the column 'iter_err:b' names no quantity column"},
      {"h,dt,a\n1,0,1\n", "t.csv:2: dt = '0': it must be a positive, finite number"},
      {"h,dt,a\n1,inf,1\n", "t.csv:2: dt = 'inf'"},
      {"h,dt,a\n1,0,5,1\n",
       "t.csv:2: 4 fields, but the header has 3 columns: give one value per column (a decimal "
       "comma?"},
      {"h,dt,a\n1,1,\n", "t.csv:2: column 'a' is empty: every run needs a value of every quantity"},
      {"h,dt,a,iter_err\n1,1,1,x\n", "t.csv:2: column 'iter_err': 'x' is not a number"},
      {"h,dt,a,iter_err\n1,1,1,nan\n", "t.csv:2: column 'iter_err': 'nan' is not a finite number"},
      {"h,dt,a\nexact,1,1\n", "t.csv:2: the exact row has no time step: leave its dt field empty"},
      {"h,dt,a,iter_err\nexact,,1,1e-3\n", "t.csv:2: the exact row has no iterative error"},
      {"h,dt,a\n" + std::string(runs) + "2.0,1.0,9\n",
       "t.csv:5: this run has the same h and dt as the run of line 3"},
      {"h,dt,a\n1,1,1\n2,1,2\n", "t.csv:3: 2 runs: a space-time study needs three runs at least"},
      {"cells,dt,a\n" + std::string(runs),
       "t.csv:1: the first column holds cell counts: give --cells --dim D"},
  };
  for (const auto& c : cases) {
    try {
      parseSpaceTimeCase(c.text, "t.csv", {});
      ADD_FAILURE() << c.text;
    } catch (const Failure& e) {
      EXPECT_EQ(e.where().rfind(c.where, 0), 0u) << e.where();
    }
  }
  std::string many = "h,dt,a\n";
  for (size_t k = 0; k <= kMaxSpaceTimeRuns; ++k) many += std::to_string(k + 1) + ",1,1\n";
  EXPECT_THROW(parseSpaceTimeCase(many, "t.csv", {}), Failure);
}

TEST(SpaceTimeCase, IsKnownByDtInTheSecondColumn) {
  EXPECT_TRUE(isSpaceTimeTable("# runs\n\nh;Dt;a\n"));
  EXPECT_TRUE(
      isSpaceTimeTable("\xEF\xBB\xBF"
                       "cells,\"dt\"\n"));
  EXPECT_FALSE(isSpaceTimeTable("h,a,dt\n"));
  EXPECT_FALSE(isSpaceTimeTable("dt,h\n"));
  EXPECT_FALSE(isSpaceTimeTable("h\n"));
  EXPECT_FALSE(isSpaceTimeTable(""));
}

}  // namespace
}  // namespace kv::study
