// Runs a field case through the study's field code without the rest of the command:
// `field_run CASE.csv OUT.csv [--threads N] [--null] [--no-least-squares]`. Prints the points, the seconds and the
// time of the serial stages (reading; writing and merging) on standard output. --null replaces
// the per-point study with a computation that writes nothing: the cost of reading and parsing
// alone.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "field/engine.h"
#include "io/temp_file.h"
#include "drivers/field_study.h"
#include "study/summary.h"

int main(int argc, char** argv) {
  using namespace kv;
  if (argc < 3) {
    std::fprintf(stderr, "usage: field_run CASE.csv OUT.csv [--threads N] [--null] [--no-least-squares]\n");
    return 2;
  }
  unsigned threads = 0;
  bool null = false, noLeastSquares = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) {
      threads = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--null")) {
      null = true;
    } else if (!std::strcmp(argv[i], "--no-least-squares")) {
      noLeastSquares = true;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  try {
    const study::FieldStudyCase input = study::readFieldTable(argv[1], 0);
    io::TempFile out;
    if (auto e = out.open(argv[2])) throw Failure(*e);
    out.write(study::summaryHeader());
    uint64_t points = 0;
    double read = 0, write = 0;
    if (null) {
      field::FieldOptions options;
      options.threads = threads;
      options.progress = false;
      struct Nothing : field::PointKernel {
        struct Work : field::ChunkWork {
          void begin(uint64_t) override {}
          void point(const field::Point&, std::string&) override {}
        };
        std::unique_ptr<field::ChunkWork> newWork() const override { return std::make_unique<Work>(); }
        void merge(field::ChunkWork&) override {}
      } kernel;
      field::FieldResult r = field::runField(input.grids, input.exact, kernel, out, options);
      if (r.error) throw Failure(*r.error);
      points = r.points, read = r.readSeconds, write = r.writeSeconds;
    } else {
      study::FieldStudyOptions options;
      options.threads = threads;
      options.progress = false;
      options.study.leastSquares = !noLeastSquares;
      study::FieldStudy s = study::runFieldStudy(input, options, out);
      points = s.summary.points, read = s.readSeconds, write = s.writeSeconds;
    }
    if (auto e = out.commit()) throw Failure(*e);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("points %llu seconds %.6f serial_read %.6f serial_write %.6f\n",
                static_cast<unsigned long long>(points), seconds, read, write);
  } catch (const Failure& e) {
    std::fprintf(stderr, "field_run: error: %s\n", e.where().c_str());
    return 2;
  }
  return 0;
}
