// `kestrovanilque study FIELD.h5`: every point of every quantity of an HDF5 field through the
// study's one per-point study, each rank on its own contiguous range of points, reading and
// writing its slabs collectively; rank 0 then writes what every field study writes besides its
// rows (drivers/driver.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/hdf5_field.h"
#include "cluster/hdf5_summary.h"
#include "cluster/mpi_io.h"
#include "cluster/slab_manifest.h"
#include "cluster/slabs.h"
#include "field/engine.h"
#include "io/platform.h"
#include "study/field_kernel.h"
#include "drivers/kinds.h"
#include "drivers/mpi_ranks.h"
#include "study/summary.h"
#include "text/utf8.h"
#include "cases/kind.h"

namespace kv::cluster {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHdf5Outputs[] = {"summary.h5", "summary.csv", "study.json", "report.html", "slab.json"};

// The longest row name "<quantity>:<id>" that can occur: an int64 id has at most 20 characters.
size_t rowNameWidth(const std::vector<study::FieldSummary::Quantity>& quantities) {
  size_t longest = 0;
  for (const auto& q : quantities) longest = std::max(longest, q.name.size());
  return longest + 1 + 20;
}

class Hdf5Study : public study::CaseStudy {
 public:
  Hdf5Study(const std::string& file, const study::StudyOptions& options) : file_(file), options_(options) {}
  std::span<const std::string_view> outputs() const override { return kHdf5Outputs; }
  std::vector<std::string> inputs() const override { return {file_}; }
  const study::Ranks& ranks() const override { return ranks_; }
  study::Printout study(io::OutputSet& outputs, const study::OutputPlan& plan) override;

 private:
  MpiSession mpi_;
  MpiRanks ranks_{mpi_};
  std::string file_;
  study::StudyOptions options_;
};

study::Printout Hdf5Study::study(io::OutputSet& outputs, const study::OutputPlan& plan) {
  const bool root = mpi_.rank() == 0;
  auto fail = [&](const Error& e) { return Failure(e); };
  if (options_.noCsv && plan.format == "csv") {
    throw fail({"", 0, "--format csv prints summary.csv, which --no-csv leaves out"});
  }
  const auto field = std::make_unique<HdfField>(file_, MPI_COMM_WORLD);
  const study::StudyOptions& a = options_;
  MpiSession& mpi = mpi_;
  const Range whole = a.slab ? part({0, field->points()}, a.slab->index - 1, a.slab->count) : Range{0, field->points()};
  const Range mine = part(whole, static_cast<uint64_t>(mpi.rank()), static_cast<uint64_t>(mpi.size()));

  study::FieldSummary summary;
  summary.file = file_;
  summary.kind = study::caseKindKey(study::CaseKind::Hdf5);
  summary.h = field->h();
  summary.settings = study::fieldSettings(a, std::nullopt, std::nullopt);
  summary.points = whole.size();
  for (const FieldQuantity& q : field->quantities()) summary.quantities.push_back({toUtf8(q.name), study::Distribution()});
  const bool withTarget = summary.settings.targetGci.has_value();
  const size_t nameWidth = rowNameWidth(summary.quantities);

  const fs::path& folder = plan.folder;
  // The outputs, on rank 0; summary.h5 is written by all ranks into a scratch file, then copied
  // by rank 0 into its final layout; summary.csv is assembled from the ranks' spools.
  io::TempFile scratch;
  std::string scratchPath, temporaryH5, temporaryCsv;
  std::optional<Error> failure;
  if (root) {
    failure = outputs.reserve("summary.h5", temporaryH5);
    if (!failure && !a.noCsv) failure = outputs.reserve("summary.csv", temporaryCsv);
    if (!failure) failure = scratch.reserve((folder / "summary.h5.ranks").string());
    scratchPath = scratch.temporaryPath();
  }
  // The outputs' size is known before anything is written: refused at once where the disk has no
  // room for them (summary.csv about 450 bytes a row, summary.h5 about 200).
  if (root && !failure) {
    const double rows = static_cast<double>(summary.quantities.size()) * static_cast<double>(whole.size());
    const double needed = rows * (a.noCsv ? 200.0 : 650.0);
    if (const std::optional<uint64_t> free = io::platform::freeBytes(folder.string());
        free && needed > static_cast<double>(*free)) {
      char text[160];
      std::snprintf(text, sizeof text, "the outputs need about %.3g GB and the disk has %.3g GB free",
                    needed / 1e9, static_cast<double>(*free) / 1e9);
      failure = Error{folder.string(), 0, text, Error::Kind::Output};
    }
  }
  if (MpiSession::any(failure.has_value())) {
    throw fail(failure ? *failure : Error{folder.string(), 0, "cannot be written", Error::Kind::Output});
  }
  scratchPath = MpiSession::broadcast(scratchPath);
  temporaryCsv = MpiSession::broadcast(temporaryCsv);
  auto cannotWrite = [&](const std::string& what) { return fail({what, 0, "cannot be written", Error::Kind::Output}); };

  const std::vector<SummaryColumnType> columns = summaryColumnTypes(nameWidth, withTarget);
  const uint64_t quantities = summary.quantities.size();
  std::unique_ptr<SummaryFile> h5;
  bool failed = false;
  try {
    h5 = std::make_unique<SummaryFile>(scratchPath, MPI_COMM_WORLD, quantities * whole.size(), columns);
  } catch (const std::exception&) {
    failed = true;
  }
  if (MpiSession::any(failed)) throw cannotWrite((folder / "summary.h5").string());
  SpooledRows csv;
  if (!a.noCsv) {
    const std::string spool = (folder / ("summary.csv.rank" + std::to_string(mpi.rank()))).string();
    const std::string head = root ? study::summaryHeader(withTarget) : std::string();
    if (MpiSession::any(!csv.open(spool, temporaryCsv, head))) throw cannotWrite((folder / "summary.csv").string());
  }

  const study::PointStudy pointStudy(summary.h, summary.settings);
  field::FieldOptions threads;
  // By default the ranks of a node share its cores: K ranks of T threads each on C cores would
  // make every core switch between K T / C threads.
  threads.threads = a.threads ? a.threads
                              : std::max(1u, field::defaultThreads() / static_cast<unsigned>(mpi.ranksOnNode()));
  threads.chunkPoints = 1024;
  threads.progress = false;
  const uint64_t blockPoints = a.blockPoints > 0 ? a.blockPoints : SummaryFile::kChunkRows;
  std::vector<double> values, exact;
  std::vector<uint64_t> ids;
  std::string rows;
  std::string tooWide;
  SummaryBlock block(columns);
  const size_t grids = summary.h.size();
  for (uint64_t q = 0; q < quantities; ++q) {
    csv.beginSection();
    study::Distribution local;
    const std::string& name = field->quantities()[q].name;
    // Blocks end where the rows of summary.h5 reach a multiple of the block size, so that with
    // the default size every write fills whole chunks (but at the ends of a rank's range).
    // Every rank makes as many collective rounds as the rank with the most blocks.
    auto blockEnd = [&](uint64_t begin) {
      const uint64_t row = q * whole.size() + (begin - whole.begin);
      return std::min(mine.end, begin + (blockPoints - row % blockPoints));
    };
    uint64_t blocks = 0;
    for (uint64_t at = mine.begin; at < mine.end; at = blockEnd(at)) ++blocks;
    uint64_t rounds = 0;
    MPI_Allreduce(&blocks, &rounds, 1, MPI_UINT64_T, MPI_MAX, MPI_COMM_WORLD);
    uint64_t next = mine.begin;
    for (uint64_t round = 0; round < rounds; ++round) {
      const Range points{next, next < mine.end ? blockEnd(next) : mine.end};
      next = points.end;
      field->readValues(q, points, values);
      field->readExact(q, points, exact);
      field->readIds(points, ids);
      rows.clear();
      block.clear();
      // The points of the block on every thread; their rows, typed rows and distribution in order.
      study::FieldKernel kernel(pointStudy, local, name, !a.noCsv, [&](std::span<const study::QuantityStudy> studies) {
        for (const study::QuantityStudy& s : studies) {
          if (tooWide.empty() && !block.add(s, tooWide)) break;
        }
      });
      field::runPoints(
          points.begin, points.size(),
          [&](uint64_t position, field::Point& point, std::vector<double>&, std::string& id) {
            const uint64_t i = position - points.begin;
            id = field->idText(ids[i]);
            point.id = id;
            point.values = std::span<const double>(values).subspan(i * grids, grids);
            point.exact = exact[i];
          },
          kernel, [&](std::string_view chunk) { rows.append(chunk); }, threads);
      if (MpiSession::any(!tooWide.empty())) {
        throw fail({file_, 0, tooWide.empty() ? "a row name is too long for summary.h5" : tooWide});
      }
      failed = !h5->write(q * whole.size() + (points.begin - whole.begin), block) || failed;
      if (!a.noCsv) failed = !csv.append(rows) || failed;
    }
    summary.quantities[q].distribution = mergeOnRankZero(local);
  }
  failed = !h5->close() || failed;
  h5.reset();
  std::vector<uint64_t> csvSections;  // where each quantity's rows begin, then the size
  if (!a.noCsv) {
    failed = MpiSession::any(failed) || !csv.assemble(csvSections);
  }
  if (MpiSession::any(failed)) throw cannotWrite(folder.string() + "/summary.h5 or summary.csv");

  study::Printout out;
  if (root) {
    bool ok = canonicalCopy(scratchPath, temporaryH5);
    scratch.discard();
    if (ok && a.slab) {
      SlabManifest manifest;
      manifest.slab = *a.slab;
      manifest.totalPoints = field->points();
      manifest.firstPoint = whole.begin;
      manifest.summary = summary;
      manifest.nameWidth = nameWidth;
      manifest.csv = !a.noCsv;
      manifest.csvSections = csvSections;
      manifest.input = field->fingerprint();
      ok = !outputs.write("slab.json", manifest.toJson().dump() + "\n");
    }
    failed = !ok;
    if (ok) out = study::fieldOutputs(summary, outputs, plan);
  }
  if (MpiSession::any(failed)) throw cannotWrite(folder.string());
  return out;
}

}  // namespace

}  // namespace kv::cluster

namespace kv::study {

std::unique_ptr<CaseStudy> hdf5Study(const std::string& file, const StudyOptions& options) {
  return std::make_unique<cluster::Hdf5Study>(file, options);
}

}  // namespace kv::study
