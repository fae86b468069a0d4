#include "estimation/verdict.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <iterator>

#include "estimation/order_search.h"
#include "text/number.h"

namespace kv {

namespace {

std::string number(double value) { return formatNumber(value, "%.4g"); }
std::string percent(double fraction) { return formatNumber(100.0 * fraction, "%.3g %%"); }

std::string ratios(const StandardResult& r, const char* format) {
  std::string text = "r21 = " + formatNumber(r.r21, format);
  if (r.r32 == r.r32) text += ", r32 = " + formatNumber(r.r32, format);
  return text;
}

// "finest first: 2.31, 1.52, -": the kept orders of successive triplets.
std::string orders(const AsymptoticEvidence& e) {
  std::string text = "finest first: ";
  const int kept = e.triplets < AsymptoticEvidence::kKept ? e.triplets : AsymptoticEvidence::kKept;
  for (int k = 0; k < kept; ++k) {
    const double p = e.orders[static_cast<size_t>(k)];
    text += (k ? ", " : "") + (p == p ? formatNumber(p, "%.3g") : std::string("-"));
  }
  if (e.triplets > kept) text += ", ...";
  return text;
}

std::string conservative(const StandardResult& r, double pTh) {
  const std::optional<double> u = conservativeGciUncertainty(r.eps21, r.r21, pTh);
  return percent(r.gciConservative) + (u ? " (u_gci_th = " + number(*u) + ")" : std::string());
}

bool monotonicWithOrder(const StandardResult& r) {
  return r.grids >= 3 && r.convergence == ConvergenceType::MonotonicConvergence && r.hasOrder();
}

const char* const kAdviceApart = "make successive grids further apart (r >= 1.3)";

// Severities: a finding that leaves no estimate, or one the standard procedure's grids or order
// do not support, or figures that mean nothing (relative errors of a phi1 near zero), is a
// warning; within-noise (nothing measurable changes: the quantity is
// converged to its noise) and orders-approach (a note of progress) are info. Least squares'
// bracket end and the space-time order-range, assumed-order and few-runs findings are info: the
// procedure has already fallen back on a fixed order or Fs = 3, a conservative estimate; so are
// no-change (an error taken as zero because the values do not move) and the dominance advice.
// No-order (no U), scatter (the data do not follow the model) and iterative-error (the runs'
// differences unresolved) are warnings, and so are missing values that leave a quantity of a
// table fewer than three grids (no observed order).
constexpr StatusText kFindings[] = {
    {FindingId::ratioNearOne, kWarnRatioNearOne, "ratio~1", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       return "refinement ratio within " + formatNumber(kMinRatioExcess, "%g") + " of 1 (" +
              ratios(r, "%.10g") +
              "): the grids are practically the same and the order equation divides by "
              "ln r ~ r - 1, so no observed order, extrapolation or GCI is given; " +
              kAdviceApart;
     }},
    {FindingId::withinNoise, kWarnWithinNoise, "within-noise", FindingSeverity::info,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       std::string changes = "|eps21| = " + number(std::fabs(r.eps21));
       if (r.eps32 == r.eps32) changes += ", |eps32| = " + number(std::fabs(r.eps32));
       return "every change between grids is within the noise floor (" + changes + ", floor " +
              number(r.noiseFloor) +
              ": 64 units in the last place of the values, or the given noise level): refining "
              "changes nothing measurable, so no order, extrapolation or GCI is given; the "
              "noise level bounds what these grids can show";
     }},
    {FindingId::smallRatio, kWarnSmallRatio, "ratio<1.3", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       return "refinement ratio below 1.3 (" + ratios(r, "%.4g") +
              "): the standard procedure asks for r > 1.3 so that the discretisation error "
              "stands out from other errors; " +
              kAdviceApart;
     }},
    {FindingId::oscillatory, kWarnOscillatory, "oscillatory", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       const std::string values =
           "phi1 = " + number(r.phi1) + ", phi2 = " + number(r.phi2) + ", phi3 = " + number(r.phi3);
       const std::optional<double> u = oscillationUncertaintyFor(r);
       if (!u) {
         return "the values oscillate and the oscillation grows as the grids get finer (" + values +
                "): no estimate of the discretisation error applies; check iterative "
                "convergence and the grids";
       }
       return "the values oscillate (" + values +
              "): the correction-factor and factor-of-safety estimates do not apply; the "
              "oscillation uncertainty, half the range of the three finest values "
              "(Stern et al. 2001), is u_osc = " +
              number(*u);
     }},
    {FindingId::orderFarOff, kWarnOrderFarOff, "p far from theory", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       const double pTh = c.pTh;
       return "observed order p = " + number(r.p) + " is outside [" + formatNumber(0.5 * pTh, "%g") +
              ", " + formatNumber(2.0 * pTh, "%g") + "] (half to twice the theoretical " +
              formatNumber(pTh, "%g") +
              "): the GCI with this p is not reliable; the conservative GCI with the "
              "theoretical order and Fs = 3 is " +
              conservative(r, pTh);
     }},
    {FindingId::outsideCalibration, kWarnOutsideCalibration, "CF/FS outside calibration",
     FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       const double pTh = c.pTh;
       const double cf = (std::pow(r.r21, r.p) - 1.0) / (std::pow(r.r21, pTh) - 1.0);
       const double orderRatio = r.p / pTh;
       std::string outside;
       if (!correctionFactorCalibrated(cf)) {
         outside = "the correction factor C = " + number(cf) +
                   " is outside 0 < C <= 2, where u_cf (Stern et al. 2001) is taken as calibrated";
       }
       if (!factorOfSafetyCalibrated(orderRatio)) {
         outside += std::string(outside.empty() ? "" : ", and ") +
                    "P = p / p_th = " + number(orderRatio) + " is outside [" +
                    formatNumber(kCalibratedOrderRatioMin, "%g") + ", " +
                    formatNumber(kCalibratedOrderRatioMax, "%g") +
                    "], where u_fs (Xing & Stern 2010) is taken as calibrated";
       }
       return outside +
              ": there the estimate extrapolates, and the conservative GCI with the theoretical "
              "order and Fs = 3, " +
              conservative(r, pTh) + ", is the defensible bound";
     }},
    {FindingId::asymptoticFarOff, kWarnAsymptoticFarOff, "not asymptotic", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       const double pTh = c.pTh;
       return "the observed orders of successive triplets of grids (" + orders(r.evidence) +
              ") spread by " + percent(r.evidence.spread) +
              " of their mean and do not approach the theoretical " + formatNumber(pTh, "%g") +
              ": the grids are not in the asymptotic range, so the error estimate is not "
              "dependable; check iterative convergence, then add a finer grid (the published "
              "ratio GCI_coarse32 / (r21^p GCI_fine21) = " +
              number(r.asymptoticRatio) +
              " is no evidence either way: for a monotonic triplet it equals phi1/phi2 "
              "whatever the data)";
     }},
    {FindingId::ordersApproach, kNoteOrdersApproach, "orders approach p_th", FindingSeverity::info,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       const double pTh = c.pTh;
       return "the observed orders of successive triplets of grids (" + orders(r.evidence) +
              ") approach the theoretical " + formatNumber(pTh, "%g") +
              " as the grids get finer: the finest grids are entering the asymptotic range, "
              "and a finer grid would confirm it";
     }},
    {FindingId::phiNearZero, kWarnPhiNearZero, "phi1 near 0", FindingSeverity::warning,
     [](const FindingContext& c) {
       const StandardResult& r = *c.standard;
       return "phi1 = " + number(r.phi1) +
              " is near zero beside the other values: relative errors are meaningless; "
              "absolute ones: |eps21| = " +
              number(std::fabs(r.eps21)) +
              ", GCI_fine21 |phi1| = Fs |eps21| / (r21^p - 1) = " + number(r.gciFine21Absolute);
     }},
    {FindingId::leastSquaresOrderAtBracketEnd, 0, "ls order at bracket end", FindingSeverity::info,
     [](const FindingContext&) {
       return "the least-squares free order lies at an end of its bracket [" +
              formatNumber(kOrderMin, "%g") + ", " + formatNumber(kOrderMax, "%g") +
              "]: no order fits the data; the least-squares U rests on the fixed-order fits";
     }},
    {FindingId::orderRange, 0, "order-range", FindingSeverity::info, nullptr},
    {FindingId::assumedOrder, 0, "assumed-order", FindingSeverity::info, nullptr},
    {FindingId::fewRuns, 0, "few-runs", FindingSeverity::info, nullptr},
    {FindingId::noOrder, 0, "no-order", FindingSeverity::warning, nullptr},
    {FindingId::noChange, 0, "no-change", FindingSeverity::info, nullptr},
    {FindingId::scatter, 0, "scatter", FindingSeverity::warning, nullptr},
    {FindingId::gridDominates, 0, "grid-dominates", FindingSeverity::info, nullptr},
    {FindingId::timeDominates, 0, "time-dominates", FindingSeverity::info, nullptr},
    {FindingId::iterativeError, 0, "iterative-error", FindingSeverity::warning, nullptr},
    {FindingId::missingValues, 0, "missing values", FindingSeverity::warning,
     [](const FindingContext& c) {
       const int grids = c.standard->grids;
       return "a value on only " + std::to_string(grids) + " of the " + std::to_string(c.caseGrids) +
              " grids (the other fields are empty): " +
              (grids == 2 ? "no observed order, and the GCI rests on the theoretical order and Fs = 3"
                          : "nothing can be estimated") +
              "; give the values of three grids or more";
     }},
};

constexpr bool rowsInIdOrder() {
  for (std::size_t k = 0; k < std::size(kFindings); ++k) {
    if (kFindings[k].id != static_cast<FindingId>(k)) return false;
  }
  return std::size(kFindings) == static_cast<std::size_t>(FindingId::missingValues) + 1;
}
static_assert(rowsInIdOrder(), "one row per finding, in the order of FindingId");
// The standard procedure's rows come first.
constexpr std::size_t kStandardRows =
    static_cast<std::size_t>(FindingId::leastSquaresOrderAtBracketEnd);

}  // namespace

bool showConservativeGci(const StandardResult& r, double pTh) {
  if (r.grids < 3 || r.order.failure == OrderFailure::RatioNearOne ||
      r.convergence == ConvergenceType::NoChange || r.convergence == ConvergenceType::WithinNoise ||
      !conservativeGciUncertainty(r.eps21, r.r21, pTh)) {
    return false;
  }
  return !monotonicWithOrder(r) || !(r.p >= 0.5 * pTh && r.p <= 2.0 * pTh);
}

std::optional<CorrectionFactorEstimate> correctionFactorFor(const StandardResult& r, double pTh) {
  if (!monotonicWithOrder(r)) return std::nullopt;
  return correctionFactorUncertainty(r.eps21, r.r21, r.p, pTh);
}

std::optional<FactorOfSafetyEstimate> factorOfSafetyFor(const StandardResult& r, double pTh) {
  if (!monotonicWithOrder(r)) return std::nullopt;
  return factorOfSafetyUncertainty(r.eps21, r.r21, r.p, pTh);
}

std::optional<double> oscillationUncertaintyFor(const StandardResult& r) {
  if (r.grids < 3 || r.convergence != ConvergenceType::OscillatoryConvergence) {
    return std::nullopt;
  }
  return oscillationUncertainty(r.phi1, r.phi2, r.phi3);
}

std::span<const StatusText> findingTexts() { return kFindings; }

const StatusText& findingText(FindingId id) { return kFindings[static_cast<std::size_t>(id)]; }

FindingSeverity findingSeverity(std::string_view code) {
  for (const StatusText& row : kFindings) {
    if (row.code == code) return row.severity;
  }
  return FindingSeverity::warning;
}

std::string_view severityName(FindingSeverity severity) {
  return severity == FindingSeverity::warning ? "warning" : "info";
}

std::span<const StatusText> statusTexts() {
  return std::span<const StatusText>(kFindings).first(kStandardRows);
}

void appendStatusFindings(const StandardResult& r, double pTh, bool messages, std::vector<StatusFinding>& out) {
  const OrderFailure failure = r.order.failure;
  if (failure != OrderFailure::None && failure != OrderFailure::TwoGrids &&
      failure != OrderFailure::WithinNoise && failure != OrderFailure::RatioNearOne) {
    const std::string_view text = orderFailureText(failure);
    out.push_back({text, messages ? std::string(text) + ": no extrapolation and no GCI; see the series over all grids"
                                  : std::string()});
  }
  if (r.warnings == 0) return;
  const FindingContext context{&r, pTh, nullptr};
  for (const StatusText& s : statusTexts()) {
    if (r.warnings & s.bit) out.push_back({s.code, messages ? s.message(context) : std::string()});
  }
}

void appendLeastSquaresFindings(const LeastSquaresResult& ls, bool messages,
                                std::vector<StatusFinding>& out) {
  if (!ls.pAtBracketEnd) return;
  const StatusText& s = findingText(FindingId::leastSquaresOrderAtBracketEnd);
  out.push_back({s.code, messages ? s.message({nullptr, 0.0, &ls}) : std::string()});
}

std::vector<StatusFinding> statusFindings(const StandardResult& r, double pTh) {
  std::vector<StatusFinding> findings;
  appendStatusFindings(r, pTh, true, findings);
  return findings;
}

}  // namespace kv
