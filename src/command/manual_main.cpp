// kestrovanilque_manual man|completion TEMPLATE OUTPUT: writes the man page or the bash
// completion from its template (command/manual.h). Run by the build.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "command/manual.h"

int main(int argc, char** argv) {
  const std::string_view what = argc == 4 ? argv[1] : "";
  if (what != "man" && what != "completion") {
    std::fputs("usage: kestrovanilque_manual man|completion TEMPLATE OUTPUT\n", stderr);
    return 2;
  }
  try {
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read it");
    const std::string out = what == "man" ? kv::study::manPage(text.str()) : kv::study::bashCompletion(text.str());
    std::ofstream file(argv[3], std::ios::binary);
    if (!(file << out) || !file.flush()) throw std::runtime_error(std::string("cannot write ") + argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrovanilque_manual: %s: %s\n", argv[2], e.what());
    std::remove(argv[3]);
    return 1;
  }
  return 0;
}
