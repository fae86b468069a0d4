#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "field/platform.h"

namespace kv::field::platform {

namespace {

enum SlotState : int { kFree, kFilling, kReady };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kMaxTemporaryPath];
};

Slot slots[kMaxTemporaries];

// The C runtime runs the SIGINT and SIGBREAK handlers on a thread of their own.
extern "C" void onInterrupt(int signal) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kReady) DeleteFileA(slot.path);
  }
  for (int i = kMaxTemporaries - 1; i >= 0; --i) {
    if (slots[i].state.load() == kReady) RemoveDirectoryA(slots[i].path);
  }
  // The status of a console program ended by Ctrl-C.
  (void)signal;
  ExitProcess(static_cast<UINT>(0xC000013AL));
}

void installHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) {
    auto previous = std::signal(signal, onInterrupt);
    if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

}  // namespace

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int protectTemporary(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, installHandlers);
  if (path.size() >= kMaxTemporaryPath) return -1;
  for (int i = 0; i < kMaxTemporaries; ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
      slots[i].state.store(kReady);
      return i;
    }
  }
  return -1;
}

void releaseTemporary(int slot) {
  if (slot >= 0 && slot < kMaxTemporaries) slots[slot].state.store(kFree);
}

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
