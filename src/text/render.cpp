#include "text/render.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kv {
namespace {

void fillStars(char* out, int width) { std::memset(out, '*', static_cast<size_t>(width)); }

// Places `text` of `length` characters right-justified in the field.
void rightJustify(const char* text, int length, int width, char* out) {
  if (length > width) {
    fillStars(out, width);
    return;
  }
  std::memset(out, ' ', static_cast<size_t>(width - length));
  std::memcpy(out + (width - length), text, static_cast<size_t>(length));
}

void renderNonFinite(double value, int width, char* out) {
  const char* word = std::isnan(value) ? " NaN" : (value < 0 ? " -Infinity" : " Infinity");
  int length = static_cast<int>(std::strlen(word));
  if (length > width) {
    word = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    length = static_cast<int>(std::strlen(word));
    if (length > width) {
      fillStars(out, width);
      return;
    }
  }
  std::memcpy(out, word, static_cast<size_t>(length));
  std::memset(out + length, ' ', static_cast<size_t>(width - length));
}

}  // namespace

void renderReal(double value, int scale, int width, int decimals, char* out) {
  if (width <= 0) return;
  if (!std::isfinite(value)) {
    renderNonFinite(value, width, out);
    return;
  }
  // Significant digits and the digits before the decimal point.
  int significant;
  if (scale > 0 && scale < decimals + 2) {
    significant = decimals + 1;
  } else if (scale <= 0 && scale > -decimals) {
    significant = decimals + scale;
  } else {
    fillStars(out, width);
    return;
  }
  if (significant > 380) {
    fillStars(out, width);
    return;
  }

  char digits[400];  // the significant digits, without the decimal point
  int exponent = 0;  // value = d.ddd * 10^exponent
  bool negative = false;
  if (value == 0.0) {
    std::memset(digits, '0', static_cast<size_t>(significant));
  } else {
    negative = value < 0;
    char scientific[420];
    auto result = std::to_chars(scientific, scientific + sizeof scientific, std::fabs(value),
                                std::chars_format::scientific, significant - 1);
    const char* e = static_cast<const char*>(std::memchr(scientific, 'e', result.ptr - scientific));
    int n = 0;
    for (const char* p = scientific; p < e; ++p) {
      if (*p != '.') digits[n++] = *p;
    }
    std::from_chars(e + (e[1] == '+' ? 2 : 1), result.ptr, exponent);
  }

  char text[512];
  int length = 0;
  if (negative) text[length++] = '-';
  int printedExponent;
  if (scale > 0) {
    std::memcpy(text + length, digits, static_cast<size_t>(scale));
    length += scale;
    text[length++] = '.';
    std::memcpy(text + length, digits + scale, static_cast<size_t>(significant - scale));
    length += significant - scale;
    printedExponent = value == 0.0 ? 0 : exponent - (scale - 1);
  } else {
    text[length++] = '0';
    text[length++] = '.';
    std::memset(text + length, '0', static_cast<size_t>(-scale));
    length += -scale;
    std::memcpy(text + length, digits, static_cast<size_t>(significant));
    length += significant;
    printedExponent = value == 0.0 ? 0 : exponent + 1 - scale;
  }
  int magnitude = printedExponent < 0 ? -printedExponent : printedExponent;
  if (magnitude > 999) {
    fillStars(out, width);
    return;
  }
  if (magnitude <= 99) text[length++] = 'E';
  text[length++] = printedExponent < 0 ? '-' : '+';
  if (magnitude > 99) text[length++] = static_cast<char>('0' + magnitude / 100);
  text[length++] = static_cast<char>('0' + magnitude / 10 % 10);
  text[length++] = static_cast<char>('0' + magnitude % 10);
  rightJustify(text, length, width, out);
}

void renderInteger(int32_t value, int width, char* out) {
  if (width <= 0) return;
  char text[16];
  auto result = std::to_chars(text, text + sizeof text, value);
  rightJustify(text, static_cast<int>(result.ptr - text), width, out);
}

}  // namespace kv
