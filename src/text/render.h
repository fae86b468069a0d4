// Rendering of numbers into fixed-width fields.
#pragma once

#include <cstdint>

namespace kv {

// Writes exactly `width` characters to `out`: `value` with the edit descriptor kPEw.d
// (k = `scale`, w = `width`, d = `decimals`).
//  - The exact binary value is rounded to the significant digits of the field (d + 1 with
//    1P), to nearest with ties to even; a carry into a new leading digit raises the exponent.
//  - Exponent field: E, sign and two digits when |x| <= 99; sign and three digits when
//    99 < |x| <= 999.
//  - Right-justified; a minus sign for a negative value; zero (also -0.0) without sign.
//  - Asterisks in the whole field when the text does not fit.
//  - Infinity and NaN: a blank, then "Infinity", "-Infinity" or "NaN", the rest of the field
//    blank.
// Example: renderReal(0.03125, 1, 12, 4) gives "  3.1250E-02".
void renderReal(double value, int scale, int width, int decimals, char* out);

// Writes exactly `width` characters to `out`: `value` right-justified with Iw, or `width`
// asterisks when it does not fit.
void renderInteger(int32_t value, int width, char* out);

}  // namespace kv
