#include "command/command.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "command/arguments.h"
#include "drivers/drive.h"
#include "io/platform.h"

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

// The exit status: 0 done; 1 --strict and some quantity or point does not converge (or, a
// space-time table, has no U or a warning); 2 bad input or bad options (nothing written); 3 the
// outputs cannot be written (nothing half-written).
int exitStatus(const study::Outcome& outcome, bool strict) {
  if (outcome.error) return outcome.error->kind == Error::Kind::Input ? 2 : 3;
  return strict && outcome.unsound ? 1 : 0;
}

// What a command line that starts nothing gives (help, a refusal), printed; the exit status.
int printParsed(const study::ParsedCommand& parsed, std::string_view program) {
  print(stdout, parsed.out);
  print(stderr, parsed.err);
  if (!study::standardOutputWritten()) {
    study::OutputPlan plan;
    plan.program = program;
    return exitStatus(study::failToPrint(plan), false);
  }
  return parsed.status;
}

}  // namespace

int runTopLevel(int argc, char** argv) {
  io::platform::guardStandardStreams();
  return printParsed(study::parseTopLevel(argc, argv), "kestrovanilque");
}

int runStudyCommand(int argc, char** argv) {
  io::platform::guardStandardStreams();
  const study::ParsedCommand parsed = study::parseCommand(argc, argv);
  if (!parsed.arguments) {
    const bool merge = argc > 1 && std::string_view(argv[1]) == "merge";
    return printParsed(parsed, study::programName(merge ? study::Arguments::Command::Merge : study::Arguments::Command::Study));
  }
  const study::Arguments& a = *parsed.arguments;
  const bool merge = a.command == study::Arguments::Command::Merge;
  study::OutputPlan plan = study::outputPlan(a.caseFile, a.output, a.options.slab);
  plan.program = std::string(study::programName(a.command));
  plan.run = merge ? "merge" : "study";
  // Once the kind of the case is known: an option that does not apply to it, then values and
  // combinations (CLI11 has checked each value given, validate() the options as a whole).
  auto refuse = [&](study::CaseKind kind) {
    if (auto refused = study::refusedOption(kind, a.given, a.output.format)) {
      throw Failure(study::displayName(merge ? "" : a.caseFile), 0, *refused);
    }
    if (std::optional<Error> invalid = study::validate(a.options, a.output)) throw Failure(*invalid);
  };
  study::Case c;
  try {
    if (merge) {
      refuse(study::CaseKind::Slabs);
    } else {
      c = study::readCase(a.caseFile, {a.options.cells, a.options.dimension, a.options.field}, refuse);
    }
  } catch (const Failure& e) {
    Error error = e.error();
    error.file = study::displayName(error.file);
    if (firstRank()) study::printError(plan, error);
    return exitStatus({error}, false);
  }
  const study::Outcome outcome = merge ? study::mergeSlabs(a.slabFolders, a.options, plan) : study::studyCase(c, a.options, plan);
  return exitStatus(outcome, a.output.strict);
}

}  // namespace kv::command
