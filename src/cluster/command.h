// The commands over HDF5 fields: `kestrovanilque study FIELD.h5` (under mpirun or alone, whole
// or one slab of a job array) and `kestrovanilque merge SLAB_DIR... --out DIR`, their arguments
// read and checked by study/arguments.h.
//
// Exit status: 0 done; 1 --strict and some point does not converge monotonically with an
// observed order; 2 bad input or bad options (nothing written); 3 the outputs cannot be written
// (nothing half-written). Every rank of an MPI run ends with the same status.
#pragma once

#include "study/arguments.h"

namespace kv::cluster {

int runHdf5Study(const study::Arguments& a);
int runMergeCommand(const study::Arguments& a);

}  // namespace kv::cluster
