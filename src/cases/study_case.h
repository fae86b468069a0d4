// The input of a study: the grids and, per quantity, one value per grid, as read from a CSV
// table or a classic main data file. Grids are stored FINEST FIRST (grid 1 the finest), the
// numbering of the standard procedure.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.h"
#include "estimation/standard_procedure.h"

#include "cases/case_head.h"
#include "cases/table_rules.h"

namespace kv::study {

struct Quantity {
  std::string name;
  std::vector<double> values;  // per grid, finest first (NaN where missing)
  double exact = kNotANumber;  // NaN: unknown
  // Per grid, finest first: no value (an empty field of a table); empty when every grid has one.
  std::vector<bool> missing = {};

  bool isMissing(size_t grid) const { return grid < missing.size() && missing[grid]; }
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

struct StudyCase : CaseHead {
  enum class Kind { Csv, MainData };
  Kind kind = Kind::Csv;
  std::vector<size_t> lines;          // the line that gave each grid
  std::vector<Quantity> quantities;
  // From a main data file.
  std::optional<double> theoreticalOrder;
  std::optional<double> safetyFactor;
  ClassicSettings classic;
};

// Reads the whole of a file ("-": standard input), or throws Failure (also for a file
// larger than io::kMaxCaseBytes).
std::string readCaseText(const std::string& file);

// The name used in messages for `file` ("-" is standard input).
std::string displayName(const std::string& file);
// `e` thrown, its file named as in messages.
Failure failureOf(const Error& e);

// Orders the grids finest first (by h) and refuses two grids with the same h, naming the rows
// of `rows` that gave them (c.lines); without `rows`, the lines of c.file.
void sortFinestFirst(StudyCase& c);
void sortFinestFirst(StudyCase& c, const TableRows& rows);

// The order of the rows of a table finest first: by h, then by dt when it is given (the runs of
// a space-time table). Refuses two rows of the same h (and dt), naming each (`lines`: the row of
// `rows` that gave each).
std::vector<size_t> finestFirstOrder(const TableRows& rows, std::span<const double> h, std::span<const double> dt,
                                     std::span<const size_t> lines);

// Puts a per-row vector in `order` (v[k] becomes v[order[k]]); one of another size is left alone.
template <class T>
void permuteRows(std::vector<T>& v, std::span<const size_t> order) {
  if (v.size() != order.size()) return;
  const std::vector<T> copy = v;
  for (size_t k = 0; k < order.size(); ++k) v[k] = copy[order[k]];
}

}  // namespace kv::study
