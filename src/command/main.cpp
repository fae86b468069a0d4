#include <cstdio>
#include <new>
#include <string_view>

#include "app/run_sequence.h"
#include "command/command.h"

// No argument: the classic run. `study` and `merge`: the commands. Anything else: the help, the
// version, or an unknown command refused with the help.
int main(int argc, char** argv) {
  if (argc < 2) return kv::runProgram();
  if (std::string_view(argv[1]) != "study" && std::string_view(argv[1]) != "merge") {
    return kv::command::runTopLevel(argc, argv);
  }
  try {
    return kv::command::runStudyCommand(argc, argv);
  } catch (const std::bad_alloc&) {
    // What a case asks for is bounded before it is allocated; should anything still not fit,
    // the outputs are taken away as the stack unwinds and the study ends with one line.
    std::fprintf(stderr, "kestrovanilque %s: error: out of memory: the case needs more than this machine gives\n",
                 argv[1]);
    return 2;
  }
}
