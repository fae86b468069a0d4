// A file written under a temporary name beside its final one and renamed when complete, so that
// no half-written file is ever left under the final name. The temporary name is hidden and says
// which process of which machine wrote it,
//
//   FOLDER/.NAME.HOST.PID.part   (.NAME.HOST.PID-K.part when that name is taken),
//
// so that a later run can tell a stale temporary (its process no longer runs) from a live one.
// The file is created exclusively (an existing name, or a symbolic link planted there, is never
// opened), registered for removal on interruption, and removed when the object is destroyed
// uncommitted.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "io/temporaries.h"

namespace kv::io {

class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { discard(); }

  // Creates the temporary file of `path`, open for writing.
  std::optional<Error> open(const std::string& path);
  // Creates it and closes it at once, for writers that open files by name (HDF5, MPI-IO).
  std::optional<Error> reserve(const std::string& path);
  // False once a write has failed (disk full, ...); commit then reports it.
  bool write(std::string_view bytes);
  // Writes out what is buffered, so that the temporary file can be read by name; false when a
  // write has failed.
  bool flush();
  // Closes the temporary file: its bytes written out, or the error of a write that failed.
  std::optional<Error> close();
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
  Registration registration_;
  bool failed_ = false;
};

// The temporary name of `path` for the `attempt`-th try (0 first), as above.
std::string temporaryPath(const std::string& path, int attempt = 0);

// What a temporary name says: the name of the file it stands for, the machine, the process.
struct TemporaryName {
  std::string name;
  std::string host;
  unsigned long pid = 0;
};
// Nothing when `fileName` (a name in a folder, without the folder) is not a temporary name.
std::optional<TemporaryName> parseTemporaryName(std::string_view fileName);

}  // namespace kv::io
