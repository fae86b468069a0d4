// The input of a study: the grids and, per quantity, one value per grid, as read from a CSV
// table or a classic main data file. Grids are stored FINEST FIRST (grid 1 the finest), the
// numbering of the standard procedure.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "estimation/standard_procedure.h"

namespace kv::study {

// Bad input: the file and line it was found at (line 0: the file as a whole) and what to do.
class InputError : public std::runtime_error {
 public:
  // Control characters of the message (quoted names and values: escape sequences, NUL) are
  // kept as '?', so that it is always one line of text.
  InputError(std::string file, size_t line, const std::string& message)
      : std::runtime_error(printable(message)), file_(std::move(file)), line_(line) {}
  const std::string& file() const { return file_; }
  size_t line() const { return line_; }
  // "FILE:LINE: message" (or "FILE: message" for line 0).
  std::string where() const;

 private:
  static std::string printable(std::string text) {
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') c = '?';
    }
    return text;
  }

  std::string file_;
  size_t line_;
};

struct Quantity {
  std::string name;
  std::vector<double> values;  // per grid, finest first
  double exact = kNotANumber;  // NaN: unknown
};

// The settings of the classic computation that a main data file carries.
struct ClassicSettings {
  int32_t deltaP = 1;
  int32_t refinementType = 0;  // 0: chosen from the spacings (1 constant ratio, 2 variable)
  int32_t maxIterations = 200;
  double tolerance = 1e-12;
  double pUMin = 1e-3;
  double pUMax = 20.0;
};

struct StudyCase {
  enum class Kind { Csv, MainData };
  Kind kind = Kind::Csv;
  std::string file;                   // the case as named on the command line
  std::vector<double> h;              // finest first
  std::vector<double> cells;          // the cell counts, finest first, when the case gives them
  std::vector<size_t> lines;          // the line that gave each grid
  std::vector<std::string> gridFiles; // a main data file's grid files, finest first
  std::optional<std::string> exactFile;  // a main data file's exact-solution file
  std::vector<Quantity> quantities;
  int dimension = 0;                  // with cell counts
  // From a main data file.
  std::optional<double> theoreticalOrder;
  std::optional<double> safetyFactor;
  ClassicSettings classic;
  std::string title;
};

// The largest file readCaseText reads.
inline constexpr size_t kMaxCaseBytes = size_t{16} << 20;

// Reads the whole of a file ("-": standard input), or throws InputError (also for a file
// larger than kMaxCaseBytes).
std::string readCaseText(const std::string& file);

// The name used in messages for `file` ("-" is standard input).
std::string displayName(const std::string& file);

// Orders the grids finest first (by h) and refuses two grids with the same h.
void sortFinestFirst(StudyCase& c);

}  // namespace kv::study
