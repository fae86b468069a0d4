#include "field/output_file.h"

#include <cerrno>

#include "field/platform.h"

namespace kv::field {

std::optional<Error> OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  failed_ = false;
  // Registered before it exists, so that an interruption at any moment leaves nothing.
  std::string base = path + ".part" + std::to_string(platform::processId());
  for (int attempt = 0; attempt < 100 && stream_ == nullptr; ++attempt) {
    temporary_ = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    slot_ = platform::protectTemporary(temporary_);
    stream_ = platform::createNew(temporary_);
    if (stream_ == nullptr) {
      platform::releaseTemporary(slot_);
      slot_ = -1;
      if (errno != EEXIST) break;  // another file of that name is not ours: try another name
    }
  }
  if (stream_ == nullptr) {
    temporary_.clear();
    return Error{path, 0, "cannot be written (is the folder writable?)"};
  }
  return std::nullopt;
}

bool OutputFile::write(std::string_view bytes) {
  if (stream_ == nullptr || failed_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
    failed_ = true;
  }
  return !failed_;
}

std::optional<Error> OutputFile::commit() {
  if (stream_ == nullptr) return Error{path_, 0, "was not opened"};
  bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (failed_ || !closed || !platform::replaceFile(temporary_, path_)) {
    discard();
    return Error{path_, 0, "cannot be written (disk full?)"};
  }
  platform::releaseTemporary(slot_);
  slot_ = -1;
  temporary_.clear();
  return std::nullopt;
}

void OutputFile::discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    temporary_.clear();
  }
  platform::releaseTemporary(slot_);
  slot_ = -1;
}

}  // namespace kv::field
