// The per-grid arrays of a run, each named by the label under which the results show it
// (pE(Th) is pE_Th, Uri_12(T_i) is Uri_12_T_i). Grid 1 is the coarsest, grid N the finest;
// every array is indexed 1..N.
#pragma once

#include <cassert>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_parameters.h"

namespace kv {

// A per-grid array with index range 1..N.
template <typename T>
class GridArray {
 public:
  void allocate(int count, const T& initial) {
    values_.assign(static_cast<size_t>(count), initial);
  }
  T& operator()(int i) {
    assert(i >= 1 && i <= size());
    return values_[static_cast<size_t>(i - 1)];
  }
  const T& operator()(int i) const {
    assert(i >= 1 && i <= size());
    return values_[static_cast<size_t>(i - 1)];
  }
  int size() const { return static_cast<int>(values_.size()); }
  // Entries 1..N as a span indexed 0..N-1.
  std::span<T> span() { return values_; }
  std::span<const T> span() const { return values_; }

 private:
  std::vector<T> values_;
};

// A level table: rows (grids) 1..N, levels 1..N-1. Only the entries (i, j) with j < i exist
// (level j needs j + 1 grids); they are stored as a triangle, row by row.
class LevelTable {
 public:
  void allocate(int count, double initial);
  double& operator()(int i, int j) {
    assert(j >= 1 && j < i && i <= rows_);
    return values_[index(i, j)];
  }
  double operator()(int i, int j) const {
    assert(j >= 1 && j < i && i <= rows_);
    return values_[index(i, j)];
  }
  int rows() const { return rows_; }

 private:
  static size_t index(int i, int j) {
    return static_cast<size_t>(i - 1) * static_cast<size_t>(i - 2) / 2 + static_cast<size_t>(j - 1);
  }
  std::vector<double> values_;
  int rows_ = 0;
};

struct GridSeries {
  int count = 0;  // N: gridCount, or 0 when gridCount is negative

  // Input arrays (0.0 where never read).
  GridArray<double> h;              // spacing of grid i
  GridArray<double> Th;             // numerical solution on grid i
  GridArray<std::string> gridFile;  // text50
  GridArray<int32_t> pV;            // true order of level i: pL + (i - 1) * deltaP
  GridArray<std::string> pV_text;   // pV(i) with I2: text2

  // The derived series, each listed once in derivedSeries() below.
  // Extrapolated and convergent values.
  GridArray<double> Ti_12, Ti_13, Ti_23, Ti_pU, Ti_bi, Ti_tri, Tc_12, Tc_13, Tbi_pU;
  // True errors: exactValue minus the value.
  GridArray<double> E_Th, E_Ti_12, E_Ti_13, E_Ti_23, E_Ti_pU, E_Ti_bi, E_Ti_tri, E_Tc_12, E_Tc_13,
      E_Tbi_pU;
  // Effective orders.
  GridArray<double> pE_Th, pE_Ti_pU, pE_Tc_12, pE_Tc_13, pE_Tbi_pU;
  // Apparent orders and the iterations used for each.
  GridArray<double> pU_Th, pU_Ti_pU, pU_Tc_12, pU_Tc_13, pU_Tbi_pU;
  GridArray<int32_t> it_pU_Th, it_pU_Ti_pU, it_pU_Tc_12, it_pU_Tc_13, it_pU_Tbi_pU;
  // Error estimators.
  GridArray<double> Ud, Uri_12, Uri_13, Uri_23, Uri_pU, Uri_p, Uri_bi, Uri_tri, Uc_12, Uc_13,
      GCI_pL, GCI_p;

  // Repeated Richardson extrapolation: level-j value at grid i, and its estimator.
  LevelTable T_i, Uri_12_T_i;

  // Allocates every array once for `gridCount` grids (a negative count gives 0). Input entries
  // start at 0.0, derived reals at undefinedValue, counts at 0, texts blank. Ends the run with
  // the "insufficient virtual memory" line when the run data would exceed kMaxRunDataBytes or
  // does not fit.
  void allocate(int32_t gridCount);
  // The same for `count` grids without the bound: a failure throws std::bad_alloc.
  void allocateSeries(int count);
};

// One derived per-grid series: its name, where it is kept, the first grid on which it can be
// formed (before it, it keeps its initial value), whether it exists only when the exact value is
// given, the label of its listing columns and the label of its plot-file column ("" when no
// plot file shows it).
struct RealSeries {
  std::string_view name;
  GridArray<double> GridSeries::*array;
  int firstGrid;
  bool exactOnly;
  std::string_view listingLabel;
  std::string_view plotLabel;
};
struct CountSeries {
  std::string_view name;
  GridArray<int32_t> GridSeries::*array;
  int firstGrid;
};

// Every derived real series and every iteration count, once.
std::span<const RealSeries> derivedSeries();
std::span<const CountSeries> countSeries();
// The table entry of a derived series.
const RealSeries& seriesOf(GridArray<double> GridSeries::*array);

// The five analysed sequences whose orders the results show, in the order the run writes them.
enum class OrderMember : uint8_t { Th, Ti_pU, Tbi_pU, Tc_12, Tc_13 };

// The orders of an analysed sequence X: pE(X), pU(X), it_pU(X), and the level m whose true order
// pV(m) is the reference order of X.
struct OrderSeries {
  OrderMember member;
  int level;
  GridArray<double> GridSeries::*pE;
  GridArray<double> GridSeries::*pU;
  GridArray<int32_t> GridSeries::*it;
};
const OrderSeries& orderSeries(OrderMember member);

// An integer written with I2 into a two-character field: " 2", "-1", "12", "**" when it does not
// fit (the pV_text form of an order, and the level numbers of the level tables).
std::string twoCharacterText(int32_t value);

// The most memory the run data may take; a larger gridCount ends the run instead of letting
// the system run out of memory (the two level tables take 8 N (N - 1) bytes).
inline constexpr double kMaxRunDataBytes = 2.0 * 1024 * 1024 * 1024;

// Bytes the run data of `gridCount` grids takes.
double runDataBytes(int32_t gridCount);

}  // namespace kv
