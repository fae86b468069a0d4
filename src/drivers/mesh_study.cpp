#include "drivers/mesh_study.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>

#include "field/engine.h"
#include "mesh/interpolation.h"
#include "mesh/kd_tree.h"
#include "drivers/kinds.h"
#include "report/mesh_report.h"
#include "study/summary.h"
#include "cases/kind.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;
using mesh::InterpolationStatus;

// The numbers of summary.csv that field.vtu holds per point, by their column names.
constexpr std::string_view kVtuColumns[] = {"phi1",         "p",        "phi_ext21", "gci_fine21",
                                            "gci_coarse32", "u_gci",    "u_ls",      "u_cf",
                                            "u_fs",         "u_gci_th", "u_osc"};

// The column of that name (every name asked for is one).
const SummaryColumn& columnNamed(std::string_view name) {
  if (const SummaryColumn* c = summaryColumn(name)) return *c;
  throw std::logic_error("no summary column " + std::string(name));
}

// The interpolation's word first in a point's status, the columns x, y, z last in its row.
class MeshDecoration : public PointDecoration {
 public:
  MeshDecoration(const std::vector<uint8_t>& status, const mesh::PointCloud& points)
      : status_(status), points_(points) {}

  void study(uint64_t position, QuantityStudy& q) const override {
    const auto s = static_cast<InterpolationStatus>(status_[position]);
    if (s != InterpolationStatus::Outside && s != InterpolationStatus::Unreliable) return;
    const std::string word(mesh::statusName(s));
    q.findings.insert(
        q.findings.begin(),
        {word, s == InterpolationStatus::Outside
                   ? "the point lies outside the region of a grid: that grid gives it no value"
                   : "the interpolation of a grid to the point is ill-conditioned: that grid gives "
                     "it no value"});
    q.status = q.status.empty() || q.status == "ok" ? word : word + "; " + q.status;
  }

  void row(uint64_t position, std::string& rows) const override {
    const size_t dim = static_cast<size_t>(points_.dim);
    for (size_t d = 0; d < 3; ++d) {
      rows.push_back(',');
      if (d < dim) rows += shortest(points_.coordinates[position * dim + d]);
    }
  }

 private:
  const std::vector<uint8_t>& status_;
  const mesh::PointCloud& points_;
};

// A point is drawn on the maps when its hash falls in one of `stride` slots: a sample spread
// over the field whatever the order of the points.
bool sampled(uint64_t position, uint64_t stride) {
  uint64_t z = position + 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return (z ^ (z >> 31)) % stride == 0;
}

// Keeps the quantities of `cloud` named in `names`, in that order; the names it lacks are
// returned.
std::vector<size_t> keepQuantities(mesh::PointCloud& cloud, const std::vector<std::string>& names) {
  std::vector<mesh::Quantity> kept;
  std::vector<size_t> missing;
  for (size_t k = 0; k < names.size(); ++k) {
    auto it = std::find_if(cloud.quantities.begin(), cloud.quantities.end(),
                           [&](const mesh::Quantity& q) { return q.name == names[k]; });
    if (it == cloud.quantities.end()) {
      missing.push_back(k);
      kept.push_back({names[k], std::vector<double>(cloud.size(), kNotANumber)});
    } else {
      kept.push_back(std::move(*it));
    }
  }
  cloud.quantities = std::move(kept);
  return missing;
}

// Brings the cloud to the study points' dimension: its points may not leave their line or plane.
void matchDimension(mesh::PointCloud& cloud, int dim, const std::string& file) {
  const int used = usedDimension(cloud);
  if (used > dim) {
    throw Failure(file, 0,
                     "its points span " + std::to_string(used) + " dimensions, the study points " +
                         std::to_string(dim) +
                         ": every grid of a field must cover the same region");
  }
  setDimension(cloud, dim);
}

// Times the stages one after the other: each lap adds the time since the last to a stage.
class Laps {
 public:
  void lap(MeshStudy::Stage& stage) {
    const auto wall = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    stage.wall += std::chrono::duration<double>(wall - wall_).count();
    stage.cpu += static_cast<double>(cpu - cpu_) / CLOCKS_PER_SEC;
    wall_ = wall;
    cpu_ = cpu;
  }

 private:
  std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
  std::clock_t cpu_ = std::clock();
};

// One study of a field on grids that share no points, step by step (runMeshStudy), and the state
// the steps hand on: the study points, the quantities still studied, their values on every grid.
class MeshRun {
 public:
  MeshRun(const MeshCase& input, const StudyOptions& options);
  MeshRun(const MeshRun&) = delete;
  MeshRun& operator=(const MeshRun&) = delete;

  // The coarsest grid (it names the quantities) and the --at file: the study points.
  void readStudyPoints();
  // Every grid, finest first, then the exact values, brought to the study points.
  void interpolateGrids();
  // Every quantity through the field kernel, its rows written to `rows` in order.
  void studyQuantities(io::TempFile& rows);
  // The interpolation's status of each point in field.vtu, and the names of its integers.
  MeshStudy labelArrays();

 private:
  MeshSummary& mesh() { return *out_.summary.mesh; }
  // The study points: the coarsest grid's own, or those of --at.
  GridPoints& studied() { return options_.at.empty() ? coarsest_ : at_; }
  const mesh::PointCloud& points() { return studied().cloud; }
  // Refuses study points whose values on every grid would not fit in memory.
  void checkBudget() const;
  // The coarsest grid's own values at its own points (no --at), as they are.
  void takeOwnValues(size_t g, MeshGrid& record);
  // `source` (of `file`) with the study's quantities, in order, interpolated to the study points;
  // a grid (`isGrid`; not the exact values) that lacks some leaves them out of the study.
  mesh::Interpolated interpolate(mesh::PointCloud& source, const std::string& file, bool isGrid);
  // Grid g's values and status at every study point.
  void keepGrid(size_t g, const mesh::Interpolated& result, MeshGrid& record);
  void keepExact(const mesh::Interpolated& result, MeshGrid& record);
  // One quantity at every study point: its rows, its numbers in field.vtu, its maps.
  void studyQuantity(size_t q, const PointStudy& study, const PointDecoration& decoration,
                     const field::FieldOptions& engine, io::TempFile& rows);

  const MeshCase& input_;
  const StudyOptions& options_;
  MeshStudy out_;
  Laps clock_;
  const size_t grids_, own_;  // the number of grids; the coarsest (last)
  GridPoints coarsest_, at_;
  size_t count_ = 0;  // study points
  std::vector<std::string> names_;  // the quantities studied
  // values_[q][s * grids_ + g]: quantity q at study point s on grid g (finest first).
  std::vector<std::vector<double>> values_;
  std::vector<std::vector<double>> exact_;  // exact_[q][s], when there are exact values
  std::vector<uint8_t> status_;             // the worst status any grid gave each point
  mesh::InterpolationOptions interpolation_;
  std::vector<const SummaryColumn*> vtuColumns_;  // those of kVtuColumns
  const SummaryColumn& convergence_ = columnNamed("convergence");
};

MeshRun::MeshRun(const MeshCase& input, const StudyOptions& options)
    : input_(input), options_(options), grids_(input.gridFiles.size()), own_(grids_ - 1) {
  FieldSummary& summary = out_.summary;
  static_cast<CaseHead&>(summary) = input;
  summary.kind = caseKindKey(CaseKind::MeshField);
  summary.settings = fieldSettings(options, std::nullopt, std::nullopt,
                                   input.cells.empty() ? kNotANumber : input.cells.front(), input.dimension);
  MeshSummary& m = summary.mesh.emplace();
  m.at = options.at;
  m.degree =
      options.interpDegree > 0 ? options.interpDegree : mesh::defaultDegree(summary.settings.theoreticalOrder);
  interpolation_.degree = m.degree;
  interpolation_.threads = options.threads;
  for (std::string_view name : kVtuColumns) vtuColumns_.push_back(&columnNamed(name));
}

void MeshRun::readStudyPoints() {
  coarsest_ = readGridPoints(input_.gridFiles[own_]);
  if (!options_.at.empty()) at_ = readGridPoints(options_.at, false);
  clock_.lap(out_.read);
  MeshSummary& m = mesh();
  m.dimension = usedDimension(coarsest_.cloud);
  if (!options_.at.empty()) m.dimension = std::max(m.dimension, usedDimension(at_.cloud));
  setDimension(coarsest_.cloud, m.dimension);
  setDimension(at_.cloud, m.dimension);
  m.neighbours = mesh::defaultNeighbours(m.dimension, m.degree);
  count_ = points().size();
  for (const mesh::Quantity& q : coarsest_.cloud.quantities) names_.push_back(q.name);
  checkBudget();
  values_.assign(names_.size(), std::vector<double>(count_ * grids_, kNotANumber));
  status_.assign(count_, static_cast<uint8_t>(InterpolationStatus::Exact));
}

void MeshRun::checkBudget() const {
  // What the study keeps per point: its values on every grid and the numbers of field.vtu.
  const uint64_t pointBytes =
      names_.size() * (8 * grids_ + 8 * std::size(kVtuColumns) + 4) + 8 * out_.summary.mesh->dimension + 1;
  if (count_ > kMeshFileBudget / pointBytes) {
    throw Failure(options_.at.empty() ? input_.gridFiles[own_] : options_.at, 0,
                  std::to_string(count_) + " study points of " + std::to_string(names_.size()) +
                      " quantities on " + std::to_string(grids_) + " grids take " +
                      std::to_string(pointBytes) + " bytes each, beyond " +
                      std::to_string(kMeshFileBudget >> 20) +
                      " MiB: study fewer points (--at) or fewer quantities");
  }
}

void MeshRun::interpolateGrids() {
  for (size_t g = 0; g < grids_; ++g) {
    MeshGrid& record = mesh().grids.emplace_back();
    record.file = input_.gridFiles[g];
    if (g == own_ && options_.at.empty()) {
      takeOwnValues(g, record);
      continue;
    }
    // With --at, the coarsest grid is interpolated too, from the copy already read.
    GridPoints grid;
    if (g != own_) grid = readGridPoints(input_.gridFiles[g]);
    GridPoints& source = g == own_ ? coarsest_ : grid;
    record.points = source.cloud.size();
    record.cellCentres = source.cellCentres;
    keepGrid(g, interpolate(source.cloud, record.file, true), record);
  }
  if (names_.empty()) throw Failure(input_.file, 0, "no quantity is held by every grid");
  if (input_.exactFile) {
    GridPoints file = readGridPoints(*input_.exactFile);
    MeshGrid& record = mesh().exact.emplace();
    record.file = *input_.exactFile;
    record.points = file.cloud.size();
    record.cellCentres = file.cellCentres;
    keepExact(interpolate(file.cloud, record.file, false), record);
  }
  for (uint8_t s : status_) ++mesh().points[s];
  clock_.lap(out_.read);
}

void MeshRun::takeOwnValues(size_t g, MeshGrid& record) {
  record.points = count_;
  record.interpolated = false;
  record.cellCentres = coarsest_.cellCentres;
  record.status[static_cast<size_t>(InterpolationStatus::Exact)] = count_;
  for (size_t q = 0; q < names_.size(); ++q) {
    const std::vector<double>& mine = coarsest_.cloud.quantity(names_[q])->values;
    for (size_t s = 0; s < count_; ++s) values_[q][s * grids_ + g] = mine[s];
  }
}

mesh::Interpolated MeshRun::interpolate(mesh::PointCloud& source, const std::string& file, bool isGrid) {
  matchDimension(source, mesh().dimension, file);
  const std::vector<size_t> missing = keepQuantities(source, names_);
  if (isGrid) {
    for (auto k = missing.rbegin(); k != missing.rend(); ++k) {
      mesh().leftOut.push_back(names_[*k]);
      names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(*k));
      values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(*k));
      source.quantities.erase(source.quantities.begin() + static_cast<std::ptrdiff_t>(*k));
    }
  }
  clock_.lap(out_.read);
  const mesh::KdTree tree(source);
  out_.treeBytes = std::max(out_.treeBytes, tree.memoryBytes());
  clock_.lap(out_.tree);
  mesh::Interpolated result;
  if (auto e = mesh::interpolate(source, tree, points().coordinates, interpolation_, result)) {
    throw Failure(file, 0, *e);
  }
  clock_.lap(out_.interpolate);
  return result;
}

void MeshRun::keepGrid(size_t g, const mesh::Interpolated& result, MeshGrid& record) {
  for (size_t s = 0; s < count_; ++s) {
    const InterpolationStatus st = result.status[s];
    ++record.status[static_cast<size_t>(st)];
    status_[s] = static_cast<uint8_t>(worseStatus(static_cast<InterpolationStatus>(status_[s]), st));
    for (size_t q = 0; q < names_.size(); ++q) values_[q][s * grids_ + g] = result.values[q][s];
  }
}

void MeshRun::keepExact(const mesh::Interpolated& result, MeshGrid& record) {
  exact_.assign(names_.size(), std::vector<double>(count_, kNotANumber));
  for (size_t s = 0; s < count_; ++s) {
    ++record.status[static_cast<size_t>(result.status[s])];
    for (size_t q = 0; q < names_.size(); ++q) exact_[q][s] = result.values[q][s];
  }
}

void MeshRun::studyQuantities(io::TempFile& rows) {
  const MeshDecoration decoration(status_, points());
  const PointStudy study(input_.h, out_.summary.settings);
  const field::FieldOptions engine = fieldEngineOptions(options_, false);
  out_.summary.points = count_;
  mesh::PointCloud& field = out_.field;
  field.dim = mesh().dimension;
  field.coordinates = points().coordinates;
  // The cells of the study points' own file, when it is a mesh whose points they are.
  if (!studied().cellCentres) field.cells = std::move(studied().cloud.cells);
  for (size_t q = 0; q < names_.size(); ++q) studyQuantity(q, study, decoration, engine, rows);
}

void MeshRun::studyQuantity(size_t q, const PointStudy& study, const PointDecoration& decoration,
                            const field::FieldOptions& engine, io::TempFile& rows) {
  out_.summary.quantities.push_back({names_[q], Distribution()});
  // Its numbers in field.vtu, named QUANTITY.NAME when there are several quantities.
  std::vector<mesh::Quantity>& numbers = out_.field.quantities;
  const size_t first = numbers.size();
  const std::string prefix = names_.size() > 1 ? names_[q] + "." : "";
  for (std::string_view name : kVtuColumns) numbers.push_back({prefix + std::string(name), {}});
  mesh::IntegerArray& types = out_.extras.pointIntegers.emplace_back();
  types.name = prefix + "convergence";
  // Its maps (the first kMaxMappedQuantities of a 2-D field): about kMapPoints of its points.
  const bool mapped = mesh().dimension == 2 && q < kMaxMappedQuantities;
  MeshMap* map = mapped ? &mesh().maps.emplace_back() : nullptr;
  if (map) map->of = count_;
  const uint64_t stride = std::max<uint64_t>(1, (count_ + kMapPoints - 1) / kMapPoints);
  const std::vector<double>& coordinates = points().coordinates;
  uint64_t next = 0;  // the position of the next study handed over
  FieldKernel kernel(
      study, out_.summary.quantities.back().distribution, names_[q], true,
      [&](std::span<const QuantityStudy> studies) {
        for (const QuantityStudy& s : studies) {
          for (size_t c = 0; c < vtuColumns_.size(); ++c) {
            numbers[first + c].values.push_back(vtuColumns_[c]->number(s));
          }
          types.values.push_back(static_cast<int32_t>(convergence_.number(s)));
          if (map && sampled(next, stride)) {
            map->x.push_back(coordinates[2 * next]);
            map->y.push_back(coordinates[2 * next + 1]);
            map->p.push_back(s.standard.order.p);
            map->gci.push_back(s.standard.gciFine21);
            map->phi1.push_back(s.standard.phi1);
            map->u.push_back(s.standard.gciFine21Absolute);
          }
          ++next;
        }
      },
      &decoration);
  const std::vector<double>& v = values_[q];
  const std::vector<double>* exact = exact_.empty() ? nullptr : &exact_[q];
  field::runPoints(
      0, count_,
      [&](uint64_t position, field::Point& point, std::vector<double>&, std::string& id) {
        id = std::to_string(position);
        point.id = id;
        point.values = std::span<const double>(v).subspan(position * grids_, grids_);
        point.exact = exact ? std::optional<double>((*exact)[position]) : std::nullopt;
      },
      kernel, [&](std::string_view chunk) { rows.write(chunk); }, engine);
}

MeshStudy MeshRun::labelArrays() {
  mesh::IntegerArray& interpolated = out_.extras.pointIntegers.emplace_back();
  interpolated.name = "interpolation";
  interpolated.values.assign(status_.begin(), status_.end());
  clock_.lap(out_.study);
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    out_.extras.labels.push_back(
        {"convergence=" + std::string(convergenceName(static_cast<ConvergenceType>(t))), static_cast<int32_t>(t)});
  }
  for (int s = 0; s < mesh::kInterpolationStatuses; ++s) {
    out_.extras.labels.push_back(
        {"interpolation=" + std::string(mesh::statusName(static_cast<InterpolationStatus>(s))), s});
  }
  return std::move(out_);
}

}  // namespace

MeshStudy runMeshStudy(const MeshCase& input, const StudyOptions& options, io::TempFile& rows) {
  MeshRun run(input, options);
  run.readStudyPoints();
  run.interpolateGrids();
  run.studyQuantities(rows);
  return run.labelArrays();
}

namespace {

constexpr std::string_view kMeshOutputs[] = {"summary.csv", "study.json", "report.html", "field.vtu"};

// The outputs of a field and field.vtu.
class MeshFieldStudy : public CaseFilesStudy<MeshCase> {
 public:
  using CaseFilesStudy::CaseFilesStudy;

  std::span<const std::string_view> outputs() const override { return kMeshOutputs; }
  std::vector<std::string> inputs() const override {
    std::vector<std::string> files = caseInputs(named_, input_);
    if (!options_.at.empty()) files.push_back(options_.at);
    return files;
  }

  Printout study(io::OutputSet& outputs, const OutputPlan& plan) override {
    io::TempFile& rows = openOutput(outputs, "summary.csv");
    rows.write(summaryHeader(options_.targetGci.has_value(), kCoordinateColumns));
    const MeshStudy study = runMeshStudy(input_, options_, rows);
    for (const std::string& name : study.summary.mesh->leftOut) {
      printWarning(plan, "the quantity " + name + " is left out: some grid does not hold it");
    }
    if (auto failure = mesh::writeVtu(openOutput(outputs, "field.vtu"), study.field, study.extras)) {
      throw Failure(outputError(outputs, Error{"", 0, *failure}));
    }
    return fieldOutputs(study.summary, outputs, plan);
  }
};

}  // namespace

std::unique_ptr<CaseStudy> meshFieldStudy(const std::string& named, const MeshCase& input, const StudyOptions& options) {
  return std::make_unique<MeshFieldStudy>(named, input, options);
}

}  // namespace kv::study
