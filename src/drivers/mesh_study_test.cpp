#include "drivers/mesh_study.h"

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "io/temp_file.h"
#include "temp_folder.h"

namespace kv::study {
namespace {

// The peak resident memory of this process, from Linux's /proc (0 elsewhere).
double peakMebibytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0.0;
}

// A jittered lattice of n x n points on the unit square as a grid file x,y,T.
void writeGrid(const std::string& name, int n, std::mt19937_64& random) {
  std::FILE* out = std::fopen(name.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::uniform_real_distribution<double> shift(-0.25, 0.25);
  const double h = 1.0 / (n - 1);
  std::string text = "x,y,T\n";
  char number[32];
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const double x = h * (i + (i == 0 || i == n - 1 ? 0.0 : shift(random)));
      const double y = h * (j + (j == 0 || j == n - 1 ? 0.0 : shift(random)));
      const double t =
          std::exp(0.7 * x) * std::sin(2 * y + 0.3) + x * x + h * h * (1 + 0.5 * x * y);
      for (double v : {x, y, t}) {
        text.append(number, std::to_chars(number, number + sizeof number, v).ptr);
        text.push_back(v == t ? '\n' : ',');
      }
    }
    if (text.size() > (1u << 20)) {
      std::fwrite(text.data(), 1, text.size(), out);
      text.clear();
    }
  }
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

// The cost at scale: 10^6 study points (the coarsest grid) and grids of 2, 4 and 8 million
// points (ratio sqrt 2), on two threads (KV_THREADS=N for N), every output but the plots.
// About 1 GB of CSV.
//   study_tests --gtest_also_run_disabled_tests --gtest_filter='*DISABLED_Scale*'
TEST(MeshStudy, DISABLED_ScaleMillionPoints) {
  testing_support::TempFolder folder("mesh_scale");
  std::mt19937_64 random(3);
  MeshCase input;
  input.file = "case.csv";
  for (int n : {2829, 2000, 1415, 1000}) {
    input.gridFiles.push_back("g" + std::to_string(n) + ".csv");
    input.h.push_back(1.0 / (n - 1));
    writeGrid(input.gridFiles.back(), n, random);
  }
  StudyOptions options;
  const char* threads = std::getenv("KV_THREADS");
  options.threads = threads ? static_cast<unsigned>(std::atoi(threads)) : 2;
  io::TempFile rows, vtu;
  ASSERT_EQ(rows.open("summary.csv"), std::nullopt);
  ASSERT_EQ(vtu.open("field.vtu"), std::nullopt);
  const MeshStudy study = runMeshStudy(input, options, rows);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(mesh::writeVtu(vtu, study.field, study.extras), std::nullopt);
  ASSERT_EQ(vtu.commit(), std::nullopt);
  ASSERT_EQ(rows.commit(), std::nullopt);
  const double vtuSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double points = static_cast<double>(study.summary.points), gridPoints = 15.0e6;
  std::printf("%.0f study points, %.0f grid points in all, %u threads\n", points, gridPoints,
              options.threads);
  const struct {
    const char* name;
    const MeshStudy::Stage& stage;
    double per;
    const char* unit;
  } stages[] = {{"read", study.read, gridPoints, "grid point"},
                {"trees", study.tree, gridPoints, "grid point"},
                {"interpolation", study.interpolate, 3 * points, "study point and grid"},
                {"study", study.study, points, "study point"}};
  for (const auto& s : stages) {
    std::printf("%-13s %6.2f s wall, %6.2f s cpu: %.3f us cpu a %s\n", s.name, s.stage.wall,
                s.stage.cpu, 1e6 * s.stage.cpu / s.per, s.unit);
  }
  std::printf("largest tree %.1f bytes a point; field.vtu %.2f s; peak memory %.0f MiB\n",
              static_cast<double>(study.treeBytes) / 8.0e6, vtuSeconds, peakMebibytes());
  EXPECT_EQ(study.summary.mesh->points[static_cast<size_t>(mesh::InterpolationStatus::Outside)],
            0u);
}

}  // namespace
}  // namespace kv::study
