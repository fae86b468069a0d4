#include "text/list_directed.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "base/fatal.h"
#include "base/text_field.h"
#include "text/number.h"

namespace kv {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }


std::string readWholeFile(int unit, const std::string& fileName) {
  if (fileName.empty() || hasControlCharacter(fileName)) {
    FatalFile(FatalCode::OpenFailure, unit, fileName);
  }
  std::error_code error;
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr && !std::filesystem::exists(fileName, error)) {
    // Open-or-create: a missing file is created empty.
    std::FILE* created = std::fopen(fileName.c_str(), "wb");
    if (created != nullptr) std::fclose(created);
    file = std::fopen(fileName.c_str(), "rb");
  }
  if (file == nullptr) FatalFile(FatalCode::OpenFailure, unit, fileName);
  std::string content;
  bool failed = false;
  try {
    // Room for the whole file at once: a file of hundreds of megabytes takes its own size in
    // memory, not the spare room of a growing buffer as well.
    uintmax_t size = std::filesystem::file_size(fileName, error);
    if (!error && size > 0) content.reserve(static_cast<size_t>(size));
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
    failed = std::ferror(file) != 0;  // a folder opens on some systems, but cannot be read
  } catch (const std::length_error&) {
    std::fclose(file);
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  } catch (const std::bad_alloc&) {
    std::fclose(file);
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  }
  std::fclose(file);
  if (failed) FatalFile(FatalCode::OpenFailure, unit, fileName);
  return content;
}

}  // namespace

ListDirectedReader::ListDirectedReader(int unit, std::string fileName)
    : ListDirectedReader(unit, fileName, readWholeFile(unit, fileName)) {}

ListDirectedReader ListDirectedReader::fromText(int unit, std::string fileName,
                                                std::string content) {
  return ListDirectedReader(unit, std::move(fileName), std::move(content));
}

ListDirectedReader::ListDirectedReader(int unit, std::string fileName, std::string content)
    : unit_(unit), fileName_(std::move(fileName)), content_(std::move(content)) {
  size_t begin = 0;
  while (begin < content_.size()) {
    size_t newline = content_.find('\n', begin);
    if (newline == std::string::npos) {
      records_.push_back({begin, content_.size()});
      break;
    }
    size_t end = newline;
    if (end > begin && content_[end - 1] == '\r') --end;
    records_.push_back({begin, end});
    begin = newline + 1;
  }
}

size_t ListDirectedReader::nextRecordOffset() const {
  if (nextRecord_ >= records_.size()) return content_.size();
  return records_[nextRecord_].begin;
}

void ListDirectedReader::fail(FatalCode code, size_t record) const {
  if (throws_) throw ListDirectedError{code, std::min(record, records_.size()) + 1};
  FatalFile(code, unit_, fileName_);
}

bool ListDirectedReader::atEnd() const {
  for (size_t i = nextRecord_; i < records_.size(); ++i) {
    for (size_t k = records_[i].begin; k < records_[i].end; ++k) {
      if (!isBlank(content_[k])) return false;
    }
  }
  return true;
}

void ListDirectedReader::skipRecord() {
  if (nextRecord_ >= records_.size()) fail(FatalCode::EndOfFile, nextRecord_);
  ++nextRecord_;
}

// The scanning state of one read statement.
class ListDirectedReader::Statement {
 public:
  explicit Statement(ListDirectedReader& reader)
      : r_(reader), record_(reader.nextRecord_), pos_(0) {}

  // Consumes one value for `item`; returns false when a slash ended the statement.
  bool next(const InputItem& item) {
    if (!skipToValue()) {
      // A comma with no value before it: a null value.
      ++pos_;
      separatorPending_ = false;
      return true;
    }
    if (separatorPending_ && current() == ',') {
      ++pos_;
      separatorPending_ = false;
      if (!skipToValue()) {
        ++pos_;
        return true;
      }
    }
    char c = current();
    if (c == '/') return false;
    if (c == '\'' || c == '"') {
      std::string value = delimited(c);
      if (item.kind() != InputItem::Kind::Text) fail(FatalCode::ListDirectedSyntax);
      store(item, value);
    } else {
      size_t start = pos_;
      std::string_view line = text();
      while (pos_ < line.size() && !isBlank(line[pos_]) && line[pos_] != ',' &&
             line[pos_] != '/') {
        ++pos_;
      }
      store(item, line.substr(start, pos_ - start));
    }
    separatorPending_ = true;
    return true;
  }

  // After the statement: the next read starts on the record after the current one.
  void finish() { r_.nextRecord_ = record_ + 1; }

 private:
  std::string_view text() const {
    const Span& span = r_.records_[record_];
    return std::string_view(r_.content_).substr(span.begin, span.end - span.begin);
  }
  char current() const { return text()[pos_]; }

  [[noreturn]] void fail(FatalCode code) { r_.fail(code, record_); }

  // Skips blanks and record ends up to the next character that is not a blank. Returns false
  // when that character is a comma that stands for a null value.
  bool skipToValue() {
    for (;;) {
      if (record_ >= r_.records_.size()) fail(FatalCode::EndOfFile);
      std::string_view line = text();
      while (pos_ < line.size() && isBlank(line[pos_])) ++pos_;
      if (pos_ < line.size()) break;
      ++record_;
      pos_ = 0;
    }
    return !(current() == ',' && !separatorPending_);
  }

  std::string delimited(char delimiter) {
    std::string value;
    ++pos_;
    for (;;) {
      std::string_view line = text();
      while (pos_ < line.size()) {
        char c = line[pos_++];
        if (c != delimiter) {
          value.push_back(c);
        } else if (pos_ < line.size() && line[pos_] == delimiter) {
          value.push_back(c);
          ++pos_;
        } else {
          // Characters glued to the closing delimiter are skipped with the rest of the record.
          if (pos_ < line.size() && !isBlank(line[pos_]) && line[pos_] != ',' &&
              line[pos_] != '/') {
            pos_ = line.size();
          }
          return value;
        }
      }
      ++record_;
      pos_ = 0;
      if (record_ >= r_.records_.size()) fail(FatalCode::EndOfFile);
    }
  }

  void store(const InputItem& item, std::string_view value) {
    switch (item.kind()) {
      case InputItem::Kind::Text:
        *static_cast<std::string*>(item.target()) = fixedText(value, item.length());
        return;
      case InputItem::Kind::Integer: {
        int64_t result = 0;
        const NumberStatus status = parseInteger(value, result);
        if (status == NumberStatus::NotANumber) {
          double real = 0.0;
          fail(parseReal(value, real) == NumberStatus::NotANumber ? FatalCode::ListDirectedSyntax
                                                                  : FatalCode::InputConversion);
        }
        if (status != NumberStatus::Ok || result < INT32_MIN || result > INT32_MAX) {
          fail(FatalCode::InputConversion);
        }
        *static_cast<int32_t*>(item.target()) = static_cast<int32_t>(result);
        return;
      }
      case InputItem::Kind::Real: {
        double result = 0.0;
        switch (parseReal(value, result)) {
          case NumberStatus::NotANumber:
            fail(FatalCode::ListDirectedSyntax);
          case NumberStatus::OutOfRange:
            fail(FatalCode::InputConversion);
          case NumberStatus::Ok:
            break;
        }
        *static_cast<double*>(item.target()) = result;
        return;
      }
    }
  }

  ListDirectedReader& r_;
  size_t record_;
  size_t pos_;
  bool separatorPending_ = false;
};

void ListDirectedReader::read(std::initializer_list<InputItem> items) {
  if (nextRecord_ >= records_.size()) fail(FatalCode::EndOfFile, nextRecord_);
  Statement statement(*this);
  for (const InputItem& item : items) {
    if (!statement.next(item)) break;
  }
  statement.finish();
}

}  // namespace kv
