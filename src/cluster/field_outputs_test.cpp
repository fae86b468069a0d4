#include "cluster/field_outputs.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace kv::cluster {
namespace {

namespace fs = std::filesystem;

// All or nothing: staged outputs appear only on commit; discarded ones leave nothing, not even
// the folder they created, and never a file they did not write.
TEST(FieldOutputs, StagedOutputsAreAllOrNothing) {
  kv::testing_support::TempFolder folder("kv_outputs");
  {
    StagedOutputs out("new", "1");
    ASSERT_TRUE(out.prepare());
    ASSERT_TRUE(out.write("a.txt", "a"));
    kv::testing_support::writeBytes(out.stage("b.txt"), "b");
    EXPECT_FALSE(fs::exists("new/a.txt"));
  }
  EXPECT_FALSE(fs::exists("new"));
  fs::create_directory("old");
  kv::testing_support::writeBytes("old/mine.txt", "kept");
  kv::testing_support::writeBytes("old/a.txt", "replaced");
  {
    StagedOutputs out("old", "2");
    ASSERT_TRUE(out.prepare());
    ASSERT_TRUE(out.write("a.txt", "a"));
    ASSERT_TRUE(out.commit());
  }
  EXPECT_EQ(kv::testing_support::fileBytes("old/a.txt"), "a");
  EXPECT_EQ(kv::testing_support::fileBytes("old/mine.txt"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator("old"), fs::directory_iterator()), 2);
  {
    StagedOutputs out("old", "3");
    ASSERT_TRUE(out.prepare());
    out.stage("never_written.txt");
    EXPECT_FALSE(out.commit());  // a staged output that was never written
  }
  EXPECT_EQ(std::distance(fs::directory_iterator("old"), fs::directory_iterator()), 2);
}

// The header reads back as written, and study.json shows the distribution of each quantity.
TEST(FieldOutputs, HeaderRoundTripsAndStudyJsonShowsTheDistribution) {
  FieldHeader h{"f.h5", {0.01, 0.02, 0.04}, 3, 2.0, field::kNoValue, {"drag", "lift"}, 25};
  EXPECT_EQ(headerToJson(headerFromJson(headerToJson(h))), headerToJson(h));
  std::vector<field::FieldStats> stats(2);
  stats[1].add(0, "lift:1", {field::Convergence::OscillatoryConvergence, 1.5, 0.01, 0.01});
  const nlohmann::json j = nlohmann::json::parse(studyJson(h, stats));
  EXPECT_EQ(j["schema"], 1);
  EXPECT_EQ(j["safety_factor"], nullptr);
  EXPECT_EQ(j["quantities"][1]["distribution"]["convergence"]["oscillatory-convergence"], 1);
  EXPECT_EQ(j["quantities"][1]["distribution"]["worst"][0]["row"], "lift:1");
  EXPECT_FALSE(allConverge(stats));
}

}  // namespace
}  // namespace kv::cluster
