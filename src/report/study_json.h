// study.json: the inputs and, per quantity, every result of the study ("schema": 2). Every
// study.json, of a table or of a field from any source, begins with the same head.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "cases/case_head.h"
#include "study/study.h"

namespace kv::study {

std::string studyJson(const StudyResult& study);

// What every study.json begins with: the schema, the tool, the grid numbering, and "input": the
// case, its kind, its title when it has one, the grids, the files, the settings.
nlohmann::ordered_json studyJsonHead(const CaseHead& input, std::string_view kind, const StudySettings& settings);

// The text of a study.json: indented, with a line end; text that is not UTF-8 (file names) is
// taken as Latin-1 (text/utf8.h).
std::string dumpJson(const nlohmann::ordered_json& j);

// A number, or null where it does not exist (JSON has no NaN or Infinity).
nlohmann::ordered_json jsonNumber(double value);

// A least-squares result: every fit, the chosen one, and per grid (in the order given) the error
// estimate, the residual and U.
nlohmann::ordered_json leastSquaresJson(const LeastSquaresResult& ls);

}  // namespace kv::study
