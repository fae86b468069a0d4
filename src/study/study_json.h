// study.json: the inputs and, per quantity, every result of the study ("schema": 2). Every
// study.json, of a table or of a field from any source, begins with the same head.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "study/study.h"

namespace kv::study {

std::string studyJson(const StudyResult& study);

// What a study read, as study.json and report.html show it.
struct InputDescription {
  std::string caseFile;
  std::string kind;  // caseKindKey of the case (study/kind.h)
  std::string title;
  std::vector<double> h;      // finest first
  std::vector<double> cells;  // when the case gives cell counts
  int dimension = 0;
  std::vector<std::string> gridFiles;
  std::optional<std::string> exactFile;
};

// What every study.json begins with: the schema, the tool, the grid numbering, and "input": the
// case, its kind, its title when it has one, the grids, the files, the settings.
nlohmann::ordered_json studyJsonHead(const InputDescription& input, const StudySettings& settings);

// The text of a study.json: indented, with a line end; text that is not UTF-8 (file names) is
// taken as Latin-1 (text/utf8.h).
std::string dumpJson(const nlohmann::ordered_json& j);

// A number, or null where it does not exist (JSON has no NaN or Infinity).
nlohmann::ordered_json jsonNumber(double value);

// A least-squares result: every fit, the chosen one, and per grid (in the order given) the error
// estimate, the residual and U.
nlohmann::ordered_json leastSquaresJson(const LeastSquaresResult& ls);

}  // namespace kv::study
