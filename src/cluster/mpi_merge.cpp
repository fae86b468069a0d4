// `kestrovanilque merge SLAB_DIR... --out DIR`: joins the folders of the slabs of a job array
// (`study FIELD.h5 --slab I/N`) into the outputs of one run over the whole field.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/command.h"
#include "cluster/distribution.h"
#include "cluster/field_outputs.h"
#include "cluster/hdf5_summary.h"
#include "cluster/mpi_io.h"
#include "field/platform.h"
#include "study/output_files.h"

namespace kv::cluster {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "kestrovanilque merge";
constexpr uint64_t kBlockRows = 65536;

struct SlabFolder {
  fs::path folder;
  uint64_t index = 0;
  uint64_t count = 0;
  uint64_t totalPoints = 0;
  uint64_t firstPoint = 0;
  FieldHeader header;
  bool csv = false;
  std::vector<uint64_t> csvSections;
  std::vector<field::FieldStats> stats;
};

// What stops a merge, with the exit status: 2 bad slabs, 3 the outputs cannot be written.
class MergeError : public std::runtime_error {
 public:
  explicit MergeError(const std::string& message, int status = 2)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MergeError(path.string() + ": cannot be read: is this the folder of a --slab run?");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Copies bytes [begin, end) of a file.
void copyRange(const fs::path& path, uint64_t begin, uint64_t end, std::ostream& out) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(begin));
  std::vector<char> buffer(1 << 20);
  for (uint64_t left = end - begin; left > 0 && in;) {
    const uint64_t n = std::min<uint64_t>(left, buffer.size());
    in.read(buffer.data(), static_cast<std::streamsize>(n));
    out.write(buffer.data(), in.gcount());
    left -= static_cast<uint64_t>(in.gcount());
  }
  if (!in) throw MergeError(path.string() + ": cannot be read");
}

SlabFolder readSlab(const fs::path& folder) {
  const fs::path manifest = folder / "slab.json";
  const std::string text = readAll(manifest);
  SlabFolder s;
  s.folder = folder;
  try {
    const nlohmann::json j = nlohmann::json::parse(text);
    s.index = j.at("slab").get<uint64_t>();
    s.count = j.at("slabs").get<uint64_t>();
    s.totalPoints = j.at("total_points").get<uint64_t>();
    s.firstPoint = j.at("first_point").get<uint64_t>();
    s.header = headerFromJson(j.at("header"));
    s.csv = j.at("csv").get<bool>();
    s.csvSections = j.at("csv_sections").get<std::vector<uint64_t>>();
    for (const nlohmann::json& stats : j.at("stats")) s.stats.push_back(statsFromJson(stats));
  } catch (const std::exception& e) {
    throw MergeError(manifest.string() + ": is not a slab manifest of this tool (" + e.what() + ")");
  }
  if (s.stats.size() != s.header.quantities.size() ||
      s.csvSections.size() != s.header.quantities.size() + 1 || s.index < 1 || s.index > s.count) {
    throw MergeError(manifest.string() + ": is not a slab manifest of this tool");
  }
  return s;
}

// The slabs, checked to be all the slabs of one study, in order.
std::vector<SlabFolder> slabsInOrder(const std::vector<std::string>& folders) {
  std::vector<SlabFolder> slabs;
  for (const std::string& f : folders) slabs.push_back(readSlab(f));
  const SlabFolder& first = slabs.front();
  std::map<uint64_t, const SlabFolder*> byIndex;
  for (const SlabFolder& s : slabs) {
    FieldHeader a = s.header, b = first.header;
    a.points = b.points = 0;
    if (headerToJson(a) != headerToJson(b) || s.count != first.count || s.totalPoints != first.totalPoints || s.csv != first.csv) {
      throw MergeError(s.folder.string() + ": is a slab of another study than " + first.folder.string() +
                       " (case, grids, quantities, options or slab count differ)");
    }
    auto [at, inserted] = byIndex.emplace(s.index, &s);
    if (!inserted) {
      throw MergeError("slab " + std::to_string(s.index) + "/" + std::to_string(s.count) + " is given twice: " +
                       at->second->folder.string() + " and " + s.folder.string());
    }
  }
  for (uint64_t i = 1; i <= first.count; ++i) {
    if (!byIndex.count(i)) {
      throw MergeError("slab " + std::to_string(i) + "/" + std::to_string(first.count) +
                       " is missing: give the folders of all " + std::to_string(first.count) + " slabs");
    }
  }
  std::vector<SlabFolder> ordered;
  for (auto& [index, s] : byIndex) ordered.push_back(*s);
  return ordered;
}

int merge(const std::vector<std::string>& folders, const fs::path& out) {
  const std::vector<SlabFolder> slabs = slabsInOrder(folders);
  FieldHeader header = slabs.front().header;
  header.points = slabs.front().totalPoints;
  const size_t quantities = header.quantities.size();
  std::vector<field::FieldStats> stats(quantities);
  for (size_t q = 0; q < quantities; ++q) {
    for (const SlabFolder& s : slabs) stats[q].merge(s.stats[q]);
  }

  // A slab's files would be replaced by the merged ones (--out naming one of the slab folders).
  constexpr std::string_view kOutputs[] = {"summary.h5", "summary.csv", "study.json"};
  std::vector<std::string> inputs;
  for (const SlabFolder& s : slabs) {
    for (const char* name : {"summary.h5", "summary.csv", "study.json", "slab.json"}) {
      inputs.push_back((s.folder / name).string());
    }
  }
  if (std::optional<std::string> input = study::outputOverInput(out, kOutputs, inputs)) {
    throw MergeError(*input + ": is read by this merge and would be replaced by one of its outputs: "
                     "choose another folder with --out");
  }
  StagedOutputs outputs(out, std::to_string(field::platform::processId()));
  if (!outputs.prepare()) throw MergeError(out.string() + ": the output folder cannot be created", 3);
  auto cannotWrite = [&](const std::string& what) {
    return MergeError(what + " cannot be written: choose another folder with --out", 3);
  };

  // summary.csv: the header of the first slab, then quantity by quantity the rows of each slab.
  if (slabs.front().csv) {
    for (const SlabFolder& s : slabs) {
      const fs::path path = s.folder / "summary.csv";
      std::error_code error;
      const uintmax_t size = fs::file_size(path, error);
      if (error || size != s.csvSections.back()) {
        throw MergeError(path.string() + ": is not the summary.csv that its slab wrote (" +
                         std::to_string(s.csvSections.back()) + " bytes)");
      }
    }
    std::ofstream csv(outputs.stage("summary.csv"), std::ios::binary);
    copyRange(slabs.front().folder / "summary.csv", 0, slabs.front().csvSections.front(), csv);
    for (size_t q = 0; q < quantities; ++q) {
      for (const SlabFolder& s : slabs) {
        copyRange(s.folder / "summary.csv", s.csvSections[q], s.csvSections[q + 1], csv);
      }
    }
    csv.close();
    if (!csv) throw cannotWrite((out / "summary.csv").string());
  }

  // summary.h5: the rows of each slab, quantity by quantity, in blocks.
  const std::vector<SummaryColumnType> columns = summaryColumnTypes(header.nameWidth);
  {
    // Written in the order of the slabs, then laid out as one run lays it out.
    const std::string scratch = (out / (".summary.h5.slabs" + std::to_string(field::platform::processId()))).string();
    const int slot = field::platform::protectTemporary(scratch);
    struct Remove {
      const std::string& path;
      int slot;
      ~Remove() {
        std::remove(path.c_str());
        field::platform::releaseTemporary(slot);
      }
    } remove{scratch, slot};
    SummaryFile h5(scratch, MPI_COMM_SELF, quantities * header.points, columns);
    SummaryBlock block(columns);
    for (const SlabFolder& s : slabs) {
      const fs::path path = s.folder / "summary.h5";
      std::unique_ptr<SummaryFile> in;
      try {
        in = std::make_unique<SummaryFile>(SummaryFile::openForReading(path.string()));
      } catch (const std::exception& e) {
        throw MergeError(path.string() + ": " + e.what());
      }
      if (in->rows() != quantities * s.header.points || in->columns().size() != columns.size()) {
        throw MergeError(path.string() + ": does not hold the rows of its slab");
      }
      for (size_t q = 0; q < quantities; ++q) {
        for (uint64_t done = 0; done < s.header.points; done += kBlockRows) {
          const uint64_t n = std::min(kBlockRows, s.header.points - done);
          if (!in->read(q * s.header.points + done, n, block)) throw MergeError(path.string() + ": cannot be read");
          if (!h5.write(q * header.points + s.firstPoint + done, block)) throw cannotWrite((out / "summary.h5").string());
        }
      }
    }
    if (!h5.close() || !canonicalCopy(scratch, outputs.stage("summary.h5"))) {
      throw cannotWrite((out / "summary.h5").string());
    }
  }

  if (!outputs.write("study.json", studyJson(header, stats)) || !outputs.commit()) {
    throw cannotWrite(out.string());
  }
  const std::string text = overview(header, stats);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

}  // namespace

int runMergeCommand(int argc, char** argv) {
  MpiSession mpi;
  std::vector<std::string> folders;
  std::string out;
  CLI::App app{"Joins the output folders of the slabs of a job array (study FIELD.h5 --slab I/N) "
               "into the outputs of one run over the whole field.",
               kProgram};
  app.add_option("SLAB_DIR", folders, "the output folders of every slab, in any order")->required();
  app.add_option("--out", out, "the output folder of the whole field")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    if (mpi.rank() == 0) std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    if (mpi.rank() == 0) std::fprintf(stderr, "%s: %s\n%s", kProgram, e.what(), app.help().c_str());
    return 2;
  }
  // One process does the work; under mpirun the other ranks wait for its status.
  int status = 0;
  if (mpi.rank() == 0) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    try {
      status = merge(folders, out);
    } catch (const MergeError& e) {
      std::fprintf(stderr, "%s: error: %s\n", kProgram, e.what());
      status = e.status();
    }
  }
  MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return status;
}

}  // namespace kv::cluster
