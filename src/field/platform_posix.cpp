#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "field/platform.h"

namespace kv::field::platform {

namespace {

// Async-signal-safe: removes the temporaries, then ends the process as the signal would have.
extern "C" void onInterrupt(int signal) {
  detail::removeTemporaries([](const char* path) { unlink(path); },
                            [](const char* path) { rmdir(path); });
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);  // delivered with the default action when the handler returns
}

}  // namespace

void detail::installInterruptHandlers() {
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(signal, &action, nullptr);
  }
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::FILE* createNew(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return file;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

}  // namespace kv::field::platform
