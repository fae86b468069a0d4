// The command `kestrovanilque study CASE [options]`: reads the case, runs the study, writes
// summary.csv, study.json and report.html into the output folder and prints the summary.
//
// Exit status: 0 done; 1 --strict and some quantity does not converge monotonically or has no
// observed order; 2 bad input or bad options (nothing written); 3 the output folder cannot be
// written (nothing half-written).
#pragma once

namespace kv::study {

// `argv[0]` is "study".
int runStudyCommand(int argc, char** argv);

}  // namespace kv::study
