// What a verification engineer reports about one quantity once the standard procedure has run:
// which uncertainty estimates apply to its triplet, and the findings (a short status code and a
// one-sentence message each) for the bits of StandardResult::warnings and the failures of the
// observed order. One table holds every code and message, so that the study's outputs agree.
//
// Which estimate applies (grid 1 the finest, three grids or more):
//   u_gci     monotonic or oscillatory convergence with an observed order (standardProcedure);
//   u_gci_th  beside u_gci when the observed order is not to be trusted (showConservativeGci):
//             p outside [p_th / 2, 2 p_th], or the convergence not monotonic;
//   u_cf, u_fs   monotonic convergence only: both rest on delta_RE = eps21 / (r21^p - 1), a
//             monotonic error expansion; an oscillating triplet has none;
//   u_osc     oscillatory convergence only: half the range of phi1, phi2, phi3.
//
// Free functions; no state, safe to call from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "estimation/standard_procedure.h"
#include "estimation/uncertainty.h"

namespace kv {

// p outside [p_th / 2, 2 p_th] or no observed order, or a type other than monotonic
// convergence; and a conservative index exists to show: three grids or more, the ratio not near
// 1, something changed beyond noise. (With two grids u_gci already uses p_th and Fs = 3.)
bool showConservativeGci(const StandardResult& r, double pTh);

// The estimates for the triplet of r, nothing where they do not apply (above).
std::optional<CorrectionFactorEstimate> correctionFactorFor(const StandardResult& r, double pTh);
std::optional<FactorOfSafetyEstimate> factorOfSafetyFor(const StandardResult& r, double pTh);
std::optional<double> oscillationUncertaintyFor(const StandardResult& r);

// One row of the table of findings: the warning bit, the short code printed in status columns
// (no ';', which separates codes there) and the message, from the result and p_th.
struct StatusText {
  uint32_t bit;
  std::string_view code;
  std::string (*message)(const StandardResult& r, double pTh);
};

// Every bit of Warning, in the order the findings are reported.
std::span<const StatusText> statusTexts();

struct StatusFinding {
  std::string_view code;  // a code of the table, or the text of an order failure (static)
  std::string message;    // empty when not asked for
};

// The findings of r in report order: first the failure of the observed order when no bit
// explains it (not for None, TwoGrids, WithinNoise, RatioNearOne), then each bit set.
std::vector<StatusFinding> statusFindings(const StandardResult& r, double pTh);
// The same appended to `out`; without `messages` only the codes (the points of a field keep no
// messages: composing them would cost more than the rest of the point's study).
void appendStatusFindings(const StandardResult& r, double pTh, bool messages, std::vector<StatusFinding>& out);

}  // namespace kv
