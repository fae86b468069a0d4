#include "bench_case.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace kv::bench {

namespace {

namespace fs = std::filesystem;

struct Script {
  const char* name;
  int lines;  // the lines a run keeps before it appends the title and replot
};

constexpr Script kScripts[] = {
    {"Kestrovanilque_pE_pU.gnu", 20}, {"Kestrovanilque_pU.gnu", 15},
    {"Kestrovanilque_E.gnu", 19},     {"Kestrovanilque_E_U.gnu", 19},
    {"Kestrovanilque_U.gnu", 16},     {"Kestrovanilque_E_U_2.gnu", 20},
    {"Kestrovanilque_U_2.gnu", 15},
};

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A value in [-1, 1] that depends on i alone (splitmix64).
double noise(uint64_t i) {
  uint64_t z = i * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / 4503599627370496.0 - 1.0;
}

// 17 significant digits: the text reads back as exactly the double written.
std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16E", value);
  return text;
}

std::string gridFileName(int i) {
  char name[24];
  std::snprintf(name, sizeof name, "g%04d.txt", i);
  return name;
}

}  // namespace

void writeCase(const fs::path& folder, int gridCount, const fs::path& scriptFolder) {
  fs::create_directories(folder);
  writeText(folder / "Kestrovanilque.in", "bench_case.txt\r\n");

  std::string main;
  main += "1                 variableNumber\r\n";
  main += "bench_listing.txt listing file\r\n";
  main += "1                 hasExactSolution\r\n";
  main += "exact.txt         exact-solution file\r\n";
  main += "2                 pL\r\n";
  main += "2                 deltaP\r\n";
  main += "3.0               Fs\r\n";
  main += "1                 refinementType: constant ratio\r\n";
  main += "100               maxIterations\r\n";
  main += "1.0E-12           tolerance\r\n";
  main += "0.5               pUMin\r\n";
  main += "8.0               pUMax\r\n";
  main += std::to_string(gridCount) + "              gridCount\r\n";
  for (int i = 1; i <= gridCount; ++i) main += gridFileName(i) + "\r\n";
  main += "'Manufactured case, " + std::to_string(gridCount) + " grids'\r\n";
  writeText(folder / "bench_case.txt", main);

  writeText(folder / "exact.txt", "1 " + exact(kExactValue) + "\r\n");

  // Th = T + C1 h^2 + C2 h^4 + C3 h^6, with a round-off-sized perturbation so that no
  // extrapolation lands exactly on the exact value.
  double h = 0.5;
  for (int i = 1; i <= gridCount; ++i) {
    double h2 = h * h;
    double value = kExactValue + 0.3 * h2 - 0.7 * h2 * h2 + 1.1 * h2 * h2 * h2 +
                   1.0e-14 * noise(static_cast<uint64_t>(i));
    writeText(folder / gridFileName(i), exact(h) + "\r\n1 " + exact(value) + "\r\n");
    h /= kRefinementRatio;
  }

  for (const Script& script : kScripts) {
    fs::path source = scriptFolder / script.name;
    std::error_code error;
    if (!scriptFolder.empty() && fs::is_regular_file(source, error)) {
      fs::copy_file(source, folder / script.name, fs::copy_options::overwrite_existing);
      continue;
    }
    std::string text;
    for (int line = 1; line <= script.lines; ++line) {
      text += "# line " + std::to_string(line) + " of a placeholder script\r\n";
    }
    writeText(folder / script.name, text);
  }
}

bool isCaseInput(const fs::path& file) {
  std::string name = file.filename().string();
  if (name == "Kestrovanilque.in" || name == "bench_case.txt" || name == "exact.txt") return true;
  return name.size() == 9 && name[0] == 'g' && name.ends_with(".txt");
}

}  // namespace kv::bench
