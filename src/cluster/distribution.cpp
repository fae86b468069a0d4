#include "cluster/distribution.h"

#include <cmath>
#include <string>

namespace kv::cluster {

namespace {

using nlohmann::json;

// JSON has no NaN or infinity: those travel as words.
json exactNumber(double x) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  return x;
}

double numberFrom(const json& j) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (s == "nan") return field::kNoValue;
    if (s == "inf") return INFINITY;
    if (s == "-inf") return -INFINITY;
    throw std::invalid_argument("not a number: " + s);
  }
  return j.get<double>();
}

// A shown number: null where none exists.
json shown(double x) { return std::isfinite(x) ? json(x) : json(nullptr); }

}  // namespace

field::PointSummary pointSummary(const study::QuantityStudy& q) {
  const StandardResult& r = q.standard;
  field::PointSummary s;
  s.convergence = static_cast<field::Convergence>(r.convergence);
  s.p = r.order.p;
  s.gci = r.gciFine21;
  s.badness = r.gciFine21;
  if (r.convergence == ConvergenceType::MonotonicDivergence ||
      r.convergence == ConvergenceType::OscillatoryDivergence) {
    s.badness = 1e300;
  } else if (!r.hasOrder()) {
    s.badness = 1e299;
  }
  return s;
}

json statsToJson(const field::FieldStats& s) {
  json gciBins = json::array();  // sparse: [bin, count] pairs
  for (size_t i = 0; i < s.gci.bins.size(); ++i) {
    if (s.gci.bins[i] != 0) gciBins.push_back({i, s.gci.bins[i]});
  }
  json worst = json::array();
  for (const field::WorstPoint& w : s.worst.sorted()) {
    worst.push_back({w.position, w.id, static_cast<int>(w.summary.convergence),
                     exactNumber(w.summary.p), exactNumber(w.summary.gci),
                     exactNumber(w.summary.badness)});
  }
  return {{"points", s.points},
          {"convergence", s.byConvergence},
          {"order", {{"bins", s.order.bins}, {"below", s.order.below}, {"above", s.order.above},
                     {"none", s.order.none}}},
          {"gci", {{"bins", gciBins}, {"zero", s.gci.zero}, {"above", s.gci.above},
                   {"none", s.gci.none}, {"min", exactNumber(s.gci.min)},
                   {"max", exactNumber(s.gci.max)}}},
          {"worst", worst}};
}

field::FieldStats statsFromJson(const json& j) {
  field::FieldStats s;
  s.worst = field::WorstPoints(kWorstPoints);
  s.points = j.at("points").get<uint64_t>();
  s.byConvergence = j.at("convergence").get<decltype(s.byConvergence)>();
  const json& order = j.at("order");
  s.order.bins = order.at("bins").get<decltype(s.order.bins)>();
  s.order.below = order.at("below").get<uint64_t>();
  s.order.above = order.at("above").get<uint64_t>();
  s.order.none = order.at("none").get<uint64_t>();
  const json& gci = j.at("gci");
  for (const json& bin : gci.at("bins")) {
    s.gci.setBin(bin.at(0).get<size_t>(), bin.at(1).get<uint64_t>());
  }
  s.gci.zero = gci.at("zero").get<uint64_t>();
  s.gci.above = gci.at("above").get<uint64_t>();
  s.gci.none = gci.at("none").get<uint64_t>();
  s.gci.min = numberFrom(gci.at("min"));
  s.gci.max = numberFrom(gci.at("max"));
  for (const json& w : j.at("worst")) {
    const int type = w.at(2).get<int>();
    if (type < 0 || type >= static_cast<int>(field::kConvergenceTypes)) {
      throw std::invalid_argument("convergence type out of range");
    }
    field::PointSummary summary{static_cast<field::Convergence>(type), numberFrom(w.at(3)),
                                numberFrom(w.at(4)), numberFrom(w.at(5))};
    s.worst.add(w.at(0).get<uint64_t>(), w.at(1).get<std::string>(), summary);
  }
  return s;
}

json distributionJson(const field::FieldStats& s) {
  json byType = json::object();
  for (size_t i = 0; i < field::kConvergenceTypes; ++i) {
    byType[std::string(field::convergenceName(static_cast<field::Convergence>(i)))] =
        s.byConvergence[i];
  }
  json percentiles = json::object();
  for (const auto& [name, q] : {std::pair{"p5", 0.05}, {"p50", 0.5}, {"p95", 0.95}, {"p99", 0.99}}) {
    percentiles[name] = shown(s.gci.percentile(q));
  }
  percentiles["min"] = shown(s.gci.counted() ? s.gci.min : field::kNoValue);
  percentiles["max"] = shown(s.gci.counted() ? s.gci.max : field::kNoValue);
  json worst = json::array();
  for (const field::WorstPoint& w : s.worst.sorted()) {
    worst.push_back({{"row", w.id},
                     {"point", w.position + 1},
                     {"convergence", field::convergenceName(w.summary.convergence)},
                     {"p", shown(w.summary.p)},
                     {"gci_fine21", shown(w.summary.gci)}});
  }
  return {{"points", s.points},
          {"convergence", byType},
          {"p_histogram", {{"bin_width", field::OrderHistogram::kWidth},
                           {"counts", s.order.bins},
                           {"below_0", s.order.below},
                           {"from_8", s.order.above},
                           {"no_order", s.order.none}}},
          {"gci_fine21_percentiles", percentiles},
          {"gci_fine21_none", s.gci.none},
          {"worst", worst}};
}

}  // namespace kv::cluster
