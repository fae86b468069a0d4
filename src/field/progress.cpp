#include "field/progress.h"

#include <cmath>

namespace kv::field {

namespace {
constexpr auto kInterval = std::chrono::milliseconds(250);
}

ProgressLine::ProgressLine(bool enabled, uint64_t totalBytes, std::FILE* stream)
    : enabled_(enabled), totalBytes_(totalBytes), stream_(stream), start_(Clock::now()),
      lastDrawn_(start_) {}

std::string ProgressLine::text(uint64_t points, double seconds, uint64_t bytes,
                               uint64_t totalBytes) {
  char line[160];
  double rate = seconds > 0.0 ? static_cast<double>(points) / seconds : 0.0;
  const char* unit = "";
  double shown = rate;
  if (rate >= 1e6) {
    shown = rate / 1e6, unit = " M";
  } else if (rate >= 1e3) {
    shown = rate / 1e3, unit = " k";
  }
  int n = std::snprintf(line, sizeof line, "  %llu points  %.1f%s points/s",
                        static_cast<unsigned long long>(points), shown, unit);
  std::string out(line, static_cast<size_t>(n));
  if (totalBytes > 0 && bytes > 0 && bytes <= totalBytes && seconds > 0.0) {
    double left = seconds * static_cast<double>(totalBytes - bytes) / static_cast<double>(bytes);
    n = std::snprintf(line, sizeof line, "  about %.0f s left", std::ceil(left));
    out.append(line, static_cast<size_t>(n));
  }
  return out;
}

void ProgressLine::update(uint64_t points, uint64_t bytes) {
  if (!enabled_) return;
  Clock::time_point now = Clock::now();
  if (now - lastDrawn_ < kInterval) return;
  lastDrawn_ = now;
  std::string line = text(points, std::chrono::duration<double>(now - start_).count(), bytes,
                          totalBytes_);
  size_t length = line.size();
  // Blanks over what is left of a longer previous line.
  if (length < lastLength_) line.append(lastLength_ - length, ' ');
  lastLength_ = length;
  std::fprintf(stream_, "\r%s", line.c_str());
  std::fflush(stream_);
}

void ProgressLine::finish() {
  if (!enabled_) return;
  enabled_ = false;
  if (lastLength_ == 0) return;
  std::fprintf(stream_, "\r%s\r", std::string(lastLength_, ' ').c_str());
  std::fflush(stream_);
}

}  // namespace kv::field
