#include "study/distribution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace kv::study {
namespace {

// Random points, split into random chunks merged in order, give the statistics of the whole:
// the exact counts, the K worst by a full sort, and percentiles within the stated precision.
TEST(Distribution, ChunksMergedInOrderGiveTheStatisticsOfTheWhole) {
  std::mt19937_64 random(12);
  std::lognormal_distribution<double> gciOf(-5.0, 3.0);
  std::uniform_real_distribution<double> pOf(-0.5, 9.0);
  const size_t n = 20000;
  std::vector<PointSummary> points(n);
  for (size_t i = 0; i < n; ++i) {
    points[i].convergence = static_cast<ConvergenceType>(random() % kConvergenceTypes);
    points[i].p = random() % 10 == 0 ? kNoValue : pOf(random);
    points[i].gci = random() % 10 == 0 ? 0.0 : gciOf(random);
    points[i].badness = random() % 7 == 0 ? kNoValue : static_cast<double>(random() % 300);
  }
  Distribution whole;
  whole.worst = WorstByScale(25);
  GciHistogram direct;  // every point added to one histogram
  Distribution chunk;    // reused: cleared after each merge, as the field study does
  chunk.worst = WorstByScale(25);
  for (size_t begin = 0; begin < n;) {
    size_t end = std::min(n, begin + 1 + random() % (begin < n / 2 ? 3000 : 3));
    for (size_t i = begin; i < end; ++i) {
      chunk.add(i, std::to_string(i), points[i]);
      direct.add(points[i].gci);
    }
    whole.merge(chunk);
    chunk.clear();
    begin = end;
  }
  EXPECT_EQ(whole.gci.bins, direct.bins);
  EXPECT_EQ(chunk.gci.bins, std::vector<uint64_t>(GciHistogram::kBins, 0));
  EXPECT_EQ(whole.points, n);
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    EXPECT_EQ(whole.byConvergence[t],
              static_cast<uint64_t>(std::count_if(points.begin(), points.end(), [&](auto& s) {
                return static_cast<size_t>(s.convergence) == t;
              })));
  }
  uint64_t orders = whole.order.below + whole.order.above + whole.order.none;
  for (uint64_t b : whole.order.bins) orders += b;
  EXPECT_EQ(orders, n);

  std::vector<size_t> ranked;
  for (size_t i = 0; i < n; ++i) {
    if (!std::isnan(points[i].badness)) ranked.push_back(i);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [&](size_t a, size_t b) { return points[a].badness > points[b].badness; });
  std::vector<WorstPoint> worst = whole.worst.sorted();
  ASSERT_EQ(worst.size(), 25u);
  for (size_t k = 0; k < worst.size(); ++k) {
    EXPECT_EQ(worst[k].position, ranked[k]);
    EXPECT_EQ(worst[k].name, std::to_string(ranked[k]));
  }

  std::vector<double> gcis;
  for (const PointSummary& s : points) gcis.push_back(s.gci);
  std::sort(gcis.begin(), gcis.end());
  for (double q : {0.0, 0.05, 0.25, 0.5, 0.9, 0.99, 1.0}) {
    size_t rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(q * n)));
    double exact = gcis[rank - 1];
    double got = whole.gci.percentile(q);
    if (exact == 0.0) {
      EXPECT_EQ(got, 0.0) << q;
    } else {
      EXPECT_NEAR(got / exact, 1.0, 0.0045) << q;
    }
  }
}

// "p" + std::to_string(i) draws a false -Wrestrict from GCC 12.
std::string pointName(uint64_t i) {
  std::string name = "p";
  name.append(std::to_string(i));
  return name;
}

TEST(Series, KeepsAtMostItsBucketsOfEqualWidth) {
  Series series;
  const uint64_t n = 5000;  // more than four times the buckets: three halvings
  for (uint64_t i = 0; i < n; ++i) series.add(i, pointName(i), 1.0, i % 2 ? 2.0 : 4.0);
  EXPECT_EQ(series.pointsPerBucket(), 8u);
  const std::vector<Series::Bucket> buckets = series.buckets();
  ASSERT_EQ(buckets.size(), (n + 7) / 8);
  uint64_t total = 0;
  for (size_t k = 0; k < buckets.size(); ++k) {
    const Series::Bucket& b = buckets[k];
    EXPECT_EQ(b.firstPosition, 8 * k);
    EXPECT_EQ(b.firstName, pointName(8 * k));
    total += b.points;
  }
  EXPECT_EQ(total, n);
  EXPECT_EQ(buckets[0].gci.mean(), 3.0);
  EXPECT_EQ(buckets[0].gci.max, 4.0);
}

// However the points are split into parts (chunks, ranks, slabs: cut anywhere, starting
// anywhere) and the parts merged in order, the series is the same to the last bit, sums
// included, and so is its exact JSON form read back.
TEST(Series, TheSameBitsHoweverThePointsAreSplit) {
  std::mt19937_64 random(21);
  std::lognormal_distribution<double> value(0.0, 2.0);
  for (const uint64_t n : {uint64_t{1}, uint64_t{1000}, uint64_t{1025}, uint64_t{6007}}) {
    std::vector<double> p(n), gci(n);
    for (uint64_t i = 0; i < n; ++i) {
      p[i] = i % 17 == 0 ? kNoValue : value(random);
      gci[i] = value(random);
    }
    Series whole;
    for (uint64_t i = 0; i < n; ++i) whole.add(i, pointName(i), p[i], gci[i]);
    const std::string expected = whole.toExactJson().dump();
    for (int trial = 0; trial < 6; ++trial) {
      Series merged;
      for (uint64_t begin = 0; begin < n;) {
        const uint64_t end = std::min(n, begin + 1 + random() % (trial % 2 ? 7 : n));
        Series part;
        for (uint64_t i = begin; i < end; ++i) part.add(i, pointName(i), p[i], gci[i]);
        merged.merge(Series::fromExactJson(part.toExactJson()));
        begin = end;
      }
      ASSERT_EQ(merged.toExactJson().dump(), expected) << n << " points, trial " << trial;
    }
    // The pairwise sums are the sums of the values in each bucket, however they are grouped.
    const std::vector<Series::Bucket> buckets = whole.buckets();
    for (const Series::Bucket& b : buckets) {
      double sum = 0.0;
      uint64_t count = 0;
      for (uint64_t i = b.firstPosition; i < b.firstPosition + b.points; ++i) {
        if (std::isfinite(p[i])) sum += p[i], ++count;
      }
      EXPECT_EQ(b.p.count, count);
      EXPECT_NEAR(b.p.sum, sum, 1e-12 * sum);
    }
  }
}

// The points near a zero of phi (|phi1| below 2^(E - 7), 2^E at or below the largest |phi1|) are
// ranked apart, by absolute badness; the rest by badness. Both lists and the count are those of a
// full sort, and the exact JSON the same bytes, however the points are split and merged: the
// largest |phi1| comes last, so that octaves kept early fall below the threshold later.
TEST(WorstByScale, NearZeroPointsRankedApartTheSameHoweverSplit) {
  std::mt19937_64 random(7);
  std::lognormal_distribution<double> magnitude(-2.0, 3.0);
  std::uniform_real_distribution<double> any(0.0, 4.0);
  const size_t n = 6000;
  std::vector<PointSummary> points(n);
  for (size_t i = 0; i < n; ++i) {
    PointSummary& s = points[i];
    const int kind = static_cast<int>(random() % 20);
    s.phi1 = kind == 0 ? 0.0 : kind == 1 ? kNoValue : (random() % 2 ? 1.0 : -1.0) * magnitude(random);
    if (i >= n - 5) s.phi1 = 1e4 * static_cast<double>(i - n + 6);  // the largest, at the end
    s.badness = static_cast<double>(random() % 200);
    s.absoluteBadness = random() % 9 == 0 ? kNoValue : any(random);
    s.u = any(random);
  }
  double largest = 0.0;
  for (const PointSummary& s : points) largest = std::isfinite(s.phi1) ? std::max(largest, std::fabs(s.phi1)) : largest;
  const double threshold = std::ldexp(1.0, std::ilogb(largest) - kNearZeroOctaves);
  auto near = [&](const PointSummary& s) { return s.phi1 == 0.0 || std::fabs(s.phi1) < threshold; };
  // The lists by a full sort: larger key first, the earlier point on ties.
  auto ranked = [&](bool nearZero, double PointSummary::*key) {
    std::vector<size_t> out;
    for (size_t i = 0; i < n; ++i) {
      if (near(points[i]) == nearZero && !std::isnan(points[i].*key)) out.push_back(i);
    }
    std::stable_sort(out.begin(), out.end(), [&](size_t a, size_t b) { return points[a].*key > points[b].*key; });
    out.resize(std::min<size_t>(out.size(), 20));
    return out;
  };
  const std::vector<size_t> worst = ranked(false, &PointSummary::badness);
  const std::vector<size_t> nearWorst = ranked(true, &PointSummary::absoluteBadness);
  const auto positions = [](const std::vector<WorstPoint>& list) {
    std::vector<size_t> out;
    for (const WorstPoint& w : list) out.push_back(w.position);
    return out;
  };
  const size_t nearCount = static_cast<size_t>(std::count_if(points.begin(), points.end(), near));
  ASSERT_GT(nearCount, 100u);
  ASSERT_EQ(nearWorst.size(), 20u);

  std::string onePass;
  for (const size_t most : {size_t{n}, size_t{2500}, size_t{40}, size_t{3}}) {
    WorstByScale whole, chunk;
    for (size_t begin = 0; begin < n;) {
      const size_t end = std::min(n, begin + 1 + random() % most);
      for (size_t i = begin; i < end; ++i) chunk.add(i, pointName(i), points[i]);
      whole.merge(chunk);
      chunk.clear();
      begin = end;
    }
    EXPECT_EQ(whole.threshold(), threshold) << most;
    EXPECT_EQ(whole.nearZeroCount(), nearCount) << most;
    EXPECT_EQ(positions(whole.sorted()), worst) << most;
    EXPECT_EQ(positions(whole.nearZero()), nearWorst) << most;
    const std::string exact = whole.toExactJson().dump();
    if (onePass.empty()) onePass = exact;
    EXPECT_EQ(exact, onePass) << most;
    EXPECT_EQ(WorstByScale::fromExactJson(nlohmann::json::parse(exact)).toExactJson().dump(), exact) << most;
  }
}

}  // namespace
}  // namespace kv::study
