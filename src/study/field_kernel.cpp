#include "study/field_kernel.h"

#include <cmath>
#include <memory>

#include "study/summary.h"
#include "text/utf8.h"

namespace kv::study {

struct FieldKernel::Work : field::ChunkWork {
  explicit Work(const FieldKernel& k) : kernel(k) {}
  void begin(uint64_t) override {
    distribution.clear();
    used = 0;
  }
  void point(const field::Point& point, std::string& rows) override {
    // One study object a point, kept from chunk to chunk with its storage.
    if (kernel.studies_ && used == studies.size()) studies.emplace_back();
    QuantityStudy& q = kernel.studies_ ? studies[used++] : one;
    name.clear();
    appendRowName(name, kernel.quantity_, point.id);
    kernel.study_.study(q, name, point.values, point.exact.value_or(kNotANumber));
    if (kernel.decoration_) kernel.decoration_->study(point.position, q);
    if (kernel.rows_) {
      appendSummaryRow(rows, q, kernel.study_.settings().targetGci.has_value(), &cache);
      if (kernel.decoration_) kernel.decoration_->row(point.position, rows);
      rows.push_back('\n');
    }
    distribution.add(point.position, q);
  }
  const FieldKernel& kernel;
  Distribution distribution;
  QuantityStudy one;
  std::vector<QuantityStudy> studies;
  size_t used = 0;
  std::string name;
  SummaryRowCache cache;
};

FieldKernel::FieldKernel(const PointStudy& study, Distribution& total, std::string quantity, bool rows,
                         std::function<void(std::span<const QuantityStudy>)> studies,
                         const PointDecoration* decoration)
    : study_(study),
      total_(total),
      quantity_(std::move(quantity)),
      rows_(rows),
      studies_(std::move(studies)),
      decoration_(decoration) {}

std::unique_ptr<field::ChunkWork> FieldKernel::newWork() const { return std::make_unique<Work>(*this); }

void FieldKernel::merge(field::ChunkWork& chunk) {
  Work& work = static_cast<Work&>(chunk);
  total_.merge(work.distribution);
  if (studies_) studies_(std::span<const QuantityStudy>(work.studies).first(work.used));
}

void appendRowName(std::string& out, std::string_view quantity, std::string_view id) {
  if (!quantity.empty()) {
    appendUtf8(out, quantity);
    out.push_back(':');
  }
  appendUtf8(out, id);
}

std::string rowName(std::string_view quantity, std::string_view id) {
  std::string name;
  appendRowName(name, quantity, id);
  return name;
}

bool FieldSummary::allConverge() const {
  for (const Quantity& q : quantities) {
    if (q.distribution.notConverging > 0) return false;
  }
  return true;
}

nlohmann::json FieldSummary::toJson() const {
  nlohmann::json names = nlohmann::json::array();
  for (const Quantity& q : quantities) names.push_back(q.name);
  // The names of files as the reports write them: UTF-8, whatever bytes they were given in.
  nlohmann::json grids = nlohmann::json::array();
  for (const std::string& g : gridFiles) grids.push_back(toUtf8(g));
  const StudySettings& s = settings;
  return {{"case", toUtf8(file)},
          {"kind", kind},
          {"title", toUtf8(title)},
          {"h", h},
          {"cells", cells},
          {"dimension", dimension},
          {"grid_files", grids},
          {"exact_file", exactFile ? nlohmann::json(toUtf8(*exactFile)) : nlohmann::json(nullptr)},
          {"theoretical_order", s.theoreticalOrder},
          {"safety_factor", std::isnan(s.safetyFactor) ? nlohmann::json(nullptr) : nlohmann::json(s.safetyFactor)},
          {"target_gci", s.targetGci ? nlohmann::json(*s.targetGci) : nlohmann::json(nullptr)},
          {"least_squares", s.leastSquares},
          {"noise", s.noise ? nlohmann::json(*s.noise) : nlohmann::json(nullptr)},
          {"cells1", std::isnan(s.cells1) ? nlohmann::json(nullptr) : nlohmann::json(s.cells1)},
          {"points", points},
          {"quantities", names}};
}

FieldSummary FieldSummary::fromJson(const nlohmann::json& j) {
  FieldSummary f;
  f.file = j.at("case").get<std::string>();
  f.kind = j.at("kind").get<std::string>();
  f.title = j.at("title").get<std::string>();
  f.h = j.at("h").get<std::vector<double>>();
  f.cells = j.at("cells").get<std::vector<double>>();
  f.dimension = j.at("dimension").get<int>();
  f.gridFiles = j.at("grid_files").get<std::vector<std::string>>();
  if (!j.at("exact_file").is_null()) f.exactFile = j.at("exact_file").get<std::string>();
  StudySettings& s = f.settings;
  s.theoreticalOrder = j.at("theoretical_order").get<double>();
  s.safetyFactor = j.at("safety_factor").is_null() ? kNotANumber : j.at("safety_factor").get<double>();
  if (!j.at("target_gci").is_null()) s.targetGci = j.at("target_gci").get<double>();
  s.leastSquares = j.at("least_squares").get<bool>();
  if (!j.at("noise").is_null()) s.noise = j.at("noise").get<double>();
  s.cells1 = j.at("cells1").is_null() ? kNotANumber : j.at("cells1").get<double>();
  s.dimension = f.dimension;
  s.series = false;
  f.points = j.at("points").get<uint64_t>();
  for (const nlohmann::json& name : j.at("quantities")) f.quantities.push_back({name.get<std::string>(), Distribution()});
  return f;
}

}  // namespace kv::study
