// Starting external programs (the text editor and the plotting program) through the command
// interpreter, and waiting for them. launch.cpp holds the checks common to every platform; one
// file per platform implements the rest: launch_posix.cpp and launch_windows.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Commands longer than this (after their trailing blanks are dropped) are not started.
inline constexpr size_t kMaxCommandLength = 1024;
// The longest interpreter path accepted from COMSPEC.
inline constexpr size_t kMaxInterpreterLength = 260;

// Error codes recorded by a failed launch (classic C error numbers). On Windows the code is
// combined with 0x2fff0000 and set as the thread's last error; on POSIX it goes to errno.
inline constexpr int kLaunchTooLong = 7;       // command longer than kMaxCommandLength
inline constexpr int kLaunchNotFound = 2;      // interpreter too long or not found
inline constexpr int kLaunchBadProgram = 8;    // interpreter is not a valid program
inline constexpr int kLaunchNoResources = 12;  // any other failure to start

// Runs `command`, a text field whose trailing blanks are dropped, through the command
// interpreter and waits until the interpreter ends. The interpreter is the one named by the
// COMSPEC environment variable when it is set and not empty; otherwise cmd.exe on Windows
// (started as "cmd.exe /c command") and /bin/sh on POSIX (started as "/bin/sh -c command").
// Returns the interpreter's exit code, or -1 when nothing was started (the error code then
// says why). A failed launch never stops the run.
int launchCommand(std::string_view command);

// The checks every platform makes before starting a command: the command without its trailing
// blanks, or nothing when that is longer than kMaxCommandLength (launch.cpp).
std::optional<std::string_view> launchableCommand(std::string_view command);

// `name` made safe to pass as one argument to the interpreter: unchanged when it holds no
// character the interpreter would act on, otherwise quoted (single quotes on POSIX, double
// quotes on Windows).
std::string quoteForInterpreter(std::string_view name);

}  // namespace kv
