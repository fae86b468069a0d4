#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "launch/launch.h"

namespace kv {

namespace {

// Records the program's own error code for the caller, as the C runtime does.
int recordError(DWORD code) {
  SetLastError(code | 0x2fff0000u);
  return -1;
}

}  // namespace

int launchCommand(std::string_view command) {
  size_t length = command.find_last_not_of(' ');
  length = length == std::string_view::npos ? 0 : length + 1;
  if (length > kMaxCommandLength) return recordError(kLaunchTooLong);

  std::vector<char> buffer(length + 265, '\0');
  DWORD comspec = GetEnvironmentVariableA("COMSPEC", buffer.data(), 261);
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
    if (e < 2) return recordError(kLaunchNoResources);
    if (e == 2 || e == 3) return recordError(kLaunchNotFound);
    if (e == 11 || e == 193) return recordError(kLaunchBadProgram);
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
