// An output file written under a temporary name beside its final one and renamed when complete,
// so that no half-written output is ever left under the final name. The temporary file is
// removed when the object is destroyed uncommitted and when the process is interrupted.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "field/error.h"

namespace kv::field {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Creates the temporary file for `path`.
  std::optional<Error> open(const std::string& path);
  // False once a write has failed (disk full, ...); commit then reports it.
  bool write(std::string_view bytes);
  // Closes the temporary file and gives it the final name.
  std::optional<Error> commit();
  // Removes the temporary file (nothing when already committed or never opened).
  void discard();

  const std::string& path() const { return path_; }
  const std::string& temporaryPath() const { return temporary_; }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* stream_ = nullptr;
  int slot_ = -1;
  bool failed_ = false;
};

}  // namespace kv::field
