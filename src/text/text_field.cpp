#include "text/text_field.h"

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

}  // namespace kv
