#include "command/command.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cluster/command.h"
#include "study/case_kind.h"
#include "study/study_command.h"

namespace kv::command {

namespace {

// Under mpirun every rank runs this: only the first prints what comes before MPI is started (help,
// bad options, a case that cannot be read), so that it is printed once.
bool firstRank() {
  for (const char* variable : {"OMPI_COMM_WORLD_RANK", "PMIX_RANK", "PMI_RANK"}) {
    if (const char* rank = std::getenv(variable)) return std::string_view(rank) == "0";
  }
  return true;
}

void print(std::FILE* stream, const std::string& text) {
  if (firstRank()) std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

int runStudyCommand(int argc, char** argv) {
  const study::ParsedCommand parsed = study::parseCommand(argc, argv);
  if (!parsed.arguments) {
    print(stdout, parsed.out);
    print(stderr, parsed.err);
    return parsed.status;
  }
  const study::Arguments& a = *parsed.arguments;
  study::Case c;
  try {
    c = study::readCase(a);
  } catch (const InputError& e) {
    if (firstRank()) study::printError(a, Error{study::displayName(e.file()), e.line(), e.what(), e.error().kind});
    return e.error().status();
  }
  switch (c.kind) {
    case study::CaseKind::Hdf5:
      return cluster::runHdf5Study(a);
    case study::CaseKind::Slabs:
      return cluster::runMergeCommand(a);
    default:
      return study::runTextStudy(a, c);
  }
}

}  // namespace kv::command
