// The study driver: the standard procedure and the classic series for every quantity of a
// case, with the warnings a reviewer would raise. Pure computation: no file is read or written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estimation/standard_procedure.h"
#include "study/classic_series.h"
#include "study/study_case.h"

namespace kv::study {

struct StudyOptions {
  std::optional<double> order;  // theoretical order; default: the case's pL, else 2
  std::optional<double> fs;     // safety factor; default: the case's Fs, else by grid count
};

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

  // Monotonic convergence with an observed order (what --strict asks of every quantity).
  bool converges() const;
};

struct StudyResult {
  const StudyCase* input = nullptr;
  double theoreticalOrder = 2.0;
  double safetyFactor = kNotANumber;  // as given; NaN: by grid count
  std::string seriesNote;             // why there is no series, when there is none
  std::vector<QuantityStudy> quantities;
};

// One quantity: a pure function of the spacings (finest first), its values, its exact value
// (NaN: unknown) and the options.
QuantityStudy studyQuantity(const std::string& name, std::span<const double> h,
                            std::span<const double> values, double exact,
                            const StandardOptions& options, bool withSeries,
                            const ClassicSettings& classic);

StudyResult runStudy(const StudyCase& input, const StudyOptions& options);

// The shortest decimal form that reads back as the same double; "" for NaN or infinity.
std::string shortest(double value);

}  // namespace kv::study
