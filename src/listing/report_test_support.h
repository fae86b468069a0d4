// Shared by the tests of the report writers: a run filled by hand in a fresh temporary folder,
// with the listing open on "listing.txt", and small helpers to spell expected records.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "listing/result_tables.h"
#include "plots/estimator_plot_files.h"
#include "plots/order_plot_files.h"
#include "run_builder.h"
#include "temp_folder.h"

namespace kv::report_test {

class ReportTest : public ::testing::Test {
 protected:
  void TearDown() override { run.listing.reset(); }

  // N grids, every derived entry undefined (as allocated), the listing open.
  void start(int gridCount, int32_t hasExactSolution = 1, int32_t pL = 2, int32_t deltaP = 2) {
    run.params.hasExactSolution = hasExactSolution;
    testing_support::prepareRun(run, gridCount, pL, deltaP);
    run.listing.emplace(kListingUnit, "listing.txt");
  }

  // The listing as written so far (closes it).
  std::string listing() {
    run.listing->close();
    run.listing.reset();
    return contents("listing.txt");
  }

  static std::string contents(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name << " was not written";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  testing_support::TempFolder folder_{"kv_reports"};  // outlives the run's open files
  testing_support::TestRun run;
};

// Records joined, each ended with CR LF.
inline std::string records(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.append("\r\n");
  }
  return text;
}

using testing_support::field;
inline std::string f12(std::string_view text) { return field(text, 12); }
inline std::string f22(std::string_view text) { return field(text, 22); }
inline std::string blank(size_t width) { return std::string(width, ' '); }

// A header line built by placing each label at its column (1-based).
class Line {
 public:
  Line& at(size_t column, std::string_view text) {
    size_t end = column - 1 + text.size();
    if (text_.size() < end) text_.resize(end, ' ');
    std::copy(text.begin(), text.end(), text_.begin() + static_cast<std::ptrdiff_t>(column - 1));
    return *this;
  }
  operator std::string_view() const { return text_; }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// A listing header: "h" at column 3 and the labels from column 15 on, one every `step` columns.
inline std::string headerLine(size_t step, std::initializer_list<const char*> labels) {
  Line line;
  line.at(3, "h");
  size_t column = 15;
  for (const char* label : labels) {
    line.at(column, label);
    column += step;
  }
  return line.str();
}

}  // namespace kv::report_test

namespace kv::testing_support {

// The stages that write a listing table and plot files, as the run sequence calls them.
inline void writeOrderReport(TestRun& run, OrderMember member) {
  writeOrderTable(*run.listing, run, member);
  writeOrderPlotFiles(run, member);
}
inline void writeEstimatedErrorReport(TestRun& run) {
  writeEstimatorTable(*run.listing, run);
  writeEstimatorPlotFiles(run);
}

}  // namespace kv::testing_support
