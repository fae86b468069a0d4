#include "cluster/command.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

namespace kv::cluster {

bool isHdf5Study(int argc, char** argv) {
  // The options of the study that take a value: their value is not the case.
  static constexpr std::string_view kWithValue[] = {"--out", "--format", "--order", "--fs", "--dim",
                                                    "--slab", "--block-points"};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (std::find(std::begin(kWithValue), std::end(kWithValue), arg) != std::end(kWithValue)) {
      ++i;
      continue;
    }
    if (arg.empty() || arg.front() == '-') continue;
    std::string extension(arg.substr(std::min(arg.size(), arg.rfind('.'))));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".h5" || extension == ".hdf5" || extension == ".he5") return true;
    // An HDF5 file starts with this signature (or has it at 512, 1024, ... after a user block;
    // those are found by their extension).
    char start[8] = {};
    std::ifstream in(std::string(arg), std::ios::binary);
    return in.read(start, sizeof start) && std::memcmp(start, "\x89HDF\r\n\x1a\n", 8) == 0;
  }
  return false;
}

}  // namespace kv::cluster
