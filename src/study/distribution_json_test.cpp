#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "study/distribution.h"

namespace kv::study {
namespace {

Distribution randomDistribution(std::mt19937_64& random, uint64_t first, uint64_t points) {
  Distribution d;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (uint64_t i = first; i < first + points; ++i) {
    PointSummary p;
    p.convergence = static_cast<ConvergenceType>(random() % kConvergenceTypes);
    p.p = unit(random) < 0.2 ? kNoValue : 4 * unit(random);
    p.gci = unit(random) < 0.1 ? kNoValue : std::pow(10.0, -12 * unit(random));
    p.badness = std::isnan(p.p) ? 3.0 : (unit(random) < 0.3 ? 1.0 : p.gci);  // ties
    d.add(i, "q:" + std::to_string(i), p);
  }
  return d;
}

// The exact form reads back to the same distribution, and merging the parts of a split in order
// gives what one pass gives, however the points are split (ranks, slabs).
TEST(DistributionJson, ExactFormRoundTripsAndMergesLikeOnePass) {
  std::mt19937_64 random(5);
  const Distribution whole = randomDistribution(random, 0, 2500);
  const std::string once = whole.toExactJson().dump();
  EXPECT_EQ(Distribution::fromExactJson(nlohmann::json::parse(once)).toExactJson().dump(), once);
  const std::string shown = distributionJson(whole).dump();
  for (uint64_t cut : {0u, 1u, 1337u, 2499u, 2500u}) {
    std::mt19937_64 again(5);
    const Distribution a = randomDistribution(again, 0, cut);
    const Distribution b = randomDistribution(again, cut, 2500 - cut);
    Distribution merged;
    merged.merge(Distribution::fromExactJson(a.toExactJson()));
    merged.merge(Distribution::fromExactJson(b.toExactJson()));
    EXPECT_EQ(merged.toExactJson().dump(), once) << cut;
    EXPECT_EQ(distributionJson(merged).dump(), shown) << cut;
  }
}

TEST(DistributionJson, MalformedExactFormIsRefused) {
  nlohmann::json j = Distribution().toExactJson();
  j["worst"] = {{1, "q:1", 99, 1.0, 1.0, 1.0}};
  EXPECT_ANY_THROW(Distribution::fromExactJson(j));
  j["worst"] = nlohmann::json::array();
  j["gci"]["bins"] = {{1u << 30, 1}};
  EXPECT_ANY_THROW(Distribution::fromExactJson(j));
  j = Distribution().toExactJson();
  j["series"]["nodes"] = {{0, 5, 5, "", 1, {1, 1, 1, 1}, {1, 1, 1, 1}}, {0, 3, 3, "", 1, {1, 1, 1, 1}, {1, 1, 1, 1}}};
  j["series"]["last"] = 5;
  EXPECT_ANY_THROW(Distribution::fromExactJson(j));  // nodes out of order
  EXPECT_ANY_THROW(Distribution::fromExactJson(nlohmann::json::object()));
}

}  // namespace
}  // namespace kv::study
