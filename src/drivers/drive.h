// What the study and merge commands call: a case read (cases/case_kind.h) studied by its kind's
// driver, or slab folders merged, through the one skeleton of driver.h.
#pragma once

#include <string>
#include <vector>

#include "cases/case_kind.h"
#include "drivers/driver.h"

namespace kv::study {

Outcome studyCase(const Case& c, const StudyOptions& options, const OutputPlan& plan);
Outcome mergeSlabs(const std::vector<std::string>& folders, const StudyOptions& options, const OutputPlan& plan);

}  // namespace kv::study
