// The registry of what an interruption must take away: temporary files, the folders made for
// them, and child processes that would outlive the program. An interruption (SIGINT, SIGTERM;
// Ctrl-C and Ctrl-Break on Windows) ends the children, removes the files, then the folders (only
// when empty, the latest registered first), and ends the process as the signal would have.
//
// Registering allocates; the handler only reads what is registered, so it is async-signal-safe.
// There is no limit on the number of registrations. The handlers are installed with the first
// registration.
#pragma once

#include <cstdint>
#include <string>

namespace kv::io {

class Registration {
 public:
  enum class Kind : uint8_t { File, Folder, Child };

  Registration() = default;
  Registration(Kind kind, const std::string& path, long pid = 0);
  Registration(Registration&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
  Registration& operator=(Registration&& other) noexcept;
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  ~Registration() { release(); }

  // Takes the entry out of the registry (what it names stays as it is).
  void release();
  bool active() const { return node_ != nullptr; }

  static Registration file(const std::string& path) { return {Kind::File, path}; }
  static Registration folder(const std::string& path) { return {Kind::Folder, path}; }
  static Registration child(long pid) { return {Kind::Child, std::string(), pid}; }

 struct Node;  // (temporaries.cpp)

 private:
  Node* node_ = nullptr;
};

// What the interrupt handler does, without ending the process: ends the registered children,
// removes the registered files, then the registered folders (for tests and for the handlers).
void removeRegistered();

// How many entries are registered now (for tests).
size_t registeredCount();

// Holds back interruptions while the object lives (a commit of outputs, which must not stop
// halfway): an interruption that arrives meanwhile, on any thread, is only noted; it takes
// effect when the last holder ends. Holders nest.
class InterruptionsHeld {
 public:
  InterruptionsHeld();
  ~InterruptionsHeld();
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
};

// For the handlers: true (and the signal noted) while interruptions are held.
bool deferInterruption(int signal);

}  // namespace kv::io
