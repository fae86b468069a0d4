// Whole-run benchmark: runs the real binary on manufactured cases of N grids (250, 500, 1000
// and 2000 by default) in temporary folders, with COMSPEC=/bin/true so that no editor or
// gnuplot is started, and reports for each N the wall time (best of the repeats, each writing
// new files as in a new case folder), the bytes of every file the run wrote, the nanoseconds
// per byte and the peak resident memory. It also renders every real number the run wrote with
// std::to_chars (same digits, into a buffer) to obtain the floor of the run's formatting work,
// times a run on one grid (the fixed cost of a run) and fits wall = fixed + a N + c bytes. The
// targets:
//  - the run at N = 1000 within 2 times that floor;
//  - nanoseconds per byte flat: every N within 25 % of the mean over the N measured;
//  - peak memory under twice the run data (8 N (N - 1) + 420 N bytes) plus 16 MiB.
// A failed run keeps its folder (and the run's error output in run_bench_stderr.log).
//
// Usage: run_bench [--binary PATH] [--scripts FOLDER] [--repeat K] [--keep] [N ...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "bench_case.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kRunTarget = 2.0;       // run time / to_chars floor at N = 1000
constexpr double kFlatTolerance = 0.25;  // ns per byte within this of the mean
constexpr int kFloorGridCount = 1000;

struct RunMeasure {
  double wallSeconds = std::numeric_limits<double>::infinity();
  double cpuSeconds = std::numeric_limits<double>::infinity();  // user + system
  long peakKiB = 0;
  bool ok = true;
};

struct Values {
  uint64_t count = 0;
  uint64_t byDecimals4 = 0;
  uint64_t byDecimals14 = 0;
  uint64_t nonFinite = 0;
  double floorSeconds = 0;  // best-of to_chars time of every value
};

struct Result {
  int gridCount = 0;
  RunMeasure run;
  uint64_t bytes = 0;
  uint64_t files = 0;
  Values values;
};

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a.empty() ? "unknown" : a + " " + b + " " + c;
}

// One run of the binary in `folder`; its peak memory comes from wait4 (the child and the
// commands it started and waited for).
RunMeasure runOnce(const std::string& binary, const fs::path& folder) {
  RunMeasure m;
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid < 0) {
    m.ok = false;
    return m;
  }
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    int null = open("/dev/null", O_RDWR);
    int err = open("run_bench_stderr.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
    }
    if (err >= 0) dup2(err, 2);
    setenv("COMSPEC", "/bin/true", 1);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) m.ok = false;
  Clock::time_point end = Clock::now();
  m.wallSeconds = std::chrono::duration<double>(end - start).count();
  m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
                 usage.ru_stime.tv_usec * 1e-6;
  m.peakKiB = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) m.ok = false;
  return m;
}

bool isRunOutput(const fs::path& file) {
  return !kv::bench::isCaseInput(file) && file.filename() != "run_bench_stderr.log";
}

// Removes what a run wrote, apart from the plot scripts (completed in place), so that the next
// run writes new files as in a new case folder: truncating the files of the previous run would
// make the file system flush them first.
void removeRunOutputs(const fs::path& folder) {
  std::vector<fs::path> outputs;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && isRunOutput(entry.path()) &&
        entry.path().extension() != ".gnu") {
      outputs.push_back(entry.path());
    }
  }
  for (const fs::path& file : outputs) fs::remove(file);
}

// The best of `repeat` runs in `folder` (wall and processor time), with the largest peak memory.
RunMeasure measureRuns(const std::string& binary, const fs::path& folder, int repeat) {
  RunMeasure best;
  for (int k = 0; k < repeat; ++k) {
    if (k > 0) removeRunOutputs(folder);
    RunMeasure m = runOnce(binary, folder);
    if (!m.ok) {
      best.ok = false;
      break;
    }
    best.wallSeconds = std::min(best.wallSeconds, m.wallSeconds);
    best.cpuSeconds = std::min(best.cpuSeconds, m.cpuSeconds);
    best.peakKiB = std::max(best.peakKiB, m.peakKiB);
  }
  return best;
}

// A real number as the writer renders it with 1PEw.d: [-]d.ddd followed by E, sign and two
// digits, or by a sign and three digits. Sets the number of decimals and the value.
bool parseReal(std::string_view token, int& decimals, double& value) {
  size_t p = token[0] == '-' ? 1 : 0;
  if (token.size() < p + 7 || !std::isdigit(static_cast<unsigned char>(token[p])) ||
      token[p + 1] != '.') {
    return false;
  }
  size_t q = p + 2;
  while (q < token.size() && std::isdigit(static_cast<unsigned char>(token[q]))) ++q;
  decimals = static_cast<int>(q - (p + 2));
  // The exponent: E, sign and two digits, or sign and three digits (the letter dropped).
  std::string_view exponent = token.substr(q);
  if (exponent.size() != 4) return false;
  std::string_view digits = exponent[0] == 'E' ? exponent.substr(1) : exponent;
  if (digits[0] != '+' && digits[0] != '-') return false;
  for (size_t k = 1; k < digits.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(digits[k]))) return false;
  }
  char text[64];
  if (q + 1 + digits.size() > sizeof text) return false;
  std::memcpy(text, token.data(), q);
  text[q] = 'E';
  std::memcpy(text + q + 1, digits.data(), digits.size());
  auto [end, error] = std::from_chars(text, text + q + 1 + digits.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    value = digits[0] == '-' ? 0.0 : std::numeric_limits<double>::max();
    return true;
  }
  return error == std::errc();
}

// Renders a batch of values with std::to_chars into a buffer, best of three; seconds.
double floorSeconds(const std::vector<double>& values, const std::vector<uint8_t>& decimals) {
  static std::vector<char> buffer(1 << 16);
  double best = std::numeric_limits<double>::infinity();
  for (int attempt = 0; attempt < 3; ++attempt) {
    char* p = buffer.data();
    char* limit = buffer.data() + buffer.size() - 64;
    uint64_t bytes = 0;
    Clock::time_point start = Clock::now();
    for (size_t k = 0; k < values.size(); ++k) {
      if (p > limit) {
        bytes += static_cast<uint64_t>(p - buffer.data());
        p = buffer.data();
      }
      p = std::to_chars(p, p + 64, values[k], std::chars_format::scientific, decimals[k]).ptr;
      *p++ = ' ';
    }
    Clock::time_point end = Clock::now();
    bytes += static_cast<uint64_t>(p - buffer.data());
    if (bytes == 0 && !values.empty()) std::abort();  // keeps the rendering observable
    best = std::min(best, std::chrono::duration<double>(end - start).count());
  }
  return best;
}

// Counts the real numbers of one written file and adds their to_chars floor, a batch at a time.
void scanValues(const fs::path& file, Values& v) {
  std::ifstream in(file, std::ios::binary);
  std::vector<double> batch;
  std::vector<uint8_t> decimals;
  constexpr size_t kBatch = 1 << 20;
  batch.reserve(kBatch);
  decimals.reserve(kBatch);
  auto flush = [&] {
    if (batch.empty()) return;
    v.floorSeconds += floorSeconds(batch, decimals);
    batch.clear();
    decimals.clear();
  };
  std::string line;
  while (std::getline(in, line)) {
    size_t pos = 0;
    while (pos < line.size()) {
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\r')) ++pos;
      size_t end = pos;
      while (end < line.size() && line[end] != ' ' && line[end] != '\r') ++end;
      if (end == pos) break;
      std::string_view token(line.data() + pos, end - pos);
      pos = end;
      int d = 0;
      double value = 0;
      if (token == "Infinity" || token == "-Infinity" || token == "NaN") {
        ++v.count;
        ++v.nonFinite;
        batch.push_back(token == "NaN" ? std::nan("") : token[0] == '-' ? -HUGE_VAL : HUGE_VAL);
        decimals.push_back(14);
      } else if (parseReal(token, d, value)) {
        ++v.count;
        if (d == 4) ++v.byDecimals4;
        if (d == 14) ++v.byDecimals14;
        batch.push_back(value);
        decimals.push_back(static_cast<uint8_t>(d));
      } else {
        continue;
      }
      if (batch.size() == kBatch) flush();
    }
  }
  flush();
}

double runDataBytes(int n) { return 8.0 * n * (n - 1) + 420.0 * n; }

double memoryLimitBytes(int n) { return 2.0 * runDataBytes(n) + 16.0 * 1024 * 1024; }

const char* verdict(bool pass) { return pass ? "PASS" : "FAIL"; }

}  // namespace

int main(int argc, char** argv) {
  std::string binary = KV_BINARY;
  fs::path scripts = fs::path(KV_SOURCE_DIR) / "examples" / "plot_scripts";
  int repeat = 3;
  bool keep = false;
  std::vector<int> gridCounts;
  for (int a = 1; a < argc; ++a) {
    std::string_view arg = argv[a];
    if (arg == "--binary" && a + 1 < argc) {
      binary = argv[++a];
    } else if (arg == "--scripts" && a + 1 < argc) {
      scripts = argv[++a];
    } else if (arg == "--repeat" && a + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++a]));
    } else if (arg == "--keep") {
      keep = true;
    } else if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0]))) {
      gridCounts.push_back(std::atoi(argv[a]));
    } else {
      std::fprintf(stderr,
                   "usage: run_bench [--binary PATH] [--scripts FOLDER] [--repeat K] [--keep] "
                   "[N ...]\n");
      return 2;
    }
  }
  if (gridCounts.empty()) gridCounts = {250, 500, 1000, 2000};
  if (!fs::is_directory(scripts)) scripts.clear();

  std::string rootName = "kv_run_bench_";
  rootName += std::to_string(getpid());
  fs::path root = fs::temp_directory_path() / rootName;
  fs::remove_all(root);
  std::printf("Whole runs of %s\n", binary.c_str());
  std::printf("plot scripts: %s; best of %d runs; load average before: %s\n",
              scripts.empty() ? "placeholders" : scripts.c_str(), repeat, loadAverage().c_str());

  // What a run costs whatever N: starting the process, the seven commands it starts (here
  // /bin/true), the files it creates; measured on one grid.
  fs::path fixedFolder = root / "n1";
  kv::bench::writeCase(fixedFolder, 1, scripts);
  RunMeasure fixed = measureRuns(binary, fixedFolder, std::max(repeat, 5));
  if (!keep) fs::remove_all(fixedFolder);

  std::vector<Result> results;
  bool allRan = fixed.ok;
  for (int n : gridCounts) {
    Result r;
    r.gridCount = n;
    std::string folderName = "n";
    folderName += std::to_string(n);
    fs::path folder = root / folderName;
    kv::bench::writeCase(folder, n, scripts);
    r.run = measureRuns(binary, folder, repeat);
    if (!r.run.ok) {
      std::fprintf(stderr, "run_bench: the run with N = %d failed (see %s)\n", n,
                   (folder / "run_bench_stderr.log").c_str());
    }
    allRan = allRan && r.run.ok;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file() || !isRunOutput(entry.path())) continue;
      r.bytes += entry.file_size();
      ++r.files;
      if (entry.path().extension() != ".gnu") scanValues(entry.path(), r.values);
    }
    results.push_back(r);
    if (!keep && r.run.ok) fs::remove_all(folder);
  }
  if (!keep && allRan) fs::remove_all(root);

  std::printf("\n%6s %9s %9s %12s %6s %11s %9s %10s %8s %9s %9s %10s %8s\n", "N", "wall s", "cpu s",
              "bytes", "files", "real values", "~3.5N^2", "floor s", "ns/byte", "net ns/B",
              "run/floor", "peak MB", "limit MB");
  for (const Result& r : results) {
    double bytes = static_cast<double>(r.bytes);
    double nsPerByte = bytes > 0 ? r.run.wallSeconds * 1e9 / bytes : 0;
    double netPerByte = bytes > 0 ? (r.run.wallSeconds - fixed.wallSeconds) * 1e9 / bytes : 0;
    std::printf("%6d %9.3f %9.3f %12llu %6llu %11llu %9.0f %10.3f %8.2f %9.2f %9.2f %10.1f %8.1f\n",
                r.gridCount, r.run.wallSeconds, r.run.cpuSeconds,
                static_cast<unsigned long long>(r.bytes), static_cast<unsigned long long>(r.files),
                static_cast<unsigned long long>(r.values.count), 3.5 * r.gridCount * r.gridCount,
                r.values.floorSeconds, nsPerByte, netPerByte,
                r.values.floorSeconds > 0 ? r.run.wallSeconds / r.values.floorSeconds : 0.0,
                r.run.peakKiB / 1024.0, memoryLimitBytes(r.gridCount) / (1024.0 * 1024.0));
  }
  std::printf(
      "fixed cost (a run on 1 grid): %.1f ms wall, %.1f ms processor; net ns/B leaves it "
      "out\n",
      fixed.wallSeconds * 1e3, fixed.cpuSeconds * 1e3);
  // Where the time of a run goes: wall = fixed + a N + c bytes, a and c by least squares over
  // the runs measured. A flat c with a large a shows costs per grid rather than per byte.
  if (results.size() >= 2) {
    double snn = 0, snb = 0, sbb = 0, snt = 0, sbt = 0;
    for (const Result& r : results) {
      double n = r.gridCount, b = static_cast<double>(r.bytes);
      double t = r.run.wallSeconds - fixed.wallSeconds;
      snn += n * n;
      snb += n * b;
      sbb += b * b;
      snt += n * t;
      sbt += b * t;
    }
    double det = snn * sbb - snb * snb;
    if (det != 0) {
      double perGrid = (snt * sbb - sbt * snb) / det;
      double perByte = (snn * sbt - snb * snt) / det;
      double worst = 0;
      for (const Result& r : results) {
        double model = fixed.wallSeconds + perGrid * r.gridCount + perByte * r.bytes;
        worst = std::max(worst, std::fabs(model / r.run.wallSeconds - 1));
      }
      std::printf(
          "time model: %.1f ms + %.1f us per grid + %.2f ns per byte (within %.0f %% of "
          "every run)\n",
          fixed.wallSeconds * 1e3, perGrid * 1e6, perByte * 1e9, worst * 100);
    }
  }
  for (const Result& r : results) {
    std::printf("N = %d: %llu values with 4 decimals, %llu with 14, %llu not finite\n", r.gridCount,
                static_cast<unsigned long long>(r.values.byDecimals4),
                static_cast<unsigned long long>(r.values.byDecimals14),
                static_cast<unsigned long long>(r.values.nonFinite));
  }
  std::printf("load average after: %s\n\n", loadAverage().c_str());
  if (!allRan) {
    std::printf("FAIL: a run did not complete\n");
    return 1;
  }

  bool allPass = true;
  // Run time against the to_chars floor of the same values.
  for (const Result& r : results) {
    if (r.gridCount != kFloorGridCount) continue;
    double ratio = r.run.wallSeconds / r.values.floorSeconds;
    bool pass = ratio <= kRunTarget;
    allPass = allPass && pass;
    std::printf(
        "%s  run at N = %d: %.3f s for %llu values, %.2f times their to_chars floor "
        "(%.3f s; target <= %.1f)\n",
        verdict(pass), r.gridCount, r.run.wallSeconds,
        static_cast<unsigned long long>(r.values.count), ratio, r.values.floorSeconds, kRunTarget);
  }
  // Nanoseconds per byte flat over N.
  if (results.size() >= 2) {
    double sum = 0, low = 1e300, high = 0;
    for (const Result& r : results) {
      double ns = r.run.wallSeconds * 1e9 / static_cast<double>(r.bytes);
      sum += ns;
      low = std::min(low, ns);
      high = std::max(high, ns);
    }
    double mean = sum / static_cast<double>(results.size());
    bool pass = low >= mean * (1 - kFlatTolerance) && high <= mean * (1 + kFlatTolerance);
    allPass = allPass && pass;
    std::printf(
        "%s  ns per byte from N = %d to N = %d: %.2f to %.2f, mean %.2f (%+.0f %% / "
        "%+.0f %%; target within +-%.0f %%)\n",
        verdict(pass), results.front().gridCount, results.back().gridCount, low, high, mean,
        (low / mean - 1) * 100, (high / mean - 1) * 100, kFlatTolerance * 100);
  }
  // Peak memory against the run data.
  for (const Result& r : results) {
    double peak = r.run.peakKiB * 1024.0;
    bool pass = peak < memoryLimitBytes(r.gridCount);
    allPass = allPass && pass;
    std::printf(
        "%s  peak memory at N = %d: %.1f MB, run data %.1f MB (limit %.1f MB, %.2f of "
        "it)\n",
        verdict(pass), r.gridCount, peak / (1024.0 * 1024.0),
        runDataBytes(r.gridCount) / (1024.0 * 1024.0),
        memoryLimitBytes(r.gridCount) / (1024.0 * 1024.0), peak / memoryLimitBytes(r.gridCount));
  }
  return allPass ? 0 : 1;
}
