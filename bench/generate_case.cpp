// Writes a manufactured case of N grids into a folder, ready for a run:
//   generate_case FOLDER N [SCRIPT_FOLDER]
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "bench_case.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: generate_case FOLDER N [SCRIPT_FOLDER]\n");
    return 2;
  }
  int gridCount = std::atoi(argv[2]);
  if (gridCount < 1) {
    std::fprintf(stderr, "generate_case: N must be a positive number of grids\n");
    return 2;
  }
  try {
    kv::bench::writeCase(argv[1], gridCount, argc == 4 ? argv[3] : "");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "generate_case: %s\n", error.what());
    return 1;
  }
  return 0;
}
