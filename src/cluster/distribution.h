// The distribution of a quantity over the points of a field (counts by convergence type, the
// histogram of p, GCI percentiles, the points that converge worst), in two JSON forms: an exact
// one that ranks and slabs exchange and merge (integer counts, numbers that read back to the
// same double), and the one study.json shows.
#pragma once

#include <nlohmann/json.hpp>

#include "field/stats.h"
#include "study/study.h"

namespace kv::cluster {

inline constexpr size_t kWorstPoints = 20;

// What the statistics need from one point's study: its type, p, GCI_fine21 and how badly it
// converges (divergence first, then no order, then the largest GCI).
field::PointSummary pointSummary(const study::QuantityStudy& q);

// The exact, mergeable form; statsFromJson throws std::exception on a malformed one.
nlohmann::json statsToJson(const field::FieldStats& stats);
field::FieldStats statsFromJson(const nlohmann::json& j);

// The form shown in study.json.
nlohmann::json distributionJson(const field::FieldStats& stats);

}  // namespace kv::cluster
