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

// What the field is, as every field study describes it: the points of the slab `whole`.
study::FieldSummary describe(const std::string& file, const HdfField& field, const study::StudyOptions& options,
                             Range whole) {
  study::FieldSummary summary;
  summary.file = file;
  summary.kind = study::caseKindKey(study::CaseKind::Hdf5);
  summary.h = field.h();
  summary.settings = study::fieldSettings(options, std::nullopt, std::nullopt);
  summary.points = whole.size();
  for (const FieldQuantity& q : field.quantities()) summary.quantities.push_back({toUtf8(q.name), study::Distribution()});
  return summary;
}

// The threads of one rank, in blocks of 1024 points.
field::FieldOptions rankThreads(const study::StudyOptions& options, const MpiSession& mpi) {
  field::FieldOptions threads;
  // By default the ranks of a node share its cores: K ranks of T threads each on C cores would
  // make every core switch between K T / C threads.
  threads.threads = options.threads ? options.threads
                                    : std::max(1u, field::defaultThreads() / static_cast<unsigned>(mpi.ranksOnNode()));
  threads.chunkPoints = 1024;
  threads.progress = false;
  return threads;
}

// One rank's part in the study of an HDF5 field, step by step (Hdf5Study::study), and the state
// the steps hand on. Every step is collective: each rank calls them all, in the same order. What
// can fail on one rank alone (its writes, rank 0's outputs) is shared (MpiSession::any) before
// any rank throws, so that every rank leaves together and none is left waiting in a collective
// call that the others never make.
class Hdf5Run {
 public:
  Hdf5Run(const MpiSession& mpi, const std::string& file, const study::StudyOptions& options,
          io::OutputSet& outputs, const study::OutputPlan& plan);
  Hdf5Run(const Hdf5Run&) = delete;
  Hdf5Run& operator=(const Hdf5Run&) = delete;

  uint64_t quantities() const { return summary_.quantities.size(); }
  // Rank 0 reserves the outputs where the disk has room for them; every rank learns their names.
  void prepareOutputs();
  // Every rank opens summary.h5's scratch file and its spool of summary.csv.
  void openSummaries();
  // Quantity q on this rank's points, block after block.
  void studyQuantity(uint64_t q);
  // summary.h5's scratch file closed and summary.csv assembled from the spools.
  void closeSummaries();
  // Rank 0 writes the outputs beside the rows; what standard output shows (on rank 0).
  study::Printout finish();

 private:
  // Rank 0: the temporary files of the outputs, refused where the disk has no room for them.
  std::optional<Error> reserveOutputs();
  // The points [points.begin, points.end) of quantity q (none for a rank that has no more).
  void studyBlock(uint64_t q, Range points, study::Distribution& local);
  // The row of summary.h5 of point `point` of quantity q.
  uint64_t rowOf(uint64_t q, uint64_t point) const { return q * whole_.size() + (point - whole_.begin); }
  // Rank 0: summary.h5 laid out from the scratch file, slab.json for a slab, then what every
  // field study writes. Throws Failure.
  study::Printout finishOnRoot();
  Failure cannotWrite(const std::string& what) const {
    return Failure(what, 0, "cannot be written", Error::Kind::Output);
  }

  const MpiSession& mpi_;
  const bool root_;
  const std::string& file_;
  const study::StudyOptions& options_;
  io::OutputSet& outputs_;
  const study::OutputPlan& plan_;
  const fs::path& folder_;
  const std::unique_ptr<HdfField> field_;
  const Range whole_;  // the points of the slab (all of them without --slab)
  const Range mine_;   // this rank's
  study::FieldSummary summary_;
  const size_t nameWidth_;
  const std::vector<SummaryColumnType> columns_;
  const study::PointStudy pointStudy_;
  const field::FieldOptions threads_;
  // The outputs: summary.h5 is written by all ranks into a scratch file, then copied by rank 0
  // into its final layout; summary.csv is assembled from the ranks' spools.
  io::TempFile scratch_;
  std::string scratchPath_, temporaryH5_, temporaryCsv_;
  std::unique_ptr<SummaryFile> h5_;
  SpooledRows csv_;
  std::vector<uint64_t> csvSections_;  // where each quantity's rows begin, then the size
  bool failed_ = false;  // a write of this rank failed
  // One block's values, exact values, ids, rows of summary.csv and of summary.h5.
  std::vector<double> values_, exact_;
  std::vector<uint64_t> ids_;
  std::string rows_;
  std::string tooWide_;  // why a row does not fit summary.h5
  SummaryBlock block_;
};

Hdf5Run::Hdf5Run(const MpiSession& mpi, const std::string& file, const study::StudyOptions& options,
                 io::OutputSet& outputs, const study::OutputPlan& plan)
    : mpi_(mpi),
      root_(mpi.rank() == 0),
      file_(file),
      options_(options),
      outputs_(outputs),
      plan_(plan),
      folder_(plan.folder),
      field_(std::make_unique<HdfField>(file, MPI_COMM_WORLD)),
      whole_(options.slab ? part({0, field_->points()}, options.slab->index - 1, options.slab->count)
                          : Range{0, field_->points()}),
      mine_(part(whole_, static_cast<uint64_t>(mpi.rank()), static_cast<uint64_t>(mpi.size()))),
      summary_(describe(file, *field_, options, whole_)),
      nameWidth_(rowNameWidth(summary_.quantities)),
      columns_(summaryColumnTypes(nameWidth_, summary_.settings.targetGci.has_value())),
      pointStudy_(summary_.h, summary_.settings),
      threads_(rankThreads(options, mpi)),
      block_(columns_) {}

void Hdf5Run::prepareOutputs() {
  std::optional<Error> failure;
  if (root_) failure = reserveOutputs();
  if (MpiSession::any(failure.has_value())) {
    throw Failure(failure ? *failure : Error{folder_.string(), 0, "cannot be written", Error::Kind::Output});
  }
  scratchPath_ = MpiSession::broadcast(scratchPath_);
  temporaryCsv_ = MpiSession::broadcast(temporaryCsv_);
}

std::optional<Error> Hdf5Run::reserveOutputs() {
  std::optional<Error> failure = outputs_.reserve("summary.h5", temporaryH5_);
  if (!failure && !options_.noCsv) failure = outputs_.reserve("summary.csv", temporaryCsv_);
  if (!failure) failure = scratch_.reserve((folder_ / "summary.h5.ranks").string());
  scratchPath_ = scratch_.temporaryPath();
  if (failure) return failure;
  // The outputs' size is known before anything is written: refused at once where the disk has no
  // room for them (summary.csv about 450 bytes a row, summary.h5 about 200).
  const double rows = static_cast<double>(quantities()) * static_cast<double>(whole_.size());
  const double needed = rows * (options_.noCsv ? 200.0 : 650.0);
  if (const std::optional<uint64_t> free = io::platform::freeBytes(folder_.string());
      free && needed > static_cast<double>(*free)) {
    char text[160];
    std::snprintf(text, sizeof text, "the outputs need about %.3g GB and the disk has %.3g GB free", needed / 1e9,
                  static_cast<double>(*free) / 1e9);
    return Error{folder_.string(), 0, text, Error::Kind::Output};
  }
  return std::nullopt;
}

void Hdf5Run::openSummaries() {
  bool failed = false;
  try {
    h5_ = std::make_unique<SummaryFile>(scratchPath_, MPI_COMM_WORLD, quantities() * whole_.size(), columns_);
  } catch (const std::exception&) {
    failed = true;
  }
  if (MpiSession::any(failed)) throw cannotWrite((folder_ / "summary.h5").string());
  if (!options_.noCsv) {
    const std::string spool = (folder_ / ("summary.csv.rank" + std::to_string(mpi_.rank()))).string();
    const std::string head = root_ ? study::summaryHeader(summary_.settings.targetGci.has_value()) : std::string();
    if (MpiSession::any(!csv_.open(spool, temporaryCsv_, head))) throw cannotWrite((folder_ / "summary.csv").string());
  }
}

void Hdf5Run::studyQuantity(uint64_t q) {
  csv_.beginSection();
  study::Distribution local;
  // Blocks end where the rows of summary.h5 reach a multiple of the block size, so that with
  // the default size every write fills whole chunks (but at the ends of a rank's range).
  const uint64_t blockPoints = options_.blockPoints > 0 ? options_.blockPoints : SummaryFile::kChunkRows;
  auto blockEnd = [&](uint64_t begin) {
    return std::min(mine_.end, begin + (blockPoints - rowOf(q, begin) % blockPoints));
  };
  // Every rank makes as many collective rounds as the rank with the most blocks.
  uint64_t blocks = 0;
  for (uint64_t at = mine_.begin; at < mine_.end; at = blockEnd(at)) ++blocks;
  uint64_t rounds = 0;
  MPI_Allreduce(&blocks, &rounds, 1, MPI_UINT64_T, MPI_MAX, MPI_COMM_WORLD);
  uint64_t next = mine_.begin;
  for (uint64_t round = 0; round < rounds; ++round) {
    const Range points{next, next < mine_.end ? blockEnd(next) : mine_.end};
    next = points.end;
    studyBlock(q, points, local);
  }
  summary_.quantities[q].distribution = mergeOnRankZero(local);
}

void Hdf5Run::studyBlock(uint64_t q, Range points, study::Distribution& local) {
  field_->readValues(q, points, values_);
  field_->readExact(q, points, exact_);
  field_->readIds(points, ids_);
  rows_.clear();
  block_.clear();
  // The points of the block on every thread; their rows, typed rows and distribution in order.
  const std::string& name = field_->quantities()[q].name;
  study::FieldKernel kernel(pointStudy_, local, name, !options_.noCsv, [&](std::span<const study::QuantityStudy> studies) {
    for (const study::QuantityStudy& s : studies) {
      if (tooWide_.empty() && !block_.add(s, tooWide_)) break;
    }
  });
  const size_t grids = summary_.h.size();
  field::runPoints(
      points.begin, points.size(),
      [&](uint64_t position, field::Point& point, std::vector<double>&, std::string& id) {
        const uint64_t i = position - points.begin;
        id = field_->idText(ids_[i]);
        point.id = id;
        point.values = std::span<const double>(values_).subspan(i * grids, grids);
        point.exact = exact_[i];
      },
      kernel, [&](std::string_view chunk) { rows_.append(chunk); }, threads_);
  if (MpiSession::any(!tooWide_.empty())) {
    throw Failure(file_, 0, tooWide_.empty() ? "a row name is too long for summary.h5" : tooWide_);
  }
  failed_ = !h5_->write(rowOf(q, points.begin), block_) || failed_;
  if (!options_.noCsv) failed_ = !csv_.append(rows_) || failed_;
}

void Hdf5Run::closeSummaries() {
  failed_ = !h5_->close() || failed_;
  h5_.reset();
  if (!options_.noCsv) failed_ = MpiSession::any(failed_) || !csv_.assemble(csvSections_);
  if (MpiSession::any(failed_)) throw cannotWrite(folder_.string() + "/summary.h5 or summary.csv");
}

study::Printout Hdf5Run::finish() {
  // A failure of rank 0 is every rank's: all leave together.
  std::optional<Error> failure;
  study::Printout out;
  if (root_) {
    try {
      out = finishOnRoot();
    } catch (const Failure& e) {
      failure = e.error();
    }
  }
  if (MpiSession::any(failure.has_value())) throw failure ? Failure(*failure) : cannotWrite(folder_.string());
  return out;
}

study::Printout Hdf5Run::finishOnRoot() {
  bool ok = canonicalCopy(scratchPath_, temporaryH5_);
  scratch_.discard();
  if (ok && options_.slab) {
    SlabManifest manifest;
    manifest.slab = *options_.slab;
    manifest.totalPoints = field_->points();
    manifest.firstPoint = whole_.begin;
    manifest.summary = summary_;
    manifest.nameWidth = nameWidth_;
    manifest.csv = !options_.noCsv;
    manifest.csvSections = csvSections_;
    manifest.input = field_->fingerprint();
    ok = !outputs_.write("slab.json", manifest.toJson().dump() + "\n");
  }
  if (!ok) throw cannotWrite(folder_.string());
  return study::fieldOutputs(summary_, outputs_, plan_);
}

class Hdf5Study : public study::CaseStudy {
 public:
  Hdf5Study(const std::string& file, const study::StudyOptions& options) : file_(file), options_(options) {}
  std::span<const std::string_view> outputs() const override { return kHdf5Outputs; }
  std::vector<std::string> inputs() const override { return {file_}; }
  const study::Ranks& ranks() const override { return ranks_; }

  study::Printout study(io::OutputSet& outputs, const study::OutputPlan& plan) override {
    Hdf5Run run(mpi_, file_, options_, outputs, plan);
    run.prepareOutputs();
    run.openSummaries();
    for (uint64_t q = 0; q < run.quantities(); ++q) run.studyQuantity(q);
    run.closeSummaries();
    return run.finish();
  }

 private:
  MpiSession mpi_;
  MpiRanks ranks_{mpi_};
  std::string file_;
  study::StudyOptions options_;
};

}  // namespace

}  // namespace kv::cluster

namespace kv::study {

std::unique_ptr<CaseStudy> hdf5Study(const std::string& file, const StudyOptions& options) {
  return std::make_unique<cluster::Hdf5Study>(file, options);
}

}  // namespace kv::study
