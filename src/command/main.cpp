#include <string_view>

#include "app/run_sequence.h"
#include "command/command.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::string_view(argv[1]) == "study" || std::string_view(argv[1]) == "merge")) {
    return kv::command::runStudyCommand(argc, argv);
  }
  return kv::runProgram(argc, argv);
}
