#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "io/platform.h"
#include "launch/launch.h"

namespace kv {

namespace {

// The bits the C runtime sets on its own error codes when it reports them as a thread's last
// error (bit 29, the application bit, and a facility of its own).
constexpr DWORD kRuntimeErrorBits = 0x2fff0000u;

// Records the program's own error code for the caller, as the C runtime does.
int recordError(DWORD code) {
  SetLastError(code | kRuntimeErrorBits);
  return -1;
}

}  // namespace

int launchCommand(std::string_view command) {
  const std::optional<std::string_view> launchable = launchableCommand(command);
  if (!launchable) return recordError(kLaunchTooLong);
  const size_t length = launchable->size();

  // The interpreter (at most kMaxInterpreterLength characters), " /c ", the command and a NUL.
  constexpr DWORD kInterpreterBuffer = kMaxInterpreterLength + 1;
  std::vector<char> buffer(kInterpreterBuffer + 4 + length, '\0');
  DWORD comspec = GetEnvironmentVariableA("COMSPEC", buffer.data(), kInterpreterBuffer);
  if (comspec > kMaxInterpreterLength) return recordError(kLaunchNotFound);
  if (comspec == 0) std::strcpy(buffer.data(), "cmd.exe");
  size_t used = std::strlen(buffer.data());
  std::memcpy(buffer.data() + used, " /c ", 4);
  used += 4;
  std::memcpy(buffer.data() + used, command.data(), length);
  buffer[used + length] = '\0';

  io::platform::ChildCommand child;
  child.commandLine = std::string(buffer.data());
  buffer.clear();
  const io::platform::ChildResult result = io::platform::runChild(child);
  if (result.outcome != io::platform::ChildResult::Outcome::NotStarted) return result.code;
  const DWORD e = static_cast<DWORD>(result.code);
  if (e < ERROR_FILE_NOT_FOUND) return recordError(kLaunchNoResources);
  if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return recordError(kLaunchNotFound);
  if (e == ERROR_BAD_FORMAT || e == ERROR_BAD_EXE_FORMAT) return recordError(kLaunchBadProgram);
  return recordError(kLaunchNoResources);
}

std::string quoteForInterpreter(std::string_view name) {
  bool plain = !name.empty();
  for (char c : name) {
    if (c == ' ' || c == '\t' || std::strchr("&|<>()^;,=!\"", c) != nullptr) plain = false;
  }
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c != '"') quoted.push_back(c);  // a double quote cannot stand in a Windows file name
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace kv
