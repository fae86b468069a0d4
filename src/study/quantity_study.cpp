#include "study/quantity_study.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kv::study {

namespace {

// Each estimator's U of phi1, in the order of the report.
constexpr Estimator kEstimators[] = {
    {"GCI", "u_gci", [](const Uncertainties& u) { return u.gci; }},
    {"least squares", "u_ls", [](const Uncertainties& u) { return u.leastSquaresU(); }},
    {"correction factor", "u_cf",
     [](const Uncertainties& u) {
       return u.correctionFactor ? std::optional<double>(u.correctionFactor->u) : std::nullopt;
     }},
    {"factor of safety", "u_fs",
     [](const Uncertainties& u) {
       return u.factorOfSafety ? std::optional<double>(u.factorOfSafety->u) : std::nullopt;
     }},
    {"conservative GCI", "u_gci_th", [](const Uncertainties& u) { return u.gciTheory; }},
    {"oscillation", "u_osc", [](const Uncertainties& u) { return u.oscillation; }},
};

}  // namespace

std::span<const Estimator> estimators() { return kEstimators; }

std::optional<double> Uncertainties::leastSquaresU() const {
  if (!leastSquares || leastSquares->u.empty()) return std::nullopt;
  return leastSquares->u.front();
}

void appendShortest(std::string& out, double value) {
  if (!std::isfinite(value)) return;
  if (value == 0.0) value = 0.0;  // no "-0": a zero has no sign worth showing
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error == std::errc()) out.append(text, end);
}

std::string shortest(double value) {
  std::string text;
  appendShortest(text, value);
  return text;
}

bool QuantityStudy::sound() const {
  return converges() && std::none_of(findings.begin(), findings.end(), [](const Finding& f) {
           return findingSeverity(f.code) == FindingSeverity::warning;
         });
}

bool QuantityStudy::converges() const {
  return standard.convergence == ConvergenceType::MonotonicConvergence && standard.hasOrder();
}

}  // namespace kv::study
