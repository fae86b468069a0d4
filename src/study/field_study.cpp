#include "study/field_study.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <variant>

#include "field/field_case.h"
#include "study/main_data_case.h"
#include "study/summary.h"

namespace kv::study {

namespace {

InputError inputError(const field::Error& e) { return InputError(displayName(e.file), e.line, e.message); }

// The per-point computation: the study of one quantity, and its summary row.
struct PointStudy {
  std::vector<double> h;
  StandardOptions standard;
  ClassicSettings classic;
  std::shared_ptr<std::atomic<uint64_t>> notConverging;
  std::optional<double> targetGci;
  double cells1 = kNotANumber;
  int dimensions = 0;
  bool leastSquares = false;

  field::PointSummary operator()(const field::Point& point, std::string& row) const {
    // An exact value that is not finite is unknown, as in a main data file's exact values.
    const double exact = point.exact && std::isfinite(*point.exact) ? *point.exact : kNotANumber;
    QuantityStudy q =
        studyQuantity(std::string(point.id), h, point.values, exact, standard, false, classic);
    q.uncertainty = uncertainties(q.standard, h, point.values, standard.theoreticalOrder, targetGci,
                                  cells1, dimensions, leastSquares);
    row += summaryRow(q, targetGci.has_value());
    row += '\n';
    if (!q.converges()) notConverging->fetch_add(1, std::memory_order_relaxed);
    static_assert(static_cast<int>(ConvergenceType::Undetermined) ==
                  static_cast<int>(field::Convergence::Undetermined));
    return {static_cast<field::Convergence>(q.standard.convergence), q.standard.order.p,
            q.standard.gciFine21, badness(q)};
  }
};

}  // namespace

double badness(const QuantityStudy& q) {
  // Each group is a band of width 2: [0, 1) by GCI, [1, 2) without a GCI, by the relative change
  // e_a21 of the two finest grids; t / (1 + t) keeps the order of t >= 0 within a band.
  auto band = [](double t) { return std::isfinite(t) && t >= 0.0 ? t / (1.0 + t) : 1.0; };
  const double gci = q.standard.gciFine21;
  const double rank = std::isfinite(gci) ? band(gci) : 1.0 + band(q.standard.ea21);
  return (q.converges() ? 0.0 : 2.0) + rank;
}

bool isFieldTable(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    return field::isFieldCaseHeader(line);
  }
  return false;
}

FieldStudyCase readFieldTable(const std::string& file, int dimension) {
  if (file == "-") {
    throw InputError(displayName(file), 0,
                     "a field case (h,file) names its point files relative to its own folder: "
                     "give it as a file, not on standard input");
  }
  auto read = field::readFieldCase(file, dimension);
  if (auto* e = std::get_if<field::Error>(&read)) throw inputError(*e);
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

FieldStudy runFieldStudy(const FieldStudyCase& input, const FieldStudyOptions& options,
                         field::OutputFile& summary) {
  FieldStudy out;
  out.input = &input;
  out.theoreticalOrder = options.study.order.value_or(input.theoreticalOrder.value_or(2.0));
  out.safetyFactor = options.study.fs.value_or(input.safetyFactor.value_or(kNotANumber));
  auto notConverging = std::make_shared<std::atomic<uint64_t>>(0);
  PointStudy kernel{input.h,
                    {.theoreticalOrder = out.theoreticalOrder, .safetyFactor = out.safetyFactor},
                    input.classic,
                    notConverging,
                    options.study.targetGci,
                    input.cells.empty() ? kNotANumber : input.cells.front(),
                    input.cells.empty() ? 0 : input.dimension,
                    options.leastSquares};
  field::FieldOptions engine;
  engine.threads = options.threads;
  engine.progress = options.progress;
  field::FieldResult result = field::runField(input.grids, input.exact, kernel, summary, engine);
  if (result.error) throw inputError(*result.error);
  out.points = result.points;
  out.notConverging = notConverging->load();
  out.stats = std::move(result.stats);
  out.series = std::move(result.series);
  out.readSeconds = result.readSeconds;
  out.writeSeconds = result.writeSeconds;
  return out;
}

}  // namespace kv::study
