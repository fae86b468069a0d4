#include "io/temporaries.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "io/platform.h"

namespace kv::io {

namespace {

enum State : int { kFree, kFilling, kReady };

}  // namespace

// Nodes are never freed: a released node is reused by a later registration whose path fits, so
// the memory held is bounded by the most entries registered at once. The handler may read a
// node at any moment, so a node's path buffer is replaced only while the node is not ready.
struct Registration::Node {
  std::atomic<int> state{kFilling};
  Kind kind = Kind::File;
  long pid = 0;
  uint64_t sequence = 0;
  char* path = nullptr;
  size_t capacity = 0;
  Node* next = nullptr;
};

namespace {

std::atomic<Registration::Node*> head{nullptr};
std::atomic<uint64_t> sequence{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<void*>::is_always_lock_free,
              "the interrupt handler reads the registry");

template <typename F>
void forEachReady(F&& f) {
  for (Registration::Node* n = head.load(); n != nullptr; n = n->next) {
    if (n->state.load() == kReady) f(*n);
  }
}

}  // namespace

Registration::Registration(Kind kind, const std::string& path, long pid) {
  static std::once_flag installed;
  std::call_once(installed, platform::detail::installInterruptHandlers);
  const size_t needed = path.size() + 1;
  Node* node = nullptr;
  for (Node* n = head.load(); n != nullptr && node == nullptr; n = n->next) {
    int expected = kFree;
    if (n->capacity >= needed && n->state.compare_exchange_strong(expected, kFilling)) node = n;
  }
  if (node == nullptr) {
    node = new Node;
    node->path = new char[needed];
    node->capacity = needed;
    node->next = head.load();
    while (!head.compare_exchange_weak(node->next, node)) {
    }
  }
  node->kind = kind;
  node->pid = pid;
  node->sequence = ++sequence;
  std::memcpy(node->path, path.c_str(), needed);
  node->state.store(kReady);
  node_ = node;
}

Registration& Registration::operator=(Registration&& other) noexcept {
  if (this != &other) {
    release();
    node_ = other.node_;
    other.node_ = nullptr;
  }
  return *this;
}

void Registration::release() {
  if (node_ != nullptr) node_->state.store(kFree);
  node_ = nullptr;
}

void removeRegistered() {
  forEachReady([](Registration::Node& n) {
    if (n.kind == Registration::Kind::Child) platform::detail::endChild(n.pid);
  });
  forEachReady([](Registration::Node& n) {
    if (n.kind == Registration::Kind::File) platform::detail::removeFile(n.path);
  });
  // Folders the latest registered first, so that a folder made inside another goes before it.
  uint64_t below = UINT64_MAX;
  for (;;) {
    Registration::Node* latest = nullptr;
    forEachReady([&](Registration::Node& n) {
      if (n.kind == Registration::Kind::Folder && n.sequence < below &&
          (latest == nullptr || n.sequence > latest->sequence)) {
        latest = &n;
      }
    });
    if (latest == nullptr) break;
    platform::detail::removeFolder(latest->path);
    below = latest->sequence;
  }
}

namespace {

std::atomic<int> held{0};
std::atomic<int> pending{0};

}  // namespace

InterruptionsHeld::InterruptionsHeld() { held.fetch_add(1); }

InterruptionsHeld::~InterruptionsHeld() {
  if (held.fetch_sub(1) == 1) {
    if (const int signal = pending.exchange(0)) std::raise(signal);
  }
}

bool deferInterruption(int signal) {
  if (held.load() == 0) return false;
  pending.store(signal);
  return true;
}

size_t registeredCount() {
  size_t count = 0;
  forEachReady([&](Registration::Node&) { ++count; });
  return count;
}

}  // namespace kv::io
