#include "io/temp_file.h"

#include <cerrno>
#include <charconv>
#include <filesystem>

#include "io/platform.h"

namespace kv::io {

namespace {

constexpr std::string_view kSuffix = ".part";
constexpr int kAttempts = 100;

const std::string& thisHost() {
  static const std::string host = platform::hostName();
  return host;
}

}  // namespace

std::string temporaryPath(const std::string& path, int attempt) {
  const std::filesystem::path p(path);
  std::string name(1, '.');
  name += p.filename().string();
  name += '.';
  name += thisHost();
  name += '.';
  name += std::to_string(platform::processId());
  if (attempt > 0) {
    name += '-';
    name += std::to_string(attempt);
  }
  name += kSuffix;
  return (p.parent_path() / name).string();
}

std::optional<TemporaryName> parseTemporaryName(std::string_view fileName) {
  if (fileName.size() < 2 + kSuffix.size() || fileName.front() != '.' ||
      fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) {
    return std::nullopt;
  }
  std::string_view rest = fileName.substr(1, fileName.size() - 1 - kSuffix.size());
  // NAME.HOST.PID[-K]: the process is after the last dot, the machine before it (no dots).
  const size_t lastDot = rest.rfind('.');
  if (lastDot == std::string_view::npos) return std::nullopt;
  std::string_view process = rest.substr(lastDot + 1);
  process = process.substr(0, process.find('-'));
  rest = rest.substr(0, lastDot);
  const size_t hostDot = rest.rfind('.');
  if (hostDot == std::string_view::npos || hostDot == 0) return std::nullopt;
  TemporaryName out;
  auto [end, error] = std::from_chars(process.data(), process.data() + process.size(), out.pid);
  if (process.empty() || error != std::errc() || end != process.data() + process.size()) return std::nullopt;
  out.host = std::string(rest.substr(hostDot + 1));
  out.name = std::string(rest.substr(0, hostDot));
  if (out.host.empty()) return std::nullopt;
  return out;
}

std::optional<Error> TempFile::open(const std::string& path) {
  discard();
  path_ = path;
  failed_ = false;
  for (int attempt = 0; attempt < kAttempts && stream_ == nullptr; ++attempt) {
    temporary_ = io::temporaryPath(path, attempt);
    stream_ = platform::createNew(temporary_);
    // Registered once it is ours (never a file of that name that was there before); an
    // interruption in between leaves a stale temporary, which the next run removes.
    if (stream_ != nullptr) registration_ = Registration::file(temporary_);
    if (stream_ == nullptr && errno != EEXIST) break;  // a taken name is not ours: try another
  }
  if (stream_ == nullptr) {
    temporary_.clear();
    return Error{path, 0, "cannot be written (is the folder writable?)", Error::Kind::Output};
  }
  return std::nullopt;
}

std::optional<Error> TempFile::reserve(const std::string& path) {
  if (auto error = open(path)) return error;
  if (std::fclose(stream_) != 0) failed_ = true;
  stream_ = nullptr;
  return std::nullopt;
}

bool TempFile::write(std::string_view bytes) {
  if (stream_ == nullptr || failed_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
    failed_ = true;
  }
  return !failed_;
}

bool TempFile::flush() {
  if (stream_ != nullptr && std::fflush(stream_) != 0) failed_ = true;
  return !failed_ && !temporary_.empty();
}

std::optional<Error> TempFile::close() {
  if (temporary_.empty()) return Error{path_, 0, "was not opened", Error::Kind::Output};
  if (stream_ != nullptr) {
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  }
  if (failed_) return Error{path_, 0, "cannot be written (disk full?)", Error::Kind::Output};
  return std::nullopt;
}

std::optional<Error> TempFile::commit() {
  if (auto error = close()) {
    discard();
    return error;
  }
  if (!platform::replaceFile(temporary_, path_)) {
    discard();
    return Error{path_, 0, "cannot be written (disk full?)", Error::Kind::Output};
  }
  registration_.release();
  temporary_.clear();
  return std::nullopt;
}

void TempFile::discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    temporary_.clear();
  }
  registration_.release();
}

}  // namespace kv::io
