// `kestrovanilque merge SLAB_DIR... --out DIR`: joins the folders of the slabs of a job array
// (`study FIELD.h5 --slab I/N`) into the outputs of one run over the whole field, byte for byte.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/hdf5_summary.h"
#include "cluster/mpi_io.h"
#include "cluster/slab_manifest.h"
#include "io/whole_file.h"
#include "drivers/kinds.h"
#include "drivers/mpi_ranks.h"

namespace kv::cluster {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMergeOutputs[] = {"summary.h5", "summary.csv", "study.json", "report.html"};
constexpr uint64_t kBlockRows = 65536;
constexpr size_t kMaxManifestBytes = size_t{64} << 20;

struct SlabFolder {
  fs::path folder;
  SlabManifest manifest;
};

Failure slabError(const fs::path& file, const std::string& message) {
  return Failure(file.string(), 0, message);
}

Failure outputError(const fs::path& file) {
  return Failure(file.string(), 0, "cannot be written", Error::Kind::Output);
}

// Copies bytes [begin, end) of a file.
void copyRange(const fs::path& path, uint64_t begin, uint64_t end, io::TempFile& out) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(begin));
  std::vector<char> buffer(1 << 20);
  for (uint64_t left = end - begin; left > 0 && in;) {
    const uint64_t n = std::min<uint64_t>(left, buffer.size());
    in.read(buffer.data(), static_cast<std::streamsize>(n));
    if (!out.write(std::string_view(buffer.data(), static_cast<size_t>(in.gcount())))) throw outputError(out.path());
    left -= static_cast<uint64_t>(in.gcount());
  }
  if (!in) throw slabError(path, "cannot be read");
}

SlabFolder readSlab(const fs::path& folder) {
  const fs::path manifest = folder / "slab.json";
  const io::WholeFile read = io::readWholeFile(manifest.string(), kMaxManifestBytes);
  if (read.status != io::WholeFile::Status::Ok) {
    throw slabError(manifest, "cannot be read: is this the folder of a --slab run?");
  }
  try {
    return {folder, SlabManifest::fromJson(nlohmann::json::parse(read.text))};
  } catch (const std::exception& e) {
    throw slabError(manifest, std::string("is not a slab manifest of this tool (") + e.what() + ")");
  }
}

std::string slabName(const SlabFolder& s) {
  return "slab " + std::to_string(s.manifest.slab.index) + "/" + std::to_string(s.manifest.slab.count) + " (" +
         s.folder.string() + ")";
}

// The slabs, checked to be all the slabs of one study of one input, in order.
std::vector<SlabFolder> slabsInOrder(const std::vector<std::string>& folders) {
  std::vector<SlabFolder> slabs;
  for (const std::string& f : folders) slabs.push_back(readSlab(f));
  const SlabFolder& first = slabs.front();
  const nlohmann::json study = first.manifest.studyJson();
  std::map<uint64_t, const SlabFolder*> byIndex;
  for (const SlabFolder& s : slabs) {
    if (s.manifest.studyJson() != study) {
      throw Failure(s.folder.string(), 0,
                       "is a slab of another study than " + first.folder.string() +
                           " (case, grids, quantities, options or slab count differ)");
    }
    if (s.manifest.input != first.manifest.input) {
      throw Failure("", 0,
                       slabName(first) + " and " + slabName(s) + " were made from different versions of " +
                           first.manifest.summary.file + " (" + first.manifest.input + " against " +
                           s.manifest.input + "): study every slab of one version");
    }
    auto [at, inserted] = byIndex.emplace(s.manifest.slab.index, &s);
    if (!inserted) {
      throw Failure("", 0, "slab " + std::to_string(s.manifest.slab.index) + "/" +
                                  std::to_string(s.manifest.slab.count) + " is given twice: " +
                                  at->second->folder.string() + " and " + s.folder.string());
    }
  }
  const uint64_t count = first.manifest.slab.count;
  for (uint64_t i = 1; i <= count; ++i) {
    if (!byIndex.count(i)) {
      throw Failure("", 0, "slab " + std::to_string(i) + "/" + std::to_string(count) +
                                  " is missing: give the folders of all " + std::to_string(count) + " slabs");
    }
  }
  std::vector<SlabFolder> ordered;
  for (auto& [index, s] : byIndex) ordered.push_back(*s);
  return ordered;
}

// The summary of the whole field: the first slab's, with every slab's distribution merged.
study::FieldSummary mergedSummary(const std::vector<SlabFolder>& slabs) {
  const SlabManifest& first = slabs.front().manifest;
  study::FieldSummary summary = first.summary;
  summary.points = first.totalPoints;
  for (size_t q = 0; q < summary.quantities.size(); ++q) {
    summary.quantities[q].distribution.clear();
    for (const SlabFolder& s : slabs) summary.quantities[q].distribution.merge(s.manifest.summary.quantities[q].distribution);
  }
  return summary;
}

// summary.csv: the header of the first slab, then quantity by quantity the rows of each slab.
void mergeCsv(const std::vector<SlabFolder>& slabs, size_t quantities, io::OutputSet& outputs) {
  for (const SlabFolder& s : slabs) {
    const fs::path path = s.folder / "summary.csv";
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (error || size != s.manifest.csvSections.back()) {
      throw slabError(path, "is not the summary.csv that its slab wrote (" + std::to_string(s.manifest.csvSections.back()) +
                                " bytes)");
    }
  }
  io::TempFile& csv = study::openOutput(outputs, "summary.csv");
  copyRange(slabs.front().folder / "summary.csv", 0, slabs.front().manifest.csvSections.front(), csv);
  for (size_t q = 0; q < quantities; ++q) {
    for (const SlabFolder& s : slabs) {
      copyRange(s.folder / "summary.csv", s.manifest.csvSections[q], s.manifest.csvSections[q + 1], csv);
    }
  }
}

// Copies the rows of one slab's summary.h5, quantity by quantity, in blocks, into `h5` (the
// rows of the whole field `summary`, written to `target`).
void copySlabRows(const SlabFolder& s, const study::FieldSummary& summary, SummaryFile& h5, SummaryBlock& block,
                  const fs::path& target) {
  const fs::path path = s.folder / "summary.h5";
  const uint64_t mine = s.manifest.summary.points;
  const size_t quantities = summary.quantities.size();
  std::unique_ptr<SummaryFile> in;
  try {
    in = std::make_unique<SummaryFile>(SummaryFile::openForReading(path.string()));
  } catch (const std::exception& e) {
    throw slabError(path, e.what());
  }
  if (in->rows() != quantities * mine || in->columns().size() != h5.columns().size()) {
    throw slabError(path, "does not hold the rows of its slab");
  }
  for (size_t q = 0; q < quantities; ++q) {
    for (uint64_t done = 0; done < mine; done += kBlockRows) {
      const uint64_t n = std::min(kBlockRows, mine - done);
      if (!in->read(q * mine + done, n, block)) throw slabError(path, "cannot be read");
      if (!h5.write(q * summary.points + s.manifest.firstPoint + done, block)) throw outputError(target);
    }
  }
}

// summary.h5: the rows of each slab, in the order of the slabs, into a scratch file, then laid
// out as one run lays it out.
void mergeH5(const std::vector<SlabFolder>& slabs, const study::FieldSummary& summary, io::OutputSet& outputs) {
  const std::vector<SummaryColumnType> columns =
      summaryColumnTypes(slabs.front().manifest.nameWidth, summary.settings.targetGci.has_value());
  const fs::path target = outputs.folder() / "summary.h5";
  std::string temporaryH5;
  if (auto failure = outputs.reserve("summary.h5", temporaryH5)) throw Failure(*failure);
  io::TempFile scratch;
  if (auto failure = scratch.reserve((outputs.folder() / "summary.h5.slabs").string())) throw Failure(*failure);
  {
    SummaryFile h5(scratch.temporaryPath(), MPI_COMM_SELF, summary.quantities.size() * summary.points, columns);
    SummaryBlock block(columns);
    for (const SlabFolder& s : slabs) copySlabRows(s, summary, h5, block, target);
    if (!h5.close()) throw outputError(target);
  }
  if (!canonicalCopy(scratch.temporaryPath(), temporaryH5)) throw outputError(target);
  scratch.discard();
}

// The merged outputs into `outputs` (created); what standard output shows.
// summary.csv is merged when the slabs have it, unless --no-csv.
study::Printout merge(const std::vector<std::string>& folders, bool noCsv, io::OutputSet& outputs,
                      const study::OutputPlan& plan) {
  const std::vector<SlabFolder> slabs = slabsInOrder(folders);
  const study::FieldSummary summary = mergedSummary(slabs);
  const bool csv = slabs.front().manifest.csv && !noCsv;
  if (!csv && plan.format == "csv") {
    throw Failure("", 0, "--format csv prints summary.csv, which the slabs were studied without (--no-csv)");
  }
  if (csv) mergeCsv(slabs, summary.quantities.size(), outputs);
  mergeH5(slabs, summary, outputs);
  return study::fieldOutputs(summary, outputs, plan);
}

// One process does the work; under mpirun the other ranks wait for its outcome.
class SlabMerge : public study::CaseStudy {
 public:
  SlabMerge(const std::vector<std::string>& folders, bool noCsv) : folders_(folders), noCsv_(noCsv) {}
  std::span<const std::string_view> outputs() const override { return kMergeOutputs; }
  // Every file of every slab folder.
  std::vector<std::string> inputs() const override {
    std::vector<std::string> files;
    for (const std::string& folder : folders_) {
      for (const char* name : {"summary.h5", "summary.csv", "study.json", "slab.json", "report.html"}) {
        files.push_back((fs::path(folder) / name).string());
      }
    }
    return files;
  }
  const study::Ranks& ranks() const override { return ranks_; }
  study::Printout study(io::OutputSet& outputs, const study::OutputPlan& plan) override {
    if (mpi_.rank() != 0) return {};
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    return merge(folders_, noCsv_, outputs, plan);
  }

 private:
  MpiSession mpi_;
  MpiRanks ranks_{mpi_};
  std::vector<std::string> folders_;
  bool noCsv_;
};

}  // namespace

}  // namespace kv::cluster

namespace kv::study {

std::unique_ptr<CaseStudy> slabMerge(const std::vector<std::string>& folders, const StudyOptions& options) {
  return std::make_unique<cluster::SlabMerge>(folders, options.noCsv);
}

}  // namespace kv::study
