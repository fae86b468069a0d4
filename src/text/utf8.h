// The one policy for text the study takes from its inputs (quantity names, titles, point ids,
// dataset names) and writes into its outputs (CSV, JSON, HTML, standard output), which are all
// UTF-8: text that is valid UTF-8 is kept as it is; text that is not is read as Latin-1 (ISO
// 8859-1, as the classic files are written) and converted, byte by byte.
#pragma once

#include <string>
#include <string_view>

namespace kv {

bool isUtf8(std::string_view text);

// `text` as UTF-8 under the policy above.
std::string toUtf8(std::string_view text);

// Appends `text` as UTF-8 under the policy above (no allocation for ASCII text).
void appendUtf8(std::string& out, std::string_view text);

}  // namespace kv
