// The run sequence: the main program. One execution is one run: read the input, open the
// listing, write its head, compute, run the output stages in their fixed order, close the
// listing and show it in the editor.
#pragma once

#include <span>
#include <string_view>

#include "app/run.h"

namespace kv {

// One output stage: its name, whether it runs only when an exact solution is given, and the
// operation that writes it.
struct OutputStage {
  std::string_view name;
  bool exactOnly;
  Stage write;
};

// The output stages, in the order in which they run.
std::span<const OutputStage> outputStages();

// Runs the program; the result is the process exit status. The run takes no argument (the
// command line's help, version and commands are command/'s).
int runProgram();

}  // namespace kv
