// Files for the targets whose readers take a path: one folder per fuzzing process, the same
// names rewritten on every input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

namespace kv::fuzz {

inline const std::string& tempFolder() {
  static const std::string folder = [] {
    // Memory-backed where there is one: a file is written on every execution.
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/kv-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

inline std::string writeTempFile(const std::string& name, std::string_view bytes) {
  const std::string path = tempFolder() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  if (std::fclose(f) != 0) std::abort();
  return path;
}

}  // namespace kv::fuzz
