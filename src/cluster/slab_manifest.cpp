#include "cluster/slab_manifest.h"

#include <stdexcept>

namespace kv::cluster {

using nlohmann::json;

json SlabManifest::toJson() const {
  json distributions = json::array();
  for (const auto& q : summary.quantities) distributions.push_back(q.distribution.toExactJson());
  return {{"schema", 2},
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
  if (j.at("schema").get<int>() != 2) throw std::invalid_argument("a manifest of another version");
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
  if (m.slab.index < 1 || m.slab.index > m.slab.count || m.csvSections.size() != m.summary.quantities.size() + 1 ||
      m.firstPoint > m.totalPoints || m.summary.points > m.totalPoints - m.firstPoint) {
    throw std::invalid_argument("inconsistent counts");
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
