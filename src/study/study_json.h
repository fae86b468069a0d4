// study.json: the inputs and, per quantity, every result of the study, with "schema": 1.
#pragma once

#include <string>

#include "study/study.h"

namespace kv::study {

std::string studyJson(const StudyResult& study);

}  // namespace kv::study
