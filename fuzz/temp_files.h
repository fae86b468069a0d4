// Files for the targets whose readers take a path: one folder per fuzzing process, the same
// names rewritten on every input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace kv::fuzz {

inline const std::string& tempFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& folder = *new std::string([] {
    // Memory-backed where there is one: a file is written on every execution.
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/kv-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    // Removed when the fuzzer ends normally; a crash leaves it for a look.
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(tempFolder(), error);
    });
    return pattern;
  }());
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
