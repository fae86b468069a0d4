#include "mesh/vtk_declared.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace kv::mesh {

namespace {

uint64_t add(uint64_t a, uint64_t b) {
  return std::min(kVtkCountCap, a + std::min(b, kVtkCountCap));
}
uint64_t times(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kVtkCountCap / b ? kVtkCountCap : a * b;
}

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

// The stream in blocks, read as VTK's readers read theirs: tokens as `>>` reads them into
// 256-byte buffers, integers as `>>` reads them, whole lines, bytes skipped.
class Input {
 public:
  Input(std::istream& in, size_t block) : in_(in), blockSize_(std::max<size_t>(block, 1)) {}

  int peek() {
    return at_ < block_.size() || fill() ? static_cast<unsigned char>(block_[at_]) : EOF;
  }
  int get() {
    const int c = peek();
    if (c != EOF) {
      ++at_;
      if (c == '\n') ++line_;
    }
    return c;
  }
  void skipSpace() {
    while (isSpace(peek())) get();
  }
  bool token(std::string& t) {
    skipSpace();
    t.clear();
    for (int c; t.size() < 255 && (c = peek()) != EOF && !isSpace(c);)
      t.push_back(static_cast<char>(get()));
    return !t.empty();
  }
  // A sign and digits (saturated); false, with nothing more read, when there are no digits.
  bool integer(int64_t& value) {
    skipSpace();
    bool negative = false;
    if (peek() == '+' || peek() == '-') negative = get() == '-';
    if (peek() < '0' || peek() > '9') return false;
    uint64_t n = 0;
    for (int c; (c = peek()) >= '0' && c <= '9'; get()) {
      n = n > kVtkCountCap / 10 ? kVtkCountCap
                                : std::min(kVtkCountCap, n * 10 + static_cast<uint64_t>(c - '0'));
    }
    value = negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
    return true;
  }
  // The rest of the line (up to 4 KiB of it kept), its end read.
  bool restOfLine(std::string* text = nullptr) {
    if (text) text->clear();
    for (int c; (c = get()) != EOF;) {
      if (c == '\n') return true;
      if (text && text->size() < 4096) text->push_back(static_cast<char>(c));
    }
    return text && !text->empty();
  }
  // Skips `bytes` bytes; false when the stream ends first.
  bool skip(uint64_t bytes) {
    skippedBinary_ = true;
    const uint64_t here = std::min<uint64_t>(bytes, block_.size() - at_);
    at_ += here;
    bytes -= here;
    if (bytes == 0) return true;
    in_.clear();
    if (bytes > static_cast<uint64_t>(INT64_MAX / 2) ||
        !in_.seekg(static_cast<std::streamoff>(bytes), std::ios::cur)) {
      return false;
    }
    return peek() != EOF;
  }
  bool read(void* to, size_t bytes) {
    auto* out = static_cast<unsigned char*>(to);
    for (size_t k = 0; k < bytes; ++k) {
      const int c = peek();
      if (c == EOF) return false;
      ++at_;
      out[k] = static_cast<unsigned char>(c);
      skippedBinary_ = true;
    }
    return true;
  }
  // The byte `k` places ahead, nothing read; EOF past the end.
  int ahead(size_t k) {
    while (at_ + k >= block_.size()) {
      block_.erase(0, at_);
      at_ = 0;
      if (!append()) return EOF;
    }
    return static_cast<unsigned char>(block_[at_ + k]);
  }
  bool atEnd() { return peek() == EOF; }
  // Whether the text starting here is `text`, read when it is.
  bool take(std::string_view text) {
    for (size_t k = 0; k < text.size(); ++k) {
      if (ahead(k) != static_cast<unsigned char>(text[k])) return false;
    }
    at_ += text.size();
    return true;
  }
  // Reads up to and through `end`; false when the stream ends first.
  bool through(std::string_view end) {
    while (!take(end)) {
      if (get() == EOF) return false;
    }
    return true;
  }
  // The line, while no binary data has been skipped (lines mean nothing after).
  size_t line() const { return skippedBinary_ ? 0 : line_; }

 private:
  bool fill() {
    block_.clear();
    at_ = 0;
    return append();
  }
  bool append() {
    const size_t had = block_.size();
    block_.resize(had + blockSize_);
    in_.read(block_.data() + had, static_cast<std::streamsize>(blockSize_));
    block_.resize(had + static_cast<size_t>(std::max<std::streamsize>(in_.gcount(), 0)));
    return block_.size() > had;
  }

  std::istream& in_;
  size_t blockSize_;
  std::string block_;
  size_t at_ = 0;
  size_t line_ = 1;
  bool skippedBinary_ = false;
};

// ---- Legacy files ----

// The bytes a value of a legacy type takes in a binary file (VTK's names, matched on their first
// letters); 0 for strings, -1 for a type VTK does not read.
int typeBytes(const std::string& type) {
  static const std::pair<std::string_view, int> kTypes[] = {
      {"unsigned_char", 1},  {"unsigned_short", 2}, {"unsigned_int", 4},  {"unsigned_long", 8},
      {"vtktypeuint64", 8},  {"vtktypeint64", 8},   {"vtktypeuint32", 4}, {"vtktypeint32", 4},
      {"vtktypeuint16", 2},  {"vtktypeint16", 2},   {"vtktypeuint8", 1},  {"vtktypeint8", 1},
      {"vtktypefloat32", 4}, {"vtktypefloat64", 8}, {"vtkidtype", 4},     {"bit", -2},
      {"char", 1},           {"short", 2},          {"int", 4},           {"long", 8},
      {"float", 4},          {"double", 8},         {"string", 0},        {"utf8_string", 0},
  };
  const std::string t = lower(type);
  for (const auto& [name, bytes] : kTypes) {
    if (t.starts_with(name)) return bytes;
  }
  return -1;
}

class Legacy {
 public:
  Legacy(std::istream& in, size_t block) : in_(in, block) {}

  VtkDeclared walk() {
    std::string line;
    if (!in_.restOfLine(&line) || !line.starts_with("# vtk DataFile Version")) return out_;
    int major = 0, minor = 0;
    std::sscanf(line.c_str() + 22, "%d.%d", &major, &minor);
    offsetsAndConnectivity_ = major > 5 || (major == 5 && minor >= 1);
    in_.restOfLine();  // the title
    std::string word;
    if (!in_.token(word)) return out_;
    word = lower(word);
    if (word.starts_with("binary")) {
      binary_ = true;
    } else if (!word.starts_with("ascii")) {
      return out_;  // VTK refuses it
    }
    while (in_.token(word)) {
      if (!section(lower(word))) break;
    }
    return out_;
  }

 private:
  bool lost(const std::string& what) {
    out_.fault = what +
                 ": a section the check of what the file declares cannot follow (the file is "
                 "not given to VTK unchecked)";
    out_.line = in_.line();
    return false;
  }

  // A count; false (the walk ends) when there is none, lost when it is negative.
  bool count(uint64_t& n, const char* what) {
    int64_t value = 0;
    if (!in_.integer(value)) return !in_.atEnd() && lost(std::string(what) + " without its count");
    if (value < 0) return lost(std::string(what) + " with a negative count");
    n = static_cast<uint64_t>(value);
    out_.found = true;
    return true;
  }

  void declare(uint64_t values) { out_.values = add(out_.values, values); }

  // Skips `n` values of `type`; false when the file ends first (VTK then fails to read them).
  bool data(uint64_t n, const std::string& type) {
    const int bytes = typeBytes(type);
    if (bytes < 0 && bytes != -2) return lost("data of type " + type);
    if (bytes == 0) {
      // Strings: one a line (binary ones are not followed).
      if (binary_) return lost("a binary string array");
      in_.restOfLine();
      for (uint64_t k = 0; k < n; ++k) {
        if (!in_.restOfLine()) return false;
      }
      return true;
    }
    if (binary_) {
      in_.restOfLine();
      return in_.skip(bytes == -2 ? (n + 7) / 8 : times(n, static_cast<uint64_t>(bytes)));
    }
    std::string value;
    for (uint64_t k = 0; k < n; ++k) {
      if (!in_.token(value)) return false;
    }
    return true;
  }

  // One integer value of `type` (ASCII, or big-endian binary); false when the file ends first,
  // lost when it is no integer.
  bool integerValue(const std::string& what, const std::string& type, int64_t& value) {
    if (!binary_) {
      return in_.integer(value) ||
             (!in_.atEnd() && lost(what + " with a value that is no integer"));
    }
    const int bytes = typeBytes(type);
    if (bytes != 1 && bytes != 2 && bytes != 4 && bytes != 8)
      return lost(what + " of type " + type);
    unsigned char b[8];
    if (!in_.read(b, static_cast<size_t>(bytes))) return false;
    uint64_t u = 0;
    for (int k = 0; k < bytes; ++k) u = (u << 8) | b[k];
    const std::string t = lower(type);
    if (t.starts_with("unsigned") || t.starts_with("vtktypeuint")) {
      value = static_cast<int64_t>(std::min(u, kVtkCountCap));
    } else {
      const int shift = 64 - 8 * bytes;  // sign-extended
      value = static_cast<int64_t>(u << shift) >> shift;
    }
    return true;
  }

  // A cell list of the files before version 5.1: `size` values, each cell its count of points
  // and then its points. `parsed`: the cells it holds, as VTK counts them.
  bool cellList(const std::string& what, uint64_t cells, uint64_t size, uint64_t& parsed) {
    if (binary_) in_.restOfLine();
    uint64_t cell = 0;
    for (uint64_t left = size; left > 0; ++cell) {
      int64_t n = 0;
      if (!integerValue(what, "int", n)) return false;
      --left;
      if (n < 0 || static_cast<uint64_t>(n) > left) {
        out_.fault = what + ": cell " + std::to_string(cell) + " of " + std::to_string(cells) +
                     " names " + std::to_string(n) + " points where " + std::to_string(left) +
                     " values of the list are left";
        out_.line = in_.line();
        return false;
      }
      if (binary_) {
        if (!in_.skip(4 * static_cast<uint64_t>(n))) return false;
      } else {
        for (int64_t k = 0; k < n; ++k) {
          int64_t point = 0;
          if (!in_.integer(point))
            return !in_.atEnd() && lost(what + " with a value that is no integer");
        }
      }
      left -= static_cast<uint64_t>(n);
    }
    parsed = cell;
    return true;
  }

  // The offsets of a cell list of version 5.1: from 0, in order, to the end of the connectivity.
  bool offsets(const std::string& what, uint64_t n, uint64_t size, const std::string& type) {
    if (binary_) in_.restOfLine();
    int64_t previous = 0;
    for (uint64_t k = 0; k < n; ++k) {
      int64_t offset = 0;
      if (!integerValue(what, type, offset)) return false;
      if ((k == 0 && offset != 0) || offset < previous || static_cast<uint64_t>(offset) > size ||
          (k + 1 == n && static_cast<uint64_t>(offset) != size)) {
        out_.fault = what + ": offset " + std::to_string(k) + " is " + std::to_string(offset) +
                     ": the offsets go from 0, in order, to the " + std::to_string(size) +
                     " values of the connectivity";
        out_.line = in_.line();
        return false;
      }
      previous = offset;
    }
    return true;
  }

  // VTK gives each cell of CELLS its type from CELL_TYPES, reading as many types as there are
  // cells.
  bool typesForEveryCell() {
    if (cells_ && types_ && *types_ < *cells_) {
      out_.fault = "CELL_TYPES: " + std::to_string(*types_) + " types for " +
                   std::to_string(*cells_) + " cells";
      out_.line = in_.line();
      return false;
    }
    return true;
  }

  bool cells(const std::string& keyword) {
    const std::string what = [&] {
      std::string upper = keyword;
      for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      return upper;
    }();
    uint64_t n = 0, size = 0;
    if (!count(n, what.c_str()) || !count(size, what.c_str())) return false;
    declare(add(n, size));
    uint64_t parsed = n > 0 ? n - 1 : 0;
    if (!offsetsAndConnectivity_) {
      if (!cellList(what, n, size, parsed)) return false;
    } else {
      std::string word, type;
      if (!in_.token(word)) return false;
      if (!lower(word).starts_with("offsets")) return lost(what + " without its OFFSETS");
      if (!in_.token(type) || !offsets(what + " OFFSETS", n, size, type)) return false;
      if (!in_.token(word)) return false;
      if (!lower(word).starts_with("connectivity")) return lost(what + " without its CONNECTIVITY");
      if (!in_.token(type) || !data(size, type)) return false;
    }
    if (!keyword.starts_with("cells")) return true;
    cells_ = parsed;
    return typesForEveryCell();
  }

  // Arrays of field data: a name, components, tuples, type, values, each.
  bool field() {
    std::string name, type;
    uint64_t arrays = 0;
    if (!in_.token(name) || !count(arrays, "FIELD")) return false;
    for (uint64_t a = 0; a < arrays; ++a) {
      if (!in_.token(name)) return false;
      std::string l = lower(name);
      if (l.starts_with("metadata")) {
        if (!metadata() || !in_.token(name)) return false;
        l = lower(name);
      }
      if (l.starts_with("null_array")) continue;
      uint64_t components = 0, tuples = 0;
      if (!count(components, "a FIELD array") || !count(tuples, "a FIELD array") ||
          !in_.token(type))
        return false;
      declare(times(components, tuples));
      if (!data(times(components, tuples), type)) return false;
    }
    return true;
  }

  // METADATA: lines up to an empty one.
  bool metadata() {
    in_.restOfLine();
    std::string line;
    while (in_.restOfLine(&line)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) return true;
    }
    return false;
  }

  // One section, from its keyword; false ends the walk.
  bool section(const std::string& k) {
    std::string name, type;
    uint64_t n = 0;
    auto is = [&](std::string_view keyword) { return k.starts_with(keyword); };
    if (is("dataset")) {
      if (!in_.token(type)) return false;
      const std::string t = lower(type);
      for (const char* known : {"structured_points", "structured_grid", "unstructured_grid",
                                "polydata", "rectilinear_grid"}) {
        if (t.starts_with(known)) return true;
      }
      return lost("a DATASET of type " + t.substr(0, 40));
    }
    if (is("field")) return field();
    if (is("points")) {
      if (!count(n, "POINTS") || !in_.token(type)) return false;
      out_.points = std::max(out_.points, n);
      declare(times(n, 3));
      return data(times(n, 3), type);
    }
    if (is("dimensions")) {
      uint64_t product = 1;
      for (int axis = 0; axis < 3; ++axis) {
        if (!count(n, "DIMENSIONS")) return false;
        product = times(product, n);
      }
      out_.points = std::max(out_.points, product);
      return true;
    }
    if (is("spacing") || is("aspect_ratio") || is("origin")) {
      for (int axis = 0; axis < 3; ++axis) {
        if (!in_.token(name)) return false;
      }
      return true;
    }
    if (is("x_coordinate") || is("y_coordinate") || is("z_coordinate")) {
      if (!count(n, "COORDINATES") || !in_.token(type)) return false;
      declare(n);
      return data(n, type);
    }
    if (is("cells") || is("vertices") || is("lines") || is("polygons") || is("triangle_strips"))
      return cells(k);
    if (is("cell_types")) {
      if (!count(n, "CELL_TYPES")) return false;
      declare(n);
      types_ = n;
      return typesForEveryCell() && data(n, "int");
    }
    if (is("point_data") || is("cell_data")) return count(tuples_, "POINT_DATA or CELL_DATA");
    if (is("scalars")) {
      std::string rest;
      if (!in_.token(name) || !in_.token(type)) return false;
      in_.restOfLine(&rest);
      long components = 1;
      if (std::sscanf(rest.c_str(), "%ld", &components) == 1 && components < 1)
        return lost("SCALARS of no component");
      if (!in_.token(name)) return false;
      if (!lower(name).starts_with("lookup_table")) return lost("SCALARS without LOOKUP_TABLE");
      if (!in_.token(name)) return false;
      declare(times(tuples_, static_cast<uint64_t>(components)));
      return data(times(tuples_, static_cast<uint64_t>(components)), type);
    }
    if (is("color_scalars") || is("lookup_table")) {
      const bool table = is("lookup_table");
      if (!in_.token(name) || !count(n, table ? "LOOKUP_TABLE" : "COLOR_SCALARS")) return false;
      const uint64_t values = table ? times(n, 4) : times(tuples_, n);
      declare(values);
      return data(values, binary_ ? "unsigned_char" : "float");
    }
    uint64_t components = 0;
    if (is("vectors") || is("normals")) components = 3;
    if (is("tensors")) components = is("tensors6") ? 6 : 9;
    if (is("global_ids") || is("pedigree_ids") || is("edge_flags")) components = 1;
    if (is("texture_coordinates") &&
        (!in_.token(name) || !count(components, "TEXTURE_COORDINATES")))
      return false;
    if (components > 0) {
      if ((!is("texture_coordinates") && !in_.token(name)) || !in_.token(type)) return false;
      declare(times(tuples_, components));
      return data(times(tuples_, components), type);
    }
    if (is("metadata")) return metadata();
    return lost("the keyword " + k.substr(0, 40));
  }

  Input in_;
  VtkDeclared out_;
  bool binary_ = false;
  bool offsetsAndConnectivity_ = false;
  uint64_t tuples_ = 0;  // of the POINT_DATA or CELL_DATA the attributes belong to
  std::optional<uint64_t> cells_, types_;  // of the last CELLS and CELL_TYPES
};

// ---- XML files ----

// The attributes of one tag, in order.
using Attributes = std::vector<std::pair<std::string, std::string>>;

class Xml {
 public:
  Xml(std::istream& in, size_t block) : in_(in, block) {}

  // Calls tag(name, attributes, closing, empty) for every tag up to the appended data; false from
  // it ends the walk. Returns the fault, if any.
  template <class Tag>
  std::string walk(Tag tag) {
    // Expat reads UTF-16 (and VTK with it); the names and numbers below are looked for in bytes.
    const int first = in_.ahead(0), second = in_.ahead(1);
    if ((first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE) || first == 0 ||
        second == 0 || in_.ahead(2) == 0 || in_.ahead(3) == 0) {
      return "is written in UTF-16 or UTF-32: write it in UTF-8";
    }
    for (;;) {
      if (!in_.through("<")) return "";
      if (in_.take("!--")) {
        if (!in_.through("-->")) return "";
      } else if (in_.take("![CDATA[")) {
        if (!in_.through("]]>")) return "";
      } else if (in_.take("?")) {
        if (!in_.through("?>")) return "";
      } else if (in_.take("!")) {
        return "declares a document type: a VTK file has none";
      } else {
        const bool closing = in_.take("/");
        std::string name;
        for (int c; (c = in_.peek()) != EOF && !isSpace(c) && c != '>' && c != '/';)
          name.push_back(static_cast<char>(in_.get()));
        if (name == "AppendedData") return "";  // raw bytes follow
        Attributes attributes;
        bool empty = false;
        if (std::string fault = attributesOf(attributes, empty); !fault.empty()) return fault;
        if (!tag(name, attributes, closing, empty)) return "";
      }
    }
  }

 private:
  std::string attributesOf(Attributes& out, bool& empty) {
    for (;;) {
      in_.skipSpace();
      const int c = in_.get();
      if (c == EOF || c == '>') return "";
      if (c == '/') {
        empty = true;
        continue;
      }
      std::string name(1, static_cast<char>(c));
      for (int d; (d = in_.peek()) != EOF && !isSpace(d) && d != '=' && d != '>' && d != '/';)
        name.push_back(static_cast<char>(in_.get()));
      in_.skipSpace();
      if (in_.peek() != '=') continue;
      in_.get();
      in_.skipSpace();
      const int quote = in_.get();
      if (quote != '"' && quote != '\'') return "";
      std::string value;
      for (int d; (d = in_.get()) != quote;) {
        if (d == EOF) return "";
        if (value.size() < 4096) value.push_back(static_cast<char>(d));
      }
      if (!decode(value))
        return "writes the attribute " + name.substr(0, 40) +
               " with an entity: write its value as it is";
      out.emplace_back(std::move(name), std::move(value));
    }
  }

  // Replaces character references and the five predefined entities; false for another entity.
  static bool decode(std::string& value) {
    std::string out;
    for (size_t k = 0; k < value.size(); ++k) {
      if (value[k] != '&') {
        out.push_back(isSpace(static_cast<unsigned char>(value[k])) ? ' ' : value[k]);
        continue;
      }
      const size_t end = value.find(';', k);
      if (end == std::string::npos) return false;
      const std::string entity = value.substr(k + 1, end - k - 1);
      static const std::pair<const char*, char> kNamed[] = {
          {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
      char c = 0;
      for (const auto& [n, ch] : kNamed) {
        if (entity == n) c = ch;
      }
      if (c == 0 && entity.size() > 1 && entity[0] == '#') {
        const bool hex = entity[1] == 'x';
        const std::string digits = entity.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                std::string::npos) {
          return false;
        }
        const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
        // Only the ASCII ones can make a number; any other stays a character that is not one.
        c = code > 0 && code < 128 ? static_cast<char>(code) : '?';
        if (isSpace(static_cast<unsigned char>(c))) c = ' ';
      }
      if (c == 0) return false;
      out.push_back(c);
      k = end;
    }
    value = std::move(out);
    return true;
  }

  Input in_;
};

// The value of an attribute as VTK reads a count: `>>` from its text; 0 when none.
uint64_t countOf(const Attributes& attributes, std::string_view name, uint64_t otherwise) {
  for (const auto& [n, value] : attributes) {
    if (n != name) continue;
    std::istringstream text(value);
    Input in(text, value.size() + 1);
    int64_t v = 0;
    return in.integer(v) && v > 0 ? static_cast<uint64_t>(v) : 0;
  }
  return otherwise;
}

std::string extensionOf(const std::string& path) {
  return lower(std::filesystem::path(path).extension().string());
}

}  // namespace

VtkDeclared declaredInLegacyVtk(std::istream& in, size_t block) { return Legacy(in, block).walk(); }

VtkDeclared declaredInVtu(std::istream& in, size_t block) {
  VtkDeclared out;
  enum class Section { Other, Points, Cells, PointData, CellData };
  Section section = Section::Other;
  uint64_t points = 0, cells = 0;  // of the piece
  out.fault = Xml(in, block).walk([&](const std::string& name, const Attributes& attributes,
                                      bool closing, bool empty) {
    static const std::pair<std::string_view, Section> kSections[] = {
        {"Points", Section::Points},
        {"Cells", Section::Cells},
        {"PointData", Section::PointData},
        {"CellData", Section::CellData}};
    for (const auto& [n, s] : kSections) {
      if (name == n) section = closing || empty ? Section::Other : s;
    }
    if (closing) return true;
    if (name == "Piece") {
      points = countOf(attributes, "NumberOfPoints", 0);
      cells = countOf(attributes, "NumberOfCells", 0);
      out.points = add(out.points, points);
      out.found = true;
    } else if (name == "DataArray") {
      const uint64_t tuples = section == Section::Points || section == Section::PointData ? points
                              : section == Section::Other                                 ? 0
                                                                                          : cells;
      const uint64_t declared = std::max(tuples, countOf(attributes, "NumberOfTuples", 0));
      out.values = add(out.values, times(declared, countOf(attributes, "NumberOfComponents", 1)));
      out.found = true;
    }
    return true;
  });
  return out;
}

std::optional<VtkDeclared> declaredVtk(const std::string& path) {
  const std::string extension = extensionOf(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  if (extension == ".vtu") return declaredInVtu(in);
  if (extension == ".vtk") return declaredInLegacyVtk(in);
  if (extension != ".pvtu") return std::nullopt;
  std::vector<std::string> pieces;
  VtkDeclared out;
  out.fault =
      Xml(in, kVtkReadBlock)
          .walk([&](const std::string& name, const Attributes& attributes, bool closing, bool) {
            if (name == "Piece" && !closing) {
              for (const auto& [n, value] : attributes) {
                if (n == "Source") pieces.push_back(value);
              }
            }
            return true;
          });
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (const std::string& source : pieces) {
    const std::string piece = (folder / source).string();
    if (extensionOf(piece) != ".vtu") continue;
    const std::optional<VtkDeclared> read = declaredVtk(piece);
    if (!read) continue;
    out.points = add(out.points, read->points);
    out.values = add(out.values, read->values);
    out.found = out.found || read->found;
    if (out.fault.empty() && !read->fault.empty()) out.fault = source + ": " + read->fault;
  }
  return out;
}

}  // namespace kv::mesh
