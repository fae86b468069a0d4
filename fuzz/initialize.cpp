// What every fuzz target does before its first input: the readers' fatal failures are thrown,
// so that one input's failure does not end the fuzzer.
#include "base/fatal.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kv::throwOnFatal(true);
  return 0;
}
