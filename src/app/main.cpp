#include <string_view>

#include "app/run_sequence.h"
#include "study/study_command.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "study") {
    return kv::study::runStudyCommand(argc - 1, argv + 1);
  }
  return kv::runProgram(argc, argv);
}
