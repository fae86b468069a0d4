// A grid file or an exact-solution file from arbitrary bytes. The first byte chooses the file
// kind and the value record analysed (variableNumber 1 to 64, or 0 or a negative one, which
// read no value record); the rest is the file.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "reader_checks.h"
#include "app/input_reader.h"
#include "text/record_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kv;
  fuzz::Input input(data, size);
  const uint8_t control = input.byte();
  const bool exactFile = (control & 0x80) != 0;
  const int32_t variableNumber = (control & 0x7F) <= 64 ? (control & 0x7F) : 64 - (control & 0x7F);
  const std::string name = exactFile ? "exact.txt" : "grid1.txt";
  const std::string_view bytes = input.rest();
  ListDirectedReader in = ListDirectedReader::fromText(kInputUnit, name, std::string(bytes));
  double h = 0.0;
  double value = 0.0;
  try {
    if (exactFile) {
      readValueRecords(in, variableNumber, value);
    } else {
      readGridFile(in, variableNumber, h, value);
    }
  } catch (const FatalExit& failure) {
    fuzz::checkReadFailure(failure, name);
    return 0;
  }
  // A read takes one record or more; the next read starts on a record no read touched.
  fuzz::check(in.nextRecordOffset() <= bytes.size());
  fuzz::check(variableNumber <= 0 && exactFile ? in.nextRecordOffset() == 0
                                               : in.nextRecordOffset() > 0);
  return 0;
}
