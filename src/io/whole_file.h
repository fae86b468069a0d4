// Reading a small file whole, with a cap on its size: what is larger is refused before it is
// read into memory.
#pragma once

#include <cstddef>
#include <string>

#include "base/limits.h"

namespace kv::io {

using kv::kMaxCaseBytes;  // base/limits.h

struct WholeFile {
  enum class Status : unsigned char { Ok, CannotOpen, Folder, TooLarge, ReadFailed };
  Status status = Status::Ok;
  int error = 0;     // CannotOpen, ReadFailed: errno
  std::string text;  // Ok: the bytes
};

// Reads `path` ("-": standard input) whole when it holds at most `maxBytes` bytes.
WholeFile readWholeFile(const std::string& path, size_t maxBytes);

}  // namespace kv::io
