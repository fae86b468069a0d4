// What every read of arbitrary bytes must end with: the values, or one fatal line of the kinds
// a read can give.
#pragma once

#include <cstdlib>
#include <string_view>

#include "base/fatal.h"

namespace kv::fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

// A read from memory cannot fail to open or run out of memory: it reaches the end of the file,
// meets a value of the wrong kind, or a number that does not convert; the line names the file.
inline void checkReadFailure(const FatalExit& failure, std::string_view fileName) {
  check(failure.code == FatalCode::EndOfFile || failure.code == FatalCode::ListDirectedSyntax ||
        failure.code == FatalCode::InputConversion);
  check(failure.line.find('\n') == std::string_view::npos);
  check(failure.line.ends_with(fileName));
}

}  // namespace kv::fuzz
