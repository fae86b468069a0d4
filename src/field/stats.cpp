#include "field/stats.h"

#include <algorithm>
#include <cmath>

namespace kv::field {

std::string_view convergenceName(Convergence type) {
  static constexpr std::array<std::string_view, kConvergenceTypes> kNames = {
      "monotonic-convergence", "oscillatory-convergence", "monotonic-divergence",
      "oscillatory-divergence", "two-grids", "no-change", "undetermined"};
  return kNames[static_cast<size_t>(type)];
}

void OrderHistogram::add(double p) {
  if (std::isnan(p)) {
    ++none;
  } else if (p < 0.0) {
    ++below;
  } else if (p >= kWidth * kBins) {
    ++above;
  } else {
    size_t bin = std::min(kBins - 1, static_cast<size_t>(p / kWidth));
    ++bins[bin];
  }
}

void OrderHistogram::merge(const OrderHistogram& o) {
  for (size_t i = 0; i < kBins; ++i) bins[i] += o.bins[i];
  below += o.below;
  above += o.above;
  none += o.none;
}

namespace {

constexpr double kLowest = 1e-16;
constexpr double kHighest = 1e8;

double binLowerEdge(size_t bin) {
  return std::pow(10.0, GciHistogram::kLowestDecade +
                            static_cast<double>(bin) / GciHistogram::kBinsPerDecade);
}

}  // namespace

void GciHistogram::add(double gci) {
  if (std::isnan(gci) || gci < 0.0) {
    ++none;
    return;
  }
  min = std::min(min, gci);
  max = std::max(max, gci);
  if (gci < kLowest) {
    ++zero;
  } else if (gci >= kHighest) {
    ++above;
  } else {
    double position = (std::log10(gci) - kLowestDecade) * kBinsPerDecade;
    size_t bin = std::min(kBins - 1, static_cast<size_t>(std::max(0.0, position)));
    ++bins[bin];
    low = std::min(low, bin);
    high = std::max(high, bin + 1);
  }
}

void GciHistogram::setBin(size_t bin, uint64_t count) {
  bins.at(bin) = count;
  low = std::min(low, bin);
  high = std::max(high, bin + 1);
}

void GciHistogram::clear() {
  if (low < high) std::fill(bins.begin() + static_cast<std::ptrdiff_t>(low), bins.begin() + static_cast<std::ptrdiff_t>(high), 0);
  low = kBins;
  high = 0;
  zero = above = none = 0;
  min = std::numeric_limits<double>::infinity();
  max = -std::numeric_limits<double>::infinity();
}

void GciHistogram::merge(const GciHistogram& o) {
  for (size_t i = o.low; i < o.high; ++i) bins[i] += o.bins[i];
  low = std::min(low, o.low);
  high = std::max(high, o.high);
  zero += o.zero;
  above += o.above;
  none += o.none;
  min = std::min(min, o.min);
  max = std::max(max, o.max);
}

uint64_t GciHistogram::counted() const {
  uint64_t n = zero + above;
  for (uint64_t b : bins) n += b;
  return n;
}

double GciHistogram::percentile(double q) const {
  uint64_t n = counted();
  if (n == 0) return kNoValue;
  // Nearest rank: the smallest value with at least q n values at or below it.
  uint64_t rank = static_cast<uint64_t>(std::ceil(std::clamp(q, 0.0, 1.0) * static_cast<double>(n)));
  rank = std::max<uint64_t>(rank, 1);
  uint64_t seen = zero;
  double value = max;
  if (rank <= seen) {
    value = min;
  } else {
    for (size_t i = 0; i < kBins; ++i) {
      seen += bins[i];
      if (rank <= seen) {
        value = std::sqrt(binLowerEdge(i) * binLowerEdge(i + 1));
        break;
      }
    }
  }
  return std::clamp(value, min, max);
}

namespace {

// Orders the heap with the least bad point on top: smaller badness, then later position.
bool lessBad(const WorstPoint& a, const WorstPoint& b) {
  if (a.badness != b.badness) return a.badness > b.badness;
  return a.position < b.position;
}

}  // namespace

void WorstPoints::add(uint64_t position, std::string_view id, const PointSummary& summary) {
  if (capacity_ == 0 || std::isnan(summary.badness)) return;
  WorstPoint candidate{summary.badness, position, {}, summary};
  if (heap_.size() == capacity_) {
    if (!lessBad(candidate, heap_.front())) return;  // no worse than the least bad kept
    std::pop_heap(heap_.begin(), heap_.end(), lessBad);
    heap_.pop_back();
  }
  candidate.id.assign(id);
  heap_.push_back(std::move(candidate));
  std::push_heap(heap_.begin(), heap_.end(), lessBad);
}

void WorstPoints::merge(const WorstPoints& other) {
  for (const WorstPoint& w : other.heap_) add(w.position, w.id, w.summary);
}

std::vector<WorstPoint> WorstPoints::sorted() const {
  std::vector<WorstPoint> out = heap_;
  std::sort(out.begin(), out.end(), lessBad);
  return out;
}

void Series::Range::add(double v) {
  if (!std::isfinite(v)) return;
  min = std::min(min, v);
  max = std::max(max, v);
  sum += v;
  ++count;
}

void Series::Range::merge(const Range& o) {
  min = std::min(min, o.min);
  max = std::max(max, o.max);
  sum += o.sum;
  count += o.count;
}

void Series::add(uint64_t position, std::string_view id, double p, double gci) {
  if (position / width_ >= kMaxBuckets) {
    // Full: neighbours merge in pairs and every bucket covers twice as many points.
    for (size_t i = 0; i < buckets_.size() / 2; ++i) {
      Bucket merged = std::move(buckets_[2 * i]);
      const Bucket& second = buckets_[2 * i + 1];
      merged.points += second.points;
      merged.p.merge(second.p);
      merged.gci.merge(second.gci);
      buckets_[i] = std::move(merged);
    }
    buckets_.resize(buckets_.size() / 2);
    width_ *= 2;
  }
  if (buckets_.empty() || position / width_ >= buckets_.size()) {
    buckets_.push_back(Bucket{position, std::string(id), 0, {}, {}});
  }
  Bucket& bucket = buckets_.back();
  ++bucket.points;
  bucket.p.add(p);
  bucket.gci.add(gci);
}

void FieldStats::add(uint64_t position, std::string_view id, const PointSummary& summary) {
  ++points;
  ++byConvergence[static_cast<size_t>(summary.convergence)];
  order.add(summary.p);
  gci.add(summary.gci);
  worst.add(position, id, summary);
}

void FieldStats::merge(const FieldStats& o) {
  points += o.points;
  for (size_t i = 0; i < kConvergenceTypes; ++i) byConvergence[i] += o.byConvergence[i];
  order.merge(o.order);
  gci.merge(o.gci);
  worst.merge(o.worst);
}

void FieldStats::clear() {
  points = 0;
  byConvergence.fill(0);
  order = OrderHistogram{};
  gci.clear();
  worst.clear();
}

}  // namespace kv::field
