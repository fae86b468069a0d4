// The one error policy of the program: an input/output or memory failure ends the run at once
// with one line on standard error,
//   kestrovanilque: severe (N): <message text>
// and the exit status N. Records already written stay in their files.
#pragma once

#include <string>
#include <string_view>

namespace kv {

enum class FatalCode : int {
  EndOfFile = 24,          // a read ran past the end of a file
  OpenFailure = 30,        // a file could not be opened or created
  WriteFailure = 38,       // a record could not be written (disk full, ...)
  OutOfMemory = 41,        // the run data does not fit in memory
  ListDirectedSyntax = 59, // a value that is not of the expected kind at all
  InputConversion = 64,    // a number that does not convert to the expected kind
};

// Ends the process with the fatal line and exit status `code`.
//
// Programs that run the readers in-process, over and over (the fuzz targets), call
// throwOnFatal(true) first: Fatal then throws a FatalExit holding the line instead, and nothing
// is printed.
[[noreturn]] void Fatal(FatalCode code, std::string_view message);
void throwOnFatal(bool throws);

struct FatalExit {
  FatalCode code;
  std::string line;  // the fatal line, without its line end
};

// Ends the process with the fatal line whose message names a unit and a file:
// "end-of-file during read, unit 7, file grid1.dat" and the like. Control characters of the
// name are shown as '?'.
[[noreturn]] void FatalFile(FatalCode code, int unit, std::string_view file);

// The message text of a code, with %d and %s standing for the unit and the file.
std::string_view fatalMessageText(FatalCode code);

}  // namespace kv
