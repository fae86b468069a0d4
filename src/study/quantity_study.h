// What the study of one point (or quantity) gives: its standard procedure, its uncertainties by
// every estimator, its findings and status, under the settings every point of a study shares
// (study.h makes them and the points).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cases/study_case.h"
#include "estimation/least_squares.h"
#include "estimation/standard_procedure.h"
#include "estimation/uncertainty.h"
#include "estimation/verdict.h"
#include "study/classic_series.h"

namespace kv::study {

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
  // A quantity of a table with missing values: the grids it was studied on (0-based indices into
  // the case's grids, finest first; none, one, ...), which `values` and every per-grid result
  // follow. Nothing: every grid of the case.
  std::optional<std::vector<size_t>> grids;
  StandardResult standard;
  std::optional<ClassicSeries> series;  // absent when the theoretical order is not an integer
  std::vector<Finding> findings;        // the reason without an order, then the warnings
  std::string status;                   // "ok", or the short codes joined by "; "
  Uncertainties uncertainty;

  // Monotonic convergence with an observed order (what --strict asks of every quantity).
  bool converges() const;
  // What --strict asks of a quantity: it converges, and no finding is a warning.
  bool sound() const;
};

// The shortest decimal form that reads back as the same double; "" for NaN or infinity.
std::string shortest(double value);
void appendShortest(std::string& out, double value);  // shortest(value) added to out

}  // namespace kv::study
