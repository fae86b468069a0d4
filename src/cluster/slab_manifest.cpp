#include "cluster/slab_manifest.h"

#include <algorithm>
#include <stdexcept>

#include "cluster/slabs.h"

namespace kv::cluster {

using nlohmann::json;

size_t rowNameWidth(const std::vector<study::FieldSummary::Quantity>& quantities) {
  size_t longest = 0;
  for (const auto& q : quantities) longest = std::max(longest, q.name.size());
  return longest + 1 + 20;
}

json SlabManifest::toJson() const {
  json distributions = json::array();
  for (const auto& q : summary.quantities) distributions.push_back(q.distribution.toExactJson());
  return {{"schema", 3},
          {"tool", "kestrovanilque study --slab"},
          {"slab", slab.index},
          {"slabs", slab.count},
          {"total_points", totalPoints},
          {"first_point", firstPoint},
          {"input", input},
          {"summary", summary.toJson()},
          {"distributions", distributions},
          {"row_name_width", nameWidth},
          {"csv", csv},
          {"csv_sections", csvSections}};
}

SlabManifest SlabManifest::fromJson(const json& j) {
  if (j.at("schema").get<int>() != 3) throw std::invalid_argument("a manifest of another version");
  SlabManifest m;
  m.slab.index = j.at("slab").get<uint64_t>();
  m.slab.count = j.at("slabs").get<uint64_t>();
  m.totalPoints = j.at("total_points").get<uint64_t>();
  m.firstPoint = j.at("first_point").get<uint64_t>();
  m.input = j.at("input").get<std::string>();
  m.summary = study::FieldSummary::fromJson(j.at("summary"));
  const json& distributions = j.at("distributions");
  if (distributions.size() != m.summary.quantities.size()) throw std::invalid_argument("one distribution per quantity");
  for (size_t q = 0; q < distributions.size(); ++q) {
    m.summary.quantities[q].distribution = study::Distribution::fromExactJson(distributions[q]);
  }
  m.nameWidth = j.at("row_name_width").get<size_t>();
  m.csv = j.at("csv").get<bool>();
  m.csvSections = j.at("csv_sections").get<std::vector<uint64_t>>();
  // Every number is what the tool itself writes, checked before anything is sized by it: the
  // slab's share of the points, the row names' width from the quantities' names, sections of
  // summary.csv in order.
  if (m.slab.index < 1 || m.slab.index > m.slab.count || m.csvSections.size() != m.summary.quantities.size() + 1) {
    throw std::invalid_argument("inconsistent counts");
  }
  const Range share = part({0, m.totalPoints}, m.slab.index - 1, m.slab.count);
  if (m.firstPoint != share.begin || m.summary.points != share.size()) {
    throw std::invalid_argument("its points are not slab " + std::to_string(m.slab.index) + " of " +
                                std::to_string(m.slab.count) + " of " + std::to_string(m.totalPoints));
  }
  if (m.nameWidth != rowNameWidth(m.summary.quantities)) throw std::invalid_argument("a row name width it would not write");
  if (!std::is_sorted(m.csvSections.begin(), m.csvSections.end())) throw std::invalid_argument("sections out of order");
  for (const auto& q : m.summary.quantities) {
    if (q.distribution.points != m.summary.points) throw std::invalid_argument("a distribution of other points");
  }
  return m;
}

json SlabManifest::studyJson() const {
  json j = summary.toJson();
  j.erase("points");
  return {{"slabs", slab.count}, {"total_points", totalPoints}, {"summary", j}, {"row_name_width", nameWidth},
          {"csv", csv}};
}

}  // namespace kv::cluster
