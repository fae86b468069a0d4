#include "study/output_files.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace kv::study {
namespace {

namespace fs = std::filesystem;
using testing_support::fileBytes;

size_t entries(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(OutputFiles, AllOrNothing) {
  testing_support::TempFolder tmp("kv_output");
  const fs::path dir = tmp.path() / "a" / "b";
  const OutputFile files[] = {{"one.txt", "1\n"}, {"two.txt", "2\n"}};
  ASSERT_FALSE(writeOutputs(dir, files).has_value());
  EXPECT_EQ(fileBytes(dir / "two.txt"), "2\n");
  EXPECT_EQ(entries(dir), 2u);
  // An output whose place a folder holds: nothing replaced, no temporary file left.
  fs::create_directories(dir / "three.txt" / "inside");
  const OutputFile more[] = {{"one.txt", "changed\n"}, {"three.txt", "3\n"}};
  EXPECT_EQ(writeOutputs(dir, more), (dir / "three.txt").string() + " exists and is not a file");
  EXPECT_EQ(fileBytes(dir / "one.txt"), "1\n");
  EXPECT_EQ(entries(dir), 3u);
  // A folder that cannot be made (a file stands in its way).
  testing_support::writeBytes(tmp.path() / "file", "x");
  EXPECT_TRUE(writeOutputs(tmp.path() / "file" / "x", files).has_value());
  EXPECT_EQ(entries(tmp.path()), 2u);
}

}  // namespace
}  // namespace kv::study
