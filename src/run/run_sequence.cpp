#include "run/run_sequence.h"
namespace kv {
int runProgram(int, char**) { return 0; }
}
