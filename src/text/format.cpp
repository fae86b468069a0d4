#include "text/format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "text/render.h"

namespace kv {

std::string latin1FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned code = c & (0x3F >> extra);
    size_t j = i + 1;
    for (int k = 0; k < extra && j < utf8.size(); ++k, ++j) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
    }
    out.push_back(extra > 0 && code <= 0xFF ? static_cast<char>(code) : '?');
    i = j;
  }
  return out;
}

namespace {

// Groups nest at most this deep (the executor keeps one frame per open group).
constexpr int kMaxGroupNesting = 32;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  void parse(std::vector<Format::Node>& nodes, size_t& reversion) {
    skipBlanks();
    expect('(');
    parseList(nodes, 1, reversion);
    expect(')');
    skipBlanks();
    if (pos_ != text_.size()) fail("text after the final parenthesis");
  }

 private:
  [[noreturn]] void fail(const char* what) {
    throw std::invalid_argument("format \"" + std::string(text_) + "\": " + what);
  }

  void skipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  char peek() {
    skipBlanks();
    return pos_ < text_.size()
               ? static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_])))
               : '\0';
  }
  void expect(char c) {
    if (peek() != c) fail("unexpected character");
    ++pos_;
  }
  bool hasNumber() {
    char c = peek();
    return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+';
  }
  int number() {
    skipBlanks();
    bool negative = false;
    if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) {
      negative = text_[pos_] == '-';
      ++pos_;
    }
    if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("a number is missing");
    long value = 0;
    while (std::isdigit(static_cast<unsigned char>(peek()))) {
      value = value * 10 + (text_[pos_++] - '0');
      if (value > 100000000) fail("number too large");
    }
    return static_cast<int>(negative ? -value : value);
  }

  // list := item { [','] item } ; commas may be left out around '/' and after kP.
  void parseList(std::vector<Format::Node>& nodes, int depth, size_t& reversion) {
    if (peek() == ')') return;
    for (;;) {
      parseItem(nodes, depth, reversion);
      char c = peek();
      if (c == ',') {
        ++pos_;
        continue;
      }
      if (c == ')') return;
      // Items that may follow without a comma: '/', a literal, or anything after kP or '/'.
      Format::Node::Kind last = nodes.back().kind;
      if (c == '/' || c == '\'' || c == '"' || last == Format::Node::Kind::Scale ||
          last == Format::Node::Kind::Slash) {
        continue;
      }
      fail("a comma is missing");
    }
  }

  void parseItem(std::vector<Format::Node>& nodes, int depth, size_t& reversion) {
    using Kind = Format::Node::Kind;
    char c = peek();
    if (c == '\'' || c == '"') {
      Format::Node node{Kind::Literal};
      node.literal = latin1FromUtf8(quoted(c));
      nodes.push_back(std::move(node));
      return;
    }
    int count = 1;
    bool counted = false;
    if (hasNumber()) {
      count = number();
      counted = true;
    }
    c = peek();
    ++pos_;
    Format::Node node{Kind::Literal};
    switch (c) {
      case 'P':
        if (!counted) fail("P needs a scale factor");
        node.kind = Kind::Scale;
        node.width = count;
        break;
      case 'X':
        node.kind = Kind::TabRight;
        node.width = count;
        break;
      case 'T':
        if (counted) fail("T takes no count");
        node.kind = Kind::TabTo;
        if (peek() == 'R' || peek() == 'L') {
          node.kind = peek() == 'R' ? Kind::TabRight : Kind::TabLeft;
          ++pos_;
        }
        node.width = number();
        break;
      case '/':
        node.kind = Kind::Slash;
        node.repeat = count;
        break;
      case 'E':
        node.kind = Kind::Real;
        node.repeat = count;
        node.width = number();
        expect('.');
        node.decimals = number();
        break;
      case 'I':
        node.kind = Kind::Integer;
        node.repeat = count;
        node.width = number();
        break;
      case 'A':
        node.kind = Kind::Text;
        node.repeat = count;
        node.width = hasNumber() ? number() : 0;
        break;
      case '(': {
        if (depth > kMaxGroupNesting) fail("groups nested too deep");
        if (depth == 1) reversion = nodes.size();
        size_t begin = nodes.size();
        nodes.push_back(Format::Node(Kind::GroupBegin, count));
        size_t ignored = 0;
        parseList(nodes, depth + 1, ignored);
        expect(')');
        nodes.push_back(Format::Node(Kind::GroupEnd, count));
        nodes.back().width = static_cast<int>(begin);
        return;
      }
      default:
        fail("unknown edit descriptor");
    }
    // The scale factor is the one signed number: -1PE12.4 is a valid descriptor.
    if (node.repeat < 1 || (node.kind != Kind::Scale && node.width < 0) || node.decimals < 0) {
      fail("bad count or width");
    }
    nodes.push_back(std::move(node));
  }

  std::string quoted(char delimiter) {
    ++pos_;
    std::string value;
    for (;;) {
      if (pos_ >= text_.size()) fail("unterminated literal");
      char c = text_[pos_++];
      if (c == delimiter) {
        if (pos_ < text_.size() && text_[pos_] == delimiter) {
          value.push_back(c);
          ++pos_;
          continue;
        }
        return value;
      }
      value.push_back(c);
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// The record being built: characters written so far and the current position. The buffer
// only grows; the record is its first length_ characters.
class Record {
 public:
  explicit Record(std::string& buffer) : text_(buffer) {
    if (text_.size() < kInitialSize) text_.resize(kInitialSize);
  }

  // Makes room for `width` characters at the current position and returns them; the caller
  // writes all of them.
  char* field(int width) {
    size_t end = pos_ + static_cast<size_t>(width);
    if (end > text_.size()) text_.resize(std::max(end, 2 * text_.size()));
    if (pos_ > length_) std::memset(text_.data() + length_, ' ', pos_ - length_);
    if (end > length_) length_ = end;
    char* out = text_.data() + pos_;
    pos_ = end;
    return out;
  }
  void put(std::string_view s) {
    std::memcpy(field(static_cast<int>(s.size())), s.data(), s.size());
  }
  void moveTo(size_t position) { pos_ = position; }
  void moveRight(size_t n) { pos_ += n; }
  void moveLeft(size_t n) { pos_ = n > pos_ ? 0 : pos_ - n; }
  void end(RecordSink& sink) {
    sink.putRecord(std::string_view(text_.data(), length_));
    length_ = 0;
    pos_ = 0;
  }

 private:
  static constexpr size_t kInitialSize = 1024;
  std::string& text_;
  size_t length_ = 0;
  size_t pos_ = 0;
};

void putItem(const Format::Node& node, const FormatItem& item, int scale, Record& record) {
  using Kind = FormatItem::Kind;
  switch (node.kind) {
    case Format::Node::Kind::Real: {
      char* out = record.field(node.width);
      if (item.kind() == Kind::Text) {
        std::memset(out, '*', static_cast<size_t>(node.width));
      } else {
        double value = item.kind() == Kind::Real ? item.real() : item.integer();
        renderReal(value, scale, node.width, node.decimals, out);
      }
      break;
    }
    case Format::Node::Kind::Integer: {
      char* out = record.field(node.width);
      if (item.kind() == Kind::Integer) {
        renderInteger(item.integer(), node.width, out);
      } else {
        std::memset(out, '*', static_cast<size_t>(node.width));
      }
      break;
    }
    default: {  // Text
      if (item.kind() != Kind::Text) {
        int width = node.width > 0 ? node.width : 1;
        std::memset(record.field(width), '*', static_cast<size_t>(width));
        break;
      }
      std::string_view text = item.text();
      if (node.width == 0) {
        record.put(text);
      } else if (text.size() >= static_cast<size_t>(node.width)) {
        record.put(text.substr(0, static_cast<size_t>(node.width)));
      } else {
        char* out = record.field(node.width);
        size_t blanks = static_cast<size_t>(node.width) - text.size();
        std::memset(out, ' ', blanks);
        std::memcpy(out + blanks, text.data(), text.size());
      }
      break;
    }
  }
}

}  // namespace

Format::Format(std::string_view text) {
  Parser(text).parse(nodes_, reversion_);
  for (const Node& node : nodes_) {
    if (node.kind == Node::Kind::Real || node.kind == Node::Kind::Integer ||
        node.kind == Node::Kind::Text) {
      hasData_ = true;
    }
  }
}

void Format::execute(std::span<const FormatItem> items, RecordSink& sink) const {
  thread_local std::string buffer;
  Record record(buffer);
  struct Frame {
    size_t begin;
    int remaining;
  };
  Frame stack[kMaxGroupNesting];
  size_t depth = 0;
  size_t next = 0;
  size_t usedSinceReversion = 0;
  int scale = 0;
  size_t pc = 0;
  for (;;) {
    if (pc == nodes_.size()) {
      // Final right parenthesis: stop, or revert when items remain.
      if (next == items.size() || !hasData_ || usedSinceReversion == 0) break;
      record.end(sink);
      pc = reversion_;
      depth = 0;
      usedSinceReversion = 0;
      continue;
    }
    const Node& node = nodes_[pc];
    switch (node.kind) {
      case Node::Kind::Literal:
        record.put(node.literal);
        break;
      case Node::Kind::Scale:
        scale = node.width;
        break;
      case Node::Kind::TabTo:
        record.moveTo(node.width > 0 ? static_cast<size_t>(node.width - 1) : 0);
        break;
      case Node::Kind::TabRight:
        record.moveRight(static_cast<size_t>(node.width));
        break;
      case Node::Kind::TabLeft:
        record.moveLeft(static_cast<size_t>(node.width));
        break;
      case Node::Kind::Slash:
        for (int r = 0; r < node.repeat; ++r) record.end(sink);
        break;
      case Node::Kind::GroupBegin:
        if (depth == std::size(stack)) throw std::logic_error("format groups nested too deep");
        stack[depth++] = Frame{pc, node.repeat};
        break;
      case Node::Kind::GroupEnd:
        if (--stack[depth - 1].remaining > 0) {
          pc = stack[depth - 1].begin;
        } else {
          --depth;
        }
        break;
      default:  // a data descriptor
        for (int r = 0; r < node.repeat; ++r) {
          if (next == items.size()) {
            record.end(sink);
            return;
          }
          putItem(node, items[next++], scale, record);
          ++usedSinceReversion;
        }
        break;
    }
    ++pc;
  }
  record.end(sink);
}

namespace {
class FieldSink final : public RecordSink {
 public:
  void putRecord(std::string_view record) override {
    if (!done_) first_.assign(record);
    done_ = true;
  }
  std::string first_;
  bool done_ = false;
};
}  // namespace

std::string writeToField(const Format& format, std::span<const FormatItem> items, size_t length) {
  FieldSink sink;
  format.execute(items, sink);
  sink.first_.resize(length, ' ');
  return sink.first_;
}

std::string writeToField(const Format& format, std::initializer_list<FormatItem> items,
                         size_t length) {
  return writeToField(format, std::span<const FormatItem>(items.begin(), items.size()), length);
}

}  // namespace kv
