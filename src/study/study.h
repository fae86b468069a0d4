// The study of one point: the standard procedure, the six uncertainty estimates and (for a
// table) the classic series of one quantity, with the warnings a reviewer would raise, the same
// for every case kind: a quantity of a table, a point of a field in point files, a point of an
// HDF5 field on any number of ranks. Pure computation: no file is read or written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estimation/least_squares.h"
#include "estimation/standard_procedure.h"
#include "estimation/uncertainty.h"
#include "estimation/verdict.h"
#include "study/classic_series.h"
#include "study/distribution.h"
#include "study/quantity_study.h"
#include "study/options.h"
#include "cases/study_case.h"

namespace kv::study {

// The case's defaults (a main data file's pL and Fs) under the options.
StudySettings resolveSettings(const StudyOptions& options, std::optional<double> caseOrder,
                              std::optional<double> caseSafetyFactor);
// A field's: the same without the series over all grids; `cells1` the finest grid's cell count
// when the case gives cell counts (of dimension `dimension`).
StudySettings fieldSettings(const StudyOptions& options, std::optional<double> caseOrder,
                            std::optional<double> caseSafetyFactor, double cells1 = kNotANumber, int dimension = 0);

struct StudyResult {
  const StudyCase* input = nullptr;
  StudySettings settings;
  std::string seriesNote;             // why there is no series, when there is none
  std::vector<QuantityStudy> quantities;
  Distribution distribution;          // over the quantities
  // Per estimator (in the order of estimators()), judged against the true errors of phi1;
  // nothing where no quantity has both an exact value and that estimator's U.
  std::vector<std::optional<TruthJudgement>> judgements;

  // The spacings of the grids `q` was studied on, finest first (the case's, less those where its
  // value is missing), and their numbers in the case (1 the finest).
  std::vector<double> spacings(const QuantityStudy& q) const;
  std::vector<size_t> gridNumbers(const QuantityStudy& q) const;
};

// The study of every point of one study: the spacings (finest first) and the settings, shared and
// read-only, so one object serves every thread.
class PointStudy {
 public:
  // `caseGrids`: the grids of the case when `h` leaves out those where the values are missing
  // (fewer than three left is a finding); 0 when `h` is every grid of the case.
  PointStudy(std::vector<double> h, StudySettings settings, size_t caseGrids = 0);
  // One point (or quantity): a pure function of its values on the grids (finest first) and its
  // exact value (NaN, or not finite: unknown).
  QuantityStudy operator()(std::string name, std::span<const double> values, double exact) const;
  // The same into `q`, which keeps its storage: a thread that studies many points allocates once.
  void study(QuantityStudy& q, std::string_view name, std::span<const double> values, double exact) const;
  const std::vector<double>& h() const { return h_; }
  const StudySettings& settings() const { return settings_; }

 private:
  std::vector<double> h_;
  StudySettings settings_;
  size_t caseGrids_ = 0;
  StandardOptions standard_;
  std::optional<LeastSquaresPlan> plan_;
};

StudyResult runStudy(const StudyCase& input, const StudyOptions& options);

}  // namespace kv::study
