#include "field_case_gen.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv::bench {

namespace {

struct Closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

File create(const std::filesystem::path& path) {
  File f(std::fopen(path.string().c_str(), "wb"));
  if (!f) throw std::runtime_error("cannot write " + path.string());
  std::setvbuf(f.get(), nullptr, _IOFBF, 1 << 20);
  return f;
}

void put(std::string& line, double x) {
  char text[32];
  line.append(text, std::to_chars(text, text + sizeof text, x).ptr);
}

}  // namespace

uint64_t writeFieldCase(const std::filesystem::path& folder, uint64_t points, int grids,
                        FieldLayout layout) {
  std::filesystem::create_directories(folder);
  std::vector<double> h(static_cast<size_t>(grids));
  h[0] = 0.01;
  for (int g = 1; g < grids; ++g) h[static_cast<size_t>(g)] = h[static_cast<size_t>(g - 1)] * (g == 1 ? 2.0 : 1.5);
  const char* extension = layout == FieldLayout::Csv ? ".csv" : ".txt";
  std::string table = "h,file\n";
  std::vector<File> files;
  for (int g = 0; g < grids; ++g) {
    std::string name = "g";  // built in steps: "g" + std::to_string() draws a false -Wrestrict
    name.append(std::to_string(g + 1)).append(extension);
    put(table, h[static_cast<size_t>(g)]);
    table += "," + name + "\n";
    files.push_back(create(folder / name));
  }
  table += std::string("exact,exact") + extension + "\n";
  files.push_back(create(folder / (std::string("exact") + extension)));
  uint64_t bytes = table.size();
  {
    File caseFile = create(folder / "case.csv");
    std::fwrite(table.data(), 1, table.size(), caseFile.get());
  }
  std::string line;
  for (size_t f = 0; f < files.size(); ++f) {
    if (layout == FieldLayout::Csv) {
      line = "id,value\n";
    } else if (f < static_cast<size_t>(grids)) {
      line = "  ";
      put(line, h[f]);
      line += "   grid spacing h\n";
    } else {
      line.clear();
    }
    std::fwrite(line.data(), 1, line.size(), files[f].get());
    bytes += line.size();
  }
  const char separator = layout == FieldLayout::Csv ? ',' : ' ';
  for (uint64_t i = 0; i < points; ++i) {
    const double x = static_cast<double>(i) / static_cast<double>(points);
    const double exact = 2.0 + std::sin(6.283185307179586 * x);
    const double a = 0.8 + 0.5 * std::cos(7.0 * x), b = 3.0 * std::sin(3.0 * x);
    const uint64_t kind = i % 100;
    for (size_t f = 0; f < files.size(); ++f) {
      double value = exact;
      if (f < static_cast<size_t>(grids)) {
        const double hf = h[f];
        const double sign = f % 2 ? -1.0 : 1.0;
        if (kind < 90) {
          value = exact + a * hf * hf + b * hf * hf * hf;     // smooth: order 2
        } else if (kind < 95) {
          value = exact + sign * a * hf * hf;                 // oscillating
        } else if (kind < 97) {
          value = exact + a * 1e-4 / hf;                      // diverging
        } else if (kind < 99) {
          value = exact + sign * a * 1e-4 / hf;               // oscillating and diverging
        }                                                     // else: no change at all
      }
      line.clear();
      if (layout == FieldLayout::Classic) line += "  ";
      line += std::to_string(i + 1);
      line.push_back(separator);
      put(line, value);
      line.push_back('\n');
      std::fwrite(line.data(), 1, line.size(), files[f].get());
      bytes += line.size();
    }
  }
  for (File& f : files) {
    if (std::fflush(f.get()) != 0) throw std::runtime_error("cannot write the field case");
  }
  return bytes;
}

}  // namespace kv::bench
