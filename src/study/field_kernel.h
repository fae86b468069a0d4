// A field study: quantities sampled at many points, the same points on every grid, studied point
// by point with the one per-point study (PointStudy) and summarised by their distribution. The
// points come from point files (here, through the field engine: one pass over the files with
// bounded memory, on all cores) or from an HDF5 field on MPI ranks (cluster/); either way every
// point's row of summary.csv is made by appendSummaryRow and every output besides the rows
// (study.json, report.html, the lines on standard output) from a FieldSummary, so that the same
// field gives the same outputs whatever its source.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cases/case_head.h"
#include "field/engine.h"
#include "study/distribution.h"
#include "study/mesh_summary.h"
#include "study/study.h"

namespace kv::study {

// What a kind of field adds to each point's study and row, from any thread: grids that share no
// points put the interpolation's status ahead of the findings and the point's coordinates after
// the columns.
class PointDecoration {
 public:
  virtual ~PointDecoration() = default;
  // After the point's study, before its row is written.
  virtual void study(uint64_t position, QuantityStudy& q) const = 0;
  // Appends the point's extra fields to its row, each after a comma.
  virtual void row(uint64_t position, std::string& rows) const = 0;
};

// The per-point work of a field study for the field engine (field/engine.h): each point's study
// (PointStudy), its summary.csv row (when `rows`), its place in the distribution `total`; with
// `studies`, each chunk's studies are handed over too, in order (to fill typed outputs); with
// `decoration`, each point's study and row are decorated.
class FieldKernel : public field::PointKernel {
 public:
  FieldKernel(const PointStudy& study, Distribution& total, std::string quantity, bool rows = true,
              std::function<void(std::span<const QuantityStudy>)> studies = {},
              const PointDecoration* decoration = nullptr);
  std::unique_ptr<field::ChunkWork> newWork() const override;
  void merge(field::ChunkWork& chunk) override;

 private:
  struct Work;
  const PointStudy& study_;
  Distribution& total_;
  std::string quantity_;  // the quantity's name in the points' row names ("" for none)
  bool rows_;
  std::function<void(std::span<const QuantityStudy>)> studies_;
  const PointDecoration* decoration_;
};

// The name of a field's row: the point's id, prefixed by its quantity's name when the case names
// its quantities ("lift:42"); a field of point files has one unnamed quantity ("42").
std::string rowName(std::string_view quantity, std::string_view id);
void appendRowName(std::string& out, std::string_view quantity, std::string_view id);

// What a field study shows besides its rows: the inputs, the settings and, per quantity, the
// distribution over the points. Its JSON form travels in the manifests of job-array slabs.
struct FieldSummary : CaseHead {
  std::string kind;  // caseKindKey of the case (cases/kind.h)
  StudySettings settings;
  uint64_t points = 0;  // per quantity
  struct Quantity {
    std::string name;  // "" for the one quantity of point files
    Distribution distribution;
  };
  std::vector<Quantity> quantities;
  // Grids that share no points: the interpolation to the study points (not in toJson).
  std::optional<MeshSummary> mesh;

  // Every point of every quantity converges monotonically with an observed order.
  bool allConverge() const;
  nlohmann::json toJson() const;                        // without the distributions
  static FieldSummary fromJson(const nlohmann::json& j);  // throws std::exception
};

}  // namespace kv::study
