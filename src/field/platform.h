// What a field study needs from the operating system: one header, one file per platform
// (platform_posix.cpp, platform_windows.cpp), and the registry of temporaries they share
// (temporaries.cpp).
#pragma once

#include <cstdio>
#include <string>

namespace kv::field::platform {

// Whether standard error is a terminal (the progress line is shown only there).
bool stderrIsTerminal();

// Temporary files to remove when the process is interrupted (SIGINT, SIGTERM; Ctrl-C and
// Ctrl-Break on Windows), and folders made for them (removed after the files, when empty, the
// latest registered first). The handler only removes what is registered at that moment, then
// ends the process as the signal would have (the signal's default action is restored and the
// signal raised again). The handlers are installed with the first registration, except for a
// signal that is ignored. Returns a slot to release, or -1 when all kMaxTemporaries are taken.
inline constexpr int kMaxTemporaries = 32;
inline constexpr size_t kMaxTemporaryPath = 4096;
int protectTemporary(const std::string& path);
void releaseTemporary(int slot);

// Creates a new file for writing; nullptr when it exists already or cannot be created.
std::FILE* createNew(const std::string& path);

// Renames `from` to `to`, replacing `to` when it exists.
bool replaceFile(const std::string& from, const std::string& to);

unsigned long processId();

// Between the registry of temporaries (temporaries.cpp) and the platform files.
namespace detail {
// Installs the interrupt handlers; called once, with the first registration.
void installInterruptHandlers();
// Async-signal-safe: removes every registered file, then every registered folder (the latest
// registered first), and nothing else.
void removeTemporaries(void (*removeFile)(const char* path), void (*removeFolder)(const char* path));
}  // namespace detail

}  // namespace kv::field::platform
