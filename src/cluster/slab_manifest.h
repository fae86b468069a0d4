// slab.json: what the merge of the slabs of a job array needs from each slab (study FIELD.h5
// --slab I/N): which slab, of which input and study, where its points and its rows are, and the
// exact distributions of its points.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "study/options.h"
#include "study/field_kernel.h"

namespace kv::cluster {

// The longest row name "<quantity>:<id>" that can occur: an int64 id has at most 20 characters.
size_t rowNameWidth(const std::vector<study::FieldSummary::Quantity>& quantities);

struct SlabManifest {
  study::Slab slab;
  uint64_t totalPoints = 0;  // of the whole field
  uint64_t firstPoint = 0;   // of the slab
  study::FieldSummary summary;  // of the slab's points, with their exact distributions
  size_t nameWidth = 0;         // of the quantity column of summary.h5
  bool csv = true;              // whether summary.csv was written
  std::vector<uint64_t> csvSections;  // where each quantity's rows begin in summary.csv, then its size
  std::string input;  // the fingerprint of the input (HdfField::fingerprint)

  nlohmann::json toJson() const;
  // Throws std::exception on a manifest that is malformed or not of this tool.
  static SlabManifest fromJson(const nlohmann::json& j);
  // The manifest without what differs from slab to slab: equal for the slabs of one study.
  nlohmann::json studyJson() const;
};

}  // namespace kv::cluster
