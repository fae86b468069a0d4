// The commands over HDF5 fields in a build without MPI and a parallel HDF5.
#include <cstdio>

#include "cluster/command.h"

namespace kv::cluster {

namespace {

int unavailable(const char* command) {
  std::fprintf(stderr,
               "kestrovanilque %s: error: this build cannot read HDF5 fields: build it where MPI "
               "and a parallel HDF5 are found (Debian: libopenmpi-dev, libhdf5-openmpi-dev)\n",
               command);
  return 2;
}

}  // namespace

int runHdf5Study(const study::Arguments&) { return unavailable("study"); }
int runMergeCommand(const study::Arguments&) { return unavailable("merge"); }

}  // namespace kv::cluster
