// Runs a field case through the field engine with the per-point standard procedure, as the
// study will: `field_run CASE.csv OUT.csv [--threads N] [--chunk K] [--null]`. Prints the
// points, the seconds and the distribution's headline on standard output. --null replaces the
// computation with one that writes nothing (the cost of reading and parsing alone).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>

#include "celik_kernel.h"
#include "field/engine.h"
#include "field/field_case.h"

int main(int argc, char** argv) {
  using namespace kv::field;
  if (argc < 3) {
    std::fprintf(stderr, "usage: field_run CASE.csv OUT.csv [--threads N] [--chunk K] [--null]\n");
    return 2;
  }
  FieldOptions options;
  bool null = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) {
      options.threads = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--chunk") && i + 1 < argc) {
      options.chunkPoints = static_cast<size_t>(std::atol(argv[++i]));
    } else if (!std::strcmp(argv[i], "--null")) {
      null = true;
    }
  }
  auto fail = [](const Error& e) {
    std::fprintf(stderr, "kestrovanilque study: error: %s:%zu: %s\n", e.file.c_str(), e.line,
                 e.message.c_str());
    return 2;
  };
  auto start = std::chrono::steady_clock::now();
  auto read = readFieldCase(argv[1]);
  if (auto* e = std::get_if<Error>(&read)) return fail(*e);
  const FieldCase& field = std::get<FieldCase>(read);
  std::vector<double> h;
  for (const FieldGrid& g : field.grids) h.push_back(g.h);
  kv::bench::CelikKernel celik(h, h.size() >= 3 ? 1.25 : 3.0);
  PointKernel kernel = celik;
  if (null) kernel = [](const Point&, std::string&) { return PointSummary{}; };
  OutputFile out;
  if (auto e = out.open(argv[2])) return fail(*e);
  out.write(kv::bench::kSummaryHeader);
  FieldResult result = runField(field.gridFiles(), field.exact, kernel, out, options);
  if (result.error) return fail(*result.error);
  if (auto e = out.commit()) return fail(*e);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const FieldStats& s = result.stats;
  std::printf("points %llu seconds %.6f serial_read %.6f serial_write %.6f monotonic %llu "
              "gci_median %.4g worst %s\n",
              static_cast<unsigned long long>(result.points), seconds, result.readSeconds,
              result.writeSeconds,
              static_cast<unsigned long long>(s.byConvergence[0]), s.gci.percentile(0.5),
              s.worst.sorted().empty() ? "-" : s.worst.sorted()[0].id.c_str());
  return 0;
}
