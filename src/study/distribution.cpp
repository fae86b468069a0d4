#include "study/distribution.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>

#include "study/quantity_study.h"

namespace kv::study {

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

void WorstPoints::add(uint64_t position, std::string_view name, const PointSummary& summary) {
  const double key = summary.*key_;
  if (capacity_ == 0 || std::isnan(key)) return;
  WorstPoint candidate{key, position, {}, summary};
  if (heap_.size() == capacity_) {
    if (!lessBad(candidate, heap_.front())) return;  // no worse than the least bad kept
    std::pop_heap(heap_.begin(), heap_.end(), lessBad);
    heap_.pop_back();
  }
  candidate.name.assign(name);
  heap_.push_back(std::move(candidate));
  std::push_heap(heap_.begin(), heap_.end(), lessBad);
}

void WorstPoints::merge(const WorstPoints& other) {
  for (const WorstPoint& w : other.heap_) add(w.position, w.name, w.summary);
}

std::vector<WorstPoint> WorstPoints::sorted() const {
  std::vector<WorstPoint> out = heap_;
  std::sort(out.begin(), out.end(), lessBad);
  return out;
}

std::vector<WorstPoint> WorstByScale::sorted() const {
  WorstPoints all(capacity_);
  for (const auto& [exponent, o] : octaves_) all.merge(o.relative);
  all.merge(unscaled_);
  return all.sorted();
}

std::vector<WorstPoint> WorstByScale::nearZero() const { return below_.sorted(); }

double WorstByScale::threshold() const { return scaled_ ? std::ldexp(1.0, top_ - kNearZeroOctaves) : kNoValue; }

WorstByScale::Octave& WorstByScale::octave(int exponent) {
  auto at = std::lower_bound(octaves_.begin(), octaves_.end(), exponent,
                             [](const std::pair<int, Octave>& o, int e) { return o.first < e; });
  if (at == octaves_.end() || at->first != exponent) {
    at = octaves_.insert(at, {exponent, Octave{0, WorstPoints(capacity_),
                                               WorstPoints(capacity_, &PointSummary::absoluteBadness)}});
  }
  return at->second;
}

void WorstByScale::settle() {
  size_t gone = 0;
  while (gone < octaves_.size() && octaves_[gone].first < top_ - kNearZeroOctaves) {
    belowCount_ += octaves_[gone].second.points;
    below_.merge(octaves_[gone].second.absolute);
    ++gone;
  }
  octaves_.erase(octaves_.begin(), octaves_.begin() + static_cast<std::ptrdiff_t>(gone));
}

void WorstByScale::add(uint64_t position, std::string_view name, const PointSummary& summary) {
  const double magnitude = std::fabs(summary.phi1);
  if (!std::isfinite(magnitude)) {
    unscaled_.add(position, name, summary);
    return;
  }
  const int exponent = magnitude > 0.0 ? std::ilogb(magnitude) : 0;
  if (magnitude > 0.0 && (!scaled_ || exponent > top_)) {
    scaled_ = true;
    top_ = exponent;
    settle();
  }
  if (magnitude == 0.0 || exponent < top_ - kNearZeroOctaves) {
    ++belowCount_;
    below_.add(position, name, summary);
    return;
  }
  Octave& o = octave(exponent);
  ++o.points;
  o.relative.add(position, name, summary);
  o.absolute.add(position, name, summary);
}

void WorstByScale::merge(const WorstByScale& other) {
  if (other.scaled_ && (!scaled_ || other.top_ > top_)) {
    scaled_ = true;
    top_ = other.top_;
  }
  for (const auto& [exponent, o] : other.octaves_) {
    Octave& mine = octave(exponent);
    mine.points += o.points;
    mine.relative.merge(o.relative);
    mine.absolute.merge(o.absolute);
  }
  belowCount_ += other.belowCount_;
  below_.merge(other.below_);
  unscaled_.merge(other.unscaled_);
  settle();
}

void WorstByScale::clear() {
  scaled_ = false;
  top_ = 0;
  octaves_.clear();
  belowCount_ = 0;
  below_.clear();
  unscaled_.clear();
}

namespace {

using nlohmann::json;

// JSON has no NaN or infinity: in the exact form those travel as words.
json exactNumber(double x) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  return x;
}

double numberFrom(const json& j) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (s == "nan") return kNoValue;
    if (s == "inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
    throw std::invalid_argument("not a number: " + s);
  }
  return j.get<double>();
}

json pointsToJson(const WorstPoints& points) {
  json out = json::array();
  for (const WorstPoint& w : points.sorted()) {
    const PointSummary& s = w.summary;
    out.push_back({w.position, w.name, static_cast<int>(s.convergence), exactNumber(s.p), exactNumber(s.gci),
                   exactNumber(s.badness), exactNumber(s.phi1), exactNumber(s.u), exactNumber(s.absoluteBadness)});
  }
  return out;
}

void pointsFromJson(const json& j, WorstPoints& points) {
  for (const json& w : j) {
    const int type = w.at(2).get<int>();
    if (type < 0 || type >= static_cast<int>(kConvergenceTypes)) throw std::invalid_argument("convergence type out of range");
    const PointSummary summary{static_cast<ConvergenceType>(type), numberFrom(w.at(3)), numberFrom(w.at(4)),
                               numberFrom(w.at(5)), numberFrom(w.at(6)), numberFrom(w.at(7)), numberFrom(w.at(8))};
    points.add(w.at(0).get<uint64_t>(), w.at(1).get<std::string>(), summary);
  }
}

json rangeToJson(const Series::Range& r) {
  return {exactNumber(r.min), exactNumber(r.max), exactNumber(r.sum), r.count};
}

Series::Range rangeFromJson(const json& j) {
  Series::Range r;
  r.min = numberFrom(j.at(0));
  r.max = numberFrom(j.at(1));
  r.sum = numberFrom(j.at(2));
  r.count = j.at(3).get<uint64_t>();
  return r;
}

}  // namespace

json WorstByScale::toExactJson() const {
  json octaves = json::array();
  for (const auto& [exponent, o] : octaves_) {
    octaves.push_back({exponent, o.points, pointsToJson(o.relative), pointsToJson(o.absolute)});
  }
  return {{"top", scaled_ ? json(top_) : json(nullptr)},
          {"octaves", octaves},
          {"near_zero", belowCount_},
          {"near_zero_worst", pointsToJson(below_)},
          {"unscaled", pointsToJson(unscaled_)}};
}

WorstByScale WorstByScale::fromExactJson(const json& j) {
  WorstByScale w;
  const json& top = j.at("top");
  w.scaled_ = !top.is_null();
  w.top_ = w.scaled_ ? top.get<int>() : 0;
  for (const json& o : j.at("octaves")) {
    const int exponent = o.at(0).get<int>();
    if (!w.scaled_ || exponent > w.top_ || exponent < w.top_ - kNearZeroOctaves ||
        (!w.octaves_.empty() && exponent <= w.octaves_.back().first)) {
      throw std::invalid_argument("octaves of the worst points out of order");
    }
    Octave& mine = w.octave(exponent);
    mine.points = o.at(1).get<uint64_t>();
    pointsFromJson(o.at(2), mine.relative);
    pointsFromJson(o.at(3), mine.absolute);
  }
  w.belowCount_ = j.at("near_zero").get<uint64_t>();
  pointsFromJson(j.at("near_zero_worst"), w.below_);
  pointsFromJson(j.at("unscaled"), w.unscaled_);
  return w;
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

Series::Node Series::combine(Node left, const Node& right) {
  left.points += right.points;
  left.p.merge(right.p);
  left.gci.merge(right.gci);
  return left;
}

void Series::push(Node node) {
  nodes_.push_back(std::move(node));
  // Siblings combine into their parent as soon as both are there, up to the bucket level.
  while (nodes_.size() >= 2) {
    Node& a = nodes_[nodes_.size() - 2];
    const Node& b = nodes_.back();
    if (a.level != b.level || a.level >= level_ || a.index % 2 != 0 || b.index != a.index + 1) break;
    Node parent = combine(std::move(a), b);
    parent.level = static_cast<uint8_t>(parent.level + 1);
    parent.index /= 2;
    nodes_.pop_back();
    nodes_.back() = std::move(parent);
  }
}

uint64_t Series::bucketCount() const {
  if (nodes_.empty()) return 0;
  return (last_ >> level_) - (nodes_.front().firstPosition >> level_) + 1;
}

void Series::relevel(unsigned level) {
  level_ = level;
  std::vector<Node> nodes = std::move(nodes_);
  nodes_.clear();
  for (Node& n : nodes) push(std::move(n));
  // Names only where a bucket may start, so that the nodes are the same however they were made.
  for (size_t k = 1; k < nodes_.size(); ++k) {
    if (nodes_[k].firstPosition % pointsPerBucket() != 0) nodes_[k].firstName.clear();
  }
}

void Series::coarsen() {
  while (bucketCount() > kMaxBuckets) relevel(level_ + 1);
}

void Series::add(uint64_t position, std::string_view name, double p, double gci) {
  Node leaf;
  leaf.index = position;
  leaf.firstPosition = position;
  // A bucket starts at a multiple of its width, or at the first point: only there is the name
  // shown (widths only grow, so a later bucket start is a multiple of today's width).
  if (nodes_.empty() || position % pointsPerBucket() == 0) leaf.firstName.assign(name);
  leaf.points = 1;
  leaf.p.add(p);
  leaf.gci.add(gci);
  last_ = position;
  push(std::move(leaf));
  coarsen();
}

void Series::merge(const Series& next) {
  if (next.nodes_.empty()) return;
  for (const Node& n : next.nodes_) push(n);
  last_ = next.last_;
  // Each part's level is the least for its points; the least for them all is at least that.
  relevel(std::max(level_, next.level_));
  coarsen();
}

void Series::clear() {
  nodes_.clear();
  level_ = 0;
  last_ = 0;
}

std::vector<Series::Bucket> Series::buckets() const {
  std::vector<Bucket> out;
  // The sum of the block (level, index) from the nodes within it: the pairwise sum of its two
  // halves, a half without points adding nothing.
  struct Fold {
    static std::optional<double> sum(std::span<const Node> nodes, unsigned level, uint64_t index,
                                     Range Node::*range) {
      if (nodes.empty()) return std::nullopt;
      if (nodes.size() == 1 && nodes[0].level == level) return (nodes[0].*range).sum;
      const uint64_t middle = (2 * index + 1) << (level - 1);
      size_t split = 0;
      while (split < nodes.size() && nodes[split].firstPosition < middle) ++split;
      const std::optional<double> left = sum(nodes.first(split), level - 1, 2 * index, range);
      const std::optional<double> right = sum(nodes.subspan(split), level - 1, 2 * index + 1, range);
      if (left && right) return *left + *right;
      return left ? left : right;
    }
  };
  const std::span<const Node> all(nodes_);
  for (size_t begin = 0; begin < all.size();) {
    const uint64_t bucket = all[begin].firstPosition >> level_;
    size_t end = begin + 1;
    while (end < all.size() && (all[end].firstPosition >> level_) == bucket) ++end;
    const std::span<const Node> group = all.subspan(begin, end - begin);
    Bucket b;
    b.firstPosition = group.front().firstPosition;
    b.firstName = group.front().firstName;
    for (const Node& n : group) {
      b.points += n.points;
      b.p.merge(n.p);
      b.gci.merge(n.gci);
    }
    b.p.sum = Fold::sum(group, level_, bucket, &Node::p).value_or(0.0);
    b.gci.sum = Fold::sum(group, level_, bucket, &Node::gci).value_or(0.0);
    out.push_back(std::move(b));
    begin = end;
  }
  return out;
}

json Series::toExactJson() const {
  json nodes = json::array();
  for (const Node& n : nodes_) {
    nodes.push_back({n.level, n.index, n.firstPosition, n.firstName, n.points, rangeToJson(n.p), rangeToJson(n.gci)});
  }
  return {{"level", level_}, {"last", last_}, {"nodes", nodes}};
}

Series Series::fromExactJson(const json& j) {
  Series s;
  s.level_ = j.at("level").get<unsigned>();
  s.last_ = j.at("last").get<uint64_t>();
  if (s.level_ > 63) throw std::invalid_argument("series level out of range");
  uint64_t next = 0;
  for (const json& n : j.at("nodes")) {
    Node node;
    const unsigned level = n.at(0).get<unsigned>();
    if (level > s.level_) throw std::invalid_argument("series node above the bucket level");
    node.level = static_cast<uint8_t>(level);
    node.index = n.at(1).get<uint64_t>();
    node.firstPosition = n.at(2).get<uint64_t>();
    node.firstName = n.at(3).get<std::string>();
    node.points = n.at(4).get<uint64_t>();
    node.p = rangeFromJson(n.at(5));
    node.gci = rangeFromJson(n.at(6));
    if ((node.index >> (63 - level)) != 0 || node.firstPosition < next ||
        (node.firstPosition >> level) != node.index || node.firstPosition > s.last_) {
      throw std::invalid_argument("series nodes out of order");
    }
    next = node.firstPosition + 1;
    s.nodes_.push_back(std::move(node));
  }
  if (s.bucketCount() > kMaxBuckets) throw std::invalid_argument("too many series buckets");
  return s;
}

double badness(const QuantityStudy& q) {
  // Each group is a band of width 2: [0, 1) by GCI, [1, 2) without a GCI, by the relative change
  // e_a21 of the two finest grids; t / (1 + t) keeps the order of t >= 0 within a band.
  auto band = [](double t) { return std::isfinite(t) && t >= 0.0 ? t / (1.0 + t) : 1.0; };
  const double gci = q.standard.gciFine21;
  const double rank = std::isfinite(gci) ? band(gci) : 1.0 + band(q.standard.ea21);
  return (q.converges() ? 0.0 : 2.0) + rank;
}

double absoluteBadness(const QuantityStudy& q) {
  auto band = [](double t) { return std::isfinite(t) && t >= 0.0 ? t / (1.0 + t) : 1.0; };
  const double u = q.standard.gciFine21Absolute;
  const double rank = std::isfinite(u) ? band(u) : 1.0 + band(std::fabs(q.standard.phi1 - q.standard.phi2));
  return (q.converges() ? 0.0 : 2.0) + rank;
}

PointSummary pointSummary(const QuantityStudy& q) {
  return {q.standard.convergence, q.standard.order.p, q.standard.gciFine21, badness(q),
          q.standard.phi1,        q.standard.gciFine21Absolute, absoluteBadness(q)};
}

void Distribution::add(uint64_t position, std::string_view name, const PointSummary& s) {
  ++points;
  if (!(s.convergence == ConvergenceType::MonotonicConvergence && std::isfinite(s.p))) ++notConverging;
  ++byConvergence[static_cast<size_t>(s.convergence)];
  order.add(s.p);
  gci.add(s.gci);
  worst.add(position, name, s);
  series.add(position, name, s.p, s.gci);
}

void Distribution::add(uint64_t position, const QuantityStudy& q) { add(position, q.name, pointSummary(q)); }

void Distribution::merge(const Distribution& o) {
  points += o.points;
  notConverging += o.notConverging;
  for (size_t i = 0; i < kConvergenceTypes; ++i) byConvergence[i] += o.byConvergence[i];
  order.merge(o.order);
  gci.merge(o.gci);
  worst.merge(o.worst);
  series.merge(o.series);
}

void Distribution::clear() {
  points = 0;
  notConverging = 0;
  byConvergence.fill(0);
  order = OrderHistogram{};
  gci.clear();
  worst.clear();
  series.clear();
}

json Distribution::toExactJson() const {
  json gciBins = json::array();  // sparse: [bin, count] pairs
  for (size_t i = gci.low; i < gci.high; ++i) {
    if (gci.bins[i] != 0) gciBins.push_back({i, gci.bins[i]});
  }
  return {{"points", points},
          {"not_converging", notConverging},
          {"convergence", byConvergence},
          {"order", {{"bins", order.bins}, {"below", order.below}, {"above", order.above}, {"none", order.none}}},
          {"gci", {{"bins", gciBins}, {"zero", gci.zero}, {"above", gci.above}, {"none", gci.none},
                   {"min", exactNumber(gci.min)}, {"max", exactNumber(gci.max)}}},
          {"worst", worst.toExactJson()},
          {"series", series.toExactJson()}};
}

Distribution Distribution::fromExactJson(const json& j) {
  Distribution d;
  d.points = j.at("points").get<uint64_t>();
  d.notConverging = j.at("not_converging").get<uint64_t>();
  d.byConvergence = j.at("convergence").get<decltype(d.byConvergence)>();
  const json& o = j.at("order");
  d.order.bins = o.at("bins").get<decltype(d.order.bins)>();
  d.order.below = o.at("below").get<uint64_t>();
  d.order.above = o.at("above").get<uint64_t>();
  d.order.none = o.at("none").get<uint64_t>();
  const json& g = j.at("gci");
  for (const json& bin : g.at("bins")) d.gci.setBin(bin.at(0).get<size_t>(), bin.at(1).get<uint64_t>());
  d.gci.zero = g.at("zero").get<uint64_t>();
  d.gci.above = g.at("above").get<uint64_t>();
  d.gci.none = g.at("none").get<uint64_t>();
  d.gci.min = numberFrom(g.at("min"));
  d.gci.max = numberFrom(g.at("max"));
  d.worst = WorstByScale::fromExactJson(j.at("worst"));
  d.series = Series::fromExactJson(j.at("series"));
  return d;
}

namespace {

nlohmann::ordered_json shown(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

std::string percentileName(double q) {
  char text[16];
  std::snprintf(text, sizeof text, "p%g", 100.0 * q);
  return text;
}

}  // namespace

nlohmann::ordered_json distributionJson(const Distribution& d) {
  using nlohmann::ordered_json;
  ordered_json out;
  out["points"] = d.points;
  ordered_json types;
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    types[std::string(convergenceName(static_cast<ConvergenceType>(t)))] = d.byConvergence[t];
  }
  out["by_convergence"] = types;
  out["not_monotonically_convergent"] = d.notConverging;
  const OrderHistogram& h = d.order;
  out["order_histogram"] = {{"bin_width", h.kWidth}, {"from", 0.0},         {"counts", h.bins},
                            {"below_0", h.below},    {"above_8", h.above}, {"no_order", h.none}};
  ordered_json gci;
  gci["points_with_gci"] = d.gci.counted();
  gci["points_without"] = d.gci.none;
  gci["min"] = shown(d.gci.counted() ? d.gci.min : kNoValue);
  for (double q : kGciPercentiles) gci[percentileName(q)] = shown(d.gci.percentile(q));
  gci["max"] = shown(d.gci.counted() ? d.gci.max : kNoValue);
  gci["resolution"] = "percentiles within 0.45 % (relative) of the exact order statistic";
  out["gci_fine21_percentiles"] = gci;
  ordered_json worst = ordered_json::array();
  for (const WorstPoint& w : d.worst.sorted()) {
    worst.push_back({{"name", w.name},
                     {"point", w.position + 1},
                     {"convergence", convergenceName(w.summary.convergence)},
                     {"p", shown(w.summary.p)},
                     {"gci_fine21", shown(w.summary.gci)}});
  }
  out["worst"] = worst;
  ordered_json nearZero;
  nearZero["rule"] = "|phi1| below 2^(E - 7), 2^E the largest power of two at or below the largest |phi1|: "
                     "these points are ranked by their absolute U (u_gci), not among the worst above";
  nearZero["threshold"] = shown(d.worst.threshold());
  nearZero["points"] = d.worst.nearZeroCount();
  ordered_json nearWorst = ordered_json::array();
  for (const WorstPoint& w : d.worst.nearZero()) {
    nearWorst.push_back({{"name", w.name},
                         {"point", w.position + 1},
                         {"convergence", convergenceName(w.summary.convergence)},
                         {"phi1", shown(w.summary.phi1)},
                         {"u_gci", shown(w.summary.u)},
                         {"p", shown(w.summary.p)},
                         {"gci_fine21", shown(w.summary.gci)}});
  }
  nearZero["worst"] = nearWorst;
  out["near_zero"] = nearZero;
  ordered_json series;
  series["points_per_group"] = d.series.pointsPerBucket();
  ordered_json groups = ordered_json::array();
  auto range = [](const Series::Range& r) {
    return ordered_json{{"min", shown(r.count ? r.min : kNoValue)},
                        {"mean", shown(r.mean())},
                        {"max", shown(r.count ? r.max : kNoValue)},
                        {"count", r.count}};
  };
  for (const Series::Bucket& b : d.series.buckets()) {
    groups.push_back({{"first_point", b.firstPosition + 1},
                      {"first_name", b.firstName},
                      {"points", b.points},
                      {"p", range(b.p)},
                      {"gci_fine21", range(b.gci)}});
  }
  series["groups"] = groups;
  out["by_point"] = series;
  return out;
}

}  // namespace kv::study
