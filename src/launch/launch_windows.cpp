#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

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

  // A zeroed start-up record whose first field is its own size: 68 bytes in a 32-bit program,
  // 104 in a 64-bit one. CreateProcessA reads the whole record of its platform whatever cb
  // says, so cb must be this size and the record must really have it.
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  buffer.clear();
  if (!started) {
    DWORD e = GetLastError();
    if (e < ERROR_FILE_NOT_FOUND) return recordError(kLaunchNoResources);
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
      return recordError(kLaunchNotFound);
    }
    if (e == ERROR_BAD_FORMAT || e == ERROR_BAD_EXE_FORMAT) return recordError(kLaunchBadProgram);
    return recordError(kLaunchNoResources);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
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
