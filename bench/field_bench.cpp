// Field benchmark: manufactured field cases of 10^5, 10^6 and 10^7 points on 5 grids (by
// default), studied end to end by the program (`kestrovanilque study CASE --threads N`: every
// output, the plots included) on 1 and 2 threads, whose outputs must be the same bytes, and at
// 10^6 points beside the pandas/numpy reference (field_reference.py), whose summary must agree
// with the program's on every point and column. Each run is a child process: wall time from the
// parent, CPU time and peak memory from wait4. Targets:
//  - the tool at least 10 times faster than the reference end to end (10^6 points, 2 threads);
//  - time per point flat within 25 % of the mean from 10^5 to 10^7 points (2 threads);
//  - 2 threads at least 1.6 times faster than 1 (10^6 points);
//  - peak memory under 64 MB at every size.
// The cost of reading and parsing alone is measured with a computation that writes nothing, and
// at 10^6 points the time of the serial stages (field_run, the study's field code alone).
//
// Usage: field_bench [--grids G] [--work DIR] [--keep] [POINTS ...]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "field_case_gen.h"

namespace {

namespace fs = std::filesystem;

using kv::bench::Measure;
using kv::bench::runChild;
using kv::bench::verdict;

std::string self(const char* argv0) {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::path(argv0) : exe).parent_path().string();
}

// Whether two files hold the same bytes, read in blocks.
bool sameBytes(const fs::path& a, const fs::path& b) {
  std::FILE* x = std::fopen(a.string().c_str(), "rb");
  std::FILE* y = std::fopen(b.string().c_str(), "rb");
  bool same = x != nullptr && y != nullptr;
  std::vector<char> p(1 << 20), q(1 << 20);
  while (same) {
    const size_t n = std::fread(p.data(), 1, p.size(), x), m = std::fread(q.data(), 1, q.size(), y);
    same = n == m && std::memcmp(p.data(), q.data(), n) == 0;
    if (n < p.size()) break;
  }
  if (x) std::fclose(x);
  if (y) std::fclose(y);
  return same;
}

// Reads every file of a folder once, so that the runs after it find them in the page cache.
void warm(const fs::path& folder) {
  std::vector<char> block(1 << 20);
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::FILE* f = std::fopen(entry.path().string().c_str(), "rb");
    while (f && std::fread(block.data(), 1, block.size(), f) == block.size()) {
    }
    if (f) std::fclose(f);
  }
}

// The seconds field_run spent in its serial stages (reading; writing and merging).
double serialSeconds(const std::string& log) {
  double total = 0, read = 0, write = 0;
  std::FILE* f = std::fopen(log.c_str(), "r");
  if (f == nullptr) return 0;
  unsigned long long points = 0;
  if (std::fscanf(f, "points %llu seconds %lf serial_read %lf serial_write %lf", &points, &total,
                  &read, &write) != 4) {
    read = write = 0;
  }
  std::fclose(f);
  return read + write;
}

}  // namespace

int main(int argc, char** argv) {
  int grids = 5;
  bool keep = false;
  fs::path work;
  std::vector<uint64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--grids") && i + 1 < argc) {
      grids = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--work") && i + 1 < argc) {
      work = argv[++i];
    } else if (!std::strcmp(argv[i], "--keep")) {
      keep = true;
    } else {
      sizes.push_back(std::strtoull(argv[i], nullptr, 10));
    }
  }
  if (sizes.empty()) sizes = {100000, 1000000, 10000000};
  const std::string binFolder = self(argv[0]);
  const std::string fieldRun = binFolder + "/field_run";
  const std::string reference = std::string(KV_SOURCE_DIR) + "/bench/field_reference.py";
  // Debian's interpreter, where python3-pandas is installed (another python3 may come first).
  const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  if (work.empty()) work = fs::path(binFolder) / "field_work";
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  std::printf("field_bench: %d grids, load average %.2f (the machine may be shared: figures are "
              "indicative)\n", grids, load[0]);
  std::printf("%9s %6s | %8s %8s | %8s %8s | %8s %8s | %6s %6s | %8s %8s\n", "", "input", "1 thread",
              "", "2 threads", "", "ns/point", "", "peak", "", "parsing", "");
  std::printf("%9s %6s | %8s %8s | %8s %8s | %8s %8s | %6s %6s | %8s %8s\n", "points", "MB", "wall s",
              "cpu s", "wall s", "cpu s", "wall 2t", "cpu 1t", "MiB 1t", "MiB 2t", "cpu s", "MB/s cpu");

  bool ok = true;
  bool memoryOk = true;
  bool sameOutputs = true;
  std::vector<double> wallPerPoint, cpuPerPoint;
  Measure one6, two6, reference6;
  for (uint64_t n : sizes) {
    fs::path folder = work / std::to_string(n);
    fs::remove_all(folder);
    uint64_t bytes = kv::bench::writeFieldCase(folder, n, grids, kv::bench::FieldLayout::Classic);
    std::string caseFile = (folder / "case.csv").string(), log = (folder / "run.log").string();
    auto run = [&](const std::vector<std::string>& args) {
      Measure m = runChild(args, log);
      if (m.status != 0) {
        std::printf("field_bench: %s failed (status %d) on %s\n", args[0].c_str(), m.status, caseFile.c_str());
        ok = false;
      }
      return m;
    };
    auto study = [&](const char* threads, const char* out) {
      return run({KV_BINARY, "study", caseFile, "--out", (folder / out).string(), "--threads", threads});
    };
    warm(folder);
    Measure one = study("1", "one");
    Measure two = study("2", "two");
    bool identical = true;
    for (const char* name : {"summary.csv", "study.json", "report.html"}) {
      identical = identical && sameBytes(folder / "one" / name, folder / "two" / name);
    }
    sameOutputs = sameOutputs && identical;
    fs::remove_all(folder / "two");
    Measure parse = run({fieldRun, caseFile, (folder / "null.csv").string(), "--threads", "1", "--null"});
    fs::remove(folder / "null.csv");
    memoryOk = memoryOk && one.peakMiB < 64.0 && two.peakMiB < 64.0;
    const double points = static_cast<double>(n);
    wallPerPoint.push_back(two.seconds / points * 1e9);
    cpuPerPoint.push_back(one.cpuSeconds / points * 1e9);
    std::printf("%9llu %6.0f | %8.3f %8.3f | %8.3f %8.3f | %8.0f %8.0f | %6.1f %6.1f | %8.3f %8.0f\n",
                static_cast<unsigned long long>(n), static_cast<double>(bytes) / 1e6, one.seconds,
                one.cpuSeconds, two.seconds, two.cpuSeconds, wallPerPoint.back(),
                cpuPerPoint.back(), one.peakMiB, two.peakMiB, parse.cpuSeconds,
                static_cast<double>(bytes) / 1e6 / parse.cpuSeconds);
    std::printf("%9s outputs of 1 and 2 threads: %s\n", "", identical ? "the same bytes" : "DIFFERENT");
    if (n == 1000000) {
      one6 = one, two6 = two;
      Measure serialRun = run({fieldRun, caseFile, (folder / "serial.csv").string(), "--threads", "1"});
      fs::remove(folder / "serial.csv");
      const double serial = serialSeconds(log);
      std::printf("%9s field code alone on 1 thread: %.3f s wall, %.3f s cpu, of which serial "
                  "stages (reading; writing and merging) %.3f s: 2 threads can be at most %.2fx "
                  "faster\n", "", serialRun.seconds, serialRun.cpuSeconds, serial,
                  std::min(2.0, serialRun.seconds / std::max(serial, serialRun.seconds / 2.0)));
      std::string refOut = (folder / "reference.csv").string();
      reference6 = runChild({python, reference, caseFile, refOut}, log);
      std::printf("%9s pandas/numpy reference: %.3f s wall, %.3f s cpu, peak %.1f MiB\n", "",
                  reference6.seconds, reference6.cpuSeconds, reference6.peakMiB);
      Measure compare = runChild({python, reference, "compare", (folder / "one" / "summary.csv").string(), refOut},
                                 (folder / "compare.log").string());
      std::FILE* f = std::fopen((folder / "compare.log").string().c_str(), "r");
      char line[512];
      while (f && std::fgets(line, sizeof line, f)) std::printf("%9s %s", "", line);
      if (f) std::fclose(f);
      if (reference6.status != 0 || compare.status != 0) ok = false;
    }
    if (!keep) fs::remove_all(folder);
  }
  auto flat = [](const std::vector<double>& v) {
    double mean = 0;
    for (double x : v) mean += x / static_cast<double>(v.size());
    double worst = 0;
    for (double x : v) worst = std::max(worst, std::fabs(x / mean - 1.0));
    return worst;
  };
  // On a shared machine wall times follow the load; the CPU times show what the tool costs.
  if (reference6.seconds > 0) {
    double ratio = reference6.seconds / two6.seconds;
    std::printf("%s  tool >= 10x faster than pandas/numpy end to end (10^6 points, 2 threads): "
                "%.1fx wall (%.1fx in cpu time, 1 thread)\n", verdict(ratio >= 10.0), ratio,
                reference6.cpuSeconds / one6.cpuSeconds);
    double speedup = one6.seconds / two6.seconds;
    std::printf("%s  2 threads >= 1.6x faster than 1 (10^6 points): %.2fx wall\n",
                verdict(speedup >= 1.6), speedup);
  }
  double wallSpread = flat(wallPerPoint), cpuSpread = flat(cpuPerPoint);
  std::printf("%s  time per point flat within 25%% of the mean: %.0f%% wall (2 threads), %.0f%% in "
              "cpu time (1 thread)\n", verdict(wallSpread <= 0.25), 100 * wallSpread,
              100 * cpuSpread);
  std::printf("%s  peak memory under 64 MB at every size\n", verdict(memoryOk));
  std::printf("%s  the same outputs, byte for byte, on 1 and 2 threads at every size\n", verdict(sameOutputs));
  ok = ok && sameOutputs;
  if (!keep) fs::remove_all(work);
  return ok ? 0 : 1;
}
