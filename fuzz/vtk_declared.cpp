// The check of what a VTK file declares (mesh/vtk_declared.h), on .vtu and legacy .vtk text.
// First byte: bit 0 the format (1: XML), bits 1-7 a small read size. The walk must end on any
// input, its fault a single line, its counts within the cap, and the result the same whatever
// the size of the reads (blocks of 1 to 128 bytes against the usual 64 KiB).
#include "mesh/vtk_declared.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_input.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

kv::mesh::VtkDeclared walk(bool xml, const std::string& text, size_t block) {
  std::istringstream in(text);
  return xml ? kv::mesh::declaredInVtu(in, block) : kv::mesh::declaredInLegacyVtk(in, block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::fuzz::Input input(data, size);
  const uint8_t control = input.byte();
  const bool xml = control & 1;
  const std::string text(input.rest());
  const kv::mesh::VtkDeclared whole = walk(xml, text, kv::mesh::kVtkReadBlock);
  check(whole.fault.find('\n') == std::string::npos);
  check(whole.points <= kv::mesh::kVtkCountCap && whole.values <= kv::mesh::kVtkCountCap);
  const kv::mesh::VtkDeclared small = walk(xml, text, 1 + (control >> 1));
  check(small.points == whole.points && small.values == whole.values &&
        small.found == whole.found && small.fault == whole.fault && small.line == whole.line);
  return 0;
}
