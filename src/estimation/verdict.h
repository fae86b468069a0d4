// What a verification engineer reports about one quantity once the standard procedure has run:
// which uncertainty estimates apply to its triplet, and the findings (a short status code and a
// one-sentence message each) for the bits of StandardResult::warnings and the failures of the
// observed order. One table holds every finding of the study, the standard procedure's, least
// squares' and the space-time fits', with its code, its message and its severity, so that the
// study's outputs agree.
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

#include "estimation/least_squares.h"
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

// Every finding, in the order of the table.
enum class FindingId : uint8_t {
  // The standard procedure's, one per bit of StandardResult::warnings, in report order.
  ratioNearOne,
  withinNoise,
  smallRatio,
  oscillatory,
  orderFarOff,
  outsideCalibration,
  asymptoticFarOff,
  ordersApproach,
  phiNearZero,
  // Least squares': the free order on an end of its bracket.
  leastSquaresOrderAtBracketEnd,
  // The space-time fits' (space_time.h, where they are SpaceTimeWarningCode).
  orderRange,
  assumedOrder,
  fewRuns,
  noOrder,
  noChange,
  scatter,
  gridDominates,
  timeDominates,
  iterativeError,
  // A table's: values missing on so many grids that fewer than three remain.
  missingValues,
};

// A warning: the result should not be trusted as it stands (no estimate, or one resting on grids,
// data or an order that do not support it, or used outside its calibration). Info: how the
// result was reached (a conservative choice the procedure made by itself) or what to do next;
// the result stands.
enum class FindingSeverity : uint8_t { info, warning };

// What a message is worded from: the quantity's standard-procedure result and p_th, and its
// least-squares result where it has one.
struct FindingContext {
  const StandardResult* standard = nullptr;
  double pTh = 0.0;
  const LeastSquaresResult* leastSquares = nullptr;
  int caseGrids = 0;  // the grids of the case, of which the standard procedure had standard->grids
};

// One row of the table of findings: the finding, its warning bit (the standard procedure's; 0 for
// the others), the short code printed in status columns (no ';', which separates codes there),
// its severity and its message. The space-time fits word their messages themselves, with the
// numbers of the fit that raised them: their rows have no message (null).
struct StatusText {
  FindingId id;
  uint32_t bit;
  std::string_view code;
  FindingSeverity severity;
  std::string (*message)(const FindingContext& c);
};

// The whole table, row k the finding of id k.
std::span<const StatusText> findingTexts();
const StatusText& findingText(FindingId id);
// The severity of a finding by its code; a code that is no row of the table (the failure of the
// observed order, the interpolation's words of a mesh field) is a warning: the point has no
// order or no value from some grid. "warning" or "info".
FindingSeverity findingSeverity(std::string_view code);
std::string_view severityName(FindingSeverity severity);
// The standard procedure's rows: every bit of Warning, in the order the findings are reported.
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
// The findings of a least-squares result that its numbers do not say by themselves (its free
// order on an end of the bracket), appended to `out` in the same way.
void appendLeastSquaresFindings(const LeastSquaresResult& ls, bool messages,
                                std::vector<StatusFinding>& out);

}  // namespace kv
