#include "launch/launch.h"

namespace kv {

std::optional<std::string_view> launchableCommand(std::string_view command) {
  size_t length = command.find_last_not_of(' ');
  length = length == std::string_view::npos ? 0 : length + 1;
  if (length > kMaxCommandLength) return std::nullopt;
  return command.substr(0, length);
}

}  // namespace kv
