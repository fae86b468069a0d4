// The CSV of every CSV input: study tables, field case tables, point files in the CSV layout.
//
//  - The delimiter is the first ',', ';' or tab of the header line (',' when it has none).
//  - A field in double quotes may hold the delimiter; "" inside stands for one quote. Blanks
//    (spaces, tabs) around a field are not part of it; of a quoted field, only what stands
//    between its quotes is. A quote that is not closed runs to the end of the line.
//  - Blank lines and lines whose first character that is not a blank is '#' are comments.
//  - LF and CR LF line ends; a UTF-8 byte-order mark at the start of the text is skipped.
//  - Keywords (h, cells, file, exact, ...) are matched whatever their case.
// Numbers are read with the Decimal grammar of text/number.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// The delimiter of a header line.
char csvDelimiter(std::string_view headerLine);

// Whether `field` is the keyword `lowerCase`, whatever its case.
bool csvKeyword(std::string_view field, std::string_view lowerCase);

// A field's text without the blanks (spaces, tabs) around it, as a split line holds it.
std::string_view csvTrimmed(std::string_view field);

// Whether a line (without its line end) is blank or a comment.
bool csvComment(std::string_view line);

// The fields of one line (without its line end). Unquoted fields are views into the line;
// quoted ones into the object's own storage: the fields are valid until the next split and
// while the line lives.
class CsvLine {
 public:
  void split(std::string_view line, char delimiter);
  size_t size() const { return fields_.size(); }
  std::string_view operator[](size_t k) const { return fields_[k]; }
  const std::vector<std::string_view>& fields() const { return fields_; }

 private:
  std::vector<std::string_view> fields_;
  std::string unquoted_;
};

// The lines of a text that hold data, in order, with their 1-based line numbers.
class CsvLines {
 public:
  explicit CsvLines(std::string_view text);
  // The next data line (without its line end); false at the end of the text.
  bool next(std::string_view& line, size_t& number);

 private:
  std::string_view rest_;
  size_t number_ = 0;
};

// The fields of the header (the first data line) of `text`, split at its delimiter; false when
// the text has no data line.
bool csvHeader(std::string_view text, CsvLine& fields);

}  // namespace kv
