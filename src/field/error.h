// A failure of a field study that the user can mend, as a value: the study prints it as
// "kestrovanilque study: error: FILE:LINE: MESSAGE".
#pragma once

#include <string>

namespace kv::field {

struct Error {
  std::string file;
  size_t line = 0;  // 1-based; 0 when the failure concerns the file as a whole
  std::string message;

  bool operator==(const Error&) const = default;
};

}  // namespace kv::field
