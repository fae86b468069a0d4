#include "base/text_field.h"

#include <cctype>

namespace kv {

std::string fixedText(std::string_view value, size_t length) {
  std::string text(value.substr(0, length));
  text.resize(length, ' ');
  return text;
}

std::string_view trimmed(std::string_view value) {
  size_t end = value.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : value.substr(0, end + 1);
}

bool hasControlCharacter(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string_view adjusted(std::string_view value) {
  size_t begin = value.find_first_not_of(' ');
  return begin == std::string_view::npos ? std::string_view() : trimmed(value.substr(begin));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace kv
