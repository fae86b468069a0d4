// The record writer on E and I descriptors: a format kPEw.d or Iw with arbitrary k, w and d,
// run through the formatted-record writer on arbitrary values. Every field must hold the digits
// that printf writes with %.*E (the significant digits of the field, correctly rounded) and
// %d, placed as the descriptor says; asterisks exactly when they do not fit.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "text/format.h"
#include "text/record_writer.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string stars(int width) { return std::string(static_cast<size_t>(width), '*'); }

std::string rightJustified(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width) return stars(width);
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

// The field kPEw.d of `x`, built from printf's digits.
std::string expectedReal(double x, int k, int w, int d) {
  if (std::isnan(x) || std::isinf(x)) {
    const char* word = std::isnan(x) ? " NaN" : x < 0 ? " -Infinity" : " Infinity";
    if (static_cast<int>(std::strlen(word)) > w) {
      word = std::isnan(x) ? "NaN" : x < 0 ? "-Inf" : "Inf";
      if (static_cast<int>(std::strlen(word)) > w) return stars(w);
    }
    std::string text = word;
    return text + std::string(static_cast<size_t>(w) - text.size(), ' ');
  }
  int significant;
  if (k > 0 && k < d + 2) {
    significant = d + 1;
  } else if (k <= 0 && k > -d) {
    significant = d + k;
  } else {
    return stars(w);
  }
  if (significant > 380) return stars(w);
  std::vector<char> buffer(static_cast<size_t>(significant) + 32);
  std::snprintf(buffer.data(), buffer.size(), "%.*E", significant - 1, std::fabs(x));
  std::string printed = buffer.data();
  std::string digits;
  size_t e = printed.find('E');
  for (size_t i = 0; i < e; ++i) {
    if (printed[i] != '.') digits.push_back(printed[i]);
  }
  int exponent = std::atoi(printed.c_str() + e + 1);
  std::string text = x < 0 ? "-" : "";
  int shown;
  if (k > 0) {
    text += digits.substr(0, static_cast<size_t>(k)) + "." + digits.substr(static_cast<size_t>(k));
    shown = exponent - (k - 1);
  } else {
    text += "0." + std::string(static_cast<size_t>(-k), '0') + digits;
    shown = exponent + 1 - k;
  }
  if (x == 0.0) shown = 0;
  int magnitude = std::abs(shown);
  if (magnitude > 999) return stars(w);
  char exponentText[8];
  std::snprintf(exponentText, sizeof exponentText, magnitude <= 99 ? "E%c%02d" : "%c%03d",
                shown < 0 ? '-' : '+', magnitude);
  return rightJustified(text + exponentText, w);
}

std::string expectedInteger(int32_t n, int w) { return rightJustified(std::to_string(n), w); }

class Capture final : public kv::RecordSink {
 public:
  void putRecord(std::string_view record) override { records.emplace_back(record); }
  std::vector<std::string> records;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::fuzz::Input input(data, size);
  const uint8_t shape = input.byte();
  // Mostly the 1P form of the listing; any scale factor from -8 to 23 otherwise.
  const int k = (shape & 0x80) ? 1 : (shape & 0x1F) - 8;
  const int w = input.byte() % 100;
  const int d = input.byte() % 64;
  std::vector<double> reals;
  while (!input.empty() && reals.size() < 32) reals.push_back(input.value<double>());
  if (reals.empty()) return 0;

  // Each value a record of its own: the format reverts to its start for the next value.
  const kv::Format realFormat("(" + std::to_string(k) + "PE" + std::to_string(w) + "." +
                              std::to_string(d) + ")");
  const kv::Format integerFormat("(I" + std::to_string(w) + ")");
  std::vector<kv::FormatItem> realItems(reals.begin(), reals.end());
  std::vector<kv::FormatItem> integerItems;
  for (double x : reals) {
    int32_t n;
    std::memcpy(&n, &x, sizeof n);
    integerItems.emplace_back(n);
  }
  Capture realRecords;
  Capture integerRecords;
  realFormat.execute(realItems, realRecords);
  integerFormat.execute(integerItems, integerRecords);
  check(realRecords.records.size() == reals.size());
  check(integerRecords.records.size() == reals.size());
  for (size_t i = 0; i < reals.size(); ++i) {
    if (realRecords.records[i] != expectedReal(reals[i], k, w, d)) {
      std::fprintf(stderr, "(%dPE%d.%d) of %.17g: \"%s\", printf gives \"%s\"\n", k, w, d,
                   reals[i], realRecords.records[i].c_str(),
                   expectedReal(reals[i], k, w, d).c_str());
      std::abort();
    }
    check(integerRecords.records[i] == expectedInteger(integerItems[i].integer(), w));
  }

  // The same records through the file writer, which adds the line ends.
  static kv::FormattedRecordWriter writer(kv::kPlotUnit, "/dev/null");
  writer.write(realFormat, realItems);
  writer.write(integerFormat, integerItems);
  return 0;
}
