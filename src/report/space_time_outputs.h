// The outputs of a space-time study: summary.csv (a table of columns, one row per quantity),
// study.json and what standard output shows (report.html: space_time_report.h).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "study/space_time_study.h"
#include "study/summary.h"

namespace kv::study {

// A column of summary.csv: its name, its kind (summary.h) and its value for a quantity (a number,
// NaN where none exists; or a text).
struct SpaceTimeSummaryColumn {
  std::string_view name;
  ColumnKind kind = ColumnKind::Number;
  double (*number)(const SpaceTimeQuantityStudy&) = nullptr;
  std::string (*text)(const SpaceTimeQuantityStudy&) = nullptr;
};

// quantity, runs, design, model, phi0, p_x, p_t, alpha_x, alpha_t, sigma, u_num, status.
std::span<const SpaceTimeSummaryColumn> spaceTimeSummaryColumns();

// summary.csv: the header and one row per quantity, numbers in their shortest form, empty where
// there is none.
std::string spaceTimeSummaryCsv(const SpaceTimeStudy& study);

// study.json ("schema": 2, the head of every study.json).
std::string spaceTimeJson(const SpaceTimeStudy& study);

// The aligned table for a terminal (quantity, design, model, phi0, p_x, p_t, u_num, status),
// then every warning and, with exact values, how often U bounds the true error.
std::string spaceTimeText(const SpaceTimeStudy& study);

}  // namespace kv::study
