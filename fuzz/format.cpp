// The format parser and executor from arbitrary bytes: a format text (its length in the first
// byte), then the items of a write statement, each a kind byte and its value. A text that is
// not a format is refused with std::invalid_argument; any other format runs on the items.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "text/format.h"

namespace {

using kv::Format;

void check(bool condition) {
  if (!condition) std::abort();
}

// An upper bound on the steps of a pass through the format (characters written or skipped, and
// groups entered): a format whose counts ask for more is valid, but only costs the fuzzer time.
double passCost(const std::vector<Format::Node>& nodes) {
  std::vector<double> outer;
  double repeat = 1;
  double cost = 0;
  for (const Format::Node& node : nodes) {
    if (node.kind == Format::Node::Kind::GroupBegin) {
      cost += repeat * node.repeat;  // an empty group still costs a step per pass
      outer.push_back(repeat);
      repeat *= node.repeat;
    } else if (node.kind == Format::Node::Kind::GroupEnd) {
      repeat = outer.back();
      outer.pop_back();
    } else {
      double width = node.kind == Format::Node::Kind::Scale ? 0 : node.width;
      cost += repeat * node.repeat * (1 + width + static_cast<double>(node.literal.size()));
    }
  }
  return cost;
}

class Sink final : public kv::RecordSink {
 public:
  void putRecord(std::string_view record) override {
    ++records;
    bytes += record.size();
  }
  size_t records = 0;
  size_t bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::fuzz::Input input(data, size);
  const std::string_view text = input.text(input.byte());
  std::vector<std::string> texts;
  std::vector<kv::FormatItem> items;
  texts.reserve(size);
  while (!input.empty() && items.size() < 64) {
    switch (input.byte() % 3) {
      case 0:
        items.emplace_back(input.value<int32_t>());
        break;
      case 1:
        items.emplace_back(input.value<double>());
        break;
      default:
        texts.emplace_back(input.text(input.byte() % 32));
        items.emplace_back(std::string_view(texts.back()));
        break;
    }
  }
  try {
    Format format(text);
    if (passCost(format.nodes()) * static_cast<double>(items.size() + 1) > 1 << 20) return 0;
    Sink sink;
    format.execute(items, sink);
    check(sink.records >= 1);  // the current record is always ended
    // A field is the first record, cut or padded to its length.
    check(kv::writeToField(format, items, 40).size() == 40);
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
