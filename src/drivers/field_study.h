// The study of a field of point files (cases/point_field_case.h): one pass over the files with
// bounded memory, on all cores (the field engine), every point through the field kernel, its row
// of summary.csv written as it is studied.
#pragma once

#include "cases/point_field_case.h"
#include "io/temp_file.h"
#include "study/field_kernel.h"
#include "study/options.h"

namespace kv::study {

struct FieldStudy {
  FieldSummary summary;
  // Time spent in the serial stages (reading; writing and merging): what bounds the speedup.
  double readSeconds = 0.0;
  double writeSeconds = 0.0;
};

// Studies every point under `options` (its threads and block of points too), writing its
// summary.csv row to `rows` (already open, its header written); `progress`: a progress line on a
// terminal. A fault of the point files (an id that differs between the files, a file that ends
// early, a value that is not a number) is thrown as Failure; `rows` is then incomplete.
FieldStudy runFieldStudy(const FieldStudyCase& input, const StudyOptions& options, io::TempFile& rows,
                         bool progress = true);

}  // namespace kv::study
