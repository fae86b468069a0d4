#include "text/record_writer.h"

#include <filesystem>
#include <system_error>

#include "base/fatal.h"
#include "base/text_field.h"

namespace kv {

namespace {
// Large enough that the system calls cost nothing next to the formatting of a listing of tens
// of megabytes; small enough that opening one of the many small plot files does not cost the
// zero-filling of a large buffer.
constexpr size_t kBufferSize = size_t{1} << 16;
}  // namespace

FormattedRecordWriter::FormattedRecordWriter(int unit, std::string fileName, Mode mode)
    : unit_(unit), fileName_(std::move(fileName)) {
  if (fileName_.empty() || hasControlCharacter(fileName_)) {
    FatalFile(FatalCode::OpenFailure, unit_, fileName_);
  }
  std::string path = fileName_;
  if (mode == Mode::Replace) {
    namespace fs = std::filesystem;
    std::error_code error;
    target_ = fileName_;
    if (fs::is_symlink(target_, error)) {
      fs::path resolved = fs::canonical(target_, error);
      if (error) FatalFile(FatalCode::OpenFailure, unit_, fileName_);
      target_ = resolved.string();
    }
    // A file that could not be written in place is not replaced either (a read-only script).
    std::FILE* writable = std::fopen(target_.c_str(), "r+b");
    if (writable == nullptr) FatalFile(FatalCode::OpenFailure, unit_, fileName_);
    std::fclose(writable);
    temporary_ = target_ + kPartialSuffix;
    fs::remove(temporary_, error);  // whatever stands there, a link included, is not written
    path = temporary_;
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) FatalFile(FatalCode::OpenFailure, unit_, fileName_);
  buffer_.resize(kBufferSize);
  std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
}

FormattedRecordWriter::~FormattedRecordWriter() {
  if (file_ != nullptr) close();
}

void FormattedRecordWriter::write(const Format& format, std::span<const FormatItem> items) {
  format.execute(items, *this);
}

void FormattedRecordWriter::putRecord(std::string_view record) {
  if (std::fwrite(record.data(), 1, record.size(), file_) != record.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    failWrite();
  }
}

void FormattedRecordWriter::writeBytes(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failWrite();
}

void FormattedRecordWriter::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) failWrite();
  if (!temporary_.empty()) {
    // The complete new content takes the file's place in one step (and keeps its permissions).
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status old = fs::status(target_, error);
    if (!error && fs::exists(old)) fs::permissions(temporary_, old.permissions(), error);
    fs::rename(temporary_, target_, error);
    if (error) failWrite();
    temporary_.clear();
  }
}

void FormattedRecordWriter::failWrite() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::error_code error;
    std::filesystem::remove(temporary_, error);
    temporary_.clear();
  }
  FatalFile(FatalCode::WriteFailure, unit_, fileName_);
}

}  // namespace kv
