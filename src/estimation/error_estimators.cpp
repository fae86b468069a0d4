#include "estimation/error_estimators.h"

#include <cmath>

#include "base/numerics.h"
#include "estimation/grid_view.h"

namespace kv {

void computeErrorEstimators(GridSeries& g) {
  const int N = g.count;
  for (int i = 2; i <= N; ++i) g.Ud(i) = std::fabs(g.Th(i) - g.Th(i - 1));
  for (int i = 2; i <= N; ++i) g.Uri_12(i) = g.Ti_12(i) - g.Th(i);
  for (int i = 3; i <= N; ++i) {
    g.Uri_13(i) = g.Ti_13(i) - g.Th(i);
    g.Uri_23(i) = g.Ti_23(i) - g.Th(i);
    g.Uri_bi(i) = g.Ti_bi(i) - g.Th(i);
    if (isUndefined(g.Ti_pU(i))) {
      g.Uri_pU(i) = undefinedValue;
      g.Uri_p(i) = undefinedValue;
      g.Uc_12(i) = undefinedValue;
      g.Uc_13(i) = undefinedValue;
      continue;
    }
    g.Uri_pU(i) = g.Ti_pU(i) - g.Th(i);
    double M = std::fabs(g.Uri_12(i));
    if (std::fabs(g.Uri_pU(i)) > M) M = std::fabs(g.Uri_pU(i));
    g.Uri_p(i) = g.Th(i) - g.Th(i - 1) < 0.0 ? -M : M;
    g.Uc_12(i) = std::fabs(g.Ti_12(i) - g.Ti_pU(i)) * 0.5;
    g.Uc_13(i) = std::fabs(g.Ti_13(i) - g.Ti_pU(i)) * 0.5;
  }
  for (int i = 4; i <= N; ++i) g.Uri_tri(i) = g.Ti_tri(i) - g.Th(i);
}

void gridConvergenceIndices(double Fs, int32_t pL, std::span<const double> hs,
                            std::span<const double> Ths, std::span<const double> pU_Ths,
                            std::span<const double> Ti_pUs, std::span<double> GCI_pLs,
                            std::span<double> GCI_ps) {
  const int N = static_cast<int>(hs.size());
  GridView h(hs), Th(Ths), pU_Th(pU_Ths), Ti_pU(Ti_pUs);
  GridView GCI_pL(GCI_pLs), GCI_p(GCI_ps);
  for (int i = 2; i <= N; ++i) {
    double r21 = h(i - 1) / h(i);
    GCI_pL(i) = Fs * std::fabs(Th(i) - Th(i - 1)) / (integerPower(r21, pL) - 1.0);
  }
  for (int i = 3; i <= N; ++i) {
    if (isUndefined(Ti_pU(i))) {
      GCI_p(i) = undefinedValue;
      continue;
    }
    double r21 = h(i - 1) / h(i);
    double pLReal = pL;
    double p = pLReal <= pU_Th(i) ? pLReal : pU_Th(i);
    GCI_p(i) = Fs * std::fabs(Th(i) - Th(i - 1)) / (realPower(r21, p) - 1.0);
  }
}

void computeGci(const EstimationParameters& params, GridSeries& g) {
  gridConvergenceIndices(params.Fs, params.pL, g.h.span(), g.Th.span(), g.pU_Th.span(),
                         g.Ti_pU.span(), g.GCI_pL.span(), g.GCI_p.span());
}

}  // namespace kv
