// Shared pieces of the tests of the plot files and level tables: a fresh working folder per
// test, file contents, and the records as the files show them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

#include "temp_folder.h"
#include "run_builder.h"

namespace kv::levels_test {

namespace fs = std::filesystem;

// Each test runs in a folder of its own, made empty, which is the working folder meanwhile.
class InTempFolder : public ::testing::Test {
 protected:
  static std::string contents(const std::string& name) { return testing_support::fileBytes(name); }
  static void put(const std::string& name, std::string_view bytes) {
    testing_support::writeBytes(name, bytes);
  }

  testing_support::TempFolder folder_{"kv_levels"};
};

using testing_support::field;
using testing_support::prepareRun;

// A record of the listing and reference-file rows: the first text in 12 characters, the
// others in 22, and the record end.
inline std::string row12(std::initializer_list<std::string_view> texts) {
  std::string record;
  bool first = true;
  for (std::string_view t : texts) {
    record += field(t, first ? 12 : 22);
    first = false;
  }
  return record + "\r\n";
}

// A record of the true-error files: every text in 23 characters, and the record end.
inline std::string row23(std::initializer_list<std::string_view> texts) {
  std::string record;
  for (std::string_view t : texts) record += field(t, 23);
  return record + "\r\n";
}

inline std::string blanks(size_t n) { return std::string(n, ' '); }

}  // namespace kv::levels_test
