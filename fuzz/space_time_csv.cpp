// A space-time table (h,dt runs) from arbitrary bytes. The first byte chooses the options (cell
// counts, the dimension 0 to 3); the rest is the table. The parser either returns runs a
// space-time study can take, finest first, or throws Failure with the line of the fault.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "reader_checks.h"
#include "cases/space_time_case.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv;
  using namespace kv::study;
  fuzz::Input input(data, size);
  const uint8_t control = input.byte();
  const CsvOptions options{(control & 1) != 0, (control >> 1) & 3};
  const std::string_view text = input.rest();
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  if (!isSpaceTimeTable(text)) return 0;
  SpaceTimeCase c;
  try {
    c = parseSpaceTimeCase(text, "case.csv", options);
  } catch (const Failure& e) {
    fuzz::check(e.file() == "case.csv" && e.line() <= lines);
    fuzz::check(std::string_view(e.what()).find('\n') == std::string_view::npos);
    return 0;
  }
  // Three runs or more, by h then dt, no two alike, each with a value of every quantity.
  const size_t runs = c.h.size();
  fuzz::check(runs >= 3 && runs <= kMaxSpaceTimeRuns && c.dt.size() == runs && c.lines.size() == runs);
  fuzz::check(!c.quantities.empty() && (c.cells.empty() || c.cells.size() == runs));
  for (size_t i = 0; i < runs; ++i) {
    fuzz::check(std::isfinite(c.h[i]) && c.h[i] > 0.0 && std::isfinite(c.dt[i]) && c.dt[i] > 0.0);
    fuzz::check(c.lines[i] >= 1 && c.lines[i] <= lines);
    if (i > 0) fuzz::check(c.h[i - 1] < c.h[i] || (c.h[i - 1] == c.h[i] && c.dt[i - 1] < c.dt[i]));
  }
  for (const SpaceTimeQuantity& q : c.quantities) {
    fuzz::check(!q.name.empty() && q.values.size() == runs);
    fuzz::check(q.iterErr.empty() || q.iterErr.size() == runs);
    for (double e : q.iterErr) fuzz::check(!std::isinf(e));
    fuzz::check(std::isnan(q.exact) || std::isfinite(q.exact));
  }
  return 0;
}
