// The commands over HDF5 fields: `kestrovanilque study FIELD.h5` (under mpirun or alone, whole
// or one slab of a job array) and `kestrovanilque merge SLAB_DIR... --out DIR`.
//
// Exit status: 0 done; 1 --strict and some point does not converge monotonically with an
// observed order; 2 bad input or bad options (nothing written); 3 the outputs cannot be written
// (nothing half-written). Every rank of an MPI run ends with the same status.
#pragma once

namespace kv::cluster {

// Whether the case of `study ARGS` (argv[0] = "study") is an HDF5 file: by its extension
// (.h5, .hdf5, .he5) or by the signature at its start.
bool isHdf5Study(int argc, char** argv);

// argv[0] is "study".
int runHdf5Study(int argc, char** argv);

// argv[0] is "merge".
int runMergeCommand(int argc, char** argv);

}  // namespace kv::cluster
