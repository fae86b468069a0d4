#include "base/error.h"

namespace kv {

std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') c = '?';
  }
  return text;
}

std::string printableLines(std::string text) {
  for (char& c : text) {
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == '\x7f') c = '?';
  }
  return text;
}

std::string Error::where() const {
  std::string out;
  if (!file.empty()) {
    out = file;
    if (line > 0) out += ':' + std::to_string(line);
    out += ": ";
  }
  return printable(out + message);
}

}  // namespace kv
