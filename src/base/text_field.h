// Fixed-length text fields (textN): N single-byte Latin-1 characters, blank-padded on the right.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// `value` cut to its first `length` characters or padded with blanks to `length`.
std::string fixedText(std::string_view value, size_t length);

// `value` without its trailing blanks.
std::string_view trimmed(std::string_view value);

// Whether `name` holds a control character (bytes 0 to 31 and 127). A file of such a name is
// never opened: a NUL would open another file than the one named, and the name could not be
// shown in a message as it is.
bool hasControlCharacter(std::string_view name);

// `value` left-adjusted and trimmed: leading blanks moved to the end, trailing blanks removed.
// This is how every file name and label piece is prepared before use.
std::string_view adjusted(std::string_view value);

// Whether a and b are equal with ASCII letter case ignored.
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kv
