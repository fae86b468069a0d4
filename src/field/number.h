// Numbers of the point files, read with std::from_chars and the same rules as the list-directed
// reader of the classic input (text/list_directed.h): a real is
//   [sign] (digits [. [digits]] | . digits) [(E|D|Q) [sign] digits | sign digits]
// or Inf, Infinity, NaN with an optional sign (any case); an integer is [sign] digits.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::field {

// Reads `text` whole as a real; false when it is not one (or does not fit a double).
bool parseReal(std::string_view text, double& value);

// Reads `text` whole as an integer; false when it is not one or is out of range.
bool parseInteger(std::string_view text, int64_t& value);

}  // namespace kv::field
