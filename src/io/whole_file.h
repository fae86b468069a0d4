// Reading a small file whole, with a cap on its size: what is larger is refused before it is
// read into memory.
#pragma once

#include <cstddef>
#include <string>

namespace kv::io {

// The size cap of a case file (a CSV table, a main data file and its grid files, a field case
// table): they are small; what is larger is the wrong file, or a field's values, which belong in
// point files.
inline constexpr size_t kMaxCaseBytes = size_t{16} << 20;

struct WholeFile {
  enum class Status : unsigned char { Ok, CannotOpen, Folder, TooLarge, ReadFailed };
  Status status = Status::Ok;
  int error = 0;     // CannotOpen, ReadFailed: errno
  std::string text;  // Ok: the bytes
};

// Reads `path` ("-": standard input) whole when it holds at most `maxBytes` bytes.
WholeFile readWholeFile(const std::string& path, size_t maxBytes);

}  // namespace kv::io
