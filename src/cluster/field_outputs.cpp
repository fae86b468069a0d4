#include "cluster/field_outputs.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "cluster/distribution.h"
#include "field/platform.h"

namespace kv::cluster {

namespace fs = std::filesystem;
using nlohmann::json;

json headerToJson(const FieldHeader& h) {
  return {{"case", h.caseFile},
          {"kind", "hdf5-field"},
          {"grids", h.h.size()},
          {"h", h.h},
          {"points", h.points},
          {"theoretical_order", h.theoreticalOrder},
          {"safety_factor", std::isnan(h.safetyFactor) ? json(nullptr) : json(h.safetyFactor)},
          {"quantities", h.quantities},
          {"row_name_width", h.nameWidth}};
}

FieldHeader headerFromJson(const json& j) {
  FieldHeader h;
  h.caseFile = j.at("case").get<std::string>();
  h.h = j.at("h").get<std::vector<double>>();
  h.points = j.at("points").get<uint64_t>();
  h.theoreticalOrder = j.at("theoretical_order").get<double>();
  const json& fs = j.at("safety_factor");
  h.safetyFactor = fs.is_null() ? field::kNoValue : fs.get<double>();
  h.quantities = j.at("quantities").get<std::vector<std::string>>();
  h.nameWidth = j.at("row_name_width").get<size_t>();
  return h;
}

std::string studyJson(const FieldHeader& header, const std::vector<field::FieldStats>& stats) {
  json j = {{"schema", 1}};
  j.update(headerToJson(header));
  j.erase("row_name_width");
  json quantities = json::array();
  for (size_t q = 0; q < header.quantities.size(); ++q) {
    quantities.push_back({{"name", header.quantities[q]}, {"distribution", distributionJson(stats[q])}});
  }
  j["quantities"] = quantities;
  return j.dump(1) + "\n";
}

std::string overview(const FieldHeader& header, const std::vector<field::FieldStats>& stats) {
  std::string out;
  char line[160];
  for (size_t q = 0; q < header.quantities.size(); ++q) {
    const field::FieldStats& s = stats[q];
    out += header.quantities[q] + ": " + std::to_string(s.points) + " points";
    const char* sep = ": ";
    for (size_t t = 0; t < field::kConvergenceTypes; ++t) {
      if (s.byConvergence[t] == 0) continue;
      out += sep + std::to_string(s.byConvergence[t]) + " " +
             std::string(field::convergenceName(static_cast<field::Convergence>(t)));
      sep = ", ";
    }
    const double median = s.gci.percentile(0.5);
    if (std::isfinite(median)) {
      std::snprintf(line, sizeof line, "; median GCI_fine21 %.3g %%", 100.0 * median);
      out += line;
    }
    out += "\n";
  }
  return out;
}

bool allConverge(const std::vector<field::FieldStats>& stats) {
  for (const field::FieldStats& s : stats) {
    const auto monotonic = static_cast<size_t>(field::Convergence::MonotonicConvergence);
    if (s.byConvergence[monotonic] != s.points || s.order.none != 0) return false;
  }
  return true;
}

StagedOutputs::StagedOutputs(fs::path folder, std::string tag)
    : folder_(std::move(folder)), tag_(std::move(tag)) {}

bool StagedOutputs::prepare() {
  std::error_code error;
  if (fs::is_directory(folder_, error)) return true;
  created_ = fs::create_directories(folder_, error);
  return created_ && !error;
}

std::string StagedOutputs::stage(const std::string& name) {
  const fs::path final = folder_ / name;
  const std::string temporary = (folder_ / ("." + name + ".part" + tag_)).string();
  staged_.push_back({temporary, final.string(), field::platform::protectTemporary(temporary)});
  return temporary;
}

bool StagedOutputs::write(const std::string& name, const std::string& bytes) {
  const std::string path = stage(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool StagedOutputs::commit() {
  for (const Staged& s : staged_) {
    if (!fs::is_regular_file(s.temporary)) {
      discard();
      return false;
    }
  }
  for (const Staged& s : staged_) {
    if (!field::platform::replaceFile(s.temporary, s.final)) {
      discard();
      return false;
    }
    field::platform::releaseTemporary(s.slot);
  }
  staged_.clear();
  created_ = false;
  return true;
}

void StagedOutputs::discard() {
  for (const Staged& s : staged_) {
    std::remove(s.temporary.c_str());
    field::platform::releaseTemporary(s.slot);
  }
  staged_.clear();
  if (created_) {
    std::error_code error;
    fs::remove(folder_, error);  // only when empty: it was created here
    created_ = false;
  }
}

}  // namespace kv::cluster
