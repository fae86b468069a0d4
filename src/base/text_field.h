// Fixed-length text fields (textN): N single-byte Latin-1 characters, blank-padded on the right.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// `value` cut to its first `length` characters or padded with blanks to `length`.
std::string fixedText(std::string_view value, size_t length);

// `value` without its trailing blanks.
std::string_view trimmed(std::string_view value);

// `value` left-adjusted and trimmed: leading blanks moved to the end, trailing blanks removed.
// This is how every file name and label piece is prepared before use.
std::string_view adjusted(std::string_view value);

// Whether a and b are equal with ASCII letter case ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kv
