#include "field/number.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace kv::field {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view lowerCase) {
  if (a.size() != lowerCase.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lowerCase[i]) return false;
  }
  return true;
}

bool convert(const char* begin, const char* end, double& value) {
  auto [stop, error] = std::from_chars(begin, end, value);
  // A value beyond the range of a double is an error, as in the classic reader.
  return error == std::errc() && stop == end;
}

}  // namespace

bool parseReal(std::string_view s, double& value) {
  if (s.empty() || s.size() > 400) return false;
  size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') negative = s[0] == '-', ++i;
  std::string_view rest = s.substr(i);
  if (equalsIgnoringCase(rest, "inf") || equalsIgnoringCase(rest, "infinity")) {
    value = negative ? -std::numeric_limits<double>::infinity()
                     : std::numeric_limits<double>::infinity();
    return true;
  }
  if (equalsIgnoringCase(rest, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  // Checks the grammar and notes whether from_chars can take the text as it is (no plus sign
  // in front, exponent letter E or e).
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  bool direct = s[0] != '+';
  size_t mantissaEnd = i;
  if (i < s.size()) {
    char c = lower(s[i]);
    if (c == 'e' || c == 'd' || c == 'q') {
      direct = direct && c == 'e';
      ++i;
    } else if (c == '+' || c == '-') {
      direct = false;  // 1.5-3 stands for 1.5E-3
    } else {
      return false;
    }
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!isDigit(s[i])) return false;
    }
  }
  if (direct) return convert(s.data(), s.data() + s.size(), value);
  // Rewritten in the form from_chars reads: no plus sign, E as the exponent letter.
  char buffer[416];
  size_t n = 0;
  size_t from = 0;
  if (s[0] == '+' || s[0] == '-') {
    if (s[0] == '-') buffer[n++] = '-';
    from = 1;
  }
  std::memcpy(buffer + n, s.data() + from, mantissaEnd - from);
  n += mantissaEnd - from;
  if (mantissaEnd < s.size()) {
    buffer[n++] = 'e';
    size_t e = mantissaEnd;
    char c = lower(s[e]);
    if (c == 'e' || c == 'd' || c == 'q') ++e;
    if (s[e] == '+') ++e;
    std::memcpy(buffer + n, s.data() + e, s.size() - e);
    n += s.size() - e;
  }
  return convert(buffer, buffer + n, value);
}

bool parseInteger(std::string_view s, int64_t& value) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k) {
    if (!isDigit(s[k])) return false;
  }
  if (s[0] == '+') s.remove_prefix(1);
  auto [stop, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  return error == std::errc() && stop == s.data() + s.size();
}

}  // namespace kv::field
