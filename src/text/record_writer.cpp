#include "text/record_writer.h"

#include "base/fatal.h"

namespace kv {

namespace {
// Large enough that the system calls cost nothing next to the formatting of a listing of tens
// of megabytes; small enough that opening one of the many small plot files does not cost the
// zero-filling of a large buffer.
constexpr size_t kBufferSize = size_t{1} << 16;
}  // namespace

FormattedRecordWriter::FormattedRecordWriter(int unit, std::string fileName)
    : unit_(unit), fileName_(std::move(fileName)) {
  if (!fileName_.empty()) file_ = std::fopen(fileName_.c_str(), "wb");
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
    FatalFile(FatalCode::WriteFailure, unit_, fileName_);
  }
}

void FormattedRecordWriter::writeBytes(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    FatalFile(FatalCode::WriteFailure, unit_, fileName_);
  }
}

void FormattedRecordWriter::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) FatalFile(FatalCode::WriteFailure, unit_, fileName_);
}

}  // namespace kv
