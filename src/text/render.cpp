#include "text/render.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kv {
namespace {

// Most decimals rendered by the direct 1P path; longer fields take the general one.
constexpr int kMaxFastDecimals = 40;

void fillStars(char* out, int width) { std::memset(out, '*', static_cast<size_t>(width)); }

// Widest field built through the shortest representation.
constexpr int kShortestFieldLimit = 64;

// Copies a field of at most kShortestFieldLimit characters in a few fixed-size moves.
void copyField(const char* field, int width, char* out) {
  size_t n = static_cast<size_t>(width);
  if (n >= 16) {
    for (size_t k = 0; k + 16 <= n; k += 16) std::memcpy(out + k, field + k, 16);
    std::memcpy(out + n - 16, field + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(out, field, 8);
    std::memcpy(out + n - 8, field + n - 8, 8);
  } else {
    for (size_t k = 0; k < n; ++k) out[k] = field[k];
  }
}

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

// 1PEw.d with d >= 1, the form of every real field of the program. std::to_chars with d
// decimals in scientific notation writes the very text of the field, exactly rounded, except
// for the exponent: its letter is lower case, and it must be dropped when the exponent has
// three digits.
void renderOnePE(double value, int width, int decimals, char* out) {
  if (value == 0.0) value = 0.0;  // zero has no sign
  char text[kMaxFastDecimals + 16];
  int length = static_cast<int>(
      std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, decimals).ptr -
      text);
  if (text[length - 4] == 'e') {
    text[length - 4] = 'E';  // E+dd
  } else {                   // e+ddd: sign and three digits
    char* e = text + length - 5;
    e[0] = e[1];
    e[1] = e[2];
    e[2] = e[3];
    e[3] = e[4];
    --length;
  }
  rightJustify(text, length, width, out);
}

// 1PEw.d from the shortest representation S of the value (std::to_chars without a precision:
// the fewest significant digits that read back as the same double and, among those, the
// closest to it), which costs about half of the exactly rounded conversion. Rounding S to the
// p = d + 1 digits of the field gives the digits of the exact value V too, for p <= 15 and a
// normal double:
//  - S with p digits or fewer lies on the p-digit grid, and V is within half a unit in the last
//    place of S, at most 2^-53 V, far less than half the spacing of that grid (5e-16 V at
//    least): V rounds to S.
//  - S with more digits than p lies strictly between two grid points. Were the midpoint B
//    between them on the other side of V than S (or equal to V), B, a number of at most p + 1
//    digits between V and S, would read back as the same double and be a shorter or a closer
//    representation than S. So V and S round alike, unless S is B itself (p + 1 digits, the
//    last a 5): then V may lie on either side, and the exact conversion decides.
// Returns false, writing nothing, in that last case.
bool renderOnePEFromShortest(double value, int width, int decimals, char* out) {
  const int significant = decimals + 1;
  char shortest[48];
  const char* end =
      std::to_chars(shortest, shortest + 32, value, std::chars_format::scientific).ptr;
  const bool negative = shortest[0] == '-';
  const char* mantissa = shortest + (negative ? 1 : 0);  // d or d.ddd
  const char* e = end[-4] == 'e' ? end - 4 : end - 5;
  const int digits = e - mantissa == 1 ? 1 : static_cast<int>(e - mantissa) - 1;

  // The text has a fixed length: sign, d.ddd and a four-character exponent field.
  const int length = (negative ? 1 : 0) + significant + 5;
  if (length > width) {
    fillStars(out, width);
    return true;
  }
  if (digits == significant + 1 && mantissa[significant + 1] == '5') return false;

  // The field is built right-justified in `field`, then copied out.
  char field[kShortestFieldLimit + 32];
  std::memset(field, ' ', kShortestFieldLimit);
  char* text = field + (width - length);
  char* m = text + (negative ? 1 : 0);  // d.ddd of the field: significant + 1 characters
  text[0] = '-';
  m[0] = mantissa[0];
  m[1] = '.';
  std::memcpy(m + 2, mantissa + 2, 16);  // the decimals that S has (and what follows them)
  int exponent = e[2] - '0';
  for (const char* p = e + 3; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  if (e[1] == '-') exponent = -exponent;
  if (digits <= significant) {
    for (int k = digits + 1; k <= significant; ++k) m[k] = '0';
  } else if (mantissa[significant + 1] >= '5') {  // round up: beyond the midpoint
    int k = significant;
    while (k >= 2 && m[k] == '9') m[k--] = '0';
    if (k >= 2) {
      ++m[k];
    } else if (m[0] == '9') {
      m[0] = '1';
      ++exponent;
    } else {
      ++m[0];
    }
  }
  char* x = m + significant + 1;
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude <= 99) *x++ = 'E';
  *x++ = exponent < 0 ? '-' : '+';
  if (magnitude > 99) *x++ = static_cast<char>('0' + magnitude / 100);
  *x++ = static_cast<char>('0' + magnitude / 10 % 10);
  *x = static_cast<char>('0' + magnitude % 10);
  copyField(field, width, out);
  return true;
}

// The most decimals for which the shortest representation decides the digits.
constexpr int kMaxShortestDecimals = 14;

}  // namespace

void renderReal(double value, int scale, int width, int decimals, char* out) {
  if (width <= 0) return;
  if (!std::isfinite(value)) {
    renderNonFinite(value, width, out);
    return;
  }
  if (scale == 1 && decimals >= 1 && decimals <= kMaxFastDecimals) {
    if (decimals <= kMaxShortestDecimals && width <= kShortestFieldLimit &&
        std::fabs(value) >= std::numeric_limits<double>::min() &&
        renderOnePEFromShortest(value, width, decimals, out)) {
      return;
    }
    renderOnePE(value, width, decimals, out);
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
