// A field case (the h,file table) from arbitrary bytes, read from a file as a study reads it.
// The first byte chooses the dimension (0 to 3) given for cell counts; the rest is the table.
#include <cmath>
#include <cstdint>
#include <string>
#include <variant>

#include "field/field_case.h"
#include "fuzz_input.h"
#include "reader_checks.h"
#include "temp_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv;
  fuzz::Input input(data, size);
  const int dimension = input.byte() & 3;
  const std::string_view text = input.rest();
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  const std::string path = fuzz::writeTempFile("case.csv", text);
  auto read = field::readFieldCase(path, dimension);
  if (const auto* e = std::get_if<Error>(&read)) {
    fuzz::check(e->file == path && e->line <= lines && !e->message.empty());
    fuzz::check(e->message.find('\n') == std::string::npos);
    return 0;
  }
  // Two grids or more, finest first, every file named.
  const field::FieldCase& c = std::get<field::FieldCase>(read);
  fuzz::check(c.grids.size() >= 2);
  for (size_t g = 0; g < c.grids.size(); ++g) {
    const field::FieldGrid& grid = c.grids[g];
    fuzz::check(std::isfinite(grid.h) && grid.h > 0.0);
    fuzz::check(!grid.file.path.empty());
    if (g > 0) fuzz::check(c.grids[g - 1].h < grid.h);
  }
  return 0;
}
