// Micro-benchmarks of the formatted-record layer on the level-table row formats, against the
// practical floor for correctly rounded decimal output: std::to_chars of the same doubles with
// the same number of significant digits into a buffer. Prints the time per value of each
// benchmark (best of the repetitions), the ratios to the floor and whether the writer meets
// its target (within 1.5 times the floor on both formats).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text/format.h"
#include "text/record_writer.h"

namespace {

constexpr double kTargetRatio = 1.5;
constexpr int kRows = 256;  // rows per iteration, cycled through different doubles

// Rows of a level table: h in the first field, then values of the kinds a table holds: values
// close to the solution, changes and errors over many magnitudes, ratios around 1, both signs.
std::vector<std::vector<double>> makeRows(int valuesPerRow) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<double>> rows(kRows);
  double h = 0.5;
  for (std::vector<double>& row : rows) {
    row.push_back(h);
    h /= 1.005;
    for (int k = 1; k < valuesPerRow; ++k) {
      double sign = unit(random) < 0.5 ? -1.0 : 1.0;
      double value;
      switch (k % 3) {
        case 0:
          value = 1.0 + sign * std::pow(10.0, -2.0 - 12.0 * unit(random));
          break;
        case 1:
          value = sign * std::pow(10.0, -16.0 + 14.0 * unit(random));
          break;
        default:
          value = sign * std::pow(10.0, -3.0 + 6.0 * unit(random));
          break;
      }
      row.push_back(value);
    }
  }
  return rows;
}

std::vector<std::vector<kv::FormatItem>> itemsOf(const std::vector<std::vector<double>>& rows) {
  std::vector<std::vector<kv::FormatItem>> items(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    for (double value : rows[r]) items[r].emplace_back(value);
  }
  return items;
}

const char* formatText(int valuesPerRow) {
  return valuesPerRow == 31 ? "(1PE12.4,30(1PE22.14))" : "(1PE12.4,11(1PE22.14))";
}

void countValues(benchmark::State& state, int valuesPerRow, size_t bytes) {
  double values = static_cast<double>(kRows) * valuesPerRow;
  state.counters["values"] = values;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRows * valuesPerRow);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// The floor: each value rendered by std::to_chars (4 or 14 decimals in scientific notation)
// one after the other into a row buffer, followed by CR LF.
void toChars(benchmark::State& state, int valuesPerRow) {
  std::vector<std::vector<double>> rows = makeRows(valuesPerRow);
  std::vector<char> buffer(static_cast<size_t>(valuesPerRow) * 32 + 2);
  size_t bytes = 0;
  for (auto _ : state) {
    for (const std::vector<double>& row : rows) {
      char* p = buffer.data();
      char* end = p + buffer.size();
      p = std::to_chars(p, end, row[0], std::chars_format::scientific, 4).ptr;
      for (size_t k = 1; k < row.size(); ++k) {
        p = std::to_chars(p, end, row[k], std::chars_format::scientific, 14).ptr;
      }
      *p++ = '\r';
      *p++ = '\n';
      bytes += static_cast<size_t>(p - buffer.data());
      benchmark::DoNotOptimize(buffer.data());
      benchmark::ClobberMemory();
    }
  }
  countValues(state, valuesPerRow, bytes);
}

// A sink that keeps only the number of bytes the records would take in a file.
class CountingSink final : public kv::RecordSink {
 public:
  void putRecord(std::string_view record) override {
    bytes += record.size() + 2;
    benchmark::DoNotOptimize(record.data());
  }
  size_t bytes = 0;
};

// Format execution and rendering, records handed to a counting sink.
void formatToCounter(benchmark::State& state, int valuesPerRow) {
  std::vector<std::vector<kv::FormatItem>> rows = itemsOf(makeRows(valuesPerRow));
  kv::Format format(formatText(valuesPerRow));
  CountingSink sink;
  for (auto _ : state) {
    for (const std::vector<kv::FormatItem>& row : rows) format.execute(row, sink);
  }
  countValues(state, valuesPerRow, sink.bytes);
}

// The whole writer: rows written through FormattedRecordWriter to /dev/null.
void writerToDevNull(benchmark::State& state, int valuesPerRow) {
  std::vector<std::vector<kv::FormatItem>> rows = itemsOf(makeRows(valuesPerRow));
  kv::Format format(formatText(valuesPerRow));
  CountingSink counter;
  for (const std::vector<kv::FormatItem>& row : rows) format.execute(row, counter);
  kv::FormattedRecordWriter writer(kv::kListingUnit, "/dev/null");
  for (auto _ : state) {
    for (const std::vector<kv::FormatItem>& row : rows) writer.write(format, row);
  }
  countValues(state, valuesPerRow, counter.bytes * static_cast<size_t>(state.iterations()));
}

// Keeps, for each benchmark, the best time per value over its repetitions, and shows only the
// statistics of the repetitions when there are several.
class BestReporter final : public benchmark::ConsoleReporter {
 public:
  explicit BestReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) shown.push_back(run);
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto values = run.counters.find("values");
      if (values == run.counters.end() || values->second.value <= 0) continue;
      double perValue = run.GetAdjustedCPUTime() / values->second.value;
      auto [it, inserted] = best_.emplace(run.run_name.function_name, perValue);
      if (!inserted) it->second = std::min(it->second, perValue);
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }
  // Best time per value in the benchmarks' time unit, or 0 when the benchmark did not run.
  double best(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> best_;
};

double minimum(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

void registerBenchmarks() {
  for (int valuesPerRow : {31, 12}) {
    std::string suffix = "/";
    suffix += std::to_string(valuesPerRow);
    for (auto* b : {
             benchmark::RegisterBenchmark(("to_chars" + suffix).c_str(), toChars, valuesPerRow),
             benchmark::RegisterBenchmark(("format_to_counter" + suffix).c_str(), formatToCounter,
                                          valuesPerRow),
             benchmark::RegisterBenchmark(("writer_to_dev_null" + suffix).c_str(), writerToDevNull,
                                          valuesPerRow),
         }) {
      b->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", minimum);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Three repetitions unless asked otherwise; the best of them is what the summary uses.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=3";
  bool repeated = std::any_of(args.begin(), args.end(), [](const char* arg) {
    return std::strncmp(arg, "--benchmark_repetitions", 23) == 0;
  });
  if (!repeated) args.push_back(repetitions.data());
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  registerBenchmarks();
  // No colours into a file or a pipe.
  BestReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                              : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  // The time unit of the runs is microseconds: per value, in nanoseconds.
  bool allPass = true;
  std::printf("\nFormatted-record writer against std::to_chars (best of the repetitions)\n");
  std::printf("%-26s %12s %12s %12s %8s %8s  %s\n", "format", "to_chars", "format+sink", "writer",
              "ratio", "target", "result");
  std::printf("%-26s %12s %12s %12s %8s %8s\n", "", "ns/value", "ns/value", "ns/value", "writer",
              "");
  for (int valuesPerRow : {31, 12}) {
    std::string suffix = "/";
    suffix += std::to_string(valuesPerRow);
    double floor = 1000.0 * reporter.best("to_chars" + suffix);
    double counted = 1000.0 * reporter.best("format_to_counter" + suffix);
    double writer = 1000.0 * reporter.best("writer_to_dev_null" + suffix);
    if (floor <= 0 || writer <= 0) {
      std::printf("%-26s (not measured: filtered out)\n", formatText(valuesPerRow));
      continue;
    }
    double ratio = writer / floor;
    bool pass = ratio <= kTargetRatio;
    allPass = allPass && pass;
    std::printf("%-26s %12.1f %12.1f %12.1f %8.2f %8.2f  %s\n", formatText(valuesPerRow), floor,
                counted, writer, ratio, kTargetRatio, pass ? "PASS" : "FAIL");
  }
  return allPass ? 0 : 1;
}
