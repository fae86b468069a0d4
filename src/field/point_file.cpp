#include "field/point_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>


namespace kv::field {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// An undelimited list-directed value ends at a blank, a comma, a slash or the end of the line.
size_t tokenEnd(std::string_view line, size_t pos) {
  while (pos < line.size() && !isBlank(line[pos]) && line[pos] != ',' && line[pos] != '/') ++pos;
  return pos;
}

size_t skipBlanks(std::string_view line, size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return pos;
}

std::string quoted(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string out = "'";
  out.append(text.substr(0, kShown));
  if (text.size() > kShown) out.append("...");
  return out + "'";
}

}  // namespace

Layout layoutOfName(std::string_view path) {
  if (path.size() < 4) return Layout::Classic;
  std::string_view ext = path.substr(path.size() - 4);
  const char* csv = ".csv";
  for (size_t i = 0; i < 4; ++i) {
    char c = ext[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != csv[i]) return Layout::Classic;
  }
  return Layout::Csv;
}

bool isRecordLine(std::string_view line, Layout layout) {
  size_t pos = skipBlanks(line, 0);
  if (pos == line.size()) return false;
  return !(layout == Layout::Csv && line[pos] == '#');
}

std::optional<std::string> splitRecord(std::string_view line, const PointFile& file, CsvLine& scratch,
                                       RecordFields& out) {
  if (file.layout == Layout::Csv) {
    scratch.split(line, file.delimiter);
    if (scratch.size() != 2) {
      return std::string("expected two fields, id") + file.delimiter + "value, found " +
             (scratch.size() < 2 ? "one" : "more") + ": " + quoted(trimmed(line)) +
             (scratch.size() > 2 && file.delimiter == ',' ? " (a decimal comma? write 0.1, not 0,1)" : "");
    }
    out.id = scratch[0];
    out.value = scratch[1];
    if (out.id.empty()) return std::string("the id is missing");
    if (out.value.empty()) return "the value of point " + std::string(out.id) + " is missing";
    return std::nullopt;
  }
  size_t pos = skipBlanks(line, 0);
  size_t end = tokenEnd(line, pos);
  if (end == pos) return "expected an index and a value, found " + quoted(trimmed(line));
  out.id = line.substr(pos, end - pos);
  pos = skipBlanks(line, end);
  if (pos < line.size() && line[pos] == ',') pos = skipBlanks(line, pos + 1);
  end = tokenEnd(line, pos);
  if (end == pos) {
    return "the record of point " + std::string(out.id) +
           " holds no value (write the index and the value on one line)";
  }
  out.value = line.substr(pos, end - pos);
  if (end + 1 < line.size() && line[end] == ',' && line[end + 1] >= '0' && line[end + 1] <= '9') {
    // Read as it stands, 2,5 would be the value 2 followed by a comment.
    std::string_view fraction = line.substr(end + 1, tokenEnd(line, end + 1) - end - 1);
    return "the value of point " + std::string(out.id) + " has a decimal comma: write " +
           std::string(out.value) + "." + std::string(fraction) + ", not " +
           std::string(out.value) + "," + std::string(fraction);
  }
  return std::nullopt;
}

std::optional<Error> readSpacing(const std::string& path, double& spacing) {
  PointFileReader reader;
  if (auto error = reader.open({path, Layout::Classic, FirstRecord::Spacing})) return error;
  spacing = *reader.spacing();
  return std::nullopt;
}

bool PointFileReader::refill() {
  if (eof_) return false;
  // Every byte of the block has been handed out: read the next block from its start.
  pos_ = 0;
  end_ = std::fread(block_.data(), 1, block_.size(), stream_.get());
  bytesRead_ += end_;
  if (end_ < block_.size()) {
    eof_ = true;
    readFailed_ = std::ferror(stream_.get()) != 0;
  }
  return end_ > 0;
}

std::optional<Error> PointFileReader::open(const PointFile& file) {
  file_ = file;
  std::error_code folder;
  if (std::filesystem::is_directory(file.path, folder)) {
    return Error{file.path, 0, "is a folder, not a file: name a point file"};
  }
  stream_.reset(std::fopen(file.path.c_str(), "rb"));
  if (!stream_) return Error{file.path, 0, std::string("cannot be opened (") + std::strerror(errno) + ")"};
  block_.resize(blockBytes_);
  std::string first;
  size_t taken = 0;
  size_t firstLine = 0;
  if (auto error = take(1, first, taken, firstLine)) return error;
  if (taken == 0) return Error{file.path, 0, "holds no points"};
  // The line of the record itself: the last one taken.
  std::string_view record = first;
  if (!record.empty() && record.back() == '\n') record.remove_suffix(1);
  size_t recordLine = line_ - 1;
  if (first.empty() || first.back() != '\n') recordLine = line_;
  record = record.substr(record.rfind('\n') == std::string_view::npos ? 0 : record.rfind('\n') + 1);
  if (file.first == FirstRecord::Spacing) {
    size_t pos = skipBlanks(record, 0);
    std::string_view token = record.substr(pos, tokenEnd(record, pos) - pos);
    double h = 0.0;
    if (!readReal(token, h)) {
      return Error{file.path, recordLine,
                   "the first record must hold the grid spacing, found " + quoted(token)};
    }
    spacing_ = h;
    return std::nullopt;
  }
  if (file_.layout == Layout::Csv) file_.delimiter = csvDelimiter(record);
  RecordFields fields;
  CsvLine scratch;
  double value = 0.0;
  if (splitRecord(record, file_, scratch, fields) || !readReal(fields.value, value, grammarOf(file_.layout))) {
    return std::nullopt;  // a heading: skipped
  }
  pending_ = std::move(first);
  pendingFirstLine_ = firstLine;
  return std::nullopt;
}

std::optional<Error> PointFileReader::take(size_t records, std::string& text, size_t& taken,
                                           size_t& firstLine) {
  taken = 0;
  firstLine = line_;
  if (!pending_.empty() && records > 0) {
    text.append(pending_);
    pending_.clear();
    firstLine = pendingFirstLine_;
    taken = 1;
  }
  while (taken < records) {
    if (pos_ == end_ && !refill()) {
      if (readFailed_) return Error{file_.path, line_, "cannot be read"};
      if (lineState_ == 1) ++taken;  // a last line without a line end
      lineState_ = 0;
      lineBytes_ = 0;
      break;
    }
    const char* block = block_.data();
    size_t from = pos_;
    while (pos_ < end_ && taken < records) {
      if (lineState_ == 0) {
        char c = block[pos_];
        if (isBlank(c)) {
          ++pos_;
          ++lineBytes_;
          continue;
        }
        if (c != '\n') lineState_ = (file_.layout == Layout::Csv && c == '#') ? 2 : 1;
      }
      const void* found = std::memchr(block + pos_, '\n', end_ - pos_);
      if (found == nullptr) {
        lineBytes_ += end_ - pos_;
        pos_ = end_;
        break;
      }
      size_t newline = static_cast<size_t>(static_cast<const char*>(found) - block);
      lineBytes_ += newline - pos_;
      pos_ = newline + 1;
      if (lineState_ == 1) ++taken;
      ++line_;
      lineState_ = 0;
      lineBytes_ = 0;
    }
    text.append(block + from, pos_ - from);
    if (lineBytes_ > kMaxLineBytes) return Error{file_.path, line_, "holds a line longer than 1 MiB"};
  }
  return std::nullopt;
}

}  // namespace kv::field
