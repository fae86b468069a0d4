// List-directed reading of the input files.
//
// Each read statement starts at the beginning of a new record (line) and takes as many values
// as it lists; the rest of its last record is skipped, so text after the values of a record
// acts as a comment. A read that lists several values takes them from the following records
// when a record runs out.
//  - Values are separated by blanks, tabs, a comma or the end of a record; several blanks
//    count as one separator. A CR that does not end a record is a blank.
//  - An integer is a signed decimal integer; a real accepts 1, 1.5, .5, 1.5E-3, 1.5D-3,
//    1.5e-3 (and Infinity, NaN).
//  - A text value may be enclosed in apostrophes or quotes (a doubled delimiter stands for
//    one; the value may continue on the next record, the parts joined with nothing between);
//    an undelimited text ends at the first blank, tab, comma, slash or end of record.
//    Characters directly after the closing delimiter are skipped with the rest of the record.
//  - A slash ends the read; the variables not yet read keep their values.
//  - A null value (a comma with no value before it) leaves its variable unchanged.
//  - There are no repeat counts: 2*x.txt is a name.
// Failures end the run: past the end of the file (end-of-file line), a value that is not of
// the expected kind (syntax error line), a number with a decimal point or an exponent where an
// integer is expected or out of range (input conversion error line).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/fatal.h"

namespace kv {

// What a reader set to throwOnFailure() throws instead of ending the run: the failure and the
// 1-based line of the record where it happened (one past the last line at the end of the file).
struct ListDirectedError {
  FatalCode code;
  size_t line;
};

// The target of one value of a read statement.
class InputItem {
 public:
  enum class Kind { Integer, Real, Text };
  static InputItem integer(int32_t& target) { return InputItem(Kind::Integer, &target, 0); }
  static InputItem real(double& target) { return InputItem(Kind::Real, &target, 0); }
  // A text field of `length` characters: a longer value keeps its first characters, a shorter
  // one is padded with blanks.
  static InputItem text(std::string& target, size_t length) {
    return InputItem(Kind::Text, &target, length);
  }

  Kind kind() const { return kind_; }
  void* target() const { return target_; }
  size_t length() const { return length_; }

 private:
  InputItem(Kind kind, void* target, size_t length)
      : kind_(kind), target_(target), length_(length) {}
  Kind kind_;
  void* target_;
  size_t length_;
};

class ListDirectedReader {
 public:
  // Opens `fileName` on `unit` with the open-or-create disposition: an existing file is read
  // from its start, a missing one is created empty (so that its first read fails). A file that
  // cannot be opened or created ends the run with the open-failure line.
  ListDirectedReader(int unit, std::string fileName);

  // A reader over `content`, as if read from a file of that name (for tests).
  static ListDirectedReader fromText(int unit, std::string fileName, std::string content);

  // One read statement.
  void read(std::initializer_list<InputItem> items);

  // A read statement with an empty item list: consumes one whole record.
  void skipRecord();

  // Byte offset in the file of the first record that no read has touched.
  size_t nextRecordOffset() const;

  // Failures throw ListDirectedError instead of ending the run (for callers with their own
  // error reports).
  void throwOnFailure() { throws_ = true; }

  // Whether any value is left after the records read so far.
  bool atEnd() const;

  const std::string& content() const { return content_; }
  const std::string& fileName() const { return fileName_; }

 private:
  ListDirectedReader(int unit, std::string fileName, std::string content);
  struct Span {
    size_t begin;
    size_t end;  // before the line end
  };
  class Statement;
  [[noreturn]] void fail(FatalCode code, size_t record) const;

  int unit_;
  std::string fileName_;
  std::string content_;
  std::vector<Span> records_;
  size_t nextRecord_ = 0;
  bool throws_ = false;
};

}  // namespace kv
