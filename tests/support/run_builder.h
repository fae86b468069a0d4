// Unit-test support: the data of a run with its listing, as the run sequence holds them, built
// by hand for the tests of the estimation and of the output stages; and the right-justified
// fields in which the records show numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_data.h"
#include "text/record_writer.h"

namespace kv::testing_support {

struct TestRun : RunData {
  std::optional<FormattedRecordWriter> listing;  // opened by the test when a stage needs it
};

// A run of `n` grids with the true orders pL + (m - 1) deltaP filled in; the derived arrays
// hold what the allocation gives them (undefinedValue).
inline void prepareRun(RunData& run, int n, int32_t pL, int32_t deltaP) {
  run.params.gridCount = n;
  run.params.pL = pL;
  run.params.deltaP = deltaP;
  run.grid.allocate(n);
  for (int m = 1; m <= run.grid.count; ++m) {
    run.grid.pV(m) = trueOrder(run.params, m);
    run.grid.pV_text(m) = twoCharacterText(run.grid.pV(m));
  }
}

// The same with the parameters given and the spacings h and grid values Th filled in.
inline void makeRun(RunData& run, const RunParameters& params, const std::vector<double>& h,
                    const std::vector<double>& Th) {
  run.params = params;
  prepareRun(run, static_cast<int>(h.size()), params.pL, params.deltaP);
  for (int i = 1; i <= run.grid.count; ++i) {
    run.grid.h(i) = h[static_cast<size_t>(i - 1)];
    run.grid.Th(i) = Th[static_cast<size_t>(i - 1)];
  }
}

// `text` right-justified in a field of `width` characters (a rendered number); a longer text is
// kept whole.
inline std::string field(std::string_view text, size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

}  // namespace kv::testing_support
