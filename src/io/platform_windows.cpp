#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "io/platform.h"
#include "io/temporaries.h"

namespace kv::io::platform {

namespace {

// The C runtime runs the SIGINT and SIGBREAK handlers on a thread of their own.
extern "C" void onInterrupt(int signal) {
  if (deferInterruption(signal)) {
    std::signal(signal, onInterrupt);  // the C runtime resets the handler before calling it
    return;
  }
  removeRegistered();
  // The status of a console program ended by Ctrl-C.
  ExitProcess(static_cast<UINT>(0xC000013AL));
}

// One argument of a command line, quoted as the C runtime splits command lines.
void appendArgument(std::string& line, const std::string& argument) {
  if (!line.empty()) line.push_back(' ');
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    line += argument;
    return;
  }
  line.push_back('"');
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(2 * backslashes, '\\');
  line.push_back('"');
}

}  // namespace

void detail::installInterruptHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) {
    auto previous = std::signal(signal, onInterrupt);
    if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

void guardStandardStreams() {}

void detail::removeFile(const char* path) { DeleteFileA(path); }
void detail::removeFolder(const char* path) { RemoveDirectoryA(path); }
void detail::endChild(long pid) {
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

std::FILE* createNew(const std::string& path) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    _close(fd);
    DeleteFileA(path.c_str());
  }
  return file;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

unsigned long processId() { return static_cast<unsigned long>(_getpid()); }

bool processRunning(unsigned long pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

std::string hostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  std::string out;
  if (GetComputerNameA(name, &size)) {
    for (DWORD i = 0; i < size && out.size() < 64; ++i) {
      const char c = name[i];
      const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
      out.push_back(keep ? c : '-');
    }
  }
  return out.empty() ? "host" : out;
}

std::optional<uint64_t> freeBytes(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<uint64_t>(available.QuadPart);
}

FolderLock::FolderLock(const std::string& folder) {
  // The folder opened without sharing: a second open of it fails while this one lasts.
  HANDLE handle = CreateFileA(folder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    status_ = GetLastError() == ERROR_SHARING_VIOLATION ? Status::Busy : Status::Unsupported;
    return;
  }
  handle_ = reinterpret_cast<intptr_t>(handle);
  status_ = Status::Held;
}

void FolderLock::release() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

ChildResult runChild(const ChildCommand& command) {
  std::string line;
  if (command.commandLine) {
    line = *command.commandLine;
  } else {
    for (const std::string& argument : command.argv) appendArgument(line, argument);
  }
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  // A zeroed start-up record whose first field is its own size: CreateProcessA reads the whole
  // record of its platform whatever cb says, so cb must be this size and the record must really
  // have it.
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  HANDLE null = INVALID_HANDLE_VALUE;
  if (command.quiet) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, 0, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  }
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  const BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
  if (!started) return {ChildResult::Outcome::NotStarted, static_cast<int>(startError)};
  Registration registered;
  if (command.endOnInterrupt) registered = Registration::child(static_cast<long>(process.dwProcessId));
  const DWORD timeout = command.timeoutSeconds > 0.0
                            ? static_cast<DWORD>(std::min(command.timeoutSeconds * 1000.0, 4.0e9))
                            : INFINITE;
  ChildResult result{ChildResult::Outcome::Exited, 0};
  if (WaitForSingleObject(process.hProcess, timeout) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    result = {ChildResult::Outcome::TimedOut, 0};
  } else {
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    result.code = static_cast<int>(exitCode);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

}  // namespace kv::io::platform
