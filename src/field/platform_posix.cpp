#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
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
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

Slot slots[kMaxTemporaries];

// Async-signal-safe: reads the slots, unlinks the files, then removes the folders (the latest
// registered first, so that a folder made inside another goes before it), nothing else.
extern "C" void onInterrupt(int signal) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kReady) unlink(slot.path);
  }
  for (int i = kMaxTemporaries - 1; i >= 0; --i) {
    if (slots[i].state.load() == kReady) rmdir(slots[i].path);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);  // delivered with the default action when the handler returns
}

void installHandlers() {
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

}  // namespace

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

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
