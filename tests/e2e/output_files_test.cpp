// The registry of fixed output names against what a run really does: a complete run writes (or
// completes) exactly the registered files for its kind, and the listing may take none of their
// names.
#include "plots/output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "harness.h"

namespace kv::e2e {
namespace {

// A golden case copied into `f`; returns its input files with their bytes.
std::map<std::string, std::string> copyGoldenCase(const CaseFolder& f, const std::string& name) {
  std::map<std::string, std::string> inputs;
  for (const auto& entry : fs::directory_iterator(sourceDir() / "tests/golden/cases" / name)) {
    std::string file = entry.path().filename().string();
    inputs[file] = readFile(entry.path());
    f.write(file, inputs[file]);
  }
  return inputs;
}

// The main data file of a golden case with its record `record` (1-based) replaced.
void replaceMainRecord(const CaseFolder& f, int record, const std::string& value) {
  std::vector<std::string> lines;
  std::string text = f.read("main.dat");
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  lines.at(static_cast<size_t>(record - 1)) = value;
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  f.write("main.dat", out);
}

class RegisteredFiles : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(RegisteredFiles, ARunWritesExactlyTheRegisteredFilesOfItsKind) {
  const auto& [name, hasExact] = GetParam();
  CaseFolder f(/*withPlotScripts=*/false);
  std::map<std::string, std::string> inputs = copyGoldenCase(f, name);
  ASSERT_EQ(f.run().status, 0);

  std::set<std::string> expected = {"listing.txt"}, written;
  for (const OutputFileEntry& file : outputFiles()) {
    if (writtenBy(file.when, hasExact)) expected.insert(std::string(file.name));
  }
  for (const auto& [file, bytes] : f.files()) {
    auto input = inputs.find(file);
    if (input == inputs.end() || input->second != bytes) written.insert(file);
  }
  EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisteredFiles,
                         ::testing::Values(std::pair<std::string, bool>{"exact_ratio2", true},
                                           std::pair<std::string, bool>{"noexact_ratio2", false}),
                         [](const auto& info) { return info.param.first; });

TEST(ListingName, EveryRegisteredNameIsRefusedBeforeAnythingIsWritten) {
  for (const OutputFileEntry& file : outputFiles()) {
    CaseFolder f(/*withPlotScripts=*/false);
    copyGoldenCase(f, "noexact_ratio2");
    replaceMainRecord(f, 2, std::string(file.name));
    RunResult r = f.run();
    EXPECT_EQ(r.status, 30) << file.name;
    EXPECT_EQ(r.err, "kestrovanilque: severe (30): open failure, unit 10, file " +
                         std::string(file.name) + "\n");
    EXPECT_FALSE(f.exists("pL.dat")) << file.name;
  }
}

// The exact-solution file is an input only when the run reads it: without an exact value its
// name is free for the listing; with one it is refused.
TEST(ListingName, TheExactSolutionFileIsGuardedOnlyWhenItIsRead) {
  for (bool hasExact : {false, true}) {
    CaseFolder f(/*withPlotScripts=*/false);
    copyGoldenCase(f, hasExact ? "exact_ratio2" : "noexact_ratio2");
    replaceMainRecord(f, 2, "exact.dat");
    RunResult r = f.run();
    EXPECT_EQ(r.status, hasExact ? 30 : 0) << r.err;
    EXPECT_EQ(f.exists("pL.dat"), !hasExact);
  }
}

}  // namespace
}  // namespace kv::e2e
