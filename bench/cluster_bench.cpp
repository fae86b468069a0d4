// HDF5 field benchmark: a generated field of 10^6 and 10^7 points (by default) on 5 grids,
// studied by the real binary with one rank (no mpirun) and with `mpirun -np 2`. Each run is a
// child process: wall time from the parent; CPU time and the peak memory of the largest process
// (a rank) from wait4, which includes the ranks that mpirun waited for. Targets:
//  - 2 ranks at least 1.7 times faster than 1 (wall time, largest field);
//  - peak memory per rank bounded: not growing with the field (largest over smallest < 1.5).
//
// Usage: cluster_bench [--work DIR] [--keep] [--no-csv] [POINTS ...]
#include <hdf5.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

using kv::bench::Measure;
using kv::bench::runChild;
using kv::bench::verdict;

// A manufactured field: phi = u + c h^2 (+ h^3) on 5 grids given coarsest first, with one point
// in twenty oscillating and one in twenty-five diverging; ids from 1000 in steps of 3.
bool generate(const std::string& path, uint64_t points) {
  const std::vector<double> h = {0.08, 0.04, 0.02, 0.01, 0.005};
  const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (file < 0) return false;
  const hid_t links = H5Pcreate(H5P_LINK_CREATE);
  H5Pset_create_intermediate_group(links, 1);
  const hsize_t grids = h.size(), dims[2] = {grids, points};
  hid_t space = H5Screate_simple(1, &grids, nullptr);
  hid_t set = H5Dcreate2(file, "/h", H5T_IEEE_F64LE, space, links, H5P_DEFAULT, H5P_DEFAULT);
  H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, h.data());
  H5Dclose(set);
  H5Sclose(space);
  space = H5Screate_simple(2, dims, nullptr);
  set = H5Dcreate2(file, "/fields/u", H5T_IEEE_F64LE, space, links, H5P_DEFAULT, H5P_DEFAULT);
  const hid_t ids = [&] {
    const hid_t s = H5Screate_simple(1, &dims[1], nullptr);
    const hid_t d = H5Dcreate2(file, "/points/id", H5T_STD_I64LE, s, links, H5P_DEFAULT, H5P_DEFAULT);
    H5Sclose(s);
    return d;
  }();
  const uint64_t block = 1 << 20;
  std::vector<double> values;
  std::vector<int64_t> id;
  for (uint64_t first = 0; first < points; first += block) {
    const hsize_t n = std::min(block, points - first);
    values.assign(grids * n, 0.0);
    id.resize(n);
    for (hsize_t i = 0; i < n; ++i) {
      const uint64_t p = first + i;
      const double x = 1e-6 * static_cast<double>(p);
      const double u = 1.0 + 0.5 * std::sin(x), c = 0.2 + 0.1 * std::cos(3 * x);
      id[i] = static_cast<int64_t>(1000 + 3 * p);
      for (hsize_t g = 0; g < grids; ++g) {
        double e = c * h[g] * h[g] + 0.3 * h[g] * h[g] * h[g];
        if (p % 20 == 7) e *= (g % 2 ? -1.0 : 1.0);
        if (p % 25 == 11) e = 0.01 / (h[g] + 0.01);
        values[g * n + i] = u + e;
      }
    }
    const hsize_t start[2] = {0, first}, count[2] = {grids, n};
    const hid_t memory = H5Screate_simple(2, count, nullptr);
    H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
    H5Dwrite(set, H5T_NATIVE_DOUBLE, memory, space, H5P_DEFAULT, values.data());
    H5Sclose(memory);
    const hid_t idSpace = H5Dget_space(ids);
    const hsize_t idStart = first, idCount = n;
    const hid_t idMemory = H5Screate_simple(1, &idCount, nullptr);
    H5Sselect_hyperslab(idSpace, H5S_SELECT_SET, &idStart, nullptr, &idCount, nullptr);
    H5Dwrite(ids, H5T_NATIVE_INT64, idMemory, idSpace, H5P_DEFAULT, id.data());
    H5Sclose(idMemory);
    H5Sclose(idSpace);
  }
  H5Dclose(ids);
  H5Dclose(set);
  H5Sclose(space);
  H5Pclose(links);
  return H5Fclose(file) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path work = fs::temp_directory_path() / "kv_cluster_bench";
  bool keep = false, noCsv = false;
  std::vector<uint64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else if (a == "--no-csv") {
      noCsv = true;
    } else {
      sizes.push_back(std::strtoull(a.c_str(), nullptr, 10));
    }
  }
  if (sizes.empty()) sizes = {1000000, 10000000};
  setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
  setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
  fs::create_directories(work);
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  std::printf("cluster_bench: HDF5 field, 5 grids, 1 quantity%s; load average %.1f on %ld cores\n",
              noCsv ? ", --no-csv" : "", load[0], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%10s %6s %10s %10s %12s %14s %10s\n", "points", "ranks", "wall s", "cpu s",
              "cpu us/pt", "pts/s/rank", "peak MiB");
  bool ok = true;
  double firstPeak = 0, lastPeak = 0, speedup = 0;
  for (uint64_t points : sizes) {
    const std::string field = (work / ("field" + std::to_string(points) + ".h5")).string();
    if (!fs::exists(field) && !generate(field, points)) {
      std::printf("cluster_bench: cannot write %s\n", field.c_str());
      return 1;
    }
    Measure byRanks[2];
    for (int ranks = 1; ranks <= 2; ++ranks) {
      const std::string out = (work / ("out" + std::to_string(ranks))).string();
      fs::remove_all(out);
      std::vector<std::string> args;
      if (ranks > 1) args = {KV_MPIEXEC, "--oversubscribe", "-np", std::to_string(ranks)};
      for (const std::string& a : {std::string(KV_BINARY), std::string("study"), field, std::string("--out"), out}) {
        args.push_back(a);
      }
      if (noCsv) args.push_back("--no-csv");
      const Measure m = runChild(args);
      ok = ok && m.status == 0;
      byRanks[ranks - 1] = m;
      std::printf("%10llu %6d %10.2f %10.2f %12.3f %14.0f %10.1f%s\n",
                  static_cast<unsigned long long>(points), ranks, m.seconds, m.cpuSeconds,
                  1e6 * m.cpuSeconds / static_cast<double>(points),
                  static_cast<double>(points) / m.seconds / ranks, m.peakMiB, m.status ? "  (failed)" : "");
      if (ranks == 2 && fs::file_size(fs::path(out) / "summary.h5") != fs::file_size(work / "out1" / "summary.h5")) {
        std::printf("cluster_bench: summary.h5 differs between 1 and 2 ranks\n");
        ok = false;
      }
    }
    if (firstPeak == 0) firstPeak = byRanks[0].peakMiB;
    lastPeak = std::max(byRanks[0].peakMiB, byRanks[1].peakMiB);
    speedup = byRanks[0].seconds / byRanks[1].seconds;
  }
  std::printf("%s  2 ranks at least 1.7x faster than 1: %.2fx (wall, largest field)\n", verdict(speedup >= 1.7), speedup);
  std::printf("%s  peak memory per rank bounded: %.1f MiB at the smallest field, %.1f at the largest\n",
              verdict(lastPeak < 1.5 * firstPeak), firstPeak, lastPeak);
  if (!keep) fs::remove_all(work);
  return ok && speedup >= 1.7 && lastPeak < 1.5 * firstPeak ? 0 : 1;
}
