#include "estimation/extrapolation.h"

#include <cstdint>

#include "estimation/apparent_order.h"
#include "estimation/numerics.h"

namespace kv {

namespace {

// An order sum such as 2 pL + deltaP, formed in 64 bits and wrapped to 32 like every other
// order, so that extreme inputs give a wrong power instead of an integer overflow.
int32_t wrappedOrder(int64_t order) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(order)));
}

}  // namespace

bool isDefinedOrder(double p) { return p > 0.0 && p <= definedLimit; }

void computeExtrapolations(Run& run) {
  const RunParameters& params = run.params;
  GridSeries& g = run.grid;
  const int N = g.count;
  const int32_t pL = params.pL;

  apparentOrder(params, N, g.Th, g.h, 3, g.pU_Th, g.it_pU_Th);

  for (int i = 2; i <= N; ++i) {
    double r21 = g.h(i - 1) / g.h(i);
    g.Ti_12(i) = g.Th(i) + (g.Th(i) - g.Th(i - 1)) / (integerPower(r21, pL) - 1.0);
  }

  for (int i = 3; i <= N; ++i) {
    double r21 = g.h(i - 1) / g.h(i);
    double r32 = g.h(i - 2) / g.h(i - 1);
    double r31 = r21 * r32;
    g.Ti_23(i) = g.Th(i - 1) + (g.Th(i - 1) - g.Th(i - 2)) / (integerPower(r32, pL) - 1.0);
    g.Ti_13(i) = g.Th(i) + (g.Th(i) - g.Th(i - 2)) / (integerPower(r31, pL) - 1.0);
    if (isDefinedOrder(g.pU_Th(i))) {
      g.Ti_pU(i) = g.Th(i) + (g.Th(i) - g.Th(i - 1)) / (realPower(r21, g.pU_Th(i)) - 1.0);
      g.Tc_12(i) = (g.Ti_12(i) + g.Ti_pU(i)) * 0.5;
      g.Tc_13(i) = (g.Ti_13(i) + g.Ti_pU(i)) * 0.5;
    } else {
      g.Ti_pU(i) = undefinedValue;
      g.Tc_12(i) = undefinedValue;
      g.Tc_13(i) = undefinedValue;
    }
  }

  apparentOrder(params, N, g.Ti_pU, g.h, 5, g.pU_Ti_pU, g.it_pU_Ti_pU);
  apparentOrder(params, N, g.Tc_12, g.h, 5, g.pU_Tc_12, g.it_pU_Tc_12);
  apparentOrder(params, N, g.Tc_13, g.h, 5, g.pU_Tc_13, g.it_pU_Tc_13);

  for (int i = 5; i <= N; ++i) {
    if (isDefinedOrder(g.pU_Ti_pU(i))) {
      double r21 = g.h(i - 1) / g.h(i);
      g.Tbi_pU(i) =
          g.Ti_pU(i) + (g.Ti_pU(i) - g.Ti_pU(i - 1)) / (realPower(r21, g.pU_Ti_pU(i)) - 1.0);
    } else {
      g.Tbi_pU(i) = undefinedValue;
    }
  }

  apparentOrder(params, N, g.Tbi_pU, g.h, 7, g.pU_Tbi_pU, g.it_pU_Tbi_pU);
}

void twoTermExtrapolation(Run& run) {
  const RunParameters& params = run.params;
  GridSeries& g = run.grid;
  const int N = g.count;
  if (N < 3) return;  // no grid to extrapolate (and with N < 2 no h(2) to form r from)
  const double r = g.h(1) / g.h(2);
  const double A = integerPower(r, wrappedOrder(2 * int64_t{params.pL} + params.deltaP));
  const double B = integerPower(r, params.deltaP) + 1.0;
  const double K = -(integerPower(r, params.pL) * B);
  const double D = K + A + 1.0;
  for (int i = 3; i <= N; ++i) {
    g.Ti_bi(i) = (A * g.Th(i) + K * g.Th(i - 1) + g.Th(i - 2)) / D;
  }
}

void threeTermExtrapolation(Run& run) {
  const RunParameters& params = run.params;
  GridSeries& g = run.grid;
  const int N = g.count;
  if (N < 4) return;
  const double r = g.h(1) / g.h(2);
  const double y = integerPower(r, params.pL);
  const double s = integerPower(r, params.deltaP);
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
    g.Ti_tri(i) = (c1 * g.Th(i) + c2 * g.Th(i - 1) + c3 * g.Th(i - 2) + c4 * g.Th(i - 3)) / D;
  }
}

}  // namespace kv
