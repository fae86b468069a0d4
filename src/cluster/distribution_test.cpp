#include "cluster/distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kv::cluster {
namespace {

field::FieldStats randomStats(std::mt19937_64& random, uint64_t first, uint64_t points) {
  field::FieldStats s;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (uint64_t i = first; i < first + points; ++i) {
    field::PointSummary p;
    p.convergence = static_cast<field::Convergence>(random() % field::kConvergenceTypes);
    p.p = unit(random) < 0.2 ? field::kNoValue : 4 * unit(random);
    p.gci = unit(random) < 0.1 ? field::kNoValue : std::pow(10.0, -12 * unit(random));
    p.badness = std::isnan(p.p) ? 1e299 : (unit(random) < 0.3 ? 1.0 : p.gci);  // ties
    s.add(i, "q:" + std::to_string(i), p);
  }
  return s;
}

// The exact form reads back to the same statistics, and merging the parts of a split in order
// gives what one pass gives, however the points are split (ranks, slabs).
TEST(Distribution, ExactFormRoundTripsAndMergesLikeOnePass) {
  std::mt19937_64 random(5);
  const field::FieldStats whole = randomStats(random, 0, 500);
  const std::string once = statsToJson(whole).dump();
  EXPECT_EQ(statsToJson(statsFromJson(nlohmann::json::parse(once))).dump(), once);
  for (uint64_t cut : {0u, 1u, 137u, 499u, 500u}) {
    std::mt19937_64 again(5);
    const field::FieldStats a = randomStats(again, 0, cut);
    const field::FieldStats b = randomStats(again, cut, 500 - cut);
    field::FieldStats merged;
    merged.merge(statsFromJson(statsToJson(a)));
    merged.merge(statsFromJson(statsToJson(b)));
    EXPECT_EQ(statsToJson(merged).dump(), once) << cut;
  }
}

TEST(Distribution, MalformedExactFormIsRefused) {
  nlohmann::json j = statsToJson(field::FieldStats());
  j["worst"] = {{1, "q:1", 99, 1.0, 1.0, 1.0}};
  EXPECT_ANY_THROW(statsFromJson(j));
  j["worst"] = nlohmann::json::array();
  j["gci"]["bins"] = {{1u << 30, 1}};
  EXPECT_ANY_THROW(statsFromJson(j));
  EXPECT_ANY_THROW(statsFromJson(nlohmann::json::object()));
}

}  // namespace
}  // namespace kv::cluster
