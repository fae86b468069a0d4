#include "base/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv {

std::string_view fatalMessageText(FatalCode code) {
  switch (code) {
    case FatalCode::EndOfFile:
      return "end-of-file during read, unit %d, file %s";
    case FatalCode::OpenFailure:
      return "open failure, unit %d, file %s";
    case FatalCode::WriteFailure:
      return "error during write, unit %d, file %s";
    case FatalCode::OutOfMemory:
      return "insufficient virtual memory";
    case FatalCode::ListDirectedSyntax:
      return "list-directed I/O syntax error, unit %d, file %s";
    case FatalCode::InputConversion:
      return "input conversion error, unit %d, file %s";
  }
  return "unknown error";
}

namespace {

std::atomic<bool> throwing{false};

}  // namespace

void throwOnFatal(bool throws) { throwing = throws; }

void Fatal(FatalCode code, std::string_view message) {
  std::string line = "kestrovanilque: severe (" + std::to_string(static_cast<int>(code)) + "): ";
  line.append(message);
  if (throwing) throw FatalExit{code, std::move(line)};
  line.push_back('\n');
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  // exit() flushes and closes every open output file, so what was written stays written.
  std::exit(static_cast<int>(code));
}

void FatalFile(FatalCode code, int unit, std::string_view file) {
  std::string message;
  std::string_view text = fatalMessageText(code);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd') {
      message += std::to_string(unit);
      ++i;
    } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
      // A control character of the name is shown as '?': the line stays one line and sends
      // the terminal no control sequence.
      for (char c : file) {
        message.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
      }
      ++i;
    } else {
      message.push_back(text[i]);
    }
  }
  Fatal(code, message);
}

}  // namespace kv
