// What a field study of an HDF5 case writes besides its rows: study.json (the inputs and, per
// quantity, the distribution over the points), the short overview on standard output, and the
// staging of every output under a temporary name until all are complete.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "field/stats.h"

namespace kv::cluster {

// The inputs of a study of an HDF5 field, as study.json and the slab manifests record them.
struct FieldHeader {
  std::string caseFile;            // as given on the command line
  std::vector<double> h;           // finest first
  uint64_t points = 0;             // points of the study (of the slab, for a slab)
  double theoreticalOrder = 2.0;
  double safetyFactor = field::kNoValue;  // NaN: by grid count
  std::vector<std::string> quantities;
  size_t nameWidth = 0;            // width of the quantity column of summary.h5
};

nlohmann::json headerToJson(const FieldHeader& header);
FieldHeader headerFromJson(const nlohmann::json& j);  // throws std::exception when malformed

// study.json: {"schema": 1, the inputs, "quantities": [{"name", "distribution"}...]}.
std::string studyJson(const FieldHeader& header, const std::vector<field::FieldStats>& stats);

// A few lines per quantity: the counts by convergence type and the GCI median.
std::string overview(const FieldHeader& header, const std::vector<field::FieldStats>& stats);

// Whether every point of every quantity converges monotonically with an observed order.
bool allConverge(const std::vector<field::FieldStats>& stats);

// Outputs written under temporary names in one folder and renamed together when all are
// complete; on failure or destruction before commit the temporary files (and the folder, when
// it was created here) are removed. Temporary files are removed on interruption too.
class StagedOutputs {
 public:
  // `tag` makes the temporary names unique (a process id).
  StagedOutputs(std::filesystem::path folder, std::string tag);
  ~StagedOutputs() { discard(); }
  StagedOutputs(const StagedOutputs&) = delete;
  StagedOutputs& operator=(const StagedOutputs&) = delete;

  // Creates the folder when missing; false when it cannot be created.
  bool prepare();
  // The temporary path of output `name`, registered for removal.
  std::string stage(const std::string& name);
  // Writes a whole output at once.
  bool write(const std::string& name, const std::string& bytes);
  // Renames every staged file to its final name; false (and nothing left) on failure.
  bool commit();
  void discard();
  const std::filesystem::path& folder() const { return folder_; }

 private:
  struct Staged {
    std::string temporary;
    std::string final;
    int slot;
  };
  std::filesystem::path folder_;
  std::string tag_;
  bool created_ = false;
  std::vector<Staged> staged_;
};

}  // namespace kv::cluster
