// Numbers of the input files: one parser for every reader, with two grammars.
//
//   Classic (the classic input files; point files in the classic layout):
//     [sign] (digits [. [digits]] | . digits) [(E|D|Q) [sign] digits | sign digits]
//     (1, 1.5, .5, 5., 1.5E-3, 1.5D-3, 1.5-3), or Inf, Infinity, NaN with an optional sign;
//   Decimal (every CSV input):
//     [sign] (digits [. [digits]] | . digits) [(E|e) [sign] digits], or Inf, Infinity, NaN
//     with an optional sign.
//
// Letters in any case. The value is the double nearest to the decimal text (std::from_chars); a
// text whose value is beyond the range of a double is out of range, not a number of any size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

enum class NumberGrammar : unsigned char { Classic, Decimal };
enum class NumberStatus : unsigned char { Ok, NotANumber, OutOfRange };

NumberStatus parseReal(std::string_view text, double& value,
                       NumberGrammar grammar = NumberGrammar::Classic);

// [sign] digits, within the range of int64_t.
NumberStatus parseInteger(std::string_view text, int64_t& value);

// The two as yes or no: a number of the grammar within range.
inline bool readReal(std::string_view text, double& value,
                     NumberGrammar grammar = NumberGrammar::Classic) {
  return parseReal(text, value, grammar) == NumberStatus::Ok;
}
inline bool readInteger(std::string_view text, int64_t& value) {
  return parseInteger(text, value) == NumberStatus::Ok;
}

// A number for people, by a printf format with one conversion of a double ("%.4g", "%.3g %%");
// with `notFinite`, that text stands for NaN and the infinities.
std::string formatNumber(double value, const char* format);
std::string formatNumber(double value, const char* format, std::string_view notFinite);

}  // namespace kv
