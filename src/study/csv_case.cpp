#include "study/csv_case.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <set>
#include <vector>

namespace kv::study {

namespace {

struct Line {
  std::string_view text;
  size_t number;
};

// The lines of `text` that hold data: not blank, not a comment; CR LF and a BOM accepted.
std::vector<Line> dataLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    lines.push_back({line, number});
  }
  return lines;
}

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Splits one line at `delimiter`; a field in double quotes may hold the delimiter ("" is a quote).
std::vector<std::string> splitFields(std::string_view line, char delimiter) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || (!quoted && line[i] == delimiter)) {
      fields.push_back(wasQuoted ? field : std::string(trim(field)));
      field.clear();
      wasQuoted = false;
      continue;
    }
    const char c = line[i];
    if (c == '"' && !quoted && trim(field).empty()) {
      quoted = wasQuoted = true;
      field.clear();
    } else if (c == '"' && quoted) {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else {
        quoted = false;
      }
    } else if (!(wasQuoted && !quoted && (c == ' ' || c == '\t'))) {
      field.push_back(c);
    }
  }
  return fields;
}

char delimiterOf(std::string_view header) {
  const size_t at = header.find_first_of(",;\t");
  return at == std::string_view::npos ? ',' : header[at];
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

std::optional<double> parseNumber(std::string_view s) {
  if (!s.empty() && s[0] == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s[0] == '-') return std::nullopt;
  }
  double value = 0.0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

class Parser {
 public:
  Parser(const std::string& file, const CsvOptions& options) : options_(options) {
    c_.file = file;
    name_ = displayName(file);
  }

  StudyCase parse(std::string_view text) {
    if (text.empty() || text == "\xEF\xBB\xBF") throw InputError(name_, 1, "the file is empty: write a header row (h,name,...) and one row per grid");
    const std::vector<Line> lines = dataLines(text);
    if (lines.empty()) throw InputError(name_, 1, "the file holds no data, only blank or comment lines: write a header row (h,name,...) and one row per grid");
    header(lines.front());
    for (size_t k = 1; k < lines.size(); ++k) row(lines[k]);
    const size_t lastLine = lines.back().number;
    if (c_.h.size() < 2) {
      throw InputError(name_, lastLine,
                       "only " + std::to_string(c_.h.size()) +
                           " grid: a study needs the values of two grids at least (three for an observed order)");
    }
    sortFinestFirst(c_);
    return std::move(c_);
  }

 private:
  void header(const Line& line) {
    delimiter_ = delimiterOf(line.text);
    std::vector<std::string> fields = splitFields(line.text, delimiter_);
    const std::string& first = fields.front();
    const bool cells = equalsIgnoringCase(first, "cells");
    if (!cells && !equalsIgnoringCase(first, "h")) {
      throw InputError(name_, line.number,
                       "missing header: the first row must name the columns, starting with h "
                       "(spacing) or cells (cell count), e.g. h,drag,lift; found '" + first + "'");
    }
    if (cells != options_.cells && options_.cells) {
      throw InputError(name_, line.number, "--cells was given but the first column is h: name it cells, or drop --cells");
    }
    cells_ = cells;
    if (cells_ && options_.dimension == 0) {
      throw InputError(name_, line.number, "the first column holds cell counts: give --cells --dim D (D = 1, 2 or 3) so that h = cells^(-1/D)");
    }
    if (fields.size() < 2) {
      throw InputError(name_, line.number, "the header has no quantity column: name one column per quantity after the first, separated by , ; or tab");
    }
    std::set<std::string_view> seen;
    c_.quantities.reserve(fields.size() - 1);
    for (size_t k = 1; k < fields.size(); ++k) {
      if (fields[k].empty()) {
        throw InputError(name_, line.number, "column " + std::to_string(k + 1) + " has no name: name every quantity");
      }
      if (!seen.insert(fields[k]).second) {
        throw InputError(name_, line.number, "the quantity name '" + fields[k] + "' appears twice: give each column its own name");
      }
      c_.quantities.push_back({fields[k], {}, kNotANumber});
    }
    columns_ = fields.size();
    c_.dimension = cells_ ? options_.dimension : 0;
  }

  [[noreturn]] void notANumber(const Line& line, const std::string& column, const std::string& text) {
    std::string field = text;
    for (char& ch : field) if (ch == ',') ch = '.';
    if (text.find(',') != std::string::npos && parseNumber(field)) {
      throw InputError(name_, line.number, "column '" + column + "': '" + text + "' has a decimal comma: write 0.1, not 0,1");
    }
    throw InputError(name_, line.number, "column '" + column + "': '" + text + "' is not a number");
  }

  void row(const Line& line) {
    std::vector<std::string> fields = splitFields(line.text, delimiter_);
    if (fields.size() != columns_) {
      std::string message = std::to_string(fields.size()) + " fields, but the header has " +
                            std::to_string(columns_) + " columns: give one value per column";
      if (delimiter_ == ',' && fields.size() > columns_) message += " (a decimal comma? write 0.1, not 0,1)";
      throw InputError(name_, line.number, message);
    }
    if (equalsIgnoringCase(fields[0], "exact")) {
      if (exactLine_ != 0) {
        throw InputError(name_, line.number, "a second exact row (the first is line " + std::to_string(exactLine_) + "): keep one");
      }
      exactLine_ = line.number;
      for (size_t k = 1; k < columns_; ++k) {
        if (fields[k].empty()) continue;
        std::optional<double> v = parseNumber(fields[k]);
        if (!v) notANumber(line, c_.quantities[k - 1].name, fields[k]);
        if (!std::isfinite(*v)) {
          throw InputError(name_, line.number, "column '" + c_.quantities[k - 1].name + "': the exact value '" + fields[k] + "' is not finite: leave the field empty when it is unknown");
        }
        c_.quantities[k - 1].exact = *v;
      }
      return;
    }
    const std::string first = cells_ ? "cells" : "h";
    std::optional<double> x = parseNumber(fields[0]);
    if (!x) notANumber(line, first, fields[0]);
    if (!std::isfinite(*x) || *x <= 0.0) {
      throw InputError(name_, line.number, first + " = '" + fields[0] + "': it must be a positive, finite number");
    }
    if (cells_) {
      c_.cells.push_back(*x);
      c_.h.push_back(std::pow(*x, -1.0 / options_.dimension));
    } else {
      c_.h.push_back(*x);
    }
    c_.lines.push_back(line.number);
    for (size_t k = 1; k < columns_; ++k) {
      const std::string& column = c_.quantities[k - 1].name;
      if (fields[k].empty()) {
        throw InputError(name_, line.number, "column '" + column + "' is empty: every grid needs a value of every quantity");
      }
      std::optional<double> v = parseNumber(fields[k]);
      if (!v) notANumber(line, column, fields[k]);
      if (!std::isfinite(*v)) {
        throw InputError(name_, line.number, "column '" + column + "': '" + fields[k] + "' is not a finite number");
      }
      c_.quantities[k - 1].values.push_back(*v);
    }
  }

  CsvOptions options_;
  StudyCase c_;
  std::string name_;
  char delimiter_ = ',';
  bool cells_ = false;
  size_t columns_ = 0;
  size_t exactLine_ = 0;
};

}  // namespace

StudyCase parseCsvCase(std::string_view text, const std::string& file, const CsvOptions& options) {
  return Parser(file, options).parse(text);
}

bool looksLikeCsv(std::string_view text) {
  const std::vector<Line> lines = dataLines(text);
  if (lines.empty()) return false;
  const std::vector<std::string> fields = splitFields(lines.front().text, delimiterOf(lines.front().text));
  return equalsIgnoringCase(fields.front(), "h") || equalsIgnoringCase(fields.front(), "cells");
}

}  // namespace kv::study
