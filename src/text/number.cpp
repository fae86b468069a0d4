#include "text/number.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace kv {

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

NumberStatus convert(const char* begin, const char* end, double& value) {
  auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::result_out_of_range) return NumberStatus::OutOfRange;
  return error == std::errc() && stop == end ? NumberStatus::Ok : NumberStatus::NotANumber;
}

}  // namespace

NumberStatus parseReal(std::string_view s, double& value, NumberGrammar grammar) {
  if (s.empty()) return NumberStatus::NotANumber;
  size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') negative = s[0] == '-', ++i;
  const std::string_view rest = s.substr(i);
  if (equalsIgnoringCase(rest, "inf") || equalsIgnoringCase(rest, "infinity")) {
    value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return NumberStatus::Ok;
  }
  if (equalsIgnoringCase(rest, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
    return NumberStatus::Ok;
  }
  // The grammar, and whether from_chars can take the text as it is (no plus sign in front, the
  // exponent letter E or e).
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return NumberStatus::NotANumber;
  bool direct = s[0] != '+';
  const size_t mantissaEnd = i;
  if (i < s.size()) {
    const char c = lower(s[i]);
    if (c == 'e' || (grammar == NumberGrammar::Classic && (c == 'd' || c == 'q'))) {
      direct = direct && c == 'e';
      ++i;
    } else if (grammar == NumberGrammar::Classic && (c == '+' || c == '-')) {
      direct = false;  // 1.5-3 stands for 1.5E-3
    } else {
      return NumberStatus::NotANumber;
    }
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == s.size()) return NumberStatus::NotANumber;
    for (; i < s.size(); ++i) {
      if (!isDigit(s[i])) return NumberStatus::NotANumber;
    }
  }
  if (direct) return convert(s.data(), s.data() + s.size(), value);
  // Rewritten in the form from_chars reads: no plus sign, e as the exponent letter.
  std::string text;
  text.reserve(s.size() + 1);
  size_t from = 0;
  if (s[0] == '+' || s[0] == '-') {
    if (s[0] == '-') text.push_back('-');
    from = 1;
  }
  text.append(s.substr(from, mantissaEnd - from));
  if (mantissaEnd < s.size()) {
    text.push_back('e');
    size_t e = mantissaEnd;
    const char c = lower(s[e]);
    if (c == 'e' || c == 'd' || c == 'q') ++e;
    if (s[e] == '+') ++e;
    text.append(s.substr(e));
  }
  return convert(text.data(), text.data() + text.size(), value);
}

NumberStatus parseInteger(std::string_view s, int64_t& value) {
  const size_t first = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (first == s.size()) return NumberStatus::NotANumber;
  for (size_t k = first; k < s.size(); ++k) {
    if (!isDigit(s[k])) return NumberStatus::NotANumber;
  }
  if (s[0] == '+') s.remove_prefix(1);
  auto [stop, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error == std::errc::result_out_of_range) return NumberStatus::OutOfRange;
  return error == std::errc() && stop == s.data() + s.size() ? NumberStatus::Ok : NumberStatus::NotANumber;
}

std::string formatNumber(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string formatNumber(double value, const char* format, std::string_view notFinite) {
  return std::isfinite(value) ? formatNumber(value, format) : std::string(notFinite);
}

}  // namespace kv
