#include "text/csv.h"

namespace kv {

namespace {

bool isCsvBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view csvTrimmed(std::string_view s) {
  while (!s.empty() && isCsvBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isCsvBlank(s.back())) s.remove_suffix(1);
  return s;
}

char csvDelimiter(std::string_view header) {
  const size_t at = header.find_first_of(",;\t");
  return at == std::string_view::npos ? ',' : header[at];
}

bool csvKeyword(std::string_view field, std::string_view lowerCase) {
  if (field.size() != lowerCase.size()) return false;
  for (size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerCase[i]) return false;
  }
  return true;
}

bool csvComment(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t\r");
  return first == std::string_view::npos || line[first] == '#';
}

void CsvLine::split(std::string_view line, char delimiter) {
  fields_.clear();
  if (line.find('"') == std::string_view::npos) {
    for (;;) {
      const size_t at = line.find(delimiter);
      fields_.push_back(csvTrimmed(line.substr(0, at)));
      if (at == std::string_view::npos) return;
      line.remove_prefix(at + 1);
    }
  }
  // Room for every unquoted field at once, so that the views into it stay valid.
  unquoted_.clear();
  unquoted_.reserve(line.size());
  size_t i = 0;
  for (;;) {
    while (i < line.size() && isCsvBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
      const size_t begin = unquoted_.size();
      for (++i; i < line.size(); ++i) {
        if (line[i] != '"') {
          unquoted_.push_back(line[i]);
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          unquoted_.push_back('"');
          ++i;
        } else {
          ++i;
          break;
        }
      }
      // What follows the closing quote up to the delimiter belongs to the field too, without its
      // trailing blanks ("a"b is ab, as Python's csv module and pandas read it: never dropped).
      const size_t at = line.find(delimiter, i);
      const std::string_view after =
          csvTrimmed(line.substr(i, at == std::string_view::npos ? std::string_view::npos : at - i));
      if (!after.empty()) unquoted_.append(line.substr(i, after.data() + after.size() - (line.data() + i)));
      fields_.push_back(std::string_view(unquoted_).substr(begin));
      if (at == std::string_view::npos) return;
      i = at + 1;
      continue;
    }
    const size_t at = line.find(delimiter, i);
    fields_.push_back(csvTrimmed(line.substr(i, at == std::string_view::npos ? std::string_view::npos : at - i)));
    if (at == std::string_view::npos) return;
    i = at + 1;
  }
}

CsvLines::CsvLines(std::string_view text) : rest_(text) {
  if (rest_.substr(0, 3) == "\xEF\xBB\xBF") rest_.remove_prefix(3);
}

bool CsvLines::next(std::string_view& line, size_t& number) {
  while (!rest_.empty()) {
    ++number_;
    const size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (csvComment(line)) continue;
    number = number_;
    return true;
  }
  return false;
}

bool csvHeader(std::string_view text, CsvLine& fields) {
  CsvLines lines(text);
  std::string_view line;
  size_t number = 0;
  if (!lines.next(line, number)) return false;
  fields.split(line, csvDelimiter(line));
  return true;
}

}  // namespace kv
