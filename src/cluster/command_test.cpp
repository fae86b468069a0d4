#include "cluster/command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.h"

namespace kv::cluster {
namespace {

bool detect(std::vector<std::string> args) {
  args.insert(args.begin(), "study");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return isHdf5Study(static_cast<int>(argv.size()), argv.data());
}

// The case is found past the options and their values; an HDF5 file is known by its extension
// or, under any name, by its signature.
TEST(Command, FindsHdf5Cases) {
  kv::testing_support::TempFolder folder("kv_command");
  kv::testing_support::writeBytes("field.dat", std::string("\x89HDF\r\n\x1a\n\0\0", 10));
  kv::testing_support::writeBytes("table.csv", "h,a\n1,2\n2,3\n");
  const struct {
    std::vector<std::string> args;
    bool hdf5;
  } cases[] = {
      {{"field.h5"}, true},           {{"FIELD.HDF5"}, true},
      {{"x.he5", "--no-csv"}, true},  {{"field.dat"}, true},
      {{"table.csv"}, false},         {{"--out", "a.h5", "table.csv"}, false},
      {{"--slab", "1/2", "f.h5"}, true}, {{"--strict", "missing.csv"}, false},
      {{"-"}, false},                 {{}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(detect(c.args), c.hdf5) << (c.args.empty() ? "" : c.args.back());
}

}  // namespace
}  // namespace kv::cluster
