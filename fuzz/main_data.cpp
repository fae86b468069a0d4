// A whole main data file from arbitrary bytes, read as a run reads it: the parameters, the
// grid series allocated for gridCount, the grid file names and the title.
#include <cstdint>
#include <string>

#include "reader_checks.h"
#include "app/input_reader.h"
#include "text/record_writer.h"

namespace {
// Larger series only cost the fuzzer time: their allocation is tested on its own.
constexpr double kMaxRunData = 256.0 * 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv;
  const std::string name = "case.txt";
  ListDirectedReader in = ListDirectedReader::fromText(
      kInputUnit, name, std::string(reinterpret_cast<const char*>(data), size));
  RunData run;
  try {
    readParameters(in, run.params);
    if (runDataBytes(run.params.gridCount) > kMaxRunData) return 0;
    run.grid.allocate(run.params.gridCount);
    readGridNames(in, run);
  } catch (const FatalExit& failure) {
    fuzz::checkReadFailure(failure, name);
    return 0;
  }
  // Every text field keeps its length, and the reader stays inside the file.
  const RunParameters& p = run.params;
  fuzz::check(p.listingFile.size() == kFileNameLength &&
              p.exactSolutionFile.size() == kFileNameLength && p.title.size() == kTitleLength);
  for (int i = 1; i <= run.grid.count; ++i) {
    fuzz::check(run.grid.gridFile(i).size() == kFileNameLength);
    fuzz::check(run.grid.pV_text(i).size() == 2);
  }
  fuzz::check(in.nextRecordOffset() <= size);
  return 0;
}
