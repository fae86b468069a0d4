// The progress line of a long field study on standard error: points done, rate and time left,
// redrawn in place a few times a second, and erased at the end. Shown only when standard error
// is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kv::field {

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  // `totalBytes`: the size of all the input, from which the time left is estimated.
  ProgressLine(bool enabled, uint64_t totalBytes, std::FILE* stream = stderr);
  ~ProgressLine() { finish(); }

  void update(uint64_t points, uint64_t bytes);
  void finish();

  // The text of the line (for tests): "  1200000 points  2.4 M points/s  about 3 s left".
  static std::string text(uint64_t points, double seconds, uint64_t bytes, uint64_t totalBytes);

 private:
  bool enabled_;
  uint64_t totalBytes_;
  std::FILE* stream_;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
  size_t lastLength_ = 0;
};

}  // namespace kv::field
