// Runs one command through the program's launcher, as the program does, and prints what the
// launcher returned and the thread's last error afterwards:
//
//   launch_once [--comspec VALUE | --no-comspec] [--field N] COMMAND
//
// --comspec sets COMSPEC and --no-comspec removes it before the launch; --field N pads the
// command with blanks to N characters, as a fixed-length text field. Output:
// "result=R error=0xXXXXXXXX", on a line of its own.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launch/launch.h"

int main(int argc, char** argv) {
  std::string command;
  size_t field = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--comspec") == 0 && i + 1 < argc) {
      SetEnvironmentVariableA("COMSPEC", argv[++i]);
    } else if (std::strcmp(argv[i], "--no-comspec") == 0) {
      SetEnvironmentVariableA("COMSPEC", nullptr);
    } else if (std::strcmp(argv[i], "--field") == 0 && i + 1 < argc) {
      field = std::strtoul(argv[++i], nullptr, 10);
    } else {
      command = argv[i];
    }
  }
  if (command.size() < field) command.resize(field, ' ');
  SetLastError(0);
  int result = kv::launchCommand(command);
  DWORD error = GetLastError();
  std::fflush(stdout);
  std::printf("\nresult=%d error=0x%08lx\n", result, static_cast<unsigned long>(error));
  return 0;
}
