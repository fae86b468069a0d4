#include "model/grid_series.h"

#include <cassert>
#include <iterator>
#include <new>

#include "base/fatal.h"
#include "text/format.h"

namespace kv {

void LevelTable::allocate(int count, double initial) {
  rows_ = count;
  size_t n = static_cast<size_t>(count);
  values_.assign(n > 1 ? n * (n - 1) / 2 : 0, initial);
}

std::string twoCharacterText(int32_t value) {
  static const Format i2("(I2)");
  return writeToField(i2, {value}, 2);
}

namespace {

using G = GridSeries;

// clang-format off
constexpr RealSeries kDerivedSeries[] = {
    // name         member           first  exact  listing label   plot label
    // Extrapolated and convergent values.
    {"Ti_12",     &G::Ti_12,     2, false, "Ti_12",       ""},
    {"Ti_13",     &G::Ti_13,     3, false, "Ti_13",       ""},
    {"Ti_23",     &G::Ti_23,     3, false, "Ti_23",       ""},
    {"Ti_pU",     &G::Ti_pU,     3, false, "Ti_pU",       ""},
    {"Ti_bi",     &G::Ti_bi,     3, false, "Ti_bi",       ""},
    {"Ti_tri",    &G::Ti_tri,    4, false, "Ti_tri",      ""},
    {"Tc_12",     &G::Tc_12,     3, false, "Tc_12",       ""},
    {"Tc_13",     &G::Tc_13,     3, false, "Tc_13",       ""},
    {"Tbi_pU",    &G::Tbi_pU,    5, false, "Tbi_pU",      ""},
    // True errors.
    {"E_Th",      &G::E_Th,      1, true,  "E(Th)",       "log|Eh|"},
    {"E_Ti_12",   &G::E_Ti_12,   2, true,  "E(Ti_12)",    "log|Ei_12|"},
    {"E_Ti_13",   &G::E_Ti_13,   3, true,  "E(Ti_13)",    "log|Ei_13|"},
    {"E_Ti_23",   &G::E_Ti_23,   3, true,  "E(Ti_23)",    "log|Ei_23|"},
    {"E_Ti_pU",   &G::E_Ti_pU,   3, true,  "E(Ti_pU)",    "log|Ei_pU|"},
    {"E_Ti_bi",   &G::E_Ti_bi,   3, true,  "E(Ti_bi)",    "log|Ei_bi|"},
    {"E_Ti_tri",  &G::E_Ti_tri,  4, true,  "E(Ti_tri)",   "log|Ei_tri|"},
    {"E_Tc_12",   &G::E_Tc_12,   3, true,  "E(Tc_12)",    "log|Ec_12|"},
    {"E_Tc_13",   &G::E_Tc_13,   3, true,  "E(Tc_13)",    "log|Ec_13|"},
    {"E_Tbi_pU",  &G::E_Tbi_pU,  5, true,  "E(Tbi_pU)",   "log|Ebi_pU|"},
    // Effective orders.
    {"pE_Th",     &G::pE_Th,     2, true,  "pE(Th)",      "pE_h"},
    {"pE_Ti_pU",  &G::pE_Ti_pU,  4, true,  "pE(Ti_pU)",   "pE_i"},
    {"pE_Tc_12",  &G::pE_Tc_12,  4, true,  "pE(Tc_12)",   "pE_c12"},
    {"pE_Tc_13",  &G::pE_Tc_13,  4, true,  "pE(Tc_13)",   "pE_c13"},
    {"pE_Tbi_pU", &G::pE_Tbi_pU, 6, true,  "pE(Tbi_pU)",  "pE_bi"},
    // Apparent orders (the listing has always labelled that of Tbi_pU "pU(Tbi_pu)").
    {"pU_Th",     &G::pU_Th,     3, false, "pU(Th)",      "pU_h"},
    {"pU_Ti_pU",  &G::pU_Ti_pU,  5, false, "pU(Ti_pU)",   "pU_i"},
    {"pU_Tc_12",  &G::pU_Tc_12,  5, false, "pU(Tc_12)",   "pU_c12"},
    {"pU_Tc_13",  &G::pU_Tc_13,  5, false, "pU(Tc_13)",   "pU_c13"},
    {"pU_Tbi_pU", &G::pU_Tbi_pU, 7, false, "pU(Tbi_pu)",  "pU_bi"},
    // Error estimators.
    {"Ud",        &G::Ud,        2, false, "Ud(Th)",      "log|Ud|"},
    {"Uri_12",    &G::Uri_12,    2, false, "Uri_12(Th)",  "log|Uri_12|"},
    {"Uri_13",    &G::Uri_13,    3, false, "Uri_13(Th)",  "log|Uri_13|"},
    {"Uri_23",    &G::Uri_23,    3, false, "Uri_23(Th)",  "log|Uri_23|"},
    {"Uri_pU",    &G::Uri_pU,    3, false, "Uri_pU(Th)",  "log|Uri_pU|"},
    {"Uri_p",     &G::Uri_p,     3, false, "Uri_p(Th)",   "log|Uri_p|"},
    {"Uri_bi",    &G::Uri_bi,    3, false, "Uri_bi(Th)",  "log|Uri_bi|"},
    {"Uri_tri",   &G::Uri_tri,   4, false, "Uri_tri(Th)", "log|Uri_tri|"},
    {"Uc_12",     &G::Uc_12,     3, false, "Uc(Tc_12)",   "log(Uc_12)"},
    {"Uc_13",     &G::Uc_13,     3, false, "Uc(Tc_13)",   "log(Uc_13)"},
    {"GCI_pL",    &G::GCI_pL,    2, false, "GCI_pL(Th)",  "log(GCI_pL)"},
    {"GCI_p",     &G::GCI_p,     3, false, "GCI_p(Th)",   "log(GCI_p)"},
};
constexpr CountSeries kCountSeries[] = {
    {"it_pU_Th", &G::it_pU_Th, 3},       {"it_pU_Ti_pU", &G::it_pU_Ti_pU, 5},
    {"it_pU_Tc_12", &G::it_pU_Tc_12, 5}, {"it_pU_Tc_13", &G::it_pU_Tc_13, 5},
    {"it_pU_Tbi_pU", &G::it_pU_Tbi_pU, 7},
};
constexpr OrderSeries kOrderSeries[] = {
    {OrderMember::Th, 1, &G::pE_Th, &G::pU_Th, &G::it_pU_Th},
    {OrderMember::Ti_pU, 2, &G::pE_Ti_pU, &G::pU_Ti_pU, &G::it_pU_Ti_pU},
    {OrderMember::Tbi_pU, 3, &G::pE_Tbi_pU, &G::pU_Tbi_pU, &G::it_pU_Tbi_pU},
    {OrderMember::Tc_12, 2, &G::pE_Tc_12, &G::pU_Tc_12, &G::it_pU_Tc_12},
    {OrderMember::Tc_13, 2, &G::pE_Tc_13, &G::pU_Tc_13, &G::it_pU_Tc_13},
};
// clang-format on

constexpr bool orderSeriesInEnumOrder() {
  for (size_t k = 0; k < std::size(kOrderSeries); ++k) {
    if (static_cast<size_t>(kOrderSeries[k].member) != k) return false;
  }
  return true;
}
static_assert(orderSeriesInEnumOrder());

}  // namespace

const OrderSeries& orderSeries(OrderMember member) {
  return kOrderSeries[static_cast<size_t>(member)];
}

std::span<const RealSeries> derivedSeries() { return kDerivedSeries; }
std::span<const CountSeries> countSeries() { return kCountSeries; }

const RealSeries& seriesOf(GridArray<double> GridSeries::*array) {
  for (const RealSeries& s : kDerivedSeries) {
    if (s.array == array) return s;
  }
  assert(false && "every derived series is in the table");
  return kDerivedSeries[0];
}

double runDataBytes(int32_t gridCount) {
  double n = gridCount > 0 ? gridCount : 0;
  // h and Th, the derived reals; pV and the counts; the grid file names and pV texts.
  double perGrid = static_cast<double>((2 + std::size(kDerivedSeries)) * sizeof(double) +
                                       (1 + std::size(kCountSeries)) * sizeof(int32_t) +
                                       2 * sizeof(std::string) + kFileNameLength + 1);
  return n * perGrid + 2 * sizeof(double) * n * (n - 1) / 2;
}

void GridSeries::allocateSeries(int n) {
  count = n;
  for (GridArray<double>* input : {&h, &Th}) input->allocate(n, 0.0);
  gridFile.allocate(n, std::string(kFileNameLength, ' '));
  pV.allocate(n, 0);
  pV_text.allocate(n, std::string(2, ' '));
  for (const RealSeries& s : kDerivedSeries) (this->*s.array).allocate(n, undefinedValue);
  for (const CountSeries& s : kCountSeries) (this->*s.array).allocate(n, 0);
  T_i.allocate(n, undefinedValue);
  Uri_12_T_i.allocate(n, undefinedValue);
}

void GridSeries::allocate(int32_t gridCount) {
  if (runDataBytes(gridCount) > kMaxRunDataBytes) {
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  }
  try {
    allocateSeries(gridCount > 0 ? gridCount : 0);
  } catch (const std::bad_alloc&) {
    Fatal(FatalCode::OutOfMemory, "insufficient virtual memory");
  }
}

}  // namespace kv
