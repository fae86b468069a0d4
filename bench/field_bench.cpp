// Field benchmark: manufactured field cases of 10^5, 10^6 and 10^7 points on 5 grids (by
// default), run end to end through field_run (the field engine with the per-point standard
// procedure) on 1 and 2 threads, and at 10^6 points beside the pandas/numpy reference
// (field_reference.py), whose summary must agree with the tool's on every point and column.
// Each run is a child process: wall time from the parent, peak memory from wait4. Targets:
//  - the tool at least 10 times faster than the reference end to end (10^6 points, 2 threads);
//  - time per point flat within 25 % of the mean from 10^5 to 10^7 points (2 threads);
//  - 2 threads at least 1.6 times faster than 1 (10^6 points);
//  - peak memory under 64 MB at every size.
// The cost of reading and parsing alone is measured with a computation that writes nothing.
//
// Usage: field_bench [--grids G] [--work DIR] [--keep] [POINTS ...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "field_case_gen.h"

namespace {

namespace fs = std::filesystem;

struct Measure {
  double seconds = 0.0;
  double peakMiB = 0.0;
  int status = -1;
};

Measure runChild(const std::vector<std::string>& args, const std::string& outputFile) {
  Measure m;
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    FILE* out = std::freopen(outputFile.c_str(), "w", stdout);
    (void)out;
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return m;
}

std::string self(const char* argv0) {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return (error ? fs::path(argv0) : exe).parent_path().string();
}

const char* verdict(bool ok) { return ok ? "PASS" : "FAIL"; }

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
  if (work.empty()) work = fs::path(binFolder) / "field_work";
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  std::printf("field_bench: %d grids, load average %.2f (the machine may be shared: figures are "
              "indicative)\n", grids, load[0]);
  std::printf("%10s %8s %10s %10s %10s %9s %9s %10s %9s\n", "points", "input MB", "1 thread s",
              "2 thread s", "ns/point", "speedup", "peak MiB", "parse s", "read MB/s");

  bool ok = true;
  bool memoryOk = true;
  std::vector<double> perPoint;
  double speedupAt1e6 = 0, referenceRatio = 0;
  for (uint64_t n : sizes) {
    fs::path folder = work / ("n" + std::to_string(n));
    fs::remove_all(folder);
    uint64_t bytes = kv::bench::writeFieldCase(folder, n, grids, kv::bench::FieldLayout::Classic);
    std::string caseFile = (folder / "case.csv").string(), log = (folder / "run.log").string();
    auto tool = [&](const char* threads, const std::string& out, bool null) {
      std::vector<std::string> args = {fieldRun, caseFile, out, "--threads", threads};
      if (null) args.push_back("--null");
      Measure m = runChild(args, log);
      if (m.status != 0) {
        std::printf("field_bench: field_run failed (status %d) on %s\n", m.status, caseFile.c_str());
        ok = false;
      }
      return m;
    };
    const std::string summary = (folder / "summary.csv").string();
    tool("2", summary, true);  // the files into the page cache, as for every run after it
    Measure one = tool("1", summary, false);
    Measure two = tool("2", summary, false);
    Measure parse = tool("1", (folder / "null.csv").string(), true);
    double peak = std::max(one.peakMiB, two.peakMiB);
    memoryOk = memoryOk && peak < 64.0;
    double nsPerPoint = two.seconds / static_cast<double>(n) * 1e9;
    perPoint.push_back(nsPerPoint);
    std::printf("%10llu %8.0f %10.3f %10.3f %10.0f %9.2f %9.1f %10.3f %9.0f\n",
                static_cast<unsigned long long>(n), static_cast<double>(bytes) / 1e6, one.seconds,
                two.seconds, nsPerPoint, one.seconds / two.seconds, peak, parse.seconds,
                static_cast<double>(bytes) / 1e6 / parse.seconds);
    if (n == 1000000) {
      speedupAt1e6 = one.seconds / two.seconds;
      std::string refOut = (folder / "reference.csv").string();
      Measure ref = runChild({"python3", reference, caseFile, refOut}, log);
      referenceRatio = ref.seconds / two.seconds;
      std::printf("%10s pandas/numpy reference: %.3f s, peak %.1f MiB; the tool is %.1f times "
                  "faster\n", "", ref.seconds, ref.peakMiB, referenceRatio);
      Measure compare = runChild({"python3", reference, "compare", summary, refOut},
                                 (folder / "compare.log").string());
      std::FILE* f = std::fopen((folder / "compare.log").string().c_str(), "r");
      char line[512];
      while (f && std::fgets(line, sizeof line, f)) std::printf("%10s %s", "", line);
      if (f) std::fclose(f);
      if (ref.status != 0 || compare.status != 0) ok = false;
    }
    if (!keep) fs::remove_all(folder);
  }
  double mean = 0;
  for (double v : perPoint) mean += v / static_cast<double>(perPoint.size());
  bool flat = true;
  for (double v : perPoint) flat = flat && std::fabs(v / mean - 1.0) <= 0.25;
  std::printf("%s  tool >= 10x faster than pandas/numpy at 10^6 points: %.1fx\n",
              verdict(referenceRatio >= 10.0), referenceRatio);
  std::printf("%s  time per point flat within 25%% of the mean (2 threads)\n", verdict(flat));
  std::printf("%s  2 threads >= 1.6x faster than 1 at 10^6 points: %.2fx\n",
              verdict(speedupAt1e6 >= 1.6), speedupAt1e6);
  std::printf("%s  peak memory under 64 MB at every size\n", verdict(memoryOk));
  if (!keep) fs::remove_all(work);
  return ok ? 0 : 1;
}
