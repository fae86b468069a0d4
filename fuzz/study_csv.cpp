// A study's CSV table from arbitrary bytes. The first byte chooses the options (cell counts,
// the dimension 0 to 3); the rest is the table. The parser either returns a table a study can
// run on or throws Failure with the line of the fault.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "reader_checks.h"
#include "cases/csv_case.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv;
  using namespace kv::study;
  fuzz::Input input(data, size);
  const uint8_t control = input.byte();
  const CsvOptions options{(control & 1) != 0, (control >> 1) & 3};
  const std::string_view text = input.rest();
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  (void)looksLikeCsv(text);
  StudyCase c;
  try {
    c = parseCsvCase(text, "case.csv", options);
  } catch (const Failure& e) {
    fuzz::check(e.file() == "case.csv" && e.line() <= lines);
    fuzz::check(std::string_view(e.what()).find('\n') == std::string_view::npos);
    return 0;
  }
  // Two grids or more, finest first, each with one value of every quantity (nan and inf are
  // studied, not refused).
  const size_t grids = c.h.size();
  fuzz::check(grids >= 2 && c.lines.size() == grids && !c.quantities.empty());
  fuzz::check(c.cells.empty() || c.cells.size() == grids);
  for (size_t g = 0; g < grids; ++g) {
    fuzz::check(std::isfinite(c.h[g]) && c.h[g] > 0.0 && c.lines[g] >= 1 && c.lines[g] <= lines);
    if (g > 0) fuzz::check(c.h[g - 1] < c.h[g]);
  }
  for (const Quantity& q : c.quantities) {
    fuzz::check(!q.name.empty() && q.values.size() == grids);
    fuzz::check(std::isnan(q.exact) || std::isfinite(q.exact));
  }
  return 0;
}
