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

const SummaryColumn& columnNamed(std::string_view name) {
  for (const SummaryColumn& c : summaryColumns()) {
    if (c.name == name) return c;
  }
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

}  // namespace

MeshStudy runMeshStudy(const MeshCase& input, const StudyOptions& options, io::TempFile& rows) {
  MeshStudy out;
  FieldSummary& summary = out.summary;
  static_cast<CaseHead&>(summary) = input;
  summary.kind = caseKindKey(CaseKind::MeshField);
  summary.settings = fieldSettings(options, std::nullopt, std::nullopt,
                                   input.cells.empty() ? kNotANumber : input.cells.front(), input.dimension);
  MeshSummary& m = summary.mesh.emplace();
  m.at = options.at;
  m.degree =
      options.interpDegree > 0 ? options.interpDegree : mesh::defaultDegree(summary.settings.theoreticalOrder);

  // The coarsest grid names the quantities and, without --at, gives the study points.
  Laps clock;
  const size_t grids = input.gridFiles.size(), own = grids - 1;
  GridPoints coarsest = readGridPoints(input.gridFiles[own]);
  GridPoints at;
  if (!options.at.empty()) at = readGridPoints(options.at, false);
  clock.lap(out.read);
  mesh::PointCloud& points = options.at.empty() ? coarsest.cloud : at.cloud;
  m.dimension = usedDimension(coarsest.cloud);
  if (!options.at.empty()) m.dimension = std::max(m.dimension, usedDimension(at.cloud));
  setDimension(coarsest.cloud, m.dimension);
  setDimension(at.cloud, m.dimension);
  m.neighbours = mesh::defaultNeighbours(m.dimension, m.degree);
  const size_t count = points.size();

  std::vector<std::string> names;
  for (const mesh::Quantity& q : coarsest.cloud.quantities) names.push_back(q.name);
  // What the study keeps per point: its values on every grid and the numbers of field.vtu.
  const uint64_t pointBytes =
      names.size() * (8 * grids + 8 * std::size(kVtuColumns) + 4) + 8 * m.dimension + 1;
  if (count > kMeshFileBudget / pointBytes) {
    throw Failure(options.at.empty() ? input.gridFiles[own] : options.at, 0,
                     std::to_string(count) + " study points of " + std::to_string(names.size()) +
                         " quantities on " + std::to_string(grids) + " grids take " +
                         std::to_string(pointBytes) + " bytes each, beyond " +
                         std::to_string(kMeshFileBudget >> 20) +
                         " MiB: study fewer points (--at) or fewer quantities");
  }
  // values[q][s * grids + g]: quantity q at study point s on grid g (finest first).
  std::vector<std::vector<double>> values(names.size(),
                                          std::vector<double>(count * grids, kNotANumber));
  std::vector<std::vector<double>> exact;
  std::vector<uint8_t> status(count, static_cast<uint8_t>(InterpolationStatus::Exact));

  mesh::InterpolationOptions interpolation;
  interpolation.degree = m.degree;
  interpolation.threads = options.threads;
  // Interpolates `source` to the study points; `g` is its grid, or `grids` for the exact values.
  auto carry = [&](mesh::PointCloud& source, size_t g, const std::string& file, MeshGrid& record) {
    matchDimension(source, m.dimension, file);
    const std::vector<size_t> missing = keepQuantities(source, names);
    if (g < grids) {
      for (auto k = missing.rbegin(); k != missing.rend(); ++k) {
        m.leftOut.push_back(names[*k]);
        names.erase(names.begin() + static_cast<std::ptrdiff_t>(*k));
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(*k));
        source.quantities.erase(source.quantities.begin() + static_cast<std::ptrdiff_t>(*k));
      }
    }
    clock.lap(out.read);
    const mesh::KdTree tree(source);
    out.treeBytes = std::max(out.treeBytes, tree.memoryBytes());
    clock.lap(out.tree);
    mesh::Interpolated result;
    if (auto e = mesh::interpolate(source, tree, points.coordinates, interpolation, result))
      throw Failure(file, 0, *e);
    clock.lap(out.interpolate);
    std::vector<std::vector<double>>& target = g < grids ? values : exact;
    if (g == grids) exact.assign(names.size(), std::vector<double>(count, kNotANumber));
    for (size_t s = 0; s < count; ++s) {
      const InterpolationStatus st = result.status[s];
      ++record.status[static_cast<size_t>(st)];
      if (g < grids)
        status[s] =
            static_cast<uint8_t>(worseStatus(static_cast<InterpolationStatus>(status[s]), st));
      for (size_t q = 0; q < names.size(); ++q)
        target[q][g < grids ? s * grids + g : s] = result.values[q][s];
    }
  };

  for (size_t g = 0; g < grids; ++g) {
    MeshGrid& record = m.grids.emplace_back();
    record.file = input.gridFiles[g];
    if (g == own && options.at.empty()) {
      record.points = count;
      record.interpolated = false;
      record.cellCentres = coarsest.cellCentres;
      record.status[static_cast<size_t>(InterpolationStatus::Exact)] = count;
      for (size_t q = 0; q < names.size(); ++q) {
        const std::vector<double>& mine = coarsest.cloud.quantity(names[q])->values;
        for (size_t s = 0; s < count; ++s) values[q][s * grids + g] = mine[s];
      }
      continue;
    }
    // With --at, the coarsest grid is interpolated too, from the copy already read.
    GridPoints grid;
    if (g != own) grid = readGridPoints(input.gridFiles[g]);
    GridPoints& source = g == own ? coarsest : grid;
    record.points = source.cloud.size();
    record.cellCentres = source.cellCentres;
    carry(source.cloud, g, record.file, record);
  }
  if (names.empty()) throw Failure(input.file, 0, "no quantity is held by every grid");
  if (input.exactFile) {
    GridPoints file = readGridPoints(*input.exactFile);
    MeshGrid& record = m.exact.emplace();
    record.file = *input.exactFile;
    record.points = file.cloud.size();
    record.cellCentres = file.cellCentres;
    carry(file.cloud, grids, record.file, record);
  }
  for (uint8_t s : status) ++m.points[s];
  clock.lap(out.read);

  // Every quantity through the field kernel, its rows in order; the numbers of field.vtu kept.
  std::vector<const SummaryColumn*> vtuColumns;
  for (std::string_view name : kVtuColumns) vtuColumns.push_back(&columnNamed(name));
  const SummaryColumn& convergence = columnNamed("convergence");
  const MeshDecoration decoration(status, points);
  const PointStudy study(input.h, summary.settings);
  field::FieldOptions engine;
  engine.threads = options.threads;
  engine.progress = false;
  if (options.blockPoints > 0) engine.chunkPoints = options.blockPoints;
  const bool several = names.size() > 1;
  const uint64_t stride = std::max<uint64_t>(1, (count + kMapPoints - 1) / kMapPoints);
  summary.points = count;
  mesh::PointCloud& field = out.field;
  field.dim = m.dimension;
  field.coordinates = points.coordinates;
  // The cells of the study points' own file, when it is a mesh whose points they are.
  GridPoints& studied = options.at.empty() ? coarsest : at;
  if (!studied.cellCentres) field.cells = std::move(studied.cloud.cells);
  for (size_t q = 0; q < names.size(); ++q) {
    summary.quantities.push_back({names[q], Distribution()});
    const size_t first = field.quantities.size();
    const std::string prefix = several ? names[q] + "." : "";
    for (std::string_view name : kVtuColumns)
      field.quantities.push_back({prefix + std::string(name), {}});
    mesh::IntegerArray& types = out.extras.pointIntegers.emplace_back();
    types.name = prefix + "convergence";
    const bool mapped = m.dimension == 2 && q < kMaxMappedQuantities;
    MeshMap* map = mapped ? &m.maps.emplace_back() : nullptr;
    if (map) map->of = count;
    uint64_t next = 0;  // the position of the next study handed over
    FieldKernel kernel(
        study, summary.quantities.back().distribution, names[q], true,
        [&](std::span<const QuantityStudy> studies) {
          for (const QuantityStudy& s : studies) {
            for (size_t c = 0; c < vtuColumns.size(); ++c)
              field.quantities[first + c].values.push_back(vtuColumns[c]->number(s));
            types.values.push_back(static_cast<int32_t>(convergence.number(s)));
            if (map && sampled(next, stride)) {
              map->x.push_back(points.coordinates[2 * next]);
              map->y.push_back(points.coordinates[2 * next + 1]);
              map->p.push_back(s.standard.order.p);
              map->gci.push_back(s.standard.gciFine21);
            }
            ++next;
          }
        },
        &decoration);
    const std::vector<double>& v = values[q];
    field::runPoints(
        0, count,
        [&](uint64_t position, field::Point& point, std::vector<double>&, std::string& id) {
          id = std::to_string(position);
          point.id = id;
          point.values = std::span<const double>(v).subspan(position * grids, grids);
          point.exact = exact.empty() ? std::nullopt : std::optional<double>(exact[q][position]);
        },
        kernel, [&](std::string_view chunk) { rows.write(chunk); }, engine);
  }
  mesh::IntegerArray& interpolated = out.extras.pointIntegers.emplace_back();
  interpolated.name = "interpolation";
  interpolated.values.assign(status.begin(), status.end());
  clock.lap(out.study);
  for (size_t t = 0; t < kConvergenceTypes; ++t) {
    out.extras.labels.push_back(
        {"convergence=" + std::string(convergenceName(static_cast<ConvergenceType>(t))),
         static_cast<int32_t>(t)});
  }
  for (int s = 0; s < mesh::kInterpolationStatuses; ++s) {
    out.extras.labels.push_back(
        {"interpolation=" + std::string(mesh::statusName(static_cast<InterpolationStatus>(s))), s});
  }
  return out;
}

namespace {

constexpr std::string_view kMeshOutputs[] = {"summary.csv", "study.json", "report.html", "field.vtu"};

// The outputs of a field and field.vtu.
class MeshFieldStudy : public CaseStudy {
 public:
  MeshFieldStudy(const std::string& named, const MeshCase& input, const StudyOptions& options)
      : named_(named), input_(input), options_(options) {}

  std::span<const std::string_view> outputs() const override { return kMeshOutputs; }
  std::vector<std::string> inputs() const override {
    std::vector<std::string> files = caseInputs(named_, input_);
    if (!options_.at.empty()) files.push_back(options_.at);
    return files;
  }

  Printout study(io::OutputSet& outputs, const OutputPlan& plan) override {
    io::TempFile* rows = nullptr;
    if (auto failure = outputs.open("summary.csv", rows)) throw Failure(outputError(outputs, *failure));
    rows->write(summaryHeader(options_.targetGci.has_value(), kCoordinateColumns));
    const MeshStudy study = runMeshStudy(input_, options_, *rows);
    for (const std::string& name : study.summary.mesh->leftOut) {
      printWarning(plan, "the quantity " + name + " is left out: some grid does not hold it");
    }
    io::TempFile* vtu = nullptr;
    if (auto failure = outputs.open("field.vtu", vtu)) throw Failure(outputError(outputs, *failure));
    if (auto failure = mesh::writeVtu(*vtu, study.field, study.extras)) {
      throw Failure(outputError(outputs, Error{"", 0, *failure}));
    }
    return fieldOutputs(study.summary, outputs, plan);
  }

 private:
  std::string named_;
  const MeshCase& input_;
  StudyOptions options_;
};

}  // namespace

std::unique_ptr<CaseStudy> meshFieldStudy(const std::string& named, const MeshCase& input, const StudyOptions& options) {
  return std::make_unique<MeshFieldStudy>(named, input, options);
}

}  // namespace kv::study
