#include "study/case_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.h"

namespace kv::study {
namespace {

// An HDF5 file is known by its extension or, under any name, by its signature.
TEST(CaseKind, FindsHdf5Cases) {
  kv::testing_support::TempFolder folder("kv_case_kind");
  kv::testing_support::writeBytes("field.dat", std::string("\x89HDF\r\n\x1a\n\0\0", 10));
  kv::testing_support::writeBytes("table.csv", "h,a\n1,2\n2,3\n");
  const struct {
    const char* file;
    bool hdf5;
  } cases[] = {{"field.h5", true},   {"FIELD.HDF5", true}, {"x.he5", true}, {"field.dat", true},
               {"table.csv", false}, {"missing.csv", false}, {"-", false}, {".", false}};
  for (const auto& c : cases) EXPECT_EQ(isHdf5File(c.file), c.hdf5) << c.file;
}

// Every option is accepted or refused the same way whatever the kind: one table says to which
// kinds an option applies; every other option applies to all.
TEST(CaseKind, OptionsApplyByTheOneTable) {
  auto refused = [](CaseKind kind, std::vector<std::string> given) {
    Arguments a;
    a.given = std::move(given);
    return refusedOption(kind, a).has_value();
  };
  const struct {
    CaseKind kind;
    const char* option;
    bool refused;
  } cases[] = {
      {CaseKind::Hdf5, "--threads", false},         {CaseKind::Hdf5, "--target-gci", false},
      {CaseKind::Hdf5, "--cells", true},             {CaseKind::Table, "--cells", false},
      {CaseKind::FieldTable, "--dim", false},        {CaseKind::MainData, "--cells", true},
      {CaseKind::Table, "--field", true},            {CaseKind::MainData, "--field", false},
      {CaseKind::Table, "--slab", true},             {CaseKind::Hdf5, "--slab", false},
      {CaseKind::FieldTable, "--no-csv", true},      {CaseKind::Slabs, "--no-csv", false},
      {CaseKind::Slabs, "--order", true},            {CaseKind::Slabs, "--no-plots", false},
      {CaseKind::Table, "--block-points", true},     {CaseKind::MainDataField, "--block-points", false},
      {CaseKind::Table, "--no-least-squares", false}, {CaseKind::Hdf5, "--plot-timeout", false},
      {CaseKind::SpaceTime, "--order", false},       {CaseKind::SpaceTime, "--time-order", false},
      {CaseKind::Table, "--time-order", true},       {CaseKind::SpaceTime, "--cells", false},
      {CaseKind::SpaceTime, "--fs", true},           {CaseKind::SpaceTime, "--no-least-squares", true},
      {CaseKind::SpaceTime, "--threads", true},      {CaseKind::SpaceTime, "--strict", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(refused(c.kind, {c.option}), c.refused) << c.option << " for " << caseKindName(c.kind);
  }
  Arguments a;
  a.given = {"--strict", "--cells"};
  EXPECT_EQ(refusedOption(CaseKind::Hdf5, a),
            "--cells applies to CSV cases (a table of quantities, an h,dt table of runs or an h,file table), not to an "
            "HDF5 field");
}

// The start file leads to the main data file it names, quoted or not; an empty name is refused.
TEST(CaseKind, StartFileNamesTheMainDataFile) {
  kv::testing_support::TempFolder folder("kv_case_kind_start");
  const struct {
    const char* start;
    const char* error;  // a part of the message
  } cases[] = {{"''\n", "names no main data file"},
               {"\"\"\n", "names no main data file"},
               {"'gone.txt'\n", "gone.txt"},
               {"gone.txt\n", "gone.txt"}};
  for (const auto& c : cases) {
    kv::testing_support::writeBytes("Kestrovanilque.in", c.start);
    Arguments a;
    a.caseFile = "Kestrovanilque.in";
    try {
      readCase(a);
      ADD_FAILURE() << c.start;
    } catch (const InputError& e) {
      const std::string message = std::string(e.file()) + ": " + e.what();
      EXPECT_NE(message.find(c.error), std::string::npos) << c.start << " -> " << message;
      EXPECT_EQ(message.find('\''), std::string::npos) << message;  // the quotes are not part of the name
    }
  }
}

}  // namespace
}  // namespace kv::study
