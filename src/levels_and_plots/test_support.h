// Shared pieces of the tests of this folder: a fresh working folder per test, file contents,
// a run of N grids, and the fields of numbers as the records show them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

#include "run/run.h"
#include "temp_folder.h"

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

// A run of `n` grids with the true orders pL + (m - 1) deltaP filled in; the derived arrays
// hold what the allocation gives them (1.0e11).
inline void prepareRun(Run& run, int n, int pL, int deltaP) {
  run.params.gridCount = n;
  run.params.pL = pL;
  run.params.deltaP = deltaP;
  run.grid.allocate(n);
  for (int m = 1; m <= run.grid.count; ++m) {
    run.grid.pV(m) = trueOrder(run.params, m);
    run.grid.pV_text(m) = trueOrderText(run.grid.pV(m));
  }
}

// `text` right-justified in a field of `width` characters (a rendered number).
inline std::string field(std::string_view text, size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

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
