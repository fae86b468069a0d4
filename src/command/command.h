// `kestrovanilque study ...` and `kestrovanilque merge ...`: the command line read once
// (study/arguments.h), the kind of the case decided once (study/case_kind.h), then the study of
// that kind: a table, a main data file or a field of point files (study/), an HDF5 field on MPI
// ranks or a merge of slabs (cluster/).
#pragma once

namespace kv::command {

// argv[1] is "study" or "merge". Returns the exit status.
int runStudyCommand(int argc, char** argv);

// argv[1] is anything else: the help, the version, or an unknown command refused with the help.
// Returns the exit status.
int runTopLevel(int argc, char** argv);

}  // namespace kv::command
