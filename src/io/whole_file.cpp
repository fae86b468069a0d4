#include "io/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace kv::io {

WholeFile readWholeFile(const std::string& path, size_t maxBytes) {
  WholeFile out;
  std::FILE* in = stdin;
  if (path != "-") {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      out.status = WholeFile::Status::Folder;
      return out;
    }
    in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
      out.status = WholeFile::Status::CannotOpen;
      out.error = errno;
      return out;
    }
    // Room for the whole file at once when its size is known and allowed.
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size <= maxBytes) out.text.reserve(static_cast<size_t>(size));
  }
  char block[65536];
  size_t n = 0;
  while (out.text.size() <= maxBytes && (n = std::fread(block, 1, sizeof block, in)) > 0) {
    out.text.append(block, n);
  }
  const bool failed = std::ferror(in) != 0;
  const int error = errno;
  if (in != stdin) std::fclose(in);
  if (failed) {
    out.status = WholeFile::Status::ReadFailed;
    out.error = error;
    out.text.clear();
  } else if (out.text.size() > maxBytes) {
    out.status = WholeFile::Status::TooLarge;
    out.text.clear();
    out.text.shrink_to_fit();
  }
  return out;
}

}  // namespace kv::io
