// A field study: a field sampled at the same points on every grid, one point file per grid
// (one record per point), studied point by point in one pass over the files with bounded
// memory, on all cores. Each point is studied exactly as a quantity of a table study is
// (studyQuantity), and its summary.csv row is made by the same function (summaryRow), with the
// point's id as the quantity's name; the rest of the outputs holds the distribution over the
// points instead of one entry per quantity.
//
// A case is a field case when it is
//  - a CSV table whose header is h,file or cells,file (field/field_case.h), or
//  - a main data file whose first grid file holds more than kFieldRecords value records (or
//    any main data file, with --field): every value record is a point, named by its index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "field/engine.h"
#include "study/study.h"
#include "study/study_case.h"

namespace kv::study {

inline constexpr size_t kFieldRecords = 100;

struct FieldStudyCase {
  enum class Kind { FieldCsv, MainData };
  Kind kind = Kind::FieldCsv;
  std::string file;                     // the case as named on the command line
  std::vector<double> h;                // finest first
  std::vector<double> cells;            // finest first, when the case gives cell counts
  int dimension = 0;
  std::vector<field::PointFile> grids;  // finest first
  std::optional<field::PointFile> exact;
  // From a main data file.
  std::optional<double> theoreticalOrder;
  std::optional<double> safetyFactor;
  ClassicSettings classic;
  std::string title;
};

// Whether the text of a CSV case has the header of a field case (h,file or cells,file).
bool isFieldTable(std::string_view text);

// Reads a field table; throws InputError.
FieldStudyCase readFieldTable(const std::string& file, int dimension);

// The field case of a main data file (its text already read): std::nullopt when its first grid
// file holds kFieldRecords value records or fewer and `force` is false. Throws InputError.
std::optional<FieldStudyCase> readMainDataField(const std::string& file, const std::string& text,
                                                bool force);

struct FieldStudyOptions {
  StudyOptions study;
  unsigned threads = 0;  // 0: all cores
  bool progress = true;  // on a terminal only
  // The least-squares estimate of every point (four or more grids). Off by default: on five
  // grids it costs about seven times the rest of a point's study.
  bool leastSquares = false;
};

struct FieldStudy {
  const FieldStudyCase* input = nullptr;
  double theoreticalOrder = 2.0;
  double safetyFactor = kNotANumber;  // as given; NaN: by grid count
  uint64_t points = 0;
  uint64_t notConverging = 0;  // points that are not monotonically convergent with an order
  field::FieldStats stats;
  field::Series series;
  // Time spent in the serial stages (reading; writing and merging): what bounds the speedup.
  double readSeconds = 0.0;
  double writeSeconds = 0.0;
};

// Studies every point, writing its summary.csv row to `summary` (already open, its header
// written). A fault of the point files (an id that differs between the files, a file that ends
// early, a value that is not a number) is thrown as InputError; `summary` is then incomplete.
FieldStudy runFieldStudy(const FieldStudyCase& input, const FieldStudyOptions& options,
                         field::OutputFile& summary);

// How badly a point converges, for the ranking of the worst points: those that do not converge
// monotonically with an order above all others; in each group the larger GCI_fine21 the worse,
// no GCI worst of all (as the table study ranks its quantities), and among those the larger
// relative change e_a21 the worse.
double badness(const QuantityStudy& q);

}  // namespace kv::study
