#include "field/field_case.h"

#include <gtest/gtest.h>

#include <cmath>

#include "temp_folder.h"

namespace kv::field {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

TEST(FieldCase, ListsTheGridsFinestFirstWithTheirLayouts) {
  TempFolder folder("field_case");
  std::filesystem::create_directory("case");
  writeBytes("case/field.csv",
             "\xEF\xBB\xBF# a field\r\nh;file\r\n0.2;coarse.txt\r\n0.05;fine.CSV\r\n"
             "exact;exact.txt\r\n0.1;medium.txt\r\n");
  auto read = readFieldCase("case/field.csv");
  ASSERT_TRUE(std::holds_alternative<FieldCase>(read)) << std::get<Error>(read).message;
  const FieldCase& c = std::get<FieldCase>(read);
  ASSERT_EQ(c.grids.size(), 3u);
  EXPECT_EQ(c.grids[0].h, 0.05);
  EXPECT_EQ(c.grids[0].file.path, (std::filesystem::path("case") / "fine.CSV").string());
  EXPECT_EQ(c.grids[0].file.layout, Layout::Csv);
  EXPECT_EQ(c.grids[2].file.path, (std::filesystem::path("case") / "coarse.txt").string());
  EXPECT_EQ(c.grids[2].file.layout, Layout::Classic);
  ASSERT_TRUE(c.exact);
  EXPECT_EQ(c.exact->path, (std::filesystem::path("case") / "exact.txt").string());

  writeBytes("cells.csv", "cells,file\n4500,c.txt\n18000,a.txt\n8000,b.txt\n");
  auto cells = readFieldCase("cells.csv", 2);
  ASSERT_TRUE(std::holds_alternative<FieldCase>(cells));
  EXPECT_EQ(std::get<FieldCase>(cells).grids[0].file.path, "a.txt");
  EXPECT_DOUBLE_EQ(std::get<FieldCase>(cells).grids[0].h, 1.0 / std::sqrt(18000.0));
}

TEST(FieldCase, BadCasesSayWhereAndWhat) {
  TempFolder folder("field_case");
  struct Case {
    const char* text;
    int dimension;
    size_t line;
    const char* message;
  };
  const Case cases[] = {
      {"", 0, 0, "is empty: expected the header h,file or cells,file"},
      {"h,name\n", 0, 1, "the header must be h,file or cells,file"},
      {"cells,file\n10,a.txt\n", 0, 1, "cell counts need the dimension of the grids (1, 2 or 3)"},
      {"h,file\n0,1,a.txt\n", 0, 2, "expected 2 fields, found 3 (a decimal comma? write 0.1, not 0,1)"},
      {"h;file\n0,1;a.txt\n", 0, 2, "h '0,1' is not a number (write 0.1, not 0,1)"},
      {"h,file\n-1,a.txt\n0.1,b.txt\n", 0, 2, "h must be positive"},
      {"h,file\n0.1,a.txt\n0.1,b.txt\n", 0, 3, "two grids with the same h"},
      {"h,file\n0.1,a.txt\n", 0, 0, "a field needs two grids or more"},
      {"h,file\n0.1,\n", 0, 2, "the file name is missing"},
  };
  for (const Case& c : cases) {
    writeBytes("case.csv", c.text);
    auto read = readFieldCase("case.csv", c.dimension);
    ASSERT_TRUE(std::holds_alternative<Error>(read)) << c.text;
    EXPECT_EQ(std::get<Error>(read), (Error{"case.csv", c.line, c.message})) << c.text;
  }
  EXPECT_EQ(std::get<Error>(readFieldCase("none.csv")).message, "cannot be read (No such file or directory)");
  std::filesystem::create_directory("folder.csv");
  EXPECT_EQ(std::get<Error>(readFieldCase("folder.csv")).message,
            "is a folder, not a file: name the field case (an h,file table)");
  // Never read in part: grids after 16 MiB of comments are not lost, the case is refused.
  writeBytes("large.csv", "#" + std::string(size_t{16} << 20, ' ') + "\nh,file\n0.1,a.txt\n0.2,b.txt\n");
  EXPECT_EQ(std::get<Error>(readFieldCase("large.csv")),
            (Error{"large.csv", 0, "is larger than 16 MiB: a field case lists a few grids and their files"}));
}

}  // namespace
}  // namespace kv::field
