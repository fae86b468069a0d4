#include "estimation/extrapolation.h"

#include <cstdint>

#include "base/numerics.h"
#include "estimation/apparent_order.h"
#include "estimation/grid_view.h"

namespace kv {

void fixedOrderExtrapolations(int32_t pL, std::span<const double> hs, std::span<const double> Ths,
                              std::span<double> Ti_12s, std::span<double> Ti_23s,
                              std::span<double> Ti_13s) {
  const int N = static_cast<int>(hs.size());
  GridView h(hs), Th(Ths);
  GridView Ti_12(Ti_12s), Ti_23(Ti_23s), Ti_13(Ti_13s);
  for (int i = 2; i <= N; ++i) {
    double r21 = h(i - 1) / h(i);
    Ti_12(i) = Th(i) + (Th(i) - Th(i - 1)) / (integerPower(r21, pL) - 1.0);
  }
  for (int i = 3; i <= N; ++i) {
    double r21 = h(i - 1) / h(i);
    double r32 = h(i - 2) / h(i - 1);
    double r31 = r21 * r32;
    Ti_23(i) = Th(i - 1) + (Th(i - 1) - Th(i - 2)) / (integerPower(r32, pL) - 1.0);
    Ti_13(i) = Th(i) + (Th(i) - Th(i - 2)) / (integerPower(r31, pL) - 1.0);
  }
}

void observedOrderExtrapolation(std::span<const double> hs, std::span<const double> Xs,
                                std::span<const double> pUs, int firstGrid,
                                std::span<double> Ys) {
  const int N = static_cast<int>(hs.size());
  GridView h(hs), X(Xs), pU(pUs);
  GridView Y(Ys);
  for (int i = firstGrid; i <= N; ++i) {
    if (isDefinedOrder(pU(i))) {
      double r21 = h(i - 1) / h(i);
      Y(i) = X(i) + (X(i) - X(i - 1)) / (realPower(r21, pU(i)) - 1.0);
    } else {
      Y(i) = undefinedValue;
    }
  }
}

void convergentValues(std::span<const double> pU_Ths, std::span<const double> Ti_12s,
                      std::span<const double> Ti_13s, std::span<const double> Ti_pUs,
                      std::span<double> Tc_12s, std::span<double> Tc_13s) {
  const int N = static_cast<int>(pU_Ths.size());
  GridView pU_Th(pU_Ths), Ti_12(Ti_12s), Ti_13(Ti_13s), Ti_pU(Ti_pUs);
  GridView Tc_12(Tc_12s), Tc_13(Tc_13s);
  for (int i = 3; i <= N; ++i) {
    if (isDefinedOrder(pU_Th(i))) {
      Tc_12(i) = (Ti_12(i) + Ti_pU(i)) * 0.5;
      Tc_13(i) = (Ti_13(i) + Ti_pU(i)) * 0.5;
    } else {
      Tc_12(i) = undefinedValue;
      Tc_13(i) = undefinedValue;
    }
  }
}

void twoTermExtrapolation(int32_t pL, int32_t deltaP, std::span<const double> hs,
                          std::span<const double> Ths, std::span<double> Ti_bis) {
  const int N = static_cast<int>(hs.size());
  if (N < 3) return;  // no grid to extrapolate (and with N < 2 no h(2) to form r from)
  GridView h(hs), Th(Ths);
  GridView Ti_bi(Ti_bis);
  const double r = h(1) / h(2);
  const double A = integerPower(r, wrapToInt32(2 * int64_t{pL} + deltaP));
  const double B = integerPower(r, deltaP) + 1.0;
  const double K = -(integerPower(r, pL) * B);
  const double D = K + A + 1.0;
  for (int i = 3; i <= N; ++i) Ti_bi(i) = (A * Th(i) + K * Th(i - 1) + Th(i - 2)) / D;
}

void threeTermExtrapolation(int32_t pL, int32_t deltaP, std::span<const double> hs,
                            std::span<const double> Ths, std::span<double> Ti_tris) {
  const int N = static_cast<int>(hs.size());
  if (N < 4) return;
  GridView h(hs), Th(Ths);
  GridView Ti_tri(Ti_tris);
  const double r = h(1) / h(2);
  const double y = integerPower(r, pL);
  const double s = integerPower(r, deltaP);
  const double y2 = integerPower(y, 2);
  const double y3 = integerPower(y, 3);
  const double s2 = integerPower(s, 2);
  const double s3 = integerPower(s, 3);
  const double G = s3 - s2 - s + 1.0;
  const double H = integerPower(s, 6) - integerPower(s, 5) - integerPower(s, 4) + s2 + s - 1.0;
  const double c1 = ((1.0 - s2) * y * G + y * H) * y2 * s;
  const double c2 = y * ((s3 - 1.0) * y * G - (s + 1.0) * y * H);
  const double c3 = y * H;
  const double c4 = (1.0 - s) * G;
  const double D =
      (y2 * s + 1.0 - y * s - y) * y * H + (y2 * s3 + y3 * s + 1.0 - y3 * s3 - y2 - s) * G;
  for (int i = 4; i <= N; ++i) {
    Ti_tri(i) = (c1 * Th(i) + c2 * Th(i - 1) + c3 * Th(i - 2) + c4 * Th(i - 3)) / D;
  }
}

void computeExtrapolations(const EstimationParameters& params, GridSeries& g) {
  const auto h = g.h.span();
  apparentOrder(params, h, g.Th.span(), 3, g.pU_Th.span(), g.it_pU_Th.span());
  fixedOrderExtrapolations(params.pL, h, g.Th.span(), g.Ti_12.span(), g.Ti_23.span(),
                           g.Ti_13.span());
  observedOrderExtrapolation(h, g.Th.span(), g.pU_Th.span(), 3, g.Ti_pU.span());
  convergentValues(g.pU_Th.span(), g.Ti_12.span(), g.Ti_13.span(), g.Ti_pU.span(),
                   g.Tc_12.span(), g.Tc_13.span());
  apparentOrder(params, h, g.Ti_pU.span(), 5, g.pU_Ti_pU.span(), g.it_pU_Ti_pU.span());
  apparentOrder(params, h, g.Tc_12.span(), 5, g.pU_Tc_12.span(), g.it_pU_Tc_12.span());
  apparentOrder(params, h, g.Tc_13.span(), 5, g.pU_Tc_13.span(), g.it_pU_Tc_13.span());
  observedOrderExtrapolation(h, g.Ti_pU.span(), g.pU_Ti_pU.span(), 5, g.Tbi_pU.span());
  apparentOrder(params, h, g.Tbi_pU.span(), 7, g.pU_Tbi_pU.span(), g.it_pU_Tbi_pU.span());
}

void twoTermExtrapolation(const EstimationParameters& params, GridSeries& g) {
  twoTermExtrapolation(params.pL, params.deltaP, g.h.span(), g.Th.span(), g.Ti_bi.span());
}

void threeTermExtrapolation(const EstimationParameters& params, GridSeries& g) {
  threeTermExtrapolation(params.pL, params.deltaP, g.h.span(), g.Th.span(), g.Ti_tri.span());
}

}  // namespace kv
