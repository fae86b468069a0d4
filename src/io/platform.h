// What the program needs from the operating system for its files and child processes: one
// header, one file per platform (platform_posix.cpp, platform_windows.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kv::io::platform {

// Whether standard error is a terminal (a progress line is shown only there); whether standard
// output is one.
bool stderrIsTerminal();
bool stdoutIsTerminal();

// Gives a standard stream that was closed when the program started a device in its place, so
// that no file the program opens takes its number: the null device for standard input and
// error, and for standard output one where every write fails (what is printed there is lost,
// and the program must say so).
void guardStandardStreams();

// Creates `path` as a new, empty file open for writing. Fails (nullptr, errno set) when
// anything already has that name: a file, a folder, or a symbolic link, which is never
// followed.
std::FILE* createNew(const std::string& path);

// Renames `from` to `to`, replacing `to` when it exists.
bool replaceFile(const std::string& from, const std::string& to);

unsigned long processId();

// Whether a process with this id runs on this machine: false only when it certainly does not
// (a process of another user counts as running).
bool processRunning(unsigned long pid);

// The name of this machine, reduced to letters, digits and '-' ("host" when it has none).
std::string hostName();

// The bytes free to this user on the file system of `folder`; nothing when the system does
// not tell.
std::optional<uint64_t> freeBytes(const std::string& folder);

// An advisory lock on a folder, held while the object lives: while one process holds it, another
// that asks for it is told so at once (it does not wait).
class FolderLock {
 public:
  enum class Status : uint8_t { Held, Busy, Unsupported };
  FolderLock() = default;
  explicit FolderLock(const std::string& folder);
  FolderLock(FolderLock&& other) noexcept : handle_(other.handle_), status_(other.status_) { other.handle_ = -1; }
  FolderLock& operator=(FolderLock&& other) noexcept {
    if (this != &other) {
      release();
      handle_ = other.handle_;
      status_ = other.status_;
      other.handle_ = -1;
    }
    return *this;
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() { release(); }
  Status status() const { return status_; }
  void release();

 private:
  intptr_t handle_ = -1;
  Status status_ = Status::Unsupported;
};

// A program to run and wait for.
struct ChildCommand {
  std::vector<std::string> argv;  // argv[0] is looked up on PATH
  // Windows: the command line as it is, instead of argv (which is joined and quoted).
  std::optional<std::string> commandLine;
  // POSIX: the child's environment ("NAME=value" entries) instead of this process's.
  std::optional<std::vector<std::string>> environment;
  bool quiet = false;           // standard input, output and error on the null device
  double timeoutSeconds = 0.0;  // above 0: the child is ended when it runs longer
  bool endOnInterrupt = false;  // an interruption of this process ends the child too
};

struct ChildResult {
  enum class Outcome : uint8_t { Exited, Signalled, TimedOut, NotStarted };
  Outcome outcome = Outcome::NotStarted;
  // Exited: the exit status; Signalled: the signal; NotStarted: errno (POSIX) or the system's
  // error code (Windows).
  int code = 0;
};

// Starts the program and waits until it ends (or the timeout ends it).
ChildResult runChild(const ChildCommand& command);

// Between the registry of temporaries (temporaries.cpp) and the platform files.
namespace detail {
// Installs the interrupt handlers (SIGINT, SIGTERM; Ctrl-C and Ctrl-Break on Windows), except
// for a signal that is ignored. Called once, with the first registration. The handler takes
// away what is registered (temporaries.h), then ends the process as the signal would have.
void installInterruptHandlers();
// Async-signal-safe primitives of the handler.
void removeFile(const char* path);
void removeFolder(const char* path);
void endChild(long pid);
}  // namespace detail

}  // namespace kv::io::platform
