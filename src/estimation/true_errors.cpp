#include "estimation/true_errors.h"

#include "base/numerics.h"
#include "estimation/grid_view.h"

namespace kv {

void trueError(double exact, std::span<const double> Xs, int firstGrid,
               std::span<const double> guards, std::span<double> Es) {
  const int N = static_cast<int>(Xs.size());
  GridView X(Xs), guard(guards);
  GridView E(Es);
  for (int i = firstGrid; i <= N; ++i) {
    E(i) = !guards.empty() && isUndefined(guard(i)) ? undefinedValue : exact - X(i);
  }
}

void effectiveOrder(std::span<const double> hs, std::span<const double> Es, int firstGrid,
                    bool testMarker, std::span<double> pEs) {
  const int N = static_cast<int>(hs.size());
  GridView h(hs), E(Es);
  GridView pE(pEs);
  for (int i = firstGrid; i <= N; ++i) {
    if (E(i) == 0.0) continue;
    double R = E(i - 1) / E(i);
    if (!(R > 0.0)) continue;
    if (testMarker && !isDefined(E(i))) continue;
    double r21 = h(i - 1) / h(i);
    pE(i) = log10(R) / log10(r21);
  }
}

void computeTrueErrors(double exact, GridSeries& g) {
  const std::span<const double> none;
  trueError(exact, g.Th.span(), 1, none, g.E_Th.span());
  trueError(exact, g.Ti_12.span(), 2, none, g.E_Ti_12.span());
  trueError(exact, g.Ti_23.span(), 3, none, g.E_Ti_23.span());
  trueError(exact, g.Ti_13.span(), 3, none, g.E_Ti_13.span());
  trueError(exact, g.Ti_bi.span(), 3, none, g.E_Ti_bi.span());
  trueError(exact, g.Ti_pU.span(), 3, g.Ti_pU.span(), g.E_Ti_pU.span());
  trueError(exact, g.Tc_12.span(), 3, g.Ti_pU.span(), g.E_Tc_12.span());
  trueError(exact, g.Tc_13.span(), 3, g.Ti_pU.span(), g.E_Tc_13.span());
  trueError(exact, g.Ti_tri.span(), 4, none, g.E_Ti_tri.span());
  trueError(exact, g.Tbi_pU.span(), 5, g.Tbi_pU.span(), g.E_Tbi_pU.span());
}

void computeEffectiveOrders(GridSeries& g) {
  const auto h = g.h.span();
  effectiveOrder(h, g.E_Th.span(), 2, false, g.pE_Th.span());
  effectiveOrder(h, g.E_Ti_pU.span(), 4, true, g.pE_Ti_pU.span());
  effectiveOrder(h, g.E_Tc_12.span(), 4, true, g.pE_Tc_12.span());
  effectiveOrder(h, g.E_Tc_13.span(), 4, true, g.pE_Tc_13.span());
  effectiveOrder(h, g.E_Tbi_pU.span(), 6, true, g.pE_Tbi_pU.span());
}

}  // namespace kv
