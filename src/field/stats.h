// Distribution statistics of a field study that stay bounded whatever the number of points:
// counts by convergence type, a histogram of the observed order p, GCI percentiles from a fine
// log-spaced histogram, the K points that converge worst and a downsampled series of p and GCI
// against the point's position. Each chunk of points fills its own FieldStats; the chunks are
// merged in order, so that the result does not depend on how the points were split or on the
// number of threads.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kv::field {

// The convergence type of a point (Celik et al. 2008, from R = eps21/eps32).
enum class Convergence : uint8_t {
  MonotonicConvergence,
  OscillatoryConvergence,
  MonotonicDivergence,
  OscillatoryDivergence,
  TwoGrids,
  NoChange,
  Undetermined,
};
inline constexpr size_t kConvergenceTypes = 7;
// The name written in summary.csv: "monotonic-convergence", ..., "undetermined".
std::string_view convergenceName(Convergence type);

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// What the per-point computation tells the statistics about one point. NaN means "none".
struct PointSummary {
  Convergence convergence = Convergence::Undetermined;
  double p = kNoValue;    // observed order
  double gci = kNoValue;  // GCI_fine21, a fraction
  // How badly the point converges, as the computation ranks it: the K points of largest
  // badness are kept (ties: the earlier point first); NaN is never ranked.
  double badness = kNoValue;
};

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
  uint64_t position = 0;  // 0-based record position in the files
  std::string id;
  PointSummary summary;
};

// The K points of largest badness, worst first; ties go to the earlier point.
class WorstPoints {
 public:
  explicit WorstPoints(size_t capacity = 20) : capacity_(capacity) {}
  void add(uint64_t position, std::string_view id, const PointSummary& summary);
  void merge(const WorstPoints& other);
  std::vector<WorstPoint> sorted() const;
  void clear() { heap_.clear(); }

 private:
  size_t capacity_;
  std::vector<WorstPoint> heap_;  // the least bad on top
};

// p and GCI against the point's position, downsampled to at most kMaxBuckets buckets of equal
// width (a power of two of points): when the buckets are full, neighbours are merged in pairs.
// Each bucket keeps the range, the mean and the count of the finite values.
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
    std::string firstId;
    uint64_t points = 0;
    Range p;
    Range gci;
  };

  // Points must come in order of position, starting at 0.
  void add(uint64_t position, std::string_view id, double p, double gci);
  const std::vector<Bucket>& buckets() const { return buckets_; }
  uint64_t pointsPerBucket() const { return width_; }

 private:
  std::vector<Bucket> buckets_;
  uint64_t width_ = 1;
};

// The statistics of one chunk of points, or of all of them after the merge.
struct FieldStats {
  uint64_t points = 0;
  std::array<uint64_t, kConvergenceTypes> byConvergence{};
  OrderHistogram order;
  GciHistogram gci;
  WorstPoints worst;

  void add(uint64_t position, std::string_view id, const PointSummary& summary);
  void merge(const FieldStats& other);
  void clear();
};

}  // namespace kv::field
