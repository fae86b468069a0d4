// Runs a program as a child process and measures it: wall time from the parent, CPU time and
// peak memory from wait4 (which includes the grandchildren the child waited for, such as the
// ranks under mpirun).
#pragma once

#include <string>
#include <vector>

namespace kv::bench {

struct Measure {
  double seconds = 0.0;
  double cpuSeconds = 0.0;  // user + system
  double peakMiB = 0.0;     // of the largest process
  int status = -1;          // the exit status, or 128 + the signal that ended it
};

// Runs args[0] (searched in PATH) with its standard output sent to `outputFile`.
Measure runChild(const std::vector<std::string>& args, const std::string& outputFile = "/dev/null");

inline const char* verdict(bool ok) { return ok ? "PASS" : "FAIL"; }

}  // namespace kv::bench
