// The distribution of a study over its points (or quantities) that stays bounded whatever their
// number: counts by convergence type, a histogram of the observed order p, GCI percentiles from a
// fine log-spaced histogram, the K points that converge worst, and p and GCI against the point's
// position, downsampled. Every part merges exactly: the points of a field may be split into
// chunks, threads, MPI ranks or job-array slabs, and the distributions of the parts merged in
// order give the same bytes as one pass over all points.
//
// Two JSON forms: the exact one that ranks and slabs exchange (toExactJson / fromExactJson:
// integer counts, numbers that read back to the same double), and the one study.json shows
// (distributionJson).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "estimation/standard_procedure.h"

namespace kv::study {

struct QuantityStudy;

inline constexpr size_t kConvergenceTypes = kConvergenceTypeCount;
inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// What the distribution needs of one point. NaN means "none".
struct PointSummary {
  ConvergenceType convergence = ConvergenceType::Undetermined;
  double p = kNoValue;    // observed order
  double gci = kNoValue;  // GCI_fine21, a fraction
  double badness = kNoValue;  // how badly the point converges (badness below); NaN: not ranked
  double phi1 = kNoValue;     // the finest grid's value: NaN never counts as near a zero of phi
  double u = kNoValue;        // GCI_fine21 |phi1|, the absolute U of phi1 (u_gci)
  double absoluteBadness = kNoValue;  // the same by absolute figures (absoluteBadness below)
};

// How badly a point converges, the one definition of "worst": the points that do not converge
// monotonically with an order above all others; within each group the larger GCI_fine21 the
// worse, no GCI worse than any GCI, and among those without a GCI the larger relative change
// e_a21 the worse.
double badness(const QuantityStudy& q);
// The same for a point near a zero of phi, where relative figures only reflect phi ~ 0: by its
// absolute U (u_gci), and without one by the absolute change |phi1 - phi2|.
double absoluteBadness(const QuantityStudy& q);
PointSummary pointSummary(const QuantityStudy& q);

// Histogram of p: bins of width 0.1 on [0, 8), then the values beyond 8 and the points without
// an order (p cannot be negative in the standard procedure; a negative p counts as "below").
struct OrderHistogram {
  static constexpr double kWidth = 0.1;
  static constexpr size_t kBins = 80;
  std::array<uint64_t, kBins> bins{};
  uint64_t below = 0;
  uint64_t above = 0;
  uint64_t none = 0;

  void add(double p);
  void merge(const OrderHistogram& other);
};

// Histogram of GCI on a log scale, 256 bins a decade from 1e-16 to 1e8. A percentile is read
// as the geometric middle of its bin, so it is within 0.45 % (relative) of the exact order
// statistic, and never outside the exact minimum and maximum, which are kept as well.
struct GciHistogram {
  static constexpr int kBinsPerDecade = 256;
  static constexpr int kLowestDecade = -16;
  static constexpr int kDecades = 24;
  static constexpr size_t kBins = static_cast<size_t>(kBinsPerDecade) * kDecades;
  std::vector<uint64_t> bins = std::vector<uint64_t>(kBins, 0);
  uint64_t zero = 0;   // GCI = 0 (and values below 1e-16)
  uint64_t above = 0;  // beyond 1e8 or infinite
  uint64_t none = 0;   // no GCI (NaN or negative)
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  // The bins that may hold counts, [low, high): what merge adds and clear zeroes, so that the
  // histogram of a chunk of a few points costs a few bins. Kept by add, merge and setBin; a
  // count written into `bins` directly must go through setBin.
  size_t low = kBins;
  size_t high = 0;

  void add(double gci);
  void merge(const GciHistogram& other);
  void setBin(size_t bin, uint64_t count);  // bin < kBins
  void clear();
  uint64_t counted() const;  // points with a GCI
  // The q-quantile (0 <= q <= 1) of the GCIs by nearest rank, NaN when there are none.
  double percentile(double q) const;
};

struct WorstPoint {
  double badness = 0.0;
  uint64_t position = 0;  // 0-based position of the point
  std::string name;
  PointSummary summary;
};

// The K points of largest badness (or of another key of PointSummary), worst first; ties go to
// the earlier point.
class WorstPoints {
 public:
  explicit WorstPoints(size_t capacity = 20, double PointSummary::*key = &PointSummary::badness)
      : capacity_(capacity), key_(key) {}
  void add(uint64_t position, std::string_view name, const PointSummary& summary);
  void merge(const WorstPoints& other);
  std::vector<WorstPoint> sorted() const;
  void clear() { heap_.clear(); }

 private:
  size_t capacity_;
  double PointSummary::*key_;
  std::vector<WorstPoint> heap_;  // the least bad on top
};

// A point is near a zero of phi when its |phi1| is below the field's threshold 2^(E - 7), 2^E
// the largest power of two at or below the largest |phi1| of the field: between 1/256 and 1/128
// of that largest |phi1| (a power of two, so that the threshold, and with it every list below,
// is the same however the points were split and merged). A point with phi1 = 0 is near zero;
// one without a finite phi1 never is.
inline constexpr int kNearZeroOctaves = 7;

// The worst points of a field, told apart by their |phi1|: the K worst by badness among those
// not near a zero of phi, and the K worst by absolute badness among those near one (there the
// relative GCI only reflects phi ~ 0). Kept per octave of |phi1| (the 8 octaves at and below
// the largest; those lower are near zero whatever points come), so that both lists are exact
// however the points were split and merged.
class WorstByScale {
 public:
  explicit WorstByScale(size_t capacity = 20)
      : capacity_(capacity), below_(capacity, &PointSummary::absoluteBadness), unscaled_(capacity) {}
  void add(uint64_t position, std::string_view name, const PointSummary& summary);
  void merge(const WorstByScale& other);
  void clear();
  // The worst points not near a zero of phi, worst first.
  std::vector<WorstPoint> sorted() const;
  // The worst points near a zero of phi by absolute badness, worst first; how many are near one.
  std::vector<WorstPoint> nearZero() const;
  uint64_t nearZeroCount() const { return belowCount_; }
  // The |phi1| below which a point is near zero; NaN when no point has a finite phi1 other
  // than 0.
  double threshold() const;

  nlohmann::json toExactJson() const;
  static WorstByScale fromExactJson(const nlohmann::json& j);  // throws std::exception

 private:
  struct Octave {
    uint64_t points = 0;
    WorstPoints relative, absolute;
  };
  Octave& octave(int exponent);
  void settle();  // the octaves that have fallen below the threshold join the points near zero

  size_t capacity_;
  bool scaled_ = false;  // some point has a finite phi1 other than 0
  int top_ = 0;          // then the exponent E of the largest |phi1|
  std::vector<std::pair<int, Octave>> octaves_;  // by exponent, the lowest first
  uint64_t belowCount_ = 0;                      // near zero
  WorstPoints below_;                            // near zero, by absolute badness
  WorstPoints unscaled_;                         // without a finite phi1, by badness
};

// p and GCI against the point's position, downsampled to at most kMaxBuckets buckets of equal
// width: the smallest power of two of points that keeps the buckets of the positions seen
// within kMaxBuckets (bucket k holds the positions [k w, (k + 1) w)). Each bucket keeps the
// range, the count and the mean of the finite values. The sum behind the mean is the pairwise
// sum over the aligned binary tree of the positions (a missing value adds nothing), so it is
// the same double however the points were split and merged.
class Series {
 public:
  static constexpr size_t kMaxBuckets = 1024;
  struct Range {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    uint64_t count = 0;
    void add(double v);
    void merge(const Range& other);
    double mean() const { return count ? sum / static_cast<double>(count) : kNoValue; }
  };
  struct Bucket {
    uint64_t firstPosition = 0;
    std::string firstName;
    uint64_t points = 0;
    Range p;
    Range gci;
  };

  // Points must come in order of position, each following the one before (the first at any
  // position).
  void add(uint64_t position, std::string_view name, double p, double gci);
  // Appends a series whose first point follows the last of this one.
  void merge(const Series& next);
  std::vector<Bucket> buckets() const;
  uint64_t pointsPerBucket() const { return uint64_t{1} << level_; }
  bool empty() const { return nodes_.empty(); }
  void clear();

  nlohmann::json toExactJson() const;
  static Series fromExactJson(const nlohmann::json& j);  // throws std::exception when malformed

 private:
  // An aligned block of positions [index 2^level, (index + 1) 2^level) (only its points in the
  // series): complete blocks are combined with their sibling as soon as both are there.
  struct Node {
    uint8_t level = 0;
    uint64_t index = 0;
    uint64_t firstPosition = 0;
    std::string firstName;  // kept only where a bucket may start
    uint64_t points = 0;
    Range p;
    Range gci;
  };
  void push(Node node);
  void relevel(unsigned level);
  void coarsen();
  uint64_t bucketCount() const;
  static Node combine(Node left, const Node& right);

  std::vector<Node> nodes_;  // in order of position
  unsigned level_ = 0;       // buckets are blocks of this level
  uint64_t last_ = 0;        // the position of the last point
};

// The distribution of one quantity over its points, or of a table's quantities.
struct Distribution {
  uint64_t points = 0;
  uint64_t notConverging = 0;  // not monotonically convergent with an order
  std::array<uint64_t, kConvergenceTypes> byConvergence{};
  OrderHistogram order;
  GciHistogram gci;
  WorstByScale worst;
  Series series;

  void add(uint64_t position, std::string_view name, const PointSummary& summary);
  void add(uint64_t position, const QuantityStudy& q);
  // Adds the distribution of the points that follow (a later chunk, rank or slab).
  void merge(const Distribution& next);
  void clear();

  nlohmann::json toExactJson() const;
  static Distribution fromExactJson(const nlohmann::json& j);  // throws std::exception
};

// The GCI percentiles reported (as fractions of one).
inline constexpr double kGciPercentiles[] = {0.05, 0.25, 0.5, 0.75, 0.95, 0.99};

// The distribution as study.json shows it.
nlohmann::ordered_json distributionJson(const Distribution& d);

}  // namespace kv::study
