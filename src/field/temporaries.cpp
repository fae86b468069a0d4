// The registry of temporary files to remove when the process is interrupted, shared by the
// platform files: they install the handlers and give the functions that remove a file or a
// folder.
#include <atomic>
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

}  // namespace

int protectTemporary(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, detail::installInterruptHandlers);
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

namespace detail {

void removeTemporaries(void (*removeFile)(const char* path),
                       void (*removeFolder)(const char* path)) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kReady) removeFile(slot.path);
  }
  // The latest registered first, so that a folder made inside another goes before it.
  for (int i = kMaxTemporaries - 1; i >= 0; --i) {
    if (slots[i].state.load() == kReady) removeFolder(slots[i].path);
  }
}

}  // namespace detail

}  // namespace kv::field::platform
