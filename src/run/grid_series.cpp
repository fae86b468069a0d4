#include "run/grid_series.h"

#include <new>

#include "text/fatal.h"
#include "text/format.h"

namespace kv {

void LevelTable::allocate(int count, double initial) {
  rows_ = count;
  size_t n = static_cast<size_t>(count);
  values_.assign(n > 1 ? n * (n - 1) / 2 : 0, initial);
}

int32_t trueOrder(const RunParameters& params, int m) {
  // Computed in 64 bits and wrapped to 32, so that no order overflows the arithmetic.
  int64_t order = int64_t{params.pL} + int64_t{m - 1} * int64_t{params.deltaP};
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(order)));
}

std::string trueOrderText(int32_t order) {
  static const Format i2("(I2)");
  return writeToField(i2, {order}, 2);
}

double runDataBytes(int32_t gridCount) {
  double n = gridCount > 0 ? gridCount : 0;
  double perGrid = 43 * sizeof(double) + 6 * sizeof(int32_t) + 2 * sizeof(std::string) +
                   kFileNameLength + 1;
  return n * perGrid + 2 * sizeof(double) * n * (n - 1) / 2;
}

void GridSeries::allocate(int32_t gridCount) {
  if (runDataBytes(gridCount) > kMaxRunDataBytes) {
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  }
  int n = gridCount > 0 ? gridCount : 0;
  count = n;
  try {
    for (GridArray<double>* input : {&h, &Th}) input->allocate(n, 0.0);
    gridFile.allocate(n, std::string(kFileNameLength, ' '));
    pV.allocate(n, 0);
    pV_text.allocate(n, std::string(2, ' '));
    for (GridArray<double>* derived :
         {&Ti_12,   &Ti_13,    &Ti_23,    &Ti_pU,    &Ti_bi,    &Ti_tri,   &Tc_12,   &Tc_13,
          &Tbi_pU,  &E_Th,     &E_Ti_12,  &E_Ti_13,  &E_Ti_23,  &E_Ti_pU,  &E_Ti_bi, &E_Ti_tri,
          &E_Tc_12, &E_Tc_13,  &E_Tbi_pU, &pE_Th,    &pE_Ti_pU, &pE_Tc_12, &pE_Tc_13,
          &pE_Tbi_pU, &pU_Th,  &pU_Ti_pU, &pU_Tc_12, &pU_Tc_13, &pU_Tbi_pU, &Ud,     &Uri_12,
          &Uri_13,  &Uri_23,   &Uri_pU,   &Uri_p,    &Uri_bi,   &Uri_tri,  &Uc_12,   &Uc_13,
          &GCI_pL,  &GCI_p}) {
      derived->allocate(n, undefinedValue);
    }
    for (GridArray<int32_t>* counts :
         {&it_pU_Th, &it_pU_Ti_pU, &it_pU_Tc_12, &it_pU_Tc_13, &it_pU_Tbi_pU}) {
      counts->allocate(n, 0);
    }
    T_i.allocate(n, undefinedValue);
    Uri_12_T_i.allocate(n, undefinedValue);
  } catch (const std::bad_alloc&) {
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  }
}

}  // namespace kv
