#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <csignal>
#include <cstdio>

#include "field/platform.h"

namespace kv::field::platform {

namespace {

// The C runtime runs the SIGINT and SIGBREAK handlers on a thread of their own.
extern "C" void onInterrupt(int signal) {
  detail::removeTemporaries([](const char* path) { DeleteFileA(path); },
                            [](const char* path) { RemoveDirectoryA(path); });
  // The status of a console program ended by Ctrl-C.
  (void)signal;
  ExitProcess(static_cast<UINT>(0xC000013AL));
}

}  // namespace

void detail::installInterruptHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) {
    auto previous = std::signal(signal, onInterrupt);
    if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::FILE* createNew(const std::string& path) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

unsigned long processId() { return static_cast<unsigned long>(_getpid()); }

}  // namespace kv::field::platform
