#include "cluster/slab_manifest.h"

#include <gtest/gtest.h>

#include "study/study.h"

namespace kv::cluster {
namespace {

// Slab 2 of 3 of a field of 10 points (points 4 to 6), two quantities studied at each point.
SlabManifest slabTwoOfThree() {
  SlabManifest m;
  m.slab = {2, 3};
  m.totalPoints = 10;
  m.firstPoint = 4;
  m.summary.file = "f.h5";
  m.summary.kind = "hdf5-field";
  m.summary.h = {0.1, 0.2, 0.4};
  m.summary.points = 3;
  const study::PointStudy point(m.summary.h, m.summary.settings);
  for (const char* name : {"lift", "drag"}) {
    m.summary.quantities.push_back({name, study::Distribution()});
    for (uint64_t p = 4; p < 7; ++p) {
      const double values[] = {1.0 + 0.01 * static_cast<double>(p), 1.04, 1.16};
      m.summary.quantities.back().distribution.add(p, point("x", values, kNotANumber));
    }
  }
  m.nameWidth = rowNameWidth(m.summary.quantities);
  m.csvSections = {40, 200, 360};
  m.input = "abc";
  return m;
}

// A manifest is read back only when every number is one the tool itself writes: a doctored
// one (sizes that would make the merge allocate or loop without bound) is refused at once.
TEST(SlabManifest, EveryNumberReadBackIsCheckedAgainstWhatTheToolWrites) {
  const nlohmann::json good = slabTwoOfThree().toJson();
  EXPECT_EQ(SlabManifest::fromJson(good).toJson(), good);
  const struct {
    const char* key;
    nlohmann::json value;
  } doctored[] = {
      {"row_name_width", 1e15},        {"row_name_width", 26},    {"total_points", 1e15},
      {"total_points", 11},            {"first_point", 3},        {"slab", 4},
      {"slabs", 4},                    {"csv_sections", {40, 360, 200}}, {"csv_sections", {40, 200}},
  };
  for (const auto& d : doctored) {
    nlohmann::json j = good;
    j[d.key] = d.value;
    EXPECT_THROW(SlabManifest::fromJson(j), std::exception) << d.key << " = " << d.value;
  }
  nlohmann::json j = good;
  j["summary"]["points"] = 4;
  EXPECT_THROW(SlabManifest::fromJson(j), std::exception);
}

}  // namespace
}  // namespace kv::cluster
