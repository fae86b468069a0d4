// Golden runs: every case under tests/golden/cases is run by the real binary, and every file
// the run writes or completes is compared whole, byte for byte, with the file derived for it
// independently (tests/golden/expected). Only the run's date and time are masked: the
// "Dia = ... Hora = ..." record of the listing and the date in the "set title" lines.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

namespace kv::e2e {
namespace {

fs::path goldenDir() { return sourceDir() / "tests" / "golden"; }

std::vector<std::string> goldenCases() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(goldenDir() / "cases")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Cases whose run ends with a fatal line, and that line.
const std::map<std::string, std::pair<int, std::string>> kFatalCases = {
    {"short_script",
     {24, "kestrovanilque: severe (24): end-of-file during read, unit 11, file "
          "Kestrovanilque_E.gnu\n"}},
    {"missing_script",
     {24, "kestrovanilque: severe (24): end-of-file during read, unit 11, file "
          "Kestrovanilque_U_2.gnu\n"}},
};

const std::regex kDateRecord(
    "   Dia = \\(\\d{1,2}/\\d{1,2}/\\d{4}\\) *     Hora = \\d{1,2}:\\d{1,2}:\\d{1,4} *");
const std::regex kDatedTitle("(set title '.*) \\(\\d{1,2}/\\d{1,2}/\\d{0,4}\\)?'?");

// The bytes of an output file with the run's date and time replaced by a mark.
std::string masked(const std::string& name, const std::string& bytes) {
  std::string out;
  size_t begin = 0;
  int record = 0;
  while (begin < bytes.size()) {
    size_t end = bytes.find('\n', begin);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(begin, end - begin);
    std::string ending;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      ending.insert(ending.begin(), line.back());
      line.pop_back();
    }
    ++record;
    std::smatch m;
    if (name.ends_with(".gnu") && std::regex_match(line, m, kDatedTitle)) {
      line = m[1].str() + " <date>";
    } else if (record == 4 && std::regex_match(line, kDateRecord)) {
      line = "   Dia = <date>     Hora = <time>";
    }
    out += line + ending;
    begin = end;
  }
  return out;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, EveryFileMatchesItsDerivation) {
  const std::string name = GetParam();
  const fs::path cases = goldenDir() / "cases" / name;
  const fs::path expected = goldenDir() / "expected" / name;
  CaseFolder f(/*withPlotScripts=*/false);
  std::map<std::string, std::string> inputs;
  for (const auto& entry : fs::directory_iterator(cases)) {
    std::string file = entry.path().filename().string();
    inputs[file] = readFile(entry.path());
    f.write(file, inputs[file]);
  }

  RunResult r = f.run();
  auto fatal = kFatalCases.find(name);
  if (fatal == kFatalCases.end()) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.status, fatal->second.first);
    EXPECT_EQ(r.err, fatal->second.second);
  }
  EXPECT_EQ(r.out, "");

  std::string launches;
  for (const std::string& line : r.launches) launches += line + "\n";
  EXPECT_EQ(launches, readFile(expected / "launches.txt"));

  std::set<std::string> derived;
  for (const auto& entry : fs::directory_iterator(expected)) {
    std::string file = entry.path().filename().string();
    if (file == "launches.txt") continue;
    derived.insert(file);
    ASSERT_TRUE(f.exists(file)) << file << " was not written";
    EXPECT_EQ(masked(file, f.read(file)), masked(file, readFile(entry.path()))) << file;
  }
  // Nothing else was written, and no input was changed.
  for (const auto& [file, bytes] : f.files()) {
    if (derived.count(file)) continue;
    ASSERT_TRUE(inputs.count(file)) << file << " was written but has no derivation";
    EXPECT_EQ(bytes, inputs[file]) << file << " was changed";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kv::e2e
