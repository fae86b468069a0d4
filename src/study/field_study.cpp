#include "study/field_study.h"

#include <cmath>
#include <memory>
#include <variant>

#include "field/field_case.h"
#include "study/main_data_case.h"
#include "study/summary.h"
#include "text/csv.h"
#include "text/utf8.h"
#include "study/kind.h"

namespace kv::study {

namespace {

InputError inputError(const Error& e) { return InputError(displayName(e.file), e.line, e.message, e.kind); }

}  // namespace

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

bool isFieldTable(std::string_view text) {
  CsvLines lines(text);
  std::string_view line;
  size_t number = 0;
  return lines.next(line, number) && field::isFieldCaseHeader(line);
}

FieldStudyCase readFieldTable(const std::string& file, int dimension) {
  if (file == "-") {
    throw InputError(displayName(file), 0,
                     "a field case (h,file) names its point files relative to its own folder: "
                     "give it as a file, not on standard input");
  }
  auto read = field::readFieldCase(file, dimension);
  if (auto* e = std::get_if<Error>(&read)) throw inputError(*e);
  const field::FieldCase& table = std::get<field::FieldCase>(read);
  FieldStudyCase c;
  c.kind = FieldStudyCase::Kind::FieldCsv;
  c.file = file;
  for (const field::FieldGrid& g : table.grids) {
    c.h.push_back(g.h);
    if (g.cells > 0.0) c.cells.push_back(g.cells);
    c.grids.push_back(g.file);
  }
  if (!c.cells.empty()) c.dimension = dimension;
  c.exact = table.exact;
  return c;
}

std::optional<FieldStudyCase> readMainDataField(const std::string& file, const std::string& text,
                                                bool force) {
  const MainDataHead head = readMainDataHead(file, text);
  if (!force) {
    // The first grid file decides: more than kFieldRecords value records make a field.
    field::PointFileReader reader;
    if (auto e = reader.open({head.gridFiles.front(), field::Layout::Classic, field::FirstRecord::Spacing})) {
      return std::nullopt;  // the table study reports it
    }
    std::string lines;
    size_t taken = 0, firstLine = 0;
    if (reader.take(kFieldRecords + 1, lines, taken, firstLine) || taken <= kFieldRecords) {
      return std::nullopt;
    }
  }
  // The grids ordered finest first by the spacing on their first line.
  StudyCase order;
  order.file = file;
  for (size_t g = 0; g < head.gridFiles.size(); ++g) {
    double h = 0.0;
    if (auto e = field::readSpacing(head.gridFiles[g], h)) throw inputError(*e);
    if (!std::isfinite(h) || h <= 0.0) {
      throw InputError(head.gridFiles[g], 1, "h must be a positive, finite number");
    }
    order.h.push_back(h);
    order.lines.push_back(head.gridLines[g]);
    order.gridFiles.push_back(head.gridFiles[g]);
  }
  sortFinestFirst(order);
  FieldStudyCase c;
  c.kind = FieldStudyCase::Kind::MainData;
  c.file = file;
  c.h = order.h;
  for (const std::string& name : order.gridFiles) {
    c.grids.push_back({name, field::Layout::Classic, field::FirstRecord::Spacing});
  }
  if (head.exactFile) c.exact = field::PointFile{*head.exactFile, field::Layout::Classic, field::FirstRecord::Detect};
  c.theoreticalOrder = head.pL;
  c.safetyFactor = head.Fs;
  c.classic = head.classic;
  c.title = head.title;
  return c;
}

FieldStudy runFieldStudy(const FieldStudyCase& input, const FieldStudyOptions& options, io::TempFile& rows) {
  FieldStudy out;
  FieldSummary& summary = out.summary;
  summary.caseFile = input.file;
  summary.kind = caseKindKey(input.kind == FieldStudyCase::Kind::FieldCsv ? CaseKind::FieldTable : CaseKind::MainDataField);
  summary.title = toUtf8(input.title);
  summary.h = input.h;
  summary.cells = input.cells;
  summary.dimension = input.dimension;
  for (const field::PointFile& f : input.grids) summary.gridFiles.push_back(f.path);
  if (input.exact) summary.exactFile = input.exact->path;
  summary.settings = fieldSettings(options.study, input.theoreticalOrder, input.safetyFactor,
                                   input.cells.empty() ? kNotANumber : input.cells.front(), input.dimension);
  summary.settings.classic = input.classic;
  summary.quantities.resize(1);
  const PointStudy study(input.h, summary.settings);
  FieldKernel kernel(study, summary.quantities.front().distribution, "");
  field::FieldOptions engine;
  engine.threads = options.threads;
  engine.progress = options.progress;
  if (options.chunkPoints > 0) engine.chunkPoints = options.chunkPoints;
  field::FieldResult result = field::runField(input.grids, input.exact, kernel, rows, engine);
  if (result.error) throw inputError(*result.error);
  summary.points = result.points;
  out.readSeconds = result.readSeconds;
  out.writeSeconds = result.writeSeconds;
  return out;
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
  const StudySettings& s = settings;
  return {{"case", caseFile},
          {"kind", kind},
          {"title", title},
          {"h", h},
          {"cells", cells},
          {"dimension", dimension},
          {"grid_files", gridFiles},
          {"exact_file", exactFile ? nlohmann::json(*exactFile) : nlohmann::json(nullptr)},
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
  f.caseFile = j.at("case").get<std::string>();
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
