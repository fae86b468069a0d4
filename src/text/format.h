// Formats: lists of edit descriptors that say where each value of a record goes, how wide it is
// and how it is rendered. A format is parsed once from its text, written exactly as the layouts
// of the listing and the plot files give it, for example
//   Format rowFormat("(1PE12.4,30(1PE22.14))");
// and then executed on any number of item lists.
//
// Descriptors: 'text' (also "text"), kP, Ew.d, Iw, A, Aw, Tn, TRn, TLn, nX, / and r(...);
// E, I, A and / may carry a repeat count (3E22.14). Blanks outside literals are ignored.
// The format text is UTF-8; literals are stored as Latin-1 single bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// One item of a write statement: an integer, a real or a text.
class FormatItem {
 public:
  enum class Kind : uint8_t { Integer, Real, Text };

  FormatItem(int32_t value) : kind_(Kind::Integer), integer_(value) {}
  FormatItem(double value) : kind_(Kind::Real), real_(value) {}
  FormatItem(std::string_view value) : kind_(Kind::Text), text_(value) {}
  FormatItem(const std::string& value) : kind_(Kind::Text), text_(value) {}
  FormatItem(const char* value) : kind_(Kind::Text), text_(value) {}

  Kind kind() const { return kind_; }
  int32_t integer() const { return integer_; }
  double real() const { return real_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  int32_t integer_ = 0;
  double real_ = 0.0;
  std::string_view text_;
};

// Receives the records a format produces, without their line end.
class RecordSink {
 public:
  virtual void putRecord(std::string_view record) = 0;

 protected:
  ~RecordSink() = default;
};

class Format {
 public:
  // Parses `text`; a malformed format is a programming error (std::invalid_argument).
  explicit Format(std::string_view text);

  // Executes the format on `items`, handing each record produced to `sink`:
  //  - literals and positioning act at once; a data descriptor takes the next item;
  //  - a data descriptor reached with no item left, or the final right parenthesis reached with
  //    no item left, ends the statement (what stands before that point is still done);
  //  - the final right parenthesis reached with items left ends the record and continues from
  //    the last group at the outer level (its repeat count applies again), or from the start
  //    when the format has no group;
  //  - the current record is always ended, even when empty.
  void execute(std::span<const FormatItem> items, RecordSink& sink) const;

  struct Node {
    enum class Kind : uint8_t {
      Literal, Scale, Real, Integer, Text, TabTo, TabRight, TabLeft, Slash, GroupBegin, GroupEnd
    };
    explicit Node(Kind k, int count = 1) : kind(k), repeat(count) {}
    Kind kind;
    int repeat = 1;  // repeat count of a data descriptor, a slash or a group
    int width = 0;   // E and I width, A width (0 = the item's length), T/X position or count,
                     // P scale factor
    int decimals = 0;
    std::string literal;  // Latin-1
  };

  const std::vector<Node>& nodes() const { return nodes_; }

 private:
  std::vector<Node> nodes_;
  size_t reversion_ = 0;  // first node executed again on format reversion
  bool hasData_ = false;
};

// Executes `format` into a text field of `length` characters: the first record, cut or
// blank-padded to `length` (how pV_text and the parts of the run date are built).
std::string writeToField(const Format& format, std::span<const FormatItem> items, size_t length);
std::string writeToField(const Format& format, std::initializer_list<FormatItem> items,
                         size_t length);

// UTF-8 text to Latin-1 bytes (code points above U+00FF become '?').
std::string latin1FromUtf8(std::string_view utf8);

}  // namespace kv
