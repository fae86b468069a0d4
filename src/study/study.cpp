#include "study/study.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kv::study {

namespace {

std::string fixed(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string percent(double fraction) { return fixed(100.0 * fraction, "%.3g %%"); }

// The warnings, in the order they are reported.
struct WarningText {
  uint32_t bit;
  const char* code;
  std::string (*message)(const StandardResult&, double pTh);
};

const WarningText kWarnings[] = {
    {kWarnSmallRatio, "ratio<1.3",
     [](const StandardResult& r, double) {
       std::string ratios = "r21 = " + fixed(r.r21, "%.4g");
       if (r.r32 == r.r32) ratios += ", r32 = " + fixed(r.r32, "%.4g");
       return "refinement ratio below 1.3 (" + ratios +
              "): the standard procedure asks for r > 1.3 so that the discretisation error "
              "stands out from other errors; refine further between grids";
     }},
    {kWarnOrderFarOff, "p far from theory",
     [](const StandardResult& r, double pTh) {
       return "observed order p = " + fixed(r.p, "%.4g") + " is outside [" + fixed(0.5 * pTh, "%g") +
              ", " + fixed(2.0 * pTh, "%g") + "] (half to twice the theoretical " +
              fixed(pTh, "%g") + "): the GCI with this p is not reliable; the conservative "
              "GCI with the theoretical order and Fs = 3 is " + percent(r.gciConservative);
     }},
    {kWarnAsymptoticFarOff, "not asymptotic",
     [](const StandardResult& r, double) {
       return "asymptotic ratio GCI_coarse32 / (r21^p GCI_fine21) = " +
              fixed(r.asymptoticRatio, "%.4g") +
              " is far from 1: the grids are not in the asymptotic range, so the error "
              "estimate is not dependable; add a finer grid";
     }},
    {kWarnPhiNearZero, "phi1 near 0",
     [](const StandardResult& r, double) {
       return "phi1 = " + fixed(r.phi1, "%.4g") +
              " is near zero beside the other values: relative errors are meaningless; "
              "absolute ones: |eps21| = " + fixed(std::fabs(r.eps21), "%.4g") +
              ", GCI_fine21 |phi1| = Fs |eps21| / (r21^p - 1) = " +
              fixed(r.gciFine21Absolute, "%.4g");
     }},
};

}  // namespace

std::string shortest(double value) {
  if (!std::isfinite(value)) return "";
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string();
}

bool QuantityStudy::converges() const {
  return standard.convergence == ConvergenceType::MonotonicConvergence && standard.hasOrder();
}

QuantityStudy studyQuantity(const std::string& name, std::span<const double> h,
                            std::span<const double> values, double exact,
                            const StandardOptions& options, bool withSeries,
                            const ClassicSettings& classic) {
  QuantityStudy q;
  q.name = name;
  q.values.assign(values.begin(), values.end());
  q.standard = standardProcedure(h, values, exact, options);
  const StandardResult& r = q.standard;
  if (r.order.failure != OrderFailure::None && r.order.failure != OrderFailure::TwoGrids) {
    q.findings.push_back({std::string(orderFailureText(r.order.failure)),
                          std::string(orderFailureText(r.order.failure)) +
                              ": no extrapolation and no GCI; see the series over all grids"});
  }
  for (const WarningText& w : kWarnings) {
    if (r.warnings & w.bit) q.findings.push_back({w.code, w.message(r, options.theoreticalOrder)});
  }
  q.status = q.findings.empty() ? "ok" : "";
  for (size_t k = 0; k < q.findings.size(); ++k) {
    q.status += (k ? "; " : "") + q.findings[k].code;
  }
  if (withSeries) {
    q.series = classicSeries(h, values, static_cast<int>(options.theoreticalOrder), r.Fs, classic);
  }
  return q;
}

StudyResult runStudy(const StudyCase& input, const StudyOptions& options) {
  StudyResult out;
  out.input = &input;
  out.theoreticalOrder = options.order.value_or(input.theoreticalOrder.value_or(2.0));
  out.safetyFactor = options.fs.value_or(input.safetyFactor.value_or(kNotANumber));
  const double p = out.theoreticalOrder;
  const bool integerOrder = p == std::floor(p) && std::fabs(p) < 1000;
  if (!integerOrder) {
    out.seriesNote = "the series over all grids needs an integer theoretical order";
  }
  StandardOptions standard{.theoreticalOrder = p, .safetyFactor = out.safetyFactor};
  out.quantities.reserve(input.quantities.size());
  for (const Quantity& q : input.quantities) {
    out.quantities.push_back(
        studyQuantity(q.name, input.h, q.values, q.exact, standard, integerOrder, input.classic));
  }
  return out;
}

}  // namespace kv::study
