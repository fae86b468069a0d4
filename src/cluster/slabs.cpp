#include "cluster/slabs.h"

#include <algorithm>
#include <charconv>

namespace kv::cluster {

Range part(Range whole, uint64_t i, uint64_t n) {
  const uint64_t size = whole.size() / n;
  const uint64_t extra = whole.size() % n;
  const uint64_t begin = whole.begin + i * size + std::min(i, extra);
  return {begin, begin + size + (i < extra ? 1 : 0)};
}

std::optional<Slab> parseSlab(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits) -> std::optional<uint64_t> {
    uint64_t value = 0;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
  };
  const auto index = number(text.substr(0, slash));
  const auto count = number(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count) return std::nullopt;
  return Slab{*index, *count};
}

}  // namespace kv::cluster
