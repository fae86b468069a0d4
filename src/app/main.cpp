#include <string_view>

#include "app/run_sequence.h"
#include "cluster/command.h"
#include "study/study_command.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "study") {
    if (kv::cluster::isHdf5Study(argc - 1, argv + 1)) {
      return kv::cluster::runHdf5Study(argc - 1, argv + 1);
    }
    return kv::study::runStudyCommand(argc - 1, argv + 1);
  }
  if (argc > 1 && std::string_view(argv[1]) == "merge") {
    return kv::cluster::runMergeCommand(argc - 1, argv + 1);
  }
  return kv::runProgram(argc, argv);
}
