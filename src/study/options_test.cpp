#include "study/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::study {
namespace {

// Every option is accepted or refused the same way whatever the kind: one table says to which
// kinds an option applies; every other option applies to all.
TEST(StudyOptions, OptionsApplyByTheOneTable) {
  auto refused = [](CaseKind kind, std::vector<std::string> given) {
    return refusedOption(kind, given, "table").has_value();
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
  const std::vector<std::string> given = {"--strict", "--cells"};
  EXPECT_EQ(refusedOption(CaseKind::Hdf5, given, "table"),
            "--cells applies to CSV cases (a table of quantities, an h,dt table of runs or an h,file table), not to an "
            "HDF5 field");
}

}  // namespace
}  // namespace kv::study
