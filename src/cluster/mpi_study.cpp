// `kestrovanilque study FIELD.h5`: every point of every quantity of an HDF5 field through the
// study's per-quantity procedure, each rank on its own contiguous range of points, reading and
// writing its slabs collectively.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/command.h"
#include "cluster/distribution.h"
#include "cluster/field_outputs.h"
#include "cluster/hdf5_field.h"
#include "cluster/hdf5_summary.h"
#include "cluster/mpi_io.h"
#include "cluster/slabs.h"
#include "field/platform.h"
#include "study/output_files.h"
#include "study/summary.h"

namespace kv::cluster {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "kestrovanilque study";

struct Arguments {
  std::string caseFile;
  std::string out;
  std::optional<double> order;
  std::optional<double> fs;
  std::string slab;
  bool noCsv = false;
  bool noPlots = false;
  bool strict = false;
  uint64_t blockPoints = SummaryFile::kChunkRows;
};

void print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

fs::path defaultFolder(const Arguments& a, const std::optional<Slab>& slab) {
  const fs::path p(a.caseFile);
  std::string name = p.stem().string() + ".study";
  if (slab) name += "-slab-" + std::to_string(slab->index) + "-of-" + std::to_string(slab->count);
  return p.parent_path() / name;
}

// The longest row name "<quantity>:<id>" that can occur: an int64 id has at most 20 characters.
size_t rowNameWidth(const HdfField& field) {
  size_t longest = 0;
  for (const FieldQuantity& q : field.quantities()) longest = std::max(longest, q.name.size());
  return longest + 1 + 20;
}

}  // namespace

int runHdf5Study(int argc, char** argv) {
  MpiSession mpi;
  const bool root = mpi.rank() == 0;
  auto fail = [&](const std::string& message) {
    if (root) print(stderr, std::string(kProgram) + ": error: " + message + "\n");
  };

  Arguments a;
  CLI::App app{"Grid-convergence study of every point of an HDF5 field (run it under mpirun to "
               "share the points among ranks). Writes summary.h5, summary.csv and study.json.",
               kProgram};
  app.add_option("CASE", a.caseFile, "HDF5 field: /h, /fields/<quantity>, optional /points/id and /exact/<quantity>")
      ->required();
  app.add_option("--out", a.out, "output folder (default: CASE without extension + .study)");
  app.add_option("--order", a.order, "theoretical order (default 2)")->check(CLI::PositiveNumber);
  app.add_option("--fs", a.fs, "safety factor (default: 1.25 with three or more grids, 3 with two)")
      ->check(CLI::PositiveNumber);
  app.add_option("--slab", a.slab, "analyse only the I-th of N contiguous slabs of points (I/N), for job arrays");
  app.add_flag("--no-csv", a.noCsv, "write summary.h5 and study.json only");
  app.add_flag("--no-plots", a.noPlots, "accepted for the same command lines as text cases (a field has no per-point plots)");
  app.add_flag("--strict", a.strict, "exit 1 when a point does not converge monotonically or has no observed order");
  app.add_option("--block-points", a.blockPoints, "points a rank reads, computes and writes at a time")
      ->check(CLI::PositiveNumber)
      ->group("");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    if (root) print(stdout, app.help());
    return 0;
  } catch (const CLI::ParseError& e) {
    if (root) print(stderr, std::string(kProgram) + ": " + e.what() + "\n" + app.help());
    return 2;
  }
  std::optional<Slab> slab;
  if (!a.slab.empty()) {
    slab = parseSlab(a.slab);
    if (!slab) {
      fail("--slab " + a.slab + ": write I/N with 1 <= I <= N, e.g. --slab 3/8");
      return 2;
    }
  }

  std::unique_ptr<HdfField> field;
  try {
    field = std::make_unique<HdfField>(a.caseFile, MPI_COMM_WORLD);
  } catch (const BadFile& e) {
    fail(e.where());
    return 2;
  }

  const Range whole = slab ? part({0, field->points()}, slab->index - 1, slab->count)
                           : Range{0, field->points()};
  const Range mine = part(whole, static_cast<uint64_t>(mpi.rank()), static_cast<uint64_t>(mpi.size()));

  FieldHeader header;
  header.caseFile = a.caseFile;
  header.h = field->h();
  header.points = whole.size();
  header.theoreticalOrder = a.order.value_or(2.0);
  header.safetyFactor = a.fs.value_or(field::kNoValue);
  for (const FieldQuantity& q : field->quantities()) header.quantities.push_back(q.name);
  header.nameWidth = rowNameWidth(*field);
  const StandardOptions options{.theoreticalOrder = header.theoreticalOrder, .safetyFactor = header.safetyFactor};

  // The outputs, staged on rank 0 under names that carry its process id.
  const fs::path folder = a.out.empty() ? defaultFolder(a, slab) : fs::path(a.out);
  constexpr std::string_view kOutputs[] = {"summary.h5", "summary.csv", "study.json", "slab.json"};
  const std::string caseFile[] = {a.caseFile};
  if (std::optional<std::string> input = study::outputOverInput(folder, kOutputs, caseFile)) {
    fail(*input + ": is read by this study and would be replaced by one of its outputs "
         "(summary.h5, summary.csv, study.json): choose another folder with --out");
    return 2;
  }
  const std::string tag = MpiSession::broadcast(std::to_string(field::platform::processId()));
  StagedOutputs outputs(folder, tag);
  const bool prepared = MpiSession::any(root && !outputs.prepare()) == false;
  if (!prepared) {
    fail(folder.string() + ": the output folder cannot be created: choose another folder with --out");
    return 3;
  }
  auto cannotWrite = [&](const std::string& what) {
    fail(what + " cannot be written: choose another folder with --out");
    return 3;
  };
  // summary.h5 is written by all ranks into a scratch file, then copied by rank 0 into its
  // final layout; summary.csv is assembled from the ranks' spools.
  std::string scratchH5, temporaryH5, temporaryCsv;
  int scratchSlot = -1;
  if (root) {
    temporaryH5 = outputs.stage("summary.h5");
    if (!a.noCsv) temporaryCsv = outputs.stage("summary.csv");
    scratchH5 = (folder / (".summary.h5.ranks" + tag)).string();
    scratchSlot = field::platform::protectTemporary(scratchH5);
  }
  scratchH5 = MpiSession::broadcast(scratchH5);
  temporaryCsv = MpiSession::broadcast(temporaryCsv);
  struct Scratch {
    std::string path;
    int slot;
    ~Scratch() {
      if (slot >= 0) {
        std::remove(path.c_str());
        field::platform::releaseTemporary(slot);
      }
    }
  } scratch{scratchH5, scratchSlot};

  const std::vector<SummaryColumnType> columns = summaryColumnTypes(header.nameWidth);
  const uint64_t quantities = header.quantities.size();
  std::unique_ptr<SummaryFile> h5;
  bool failed = false;
  try {
    h5 = std::make_unique<SummaryFile>(scratchH5, MPI_COMM_WORLD, quantities * whole.size(), columns);
  } catch (const std::exception&) {
    failed = true;
  }
  if (MpiSession::any(failed)) return cannotWrite((folder / "summary.h5").string());
  SpooledRows csv;
  if (!a.noCsv) {
    const std::string spool = (folder / (".summary.csv.rank" + std::to_string(mpi.rank()) + "." + tag)).string();
    if (MpiSession::any(!csv.open(spool))) return cannotWrite((folder / "summary.csv").string());
  }

  std::vector<field::FieldStats> stats(quantities);
  std::vector<double> values, exact;
  std::vector<int64_t> ids;
  std::string rows;
  SummaryBlock block(columns);
  const size_t grids = header.h.size();
  for (uint64_t q = 0; q < quantities; ++q) {
    csv.beginSection();
    field::FieldStats local;
    const std::string prefix = header.quantities[q] + ":";
    // Blocks end where the rows of summary.h5 reach a multiple of the block size, so that with
    // the default size every write fills whole chunks (but at the ends of a rank's range).
    // Every rank makes as many collective rounds as the rank with the most blocks.
    auto blockEnd = [&](uint64_t begin) {
      const uint64_t row = q * whole.size() + (begin - whole.begin);
      return std::min(mine.end, begin + (a.blockPoints - row % a.blockPoints));
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
      for (uint64_t i = 0; i < points.size(); ++i) {
        const std::span<const double> point = std::span(values).subspan(i * grids, grids);
        study::QuantityStudy s = study::studyQuantity(prefix + std::to_string(ids[i]), header.h,
                                                      point, exact[i], options, false, {});
        s.uncertainty = study::uncertainties(s.standard, header.h, point, options.theoreticalOrder,
                                             std::nullopt, std::nan(""), 0);
        if (!a.noCsv) {
          rows += study::summaryRow(s);
          rows.push_back('\n');
        }
        try {
          block.add(s);
        } catch (const std::length_error& e) {
          print(stderr, std::string(kProgram) + ": error: " + e.what() + "\n");
          MPI_Abort(MPI_COMM_WORLD, 3);
        }
        local.add(points.begin + i, s.name, pointSummary(s));
      }
      failed = !h5->write(q * whole.size() + (points.begin - whole.begin), block) || failed;
      if (!a.noCsv) failed = !csv.append(rows) || failed;
    }
    stats[q] = mergeOnRankZero(local);
  }
  failed = !h5->close() || failed;
  h5.reset();
  std::vector<uint64_t> csvSections;  // where each quantity's rows begin, then the size
  if (!a.noCsv) {
    std::string head;
    if (root) {
      head = study::summaryHeader();
    }
    failed = MpiSession::any(failed) || !csv.assemble(temporaryCsv, head, csvSections);
  }
  if (MpiSession::any(failed)) return cannotWrite(folder.string() + "/summary.h5 or summary.csv");

  int status = 0;
  if (root) {
    bool ok = canonicalCopy(scratchH5, temporaryH5);
    ok = outputs.write("study.json", studyJson(header, stats)) && ok;
    if (slab) {
      nlohmann::json manifest = {{"schema", 1},
                                 {"slab", slab->index},
                                 {"slabs", slab->count},
                                 {"total_points", field->points()},
                                 {"first_point", whole.begin},
                                 {"header", headerToJson(header)},
                                 {"csv", !a.noCsv},
                                 {"csv_sections", csvSections}};
      nlohmann::json exactStats = nlohmann::json::array();
      for (const field::FieldStats& s : stats) exactStats.push_back(statsToJson(s));
      manifest["stats"] = exactStats;
      ok = outputs.write("slab.json", manifest.dump() + "\n") && ok;
    }
    ok = ok && outputs.commit();
    if (!ok) {
      status = cannotWrite(folder.string());
    } else {
      print(stdout, overview(header, stats));
      print(stdout, "summary: " + (folder / (a.noCsv ? "summary.h5" : "summary.csv")).string() + "\n");
      if (a.strict && !allConverge(stats)) status = 1;
    }
  }
  MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return status;
}

}  // namespace kv::cluster
