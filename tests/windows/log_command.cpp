// A stand-in for the command interpreter (or for the editor and the plotting program) in the
// Windows tests. Started by CreateProcessA, it appends the command line it was given, exactly
// as it received it, as one line ending in LF to the file named by KV_LOG_FILE, then exits with
// the status given in KV_LOG_EXIT (0 when unset). When KV_LOG_STARTUP is set it also logs the
// flags of the start-up record it was started with; when KV_LOG_HANDLE holds the number of a
// handle of its parent, it writes "inherited" through that handle (status 124 if it cannot).
// Nothing is written to the console.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
  const char* log = std::getenv("KV_LOG_FILE");
  if (log != nullptr && *log != '\0') {
    std::FILE* file = std::fopen(log, "ab");
    if (file == nullptr) return 125;
    const char* line = GetCommandLineA();
    std::fwrite(line, 1, std::strlen(line), file);
    std::fputc('\n', file);
    if (std::getenv("KV_LOG_STARTUP") != nullptr) {
      STARTUPINFOA startup;
      GetStartupInfoA(&startup);
      std::fprintf(file, "startup flags=%lu\n", static_cast<unsigned long>(startup.dwFlags));
    }
    if (std::fclose(file) != 0) return 125;
  }
  const char* handle = std::getenv("KV_LOG_HANDLE");
  if (handle != nullptr) {
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(handle, nullptr, 10)));
    DWORD written = 0;
    if (!WriteFile(h, "inherited", 9, &written, nullptr) || written != 9) return 124;
  }
  const char* status = std::getenv("KV_LOG_EXIT");
  return status != nullptr ? std::atoi(status) : 0;
}
