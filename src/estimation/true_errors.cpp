#include "estimation/true_errors.h"

#include "estimation/numerics.h"

namespace kv {

namespace {

// Forms pE(i) for i = firstGrid..N from the true errors E.
void effectiveOrder(const GridSeries& g, const GridArray<double>& E, int firstGrid, bool testMarker,
                    GridArray<double>& pE) {
  for (int i = firstGrid; i <= g.count; ++i) {
    if (E(i) == 0.0) continue;
    double R = E(i - 1) / E(i);
    if (!(R > 0.0)) continue;
    if (testMarker && !(E(i) < definedLimit)) continue;
    double r21 = g.h(i - 1) / g.h(i);
    pE(i) = log10(R) / log10(r21);
  }
}

}  // namespace

void computeTrueErrors(Run& run) {
  GridSeries& g = run.grid;
  const int N = g.count;
  const double exact = run.params.exactValue;
  for (int i = 1; i <= N; ++i) g.E_Th(i) = exact - g.Th(i);
  for (int i = 2; i <= N; ++i) g.E_Ti_12(i) = exact - g.Ti_12(i);
  for (int i = 3; i <= N; ++i) {
    g.E_Ti_23(i) = exact - g.Ti_23(i);
    g.E_Ti_13(i) = exact - g.Ti_13(i);
    g.E_Ti_bi(i) = exact - g.Ti_bi(i);
    if (g.Ti_pU(i) > definedLimit) {
      g.E_Ti_pU(i) = undefinedValue;
      g.E_Tc_12(i) = undefinedValue;
      g.E_Tc_13(i) = undefinedValue;
    } else {
      g.E_Ti_pU(i) = exact - g.Ti_pU(i);
      g.E_Tc_12(i) = exact - g.Tc_12(i);
      g.E_Tc_13(i) = exact - g.Tc_13(i);
    }
  }
  for (int i = 4; i <= N; ++i) g.E_Ti_tri(i) = exact - g.Ti_tri(i);
  for (int i = 5; i <= N; ++i) {
    g.E_Tbi_pU(i) = g.Tbi_pU(i) > definedLimit ? undefinedValue : exact - g.Tbi_pU(i);
  }
}

void computeEffectiveOrders(Run& run) {
  GridSeries& g = run.grid;
  effectiveOrder(g, g.E_Th, 2, false, g.pE_Th);
  effectiveOrder(g, g.E_Ti_pU, 4, true, g.pE_Ti_pU);
  effectiveOrder(g, g.E_Tc_12, 4, true, g.pE_Tc_12);
  effectiveOrder(g, g.E_Tc_13, 4, true, g.pE_Tc_13);
  effectiveOrder(g, g.E_Tbi_pU, 6, true, g.pE_Tbi_pU);
}

}  // namespace kv
