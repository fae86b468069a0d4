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
#include "study/study_case.h"

namespace kv::study {

// The options of a study, the same for every case kind (study/arguments.h reads them).
struct StudyOptions {
  std::optional<double> order;  // theoretical order; default: the case's pL, else 2
  std::optional<double> fs;     // safety factor; default: the case's Fs, else by grid count
  std::optional<double> targetGci;  // a GCI_fine21 to reach (a fraction): the grid it needs
  bool leastSquares = true;     // the least-squares estimate (four grids or more)
  std::optional<double> noise;  // the absolute noise level of the values (iterative convergence)
};

// What every point of one study shares, resolved from the case and the options.
struct StudySettings {
  double theoreticalOrder = 2.0;
  double safetyFactor = kNotANumber;  // as given; NaN: by grid count
  std::optional<double> targetGci;
  bool leastSquares = true;
  std::optional<double> noise;  // changes within it carry no information (estimation: noiseFloor)
  double cells1 = kNotANumber;  // the finest grid's cell count, when the case gives cell counts
  int dimension = 0;            // with cell counts
  ClassicSettings classic;
  // The classic series over all grids: only for an integer theoretical order (a table study).
  bool series = false;
  // The messages of the findings (a field keeps only their codes, in its status column).
  bool findingMessages = true;
};

// The case's defaults (a main data file's pL and Fs) under the options.
StudySettings resolveSettings(const StudyOptions& options, std::optional<double> caseOrder,
                              std::optional<double> caseSafetyFactor);
// A field's: the same without the series over all grids; `cells1` the finest grid's cell count
// when the case gives cell counts (of dimension `dimension`).
StudySettings fieldSettings(const StudyOptions& options, std::optional<double> caseOrder,
                            std::optional<double> caseSafetyFactor, double cells1 = kNotANumber, int dimension = 0);

// The uncertainties of phi1 (absolute: phi1 +- U) by the estimators, and the grid a target GCI
// needs. An estimator that does not apply has no value (estimation/verdict.h says which applies).
struct Uncertainties {
  std::optional<double> gci;                       // GCI_fine21 |phi1|
  std::optional<double> gciTheory;                 // conservative: p_th and Fs = 3 (Roache)
  std::optional<LeastSquaresResult> leastSquares;  // four or more grids, all of them
  std::optional<CorrectionFactorEstimate> correctionFactor;  // monotonic convergence
  std::optional<FactorOfSafetyEstimate> factorOfSafety;      // monotonic convergence
  std::optional<double> oscillation;               // oscillatory convergence: half the range
  std::optional<double> hTarget;
  std::optional<double> cellsTarget;
  // U of grid 1 (the finest) by least squares.
  std::optional<double> leastSquaresU() const;
};

// The estimators, in the order they are reported: a name for people, one for files, and U.
struct Estimator {
  const char* name;  // "GCI", "least squares", ...
  const char* key;   // "u_gci", ...
  std::optional<double> (*u)(const Uncertainties&);
};
std::span<const Estimator> estimators();

// A finding: its short code for the status column ("ratio<1.3") and what it means and what to
// do, for the report and the JSON (none for the points of a field).
using Finding = StatusFinding;

struct QuantityStudy {
  std::string name;
  std::vector<double> values;  // finest first
  StandardResult standard;
  std::optional<ClassicSeries> series;  // absent when the theoretical order is not an integer
  std::vector<Finding> findings;        // the reason without an order, then the warnings
  std::string status;                   // "ok", or the short codes joined by "; "
  Uncertainties uncertainty;

  // Monotonic convergence with an observed order (what --strict asks of every quantity).
  bool converges() const;
};

struct StudyResult {
  const StudyCase* input = nullptr;
  StudySettings settings;
  std::string seriesNote;             // why there is no series, when there is none
  std::vector<QuantityStudy> quantities;
  Distribution distribution;          // over the quantities
  // Per estimator (in the order of estimators()), judged against the true errors of phi1;
  // nothing where no quantity has both an exact value and that estimator's U.
  std::vector<std::optional<TruthJudgement>> judgements;
};

// The study of every point of one study: the spacings (finest first) and the settings, shared and
// read-only, so one object serves every thread.
class PointStudy {
 public:
  PointStudy(std::vector<double> h, StudySettings settings);
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
  StandardOptions standard_;
  std::optional<LeastSquaresPlan> plan_;
};

StudyResult runStudy(const StudyCase& input, const StudyOptions& options);

// The shortest decimal form that reads back as the same double; "" for NaN or infinity.
std::string shortest(double value);
void appendShortest(std::string& out, double value);  // shortest(value) added to out

}  // namespace kv::study
