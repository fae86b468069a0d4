// study.json: the inputs and, per quantity, every result of the study, with "schema": 1.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "study/study.h"

namespace kv::study {

std::string studyJson(const StudyResult& study);

// What every study.json (of a table or of a field) begins with: the schema, the tool, the grid
// numbering, and the head of "input" (the case, its kind, its title when it has one).
nlohmann::ordered_json studyJsonHead(const std::string& caseFile, std::string_view kind,
                                     const std::string& title);

// A number, or null where it does not exist (JSON has no NaN or Infinity).
nlohmann::ordered_json jsonNumber(double value);

}  // namespace kv::study
