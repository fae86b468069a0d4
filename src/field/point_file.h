// The point files of a field: one per grid (and one of exact values), one record per point.
//
// Layouts:
//  - Classic: a record is a line holding an integer index and a real, separated by blanks, tabs
//    or a comma; whatever follows them on the line is a comment. Numbers as in the classic
//    input (1, 1.5, .5, 1.5E-3, 1.5D-3, Infinity, NaN; see number.h).
//  - Csv: a record is a line `id,value` of the CSV of every CSV input (text/csv.h: the
//    delimiter is the first ',', ';' or tab of the file's first record; an id in double quotes
//    may hold it); numbers of the Decimal grammar. Lines starting with '#' are comments.
// Blank lines are skipped in both layouts; CR LF and LF line ends are both read.
//
// The first record of a file may be a heading (a CSV header, or the spacing record of a classic
// grid file): with FirstRecord::Detect a first record whose value is not a number is skipped;
// with FirstRecord::Spacing the first record holds the grid spacing (its first number), which
// is returned by the reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "text/csv.h"
#include "text/number.h"

namespace kv::field {

enum class Layout { Classic, Csv };
enum class FirstRecord { Detect, Spacing };

struct PointFile {
  std::string path;
  Layout layout = Layout::Classic;
  FirstRecord first = FirstRecord::Detect;
  char delimiter = ',';  // Csv: found by PointFileReader::open
};

// The grammar of a layout's numbers.
inline NumberGrammar grammarOf(Layout layout) {
  return layout == Layout::Csv ? NumberGrammar::Decimal : NumberGrammar::Classic;
}

// The layout a file name suggests: Csv for a `.csv` extension (any case), else Classic.
Layout layoutOfName(std::string_view path);

// One record split into its id and value text (views into the line or into `scratch`); the
// message says what is wrong when it cannot be.
struct RecordFields {
  std::string_view id;
  std::string_view value;
};
std::optional<std::string> splitRecord(std::string_view line, const PointFile& file, CsvLine& scratch,
                                       RecordFields& out);

// Whether a line holds a record (is neither blank nor a comment).
bool isRecordLine(std::string_view line, Layout layout);

// The grid spacing on the first record of a classic grid file (FirstRecord::Spacing), read
// without reading the rest: to order the grids of a classic case before a run.
std::optional<Error> readSpacing(const std::string& path, double& spacing);

// Reads a point file in large blocks and hands out whole lines, so many records at a time.
// Used from one thread at a time.
class PointFileReader {
 public:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  static constexpr size_t kMaxLineBytes = size_t{1} << 20;

  // `blockBytes`: the size of one read (at least 1). Smaller blocks only cost more reads.
  explicit PointFileReader(size_t blockBytes = kBlockBytes) : blockBytes_(blockBytes ? blockBytes : 1) {}

  // Opens the file and reads its first record as the heading when it is one (a CSV file's
  // delimiter is taken from it).
  std::optional<Error> open(const PointFile& file);

  // Appends to `text` the lines that hold the next `records` records (fewer at the end of the
  // file) with the blank and comment lines among them; `taken` is the number of records and
  // `firstLine` the line number of the first line appended.
  std::optional<Error> take(size_t records, std::string& text, size_t& taken, size_t& firstLine);

  const PointFile& file() const { return file_; }
  std::optional<double> spacing() const { return spacing_; }
  uint64_t bytesRead() const { return bytesRead_; }
  // Line number of the line after the last one handed out.
  size_t nextLine() const { return line_; }

 private:
  bool refill();

  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  PointFile file_;
  size_t blockBytes_;
  std::unique_ptr<std::FILE, Closer> stream_;
  std::vector<char> block_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool readFailed_ = false;
  uint64_t bytesRead_ = 0;
  size_t line_ = 1;
  int lineState_ = 0;  // 0: nothing but blanks yet, 1: a record, 2: a comment
  size_t lineBytes_ = 0;
  // A first record that turned out not to be a heading, handed out first.
  std::string pending_;
  size_t pendingFirstLine_ = 0;
  std::optional<double> spacing_;
};

}  // namespace kv::field
