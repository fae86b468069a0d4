#include "estimation/error_estimators.h"

#include <cmath>

#include "estimation/numerics.h"

namespace kv {

void computeErrorEstimators(Run& run) {
  GridSeries& g = run.grid;
  const int N = g.count;
  for (int i = 2; i <= N; ++i) g.Ud(i) = std::fabs(g.Th(i) - g.Th(i - 1));
  for (int i = 2; i <= N; ++i) g.Uri_12(i) = g.Ti_12(i) - g.Th(i);
  for (int i = 3; i <= N; ++i) {
    g.Uri_13(i) = g.Ti_13(i) - g.Th(i);
    g.Uri_23(i) = g.Ti_23(i) - g.Th(i);
    g.Uri_bi(i) = g.Ti_bi(i) - g.Th(i);
    if (g.Ti_pU(i) > definedLimit) {
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

void computeGci(Run& run) {
  const RunParameters& params = run.params;
  GridSeries& g = run.grid;
  const int N = g.count;
  for (int i = 2; i <= N; ++i) {
    double r21 = g.h(i - 1) / g.h(i);
    g.GCI_pL(i) =
        params.Fs * std::fabs(g.Th(i) - g.Th(i - 1)) / (integerPower(r21, params.pL) - 1.0);
  }
  for (int i = 3; i <= N; ++i) {
    if (g.Ti_pU(i) > definedLimit) {
      g.GCI_p(i) = undefinedValue;
      continue;
    }
    double r21 = g.h(i - 1) / g.h(i);
    double pL = params.pL;
    double p = pL <= g.pU_Th(i) ? pL : g.pU_Th(i);
    g.GCI_p(i) = params.Fs * std::fabs(g.Th(i) - g.Th(i - 1)) / (realPower(r21, p) - 1.0);
  }
}

}  // namespace kv
