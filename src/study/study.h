// The study driver: the standard procedure and the classic series for every quantity of a
// case, with the warnings a reviewer would raise. Pure computation: no file is read or written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estimation/least_squares.h"
#include "estimation/standard_procedure.h"
#include "estimation/uncertainty.h"
#include "study/classic_series.h"
#include "study/study_case.h"

namespace kv::study {

struct StudyOptions {
  std::optional<double> order;  // theoretical order; default: the case's pL, else 2
  std::optional<double> fs;     // safety factor; default: the case's Fs, else by grid count
  std::optional<double> targetGci;  // a GCI_fine21 to reach (a fraction): the grid it needs
};

// The uncertainties of phi1 (absolute: phi1 +- U) by the four estimators, and the grid a
// target GCI needs. An estimator that does not apply has no value.
struct Uncertainties {
  std::optional<double> gci;                       // GCI_fine21 |phi1|
  std::optional<LeastSquaresResult> leastSquares;  // four or more grids, all of them
  std::optional<CorrectionFactorEstimate> correctionFactor;
  std::optional<FactorOfSafetyEstimate> factorOfSafety;
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

struct Finding {
  std::string code;     // short, for the status column ("ratio<1.3")
  std::string message;  // what it means and what to do, for the report and the JSON
};

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
  double theoreticalOrder = 2.0;
  double safetyFactor = kNotANumber;  // as given; NaN: by grid count
  std::string seriesNote;             // why there is no series, when there is none
  std::vector<QuantityStudy> quantities;
  std::optional<double> targetGci;
  // Per estimator (in the order of estimators()), judged against the true errors of phi1;
  // nothing where no quantity has both an exact value and that estimator's U.
  std::vector<std::optional<TruthJudgement>> judgements;
};

// One quantity: a pure function of the spacings (finest first), its values, its exact value
// (NaN: unknown) and the options.
QuantityStudy studyQuantity(const std::string& name, std::span<const double> h,
                            std::span<const double> values, double exact,
                            const StandardOptions& options, bool withSeries,
                            const ClassicSettings& classic);

// The four uncertainties of one quantity over its grids (finest first) and, with a target, the
// grid it needs (cells1 and dimensions > 0: the cell count too).
Uncertainties uncertainties(const StandardResult& r, std::span<const double> h,
                            std::span<const double> values, double pTh,
                            std::optional<double> targetGci, double cells1, int dimensions,
                            bool leastSquares = true);

StudyResult runStudy(const StudyCase& input, const StudyOptions& options);

// The shortest decimal form that reads back as the same double; "" for NaN or infinity.
std::string shortest(double value);

}  // namespace kv::study
