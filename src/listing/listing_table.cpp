#include "listing/listing_table.h"

namespace kv {

const Format& wideHeader() {
  static const Format header(
      "(/,T3,'h',T15,A,T37,A,T59,A,T81,A,T103,A,T125,A,T147,A,T169,A,T191,A,T213,A,T235,A)");
  return header;
}

const Format& narrowHeader() {
  static const Format header(
      "(/,T3,'h',T15,A,T27,A,T39,A,T51,A,T63,A,T75,A,T87,A,T99,A,T111,A,T123,A,T135,A)");
  return header;
}

void writeHeader(FormattedRecordWriter& out, const Format& header,
                 std::span<const std::string_view> labels) {
  std::vector<FormatItem> items(labels.begin(), labels.end());
  out.write(header, items);
}

}  // namespace kv
