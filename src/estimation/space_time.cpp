#include "estimation/space_time.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <utility>

#include "estimation/least_squares.h"
#include "estimation/order_search.h"
#include "estimation/standard_procedure.h"
#include "estimation/uncertainty.h"
#include "estimation/verdict.h"

namespace kv {

namespace {

constexpr double kNoSum = std::numeric_limits<double>::infinity();

// Numbers in messages and names: orders to the digits by which their ranges are judged
// (uncertainty.h), the rest alike.
std::string format(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*g", kOrderDigits, x);
  return buffer;
}

// ---------------------------------------------------------------------------------------------
// The linear part of the model: for fixed orders, phi ~ phi0 + alpha_x X + alpha_t Y with
// X_i = r_i^px, Y_i = t_i^pt, by Gram-Schmidt on the columns centred on their weighted means.

struct Runs {
  std::vector<double> logR, logT, phi, w;
  double weight = 0.0, meanPhi = 0.0;
};

Runs makeRuns(std::span<const double> h, std::span<const double> dt, std::span<const double> phi,
              bool weighted) {
  Runs runs;
  const std::size_t n = phi.size();
  const double hMin = *std::min_element(h.begin(), h.end());
  const double dtMin = *std::min_element(dt.begin(), dt.end());
  runs.phi.assign(phi.begin(), phi.end());
  runs.logR.resize(n);
  runs.logT.resize(n);
  runs.w.resize(n);
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = h[i] / hMin, t = dt[i] / dtMin;
    runs.logR[i] = std::log(r);
    runs.logT[i] = std::log(t);
    runs.w[i] = weighted ? 1.0 / r + 1.0 / t : 1.0;
    sum += runs.w[i];
  }
  if (weighted) {
    for (double& w : runs.w) w /= sum;
  }
  for (std::size_t i = 0; i < n; ++i) {
    runs.weight += runs.w[i];
    runs.meanPhi += runs.w[i] * runs.phi[i];
  }
  runs.meanPhi /= runs.weight;
  return runs;
}

struct Linear {
  double phi0 = 0.0, alphaX = 0.0, alphaT = 0.0;
  double s = kNoSum;  // sum_i w_i r_i^2; infinite when the columns are dependent
};

double power(double logBase, double p) { return logBase == 0.0 ? 1.0 : std::exp(p * logBase); }

Linear solveLinear(const Runs& runs, double px, double pt, std::vector<double>& X,
                   std::vector<double>& Y) {
  const std::size_t n = runs.phi.size();
  const std::vector<double>& w = runs.w;
  double meanX = 0.0, meanY = 0.0, squaresX = 0.0, squaresY = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    X[i] = power(runs.logR[i], px);
    Y[i] = power(runs.logT[i], pt);
    meanX += w[i] * X[i];
    meanY += w[i] * Y[i];
    squaresX += w[i] * X[i] * X[i];
    squaresY += w[i] * Y[i] * Y[i];
  }
  meanX /= runs.weight;
  meanY /= runs.weight;
  // u = X - mean X, v = Y - mean Y, d = phi - mean phi; q1 = u / |u|, v' = v - (q1.v) q1.
  double uu = 0.0;
  for (std::size_t i = 0; i < n; ++i) uu += w[i] * (X[i] - meanX) * (X[i] - meanX);
  Linear fit;
  if (!std::isfinite(uu) || !std::isfinite(squaresY) || !(uu > 1e-24 * squaresX)) return fit;
  const double normU = std::sqrt(uu);
  double q1v = 0.0, q1d = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double q1 = (X[i] - meanX) / normU;
    q1v += w[i] * q1 * (Y[i] - meanY);
    q1d += w[i] * q1 * (runs.phi[i] - runs.meanPhi);
  }
  double vv = 0.0, vd = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double v = (Y[i] - meanY) - q1v * (X[i] - meanX) / normU;
    vv += w[i] * v * v;
    vd += w[i] * v * (runs.phi[i] - runs.meanPhi);
  }
  if (!(vv > 1e-24 * squaresY)) return fit;
  fit.alphaT = vd / vv;
  fit.alphaX = (q1d - fit.alphaT * q1v) / normU;
  fit.phi0 = runs.meanPhi - fit.alphaX * meanX - fit.alphaT * meanY;
  // The residuals from the coefficients, as they are reported.
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = runs.phi[i] - (fit.phi0 + fit.alphaX * X[i] + fit.alphaT * Y[i]);
    s += w[i] * r * r;
  }
  fit.s = std::isfinite(s) ? s : kNoSum;
  return fit;
}

// ---------------------------------------------------------------------------------------------
// The search over the free orders, inside the bracket [kOrderMin, kOrderMax].

using Orders = std::array<double, 2>;  // px, pt

double clampOrder(double p) { return std::clamp(p, kOrderMin, kOrderMax); }

// The scans: by 0.05 for one free order, by 0.1 in each of two.
constexpr OrderScan kOneOrderScan = OrderScan::stepping(0.05);
constexpr OrderScan kTwoOrderScan = OrderScan::stepping(0.1);

// Nelder-Mead (reflection 1, expansion 2, contraction and shrink 1/2) from `start`, the
// vertices kept inside the bracket.
template <class F>
std::pair<Orders, double> nelderMead(F f, Orders start, double size) {
  std::array<Orders, 3> v = {start, start, start};
  v[1][0] = clampOrder(start[0] + (start[0] + size > kOrderMax ? -size : size));
  v[2][1] = clampOrder(start[1] + (start[1] + size > kOrderMax ? -size : size));
  std::array<double, 3> fv = {f(v[0]), f(v[1]), f(v[2])};
  auto at = [](const Orders& c, const Orders& x, double k) {
    return Orders{clampOrder(c[0] + k * (x[0] - c[0])), clampOrder(c[1] + k * (x[1] - c[1]))};
  };
  for (int iteration = 0; iteration < 2000; ++iteration) {
    std::array<std::size_t, 3> order = {0, 1, 2};
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return fv[a] < fv[b] || (fv[a] == fv[b] && a < b);
    });
    const std::size_t best = order[0], mid = order[1], worst = order[2];
    double spread = 0.0;
    for (std::size_t k : {mid, worst}) {
      spread = std::max({spread, std::abs(v[k][0] - v[best][0]), std::abs(v[k][1] - v[best][1])});
    }
    if (spread <= 1e-11 * std::max(1.0, std::max(v[best][0], v[best][1]))) break;
    const Orders centre = {0.5 * (v[best][0] + v[mid][0]), 0.5 * (v[best][1] + v[mid][1])};
    const Orders reflected = at(centre, v[worst], -1.0);
    const double fr = f(reflected);
    if (fr < fv[best]) {
      const Orders expanded = at(centre, v[worst], -2.0);
      const double fe = f(expanded);
      if (fe < fr) {
        v[worst] = expanded, fv[worst] = fe;
      } else {
        v[worst] = reflected, fv[worst] = fr;
      }
    } else if (fr < fv[mid]) {
      v[worst] = reflected, fv[worst] = fr;
    } else {
      const Orders contracted =
          fr < fv[worst] ? at(centre, reflected, 0.5) : at(centre, v[worst], 0.5);
      const double fc = f(contracted);
      if (fc < std::min(fr, fv[worst])) {
        v[worst] = contracted, fv[worst] = fc;
      } else {
        for (std::size_t k : {mid, worst}) {
          v[k] = at(v[best], v[k], 0.5);
          fv[k] = f(v[k]);
        }
      }
    }
  }
  const std::size_t best =
      static_cast<std::size_t>(std::min_element(fv.begin(), fv.end()) - fv.begin());
  return {v[best], fv[best]};
}

// The orders with the smallest S: `free` says which of px, pt are searched; `fixed` holds the
// others.
Orders searchOrders(const Runs& runs, std::array<bool, 2> free, Orders fixed) {
  const std::size_t n = runs.phi.size();
  std::vector<double> X(n), Y(n);
  auto s = [&](const Orders& p) { return solveLinear(runs, p[0], p[1], X, Y).s; };
  if (!free[0] && !free[1]) return fixed;
  if (free[0] != free[1]) {
    const std::size_t k = free[0] ? 0 : 1;
    auto along = [&](double p) {
      Orders q = fixed;
      q[k] = p;
      return s(q);
    };
    Orders result = fixed;
    result[k] = searchOrder(
                    kOneOrderScan, [&](std::size_t, double p) { return along(p); }, along, false)
                    .best.p;
    return result;
  }
  // Both free: the scan, then Nelder-Mead from its three best local minima.
  const std::vector<double> orders = kTwoOrderScan.orders();
  const std::size_t m = orders.size();
  std::vector<double> table(m * m);
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) table[a * m + b] = s({orders[a], orders[b]});
  }
  std::vector<std::size_t> minima;
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) {
      const double value = table[a * m + b];
      if (!(value < kNoSum)) continue;
      bool local = true;
      for (std::size_t a2 = a == 0 ? 0 : a - 1; a2 <= std::min(a + 1, m - 1) && local; ++a2) {
        for (std::size_t b2 = b == 0 ? 0 : b - 1; b2 <= std::min(b + 1, m - 1); ++b2) {
          if (table[a2 * m + b2] < value) local = false;
        }
      }
      if (local) minima.push_back(a * m + b);
    }
  }
  if (minima.empty()) return {orders[0], orders[0]};  // nothing finite: an invalid fit
  std::stable_sort(minima.begin(), minima.end(),
                   [&](std::size_t x, std::size_t y) { return table[x] < table[y]; });
  Orders best = {orders[minima[0] / m], orders[minima[0] % m]};
  double bestS = table[minima[0]];
  for (std::size_t j = 0; j < std::min<std::size_t>(3, minima.size()); ++j) {
    auto [p, sp] = nelderMead(s, {orders[minima[j] / m], orders[minima[j] % m]}, 0.1);
    // A second start from the end point, against a simplex collapsed early.
    auto [p2, sp2] = nelderMead(s, p, 1e-3);
    if (sp2 < sp) p = p2, sp = sp2;
    if (sp < bestS) best = p, bestS = sp;
  }
  return best;
}

// ---------------------------------------------------------------------------------------------
// Levels (grids or time steps) and the recognition of the design.

// The level of every value: values within `tolerance` of the larger are one level; levels
// numbered from the smallest value.
std::vector<std::size_t> levelsOf(std::span<const double> values, double tolerance,
                                  std::size_t& count) {
  std::vector<std::size_t> index(values.size());
  std::iota(index.begin(), index.end(), std::size_t{0});
  std::stable_sort(index.begin(), index.end(),
                   [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
  std::vector<std::size_t> level(values.size());
  count = 0;
  double start = 0.0;
  for (std::size_t j = 0; j < index.size(); ++j) {
    const double value = values[index[j]];
    if (j == 0 || value - start > tolerance * value) {
      ++count;
      start = value;
    }
    level[index[j]] = count - 1;
  }
  return level;
}

// An observed order in [0.5, p_th] to the digits it is shown with (orderWithin, uncertainty.h:
// 2.004 is not outside [0.5, 2]; nor is an order found at p_th from exact data a few roundings
// above it), and not on an end of the bracket.
bool acceptable(double p, double pTh) {
  return orderWithin(p, kLowestOrder, pTh) && p > kOrderMin && p < kOrderMax;
}

// ---------------------------------------------------------------------------------------------
// One variable (designs a and b): the three-run procedure or least squares.

struct Family {
  enum class Kind { fitted, flat, noOrder } kind = Kind::fitted;
  std::string model;
  double phi0 = kNotANumber, alpha = kNotANumber, p = kNotANumber, observedP = kNotANumber, sigma = kNotANumber, fs = kNotANumber;
  double dataRange = kNotANumber;
  double errorAtFinest = kNotANumber;
  ConvergenceType convergence = ConvergenceType::Undetermined;
  std::vector<double> u;  // in the order of the values given
  bool failed = false;    // the least-squares fit overflowed
  double alpha2 = 0.0;    // "h+h2" only
  std::optional<LeastSquaresResult> leastSquares;
};

// The family as the result reports it.
SpaceTimeFamily published(const Family& family, bool inTime, std::vector<std::size_t> runs) {
  SpaceTimeFamily out;
  out.inTime = inTime;
  out.runs = std::move(runs);
  out.model = family.model;
  out.phi0 = family.phi0;
  out.alpha = family.alpha;
  out.alpha2 = family.alpha2;
  out.p = family.p;
  out.observedP = family.observedP;
  out.sigma = family.sigma;
  out.fs = family.fs;
  out.u = family.u;
  out.leastSquares = family.leastSquares;
  return out;
}

Family fitFamily(std::span<const double> x, std::span<const double> phi, double pTh) {
  Family family;
  const std::size_t n = phi.size();
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  if (*low == *high) {
    family.kind = Family::Kind::flat;
    family.model = "zero";
    family.phi0 = phi[0];
    family.alpha = 0.0;
    family.errorAtFinest = 0.0;
    family.u.assign(n, 0.0);
    return family;
  }
  family.dataRange = (*high - *low) / static_cast<double>(n - 1);
  if (n >= 4) {
    const LeastSquaresResult ls = leastSquaresUncertainty(x, phi, pTh, true);
    if (ls.status != LeastSquaresStatus::ok) {
      family.failed = true;
      return family;
    }
    const LeastSquaresFit& chosen = ls.chosenFit();
    const std::size_t finest =
        static_cast<std::size_t>(std::min_element(x.begin(), x.end()) - x.begin());
    family.model = std::string(chosen.name);
    family.phi0 = chosen.phi0;
    family.alpha = chosen.alpha;
    family.alpha2 = chosen.alpha2;
    family.p = chosen.p;
    family.observedP = ls.p;  // on the bracket's end it is not acceptable
    family.sigma = ls.sigma;
    family.fs = ls.fs;
    family.errorAtFinest = ls.error[finest];
    family.u = ls.u;
    family.leastSquares = ls;
    return family;
  }
  // Three runs, finest first for the standard procedure.
  std::array<std::size_t, 3> order = {0, 1, 2};
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  const std::array<double, 3> xs = {x[order[0]], x[order[1]], x[order[2]]};
  const std::array<double, 3> ps = {phi[order[0]], phi[order[1]], phi[order[2]]};
  StandardOptions options;
  options.theoreticalOrder = pTh;
  const StandardResult standard = standardProcedure(xs, ps, kNotANumber, options);
  family.model = "gci";
  family.convergence = standard.convergence;
  if (!standard.hasOrder()) {
    family.kind = Family::Kind::noOrder;
    family.u.assign(n, kNotANumber);
    return family;
  }
  family.observedP = standard.p;
  family.fs = safetyFactor(standard.p, pTh, false);
  family.p = std::min(standard.p, pTh);
  family.phi0 = richardsonExtrapolation(ps[0], ps[1], standard.r21, family.p);
  family.alpha = ps[0] - family.phi0;
  family.errorAtFinest = family.alpha;
  family.u.resize(n);
  for (std::size_t i = 0; i < n; ++i) family.u[i] = family.fs * std::abs(phi[i] - family.phi0);
  return family;
}

// ---------------------------------------------------------------------------------------------
// Warnings.

void warn(SpaceTimeResult& result, SpaceTimeWarningCode code, std::string message) {
  result.warnings.push_back({code, std::move(message)});
}

// `what` names the family ("grid ", "time-step ", or "" with constant Courant number).
void familyWarnings(SpaceTimeResult& result, const Family& family, const std::string& what,
                    double pTh) {
  switch (family.kind) {
    case Family::Kind::flat:
      warn(result, SpaceTimeWarningCode::noChange,
           "the " + what + "family's values do not change: its error is taken as zero.");
      return;
    case Family::Kind::noOrder:
      warn(result, SpaceTimeWarningCode::noOrder,
           "the three " + what + "runs give no observed order (" +
               std::string(convergenceName(family.convergence)) +
               "): no uncertainty; add runs for a least-squares fit.");
      return;
    case Family::Kind::fitted:
      break;
  }
  if (!acceptable(family.observedP, pTh)) {
    warn(result, SpaceTimeWarningCode::orderRange,
         "the observed " + what + "order " + format(family.observedP) + " is outside [0.5, " +
             format(pTh) + "]" + (what.empty() ? " (the lower theoretical order)" : "") +
             ": the model " + family.model + " with order " + format(family.p) +
             " and Fs = " + format(family.fs) + " was used.");
  }
  if (family.sigma >= family.dataRange) {
    warn(result, SpaceTimeWarningCode::scatter,
         "the " + what + "fit's standard deviation " + format(family.sigma) +
             " is not below the mean change between runs " + format(family.dataRange) +
             ": its uncertainty is scaled by 3 sigma / dphi.");
  }
}

void dominanceWarning(SpaceTimeResult& result, double gridError, double timeError, double ratio) {
  if (std::isnan(gridError) || std::isnan(timeError)) return;
  const double large = std::max(gridError, timeError), small = std::min(gridError, timeError);
  if (!(large > 0.0) || !(large >= ratio * small)) return;
  const bool time = timeError > gridError;
  std::string message =
      "at the finest grid and time step the estimated " + std::string(time ? "time-step" : "grid") +
      " error " + format(large) +
      (small > 0.0 ? " is " + format(large / small) + " times the " : " dwarfs the zero ") +
      std::string(time ? "grid" : "time-step") + " error: refine the " +
      std::string(time ? "time step" : "grid") + "; refining the " +
      std::string(time ? "grid" : "time step") + " will not lower the uncertainty.";
  warn(result, time ? SpaceTimeWarningCode::timeDominates : SpaceTimeWarningCode::gridDominates,
       std::move(message));
}

void iterativeWarning(SpaceTimeResult& result, std::span<const double> iterErr, double dataRange,
                      double limit) {
  double largest = kNotANumber;
  for (double e : iterErr) {
    if (!std::isnan(e)) {
      largest = std::isnan(largest) ? std::abs(e) : std::max(largest, std::abs(e));
    }
  }
  if (std::isnan(largest)) return;
  const double ratio = largest / dataRange;
  if (!(ratio >= limit)) return;
  warn(result, SpaceTimeWarningCode::iterativeError,
       "iterative errors reach " + format(ratio) + " of the mean change between runs (limit " +
           format(limit) +
           "): converge the iterations further first; refining is pointless while the "
           "iterative error dominates.");
}

SpaceTimeResult refuse(SpaceTimeStatus status, std::string reason) {
  SpaceTimeResult result;
  result.outcome = status;
  result.status = std::string(spaceTimeStatusCode(status));
  result.refusal = std::move(reason);
  return result;
}

std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// ---------------------------------------------------------------------------------------------
// The choice of design c's fit.

// A model's kept weighting: its index into the fits, and how many orders it fitted.
struct KeptFit {
  std::size_t index;
  int freeOrders;
};

// The free fit, with every order free that the runs can give (`freeable` of them), when its
// orders are acceptable; else, as Eca et al. (2019) choose in two variables and Eca & Hoekstra
// (2014) in one, the admissible fit (every free order acceptable, none on the bracket's end)
// with the smallest sigma, the first on a tie. Nothing when no fit is admissible.
std::optional<std::size_t> chooseFit(const std::vector<SpaceTimeFit>& fits,
                                     const std::vector<KeptFit>& kept, int freeable,
                                     const SpaceTimeOptions& options) {
  auto admissible = [&](const SpaceTimeFit& fit) {
    return (!fit.freeX || acceptable(fit.px, options.gridOrder)) &&
           (!fit.freeT || acceptable(fit.pt, options.timeOrder)) && !fit.atBracketEnd;
  };
  for (const KeptFit& k : kept) {
    if (k.freeOrders == freeable && admissible(fits[k.index])) return k.index;
  }
  std::optional<std::size_t> best;
  for (const KeptFit& k : kept) {
    if (admissible(fits[k.index]) && (!best || fits[k.index].sigma < fits[*best].sigma)) {
      best = k.index;
    }
  }
  return best;
}

// ---------------------------------------------------------------------------------------------
// The three designs, into `result`; false when a fit fails (overflow).

bool constantCourant(SpaceTimeResult& result, std::span<const double> h,
                     std::span<const double> phi, const SpaceTimeOptions& options) {
  const double pTh = std::min(options.gridOrder, options.timeOrder);
  const Family family = fitFamily(h, phi, pTh);
  if (family.failed) return false;
  familyWarnings(result, family, "", pTh);
  result.model = family.model;
  result.phi0 = family.phi0;
  result.px = result.pt = family.p;
  result.observedPx = result.observedPt = family.observedP;
  result.alphaX = family.alpha;
  result.alphaT = kNotANumber;
  result.sigma = family.sigma;
  result.fs = family.fs;
  result.u = family.u;
  std::vector<std::size_t> runs(phi.size());
  std::iota(runs.begin(), runs.end(), std::size_t{0});
  result.families.push_back(published(family, false, std::move(runs)));
  return true;
}

bool separateFamilies(SpaceTimeResult& result, std::span<const double> h,
                      std::span<const double> dt, std::span<const double> phi,
                      const std::vector<std::size_t>& gridLevel,
                      const std::vector<std::size_t>& stepLevel, std::size_t common,
                      const SpaceTimeOptions& options) {
  const std::size_t n = phi.size();
  std::vector<std::size_t> gridRuns, stepRuns;  // the grid family (at tau_c), the time family
  for (std::size_t i = 0; i < n; ++i) {
    if (stepLevel[i] == stepLevel[common]) gridRuns.push_back(i);
    if (gridLevel[i] == gridLevel[common]) stepRuns.push_back(i);
  }
  auto pick = [](std::span<const double> values, const std::vector<std::size_t>& runs) {
    std::vector<double> out;
    for (std::size_t i : runs) out.push_back(values[i]);
    return out;
  };
  const Family grid = fitFamily(pick(h, gridRuns), pick(phi, gridRuns), options.gridOrder);
  const Family time = fitFamily(pick(dt, stepRuns), pick(phi, stepRuns), options.timeOrder);
  if (grid.failed || time.failed) return false;
  familyWarnings(result, grid, "grid ", options.gridOrder);
  familyWarnings(result, time, "time-step ", options.timeOrder);
  // U of every grid level from the grid family, of every time level from the time family.
  std::vector<double> gridU(result.grids, kNotANumber), stepU(result.timeSteps, kNotANumber);
  for (std::size_t j = 0; j < gridRuns.size(); ++j) gridU[gridLevel[gridRuns[j]]] = grid.u[j];
  for (std::size_t j = 0; j < stepRuns.size(); ++j) stepU[stepLevel[stepRuns[j]]] = time.u[j];
  result.u.resize(n);
  for (std::size_t i = 0; i < n; ++i) result.u[i] = gridU[gridLevel[i]] + stepU[stepLevel[i]];
  result.model = "x:" + grid.model + " t:" + time.model;
  result.phi0 = grid.phi0 + time.phi0 - phi[common];
  result.px = grid.p;
  result.pt = time.p;
  result.observedPx = grid.observedP;
  result.observedPt = time.observedP;
  result.alphaX = grid.alpha;
  result.alphaT = time.alpha;
  result.sigma = std::fmax(grid.sigma, time.sigma);
  result.fs = std::fmax(grid.fs, time.fs);
  dominanceWarning(result, std::abs(grid.errorAtFinest), std::abs(time.errorAtFinest),
                   options.dominanceRatio);
  result.families.push_back(published(grid, false, gridRuns));
  result.families.push_back(published(time, true, stepRuns));
  return true;
}

bool combinedFit(SpaceTimeResult& result, std::span<const double> h, std::span<const double> dt,
                 std::span<const double> phi, const SpaceTimeOptions& options) {
  const std::size_t n = phi.size();
  const bool freeableX = result.grids >= 3, freeableT = result.timeSteps >= 3;
  auto ordersOf = [](bool freeable, double pTh) {
    std::vector<double> orders;
    if (freeable) {
      for (double p : {kNotANumber, 1.0, 2.0, pTh}) {
        if (std::none_of(orders.begin(), orders.end(), [&](double q) { return q == p; })) {
          orders.push_back(p);
        }
      }
    } else {
      orders.push_back(pTh);
    }
    return orders;
  };
  std::vector<KeptFit> kept;
  std::size_t bothFree = SIZE_MAX;
  for (double px : ordersOf(freeableX, options.gridOrder)) {
    for (double pt : ordersOf(freeableT, options.timeOrder)) {
      const int freeOrders = (std::isnan(px) ? 1 : 0) + (std::isnan(pt) ? 1 : 0);
      if (n <= static_cast<std::size_t>(3 + freeOrders)) continue;
      const SpaceTimeFit unweighted = fitSpaceTimeModel(h, dt, phi, false, px, pt);
      const SpaceTimeFit weighted = fitSpaceTimeModel(h, dt, phi, true, px, pt);
      result.fits.push_back(unweighted);
      result.fits.push_back(weighted);
      const bool useWeighted =
          weighted.valid && (!unweighted.valid || weighted.sigma < unweighted.sigma);
      const std::size_t index = result.fits.size() - (useWeighted ? 1 : 2);
      if (!result.fits[index].valid) continue;
      kept.push_back({index, freeOrders});
      if (freeOrders == 2) bothFree = index;
    }
  }
  const std::optional<std::size_t> choice =
      chooseFit(result.fits, kept, (freeableX ? 1 : 0) + (freeableT ? 1 : 0), options);
  if (!choice) return false;
  result.chosen = *choice;
  const SpaceTimeFit& chosen = result.fits[result.chosen];

  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  const double dataRange = (*high - *low) / static_cast<double>(n - 1);
  result.observedPx = result.observedPt = kNotANumber;
  bool observed = false;  // both orders free, neither on the bracket's end
  if (bothFree != SIZE_MAX) {
    const SpaceTimeFit& free = result.fits[bothFree];
    result.observedPx = free.px;
    result.observedPt = free.pt;
    observed = !free.atBracketEnd;
    const std::string model = "the fit \"" + chosen.name() + "\" was used.";
    if (!acceptable(free.px, options.gridOrder) || free.atBracketEnd) {
      warn(result, SpaceTimeWarningCode::orderRange,
           "the observed grid order px = " + format(free.px) + " is outside [0.5, " +
               format(options.gridOrder) + "]: " + model);
    }
    if (!acceptable(free.pt, options.timeOrder) || free.atBracketEnd) {
      warn(result, SpaceTimeWarningCode::orderRange,
           "the observed time order pt = " + format(free.pt) + " is outside [0.5, " +
               format(options.timeOrder) + "]: " + model);
    }
  } else if (freeableX && freeableT) {
    warn(result, SpaceTimeWarningCode::fewRuns,
         count(n, "run", "runs") + " cannot give both orders (six or more are needed): the fit \"" +
             chosen.name() + "\" was used with Fs = 3.");
  }
  if (!freeableX) {
    warn(
        result, SpaceTimeWarningCode::assumedOrder,
        "only two grids: the grid order is taken as " + format(options.gridOrder) + " and Fs = 3.");
  }
  if (!freeableT) {
    warn(result, SpaceTimeWarningCode::assumedOrder,
         "only two time steps: the time order is taken as " + format(options.timeOrder) +
             " and Fs = 3.");
  }

  const bool scattered = !(chosen.sigma < dataRange);
  result.fs = observed ? std::max(safetyFactor(result.observedPx, options.gridOrder, scattered),
                                  safetyFactor(result.observedPt, options.timeOrder, scattered))
                       : kConservativeFs;
  if (scattered) {
    warn(result, SpaceTimeWarningCode::scatter,
         "the fit's standard deviation " + format(chosen.sigma) +
             " is not below the mean change between runs " + format(dataRange) +
             ": the uncertainty is scaled by 3 sigma / dphi.");
  }
  const double hMin = *std::min_element(h.begin(), h.end());
  const double dtMin = *std::min_element(dt.begin(), dt.end());
  result.u.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double r = h[i] / hMin, t = dt[i] / dtMin;
    const double error = std::abs(chosen.alphaX) * std::pow(r, chosen.px) +
                         std::abs(chosen.alphaT) * std::pow(t, chosen.pt);
    const double residual = std::abs(phi[i] - chosen.valueAt(r, t));
    result.u[i] = scattered ? 3.0 * (chosen.sigma / dataRange) * (error + chosen.sigma + residual)
                            : result.fs * error + chosen.sigma + residual;
  }
  result.model = chosen.name();
  result.phi0 = chosen.phi0;
  result.px = chosen.px;
  result.pt = chosen.pt;
  result.alphaX = chosen.alphaX;
  result.alphaT = chosen.alphaT;
  result.sigma = chosen.sigma;
  dominanceWarning(result, std::abs(chosen.alphaX), std::abs(chosen.alphaT),
                   options.dominanceRatio);
  return true;
}

}  // namespace

std::string_view spaceTimeDesignName(SpaceTimeDesign design) {
  switch (design) {
    case SpaceTimeDesign::none:
      return "none";
    case SpaceTimeDesign::constantCourant:
      return "constant-courant";
    case SpaceTimeDesign::separateFamilies:
      return "grid-and-time-families";
    case SpaceTimeDesign::combinedFit:
      return "space-time-fit";
  }
  return "none";
}

char spaceTimeDesignLetter(SpaceTimeDesign design) {
  switch (design) {
    case SpaceTimeDesign::constantCourant:
      return 'a';
    case SpaceTimeDesign::separateFamilies:
      return 'b';
    case SpaceTimeDesign::combinedFit:
      return 'c';
    case SpaceTimeDesign::none:
      break;
  }
  return '-';
}

std::string_view spaceTimeStatusCode(SpaceTimeStatus status) {
  switch (status) {
    case SpaceTimeStatus::ok:
      return "ok";
    case SpaceTimeStatus::sizeMismatch:
      return "size-mismatch";
    case SpaceTimeStatus::notFinite:
      return "not-finite";
    case SpaceTimeStatus::nonPositive:
      return "non-positive";
    case SpaceTimeStatus::badOptions:
      return "bad-options";
    case SpaceTimeStatus::duplicateRun:
      return "duplicate-run";
    case SpaceTimeStatus::allValuesEqual:
      return "all-equal";
    case SpaceTimeStatus::unknownDesign:
      return "unknown-design";
    case SpaceTimeStatus::degenerate:
      return "degenerate";
  }
  return "unknown";
}

std::string_view spaceTimeWarningCode(SpaceTimeWarningCode code) { return findingText(code).code; }

std::string SpaceTimeFit::name() const {
  std::string text = freeX ? "px free" : "px=" + format(px);
  text += freeT ? " pt free" : " pt=" + format(pt);
  return weighted ? text + " weighted" : text;
}

double SpaceTimeFit::valueAt(double r, double t) const {
  return phi0 + alphaX * std::pow(r, px) + alphaT * std::pow(t, pt);
}

double SpaceTimeFamily::valueAt(double x) const {
  // A family whose values do not change has no order: its error term is zero.
  double value = phi0 + (alpha == 0.0 ? 0.0 : alpha * std::pow(x, p));
  return alpha2 == 0.0 ? value : value + alpha2 * x * x;
}

double courantSpread(std::span<const double> h, std::span<const double> dt) {
  if (h.empty() || h.size() != dt.size()) return kNotANumber;
  double low = std::numeric_limits<double>::infinity(), high = 0.0;
  for (std::size_t i = 0; i < h.size(); ++i) {
    const double c = dt[i] / h[i];
    if (!std::isfinite(c) || !(c > 0.0)) return kNotANumber;
    low = std::min(low, c);
    high = std::max(high, c);
  }
  return (high - low) / high;
}

bool SpaceTimeResult::has(SpaceTimeWarningCode code) const {
  return std::any_of(warnings.begin(), warnings.end(),
                     [&](const SpaceTimeWarning& w) { return w.code == code; });
}

SpaceTimeFit fitSpaceTimeModel(std::span<const double> h, std::span<const double> dt,
                               std::span<const double> phi, bool weighted, double px, double pt) {
  SpaceTimeFit fit;
  fit.weighted = weighted;
  fit.freeX = std::isnan(px);
  fit.freeT = std::isnan(pt);
  fit.parameters = 3 + (fit.freeX ? 1 : 0) + (fit.freeT ? 1 : 0);
  const std::size_t n = phi.size();
  if (h.size() != n || dt.size() != n || n <= fit.parameters) return fit;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(h[i] > 0.0 && dt[i] > 0.0 && std::isfinite(h[i]) && std::isfinite(dt[i]) &&
          std::isfinite(phi[i]))) {
      return fit;
    }
  }
  const Runs runs = makeRuns(h, dt, phi, weighted);
  const Orders orders = searchOrders(runs, {fit.freeX, fit.freeT}, {px, pt});
  std::vector<double> X(n), Y(n);
  const Linear linear = solveLinear(runs, orders[0], orders[1], X, Y);
  fit.px = orders[0];
  fit.pt = orders[1];
  fit.phi0 = linear.phi0;
  fit.alphaX = linear.alphaX;
  fit.alphaT = linear.alphaT;
  const double dof = static_cast<double>(n - fit.parameters);
  fit.sigma = std::sqrt((weighted ? static_cast<double>(n) * linear.s : linear.s) / dof);
  fit.valid = std::isfinite(fit.sigma);
  fit.atBracketEnd = (fit.freeX && atBracketEnd(fit.px)) || (fit.freeT && atBracketEnd(fit.pt));
  return fit;
}

SpaceTimeResult spaceTimeStudy(std::span<const double> h, std::span<const double> dt,
                               std::span<const double> phi, std::span<const double> iterErr,
                               const SpaceTimeOptions& options) {
  const std::size_t n = phi.size();
  if (h.size() != n || dt.size() != n || (!iterErr.empty() && iterErr.size() != n)) {
    return refuse(SpaceTimeStatus::sizeMismatch,
                  "cell sizes, time steps, values and iterative errors of different counts");
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(h[i]) || !std::isfinite(dt[i]) || !std::isfinite(phi[i])) {
      return refuse(SpaceTimeStatus::notFinite,
                    "run " + std::to_string(i + 1) + " has a value that is not a finite number");
    }
    if (!(h[i] > 0.0) || !(dt[i] > 0.0)) {
      return refuse(
          SpaceTimeStatus::nonPositive,
          "run " + std::to_string(i + 1) + " has a cell size or time step that is not positive");
    }
  }
  auto positive = [](double x) { return std::isfinite(x) && x > 0.0; };
  if (!positive(options.gridOrder) || !positive(options.timeOrder) ||
      !positive(options.levelTolerance) || !(options.levelTolerance < 1.0) ||
      !positive(options.courantTolerance) || !(options.courantTolerance < 1.0) ||
      !positive(options.dominanceRatio) || !positive(options.iterativeRatio)) {
    return refuse(SpaceTimeStatus::badOptions,
                  "a theoretical order or a threshold that is not a positive number");
  }

  SpaceTimeResult result;
  result.runs = n;
  const std::vector<std::size_t> gridLevel = levelsOf(h, options.levelTolerance, result.grids);
  const std::vector<std::size_t> stepLevel = levelsOf(dt, options.levelTolerance, result.timeSteps);
  {
    std::vector<std::pair<std::size_t, std::size_t>> cells(n);
    for (std::size_t i = 0; i < n; ++i) cells[i] = {gridLevel[i], stepLevel[i]};
    std::sort(cells.begin(), cells.end());
    if (std::adjacent_find(cells.begin(), cells.end()) != cells.end()) {
      return refuse(SpaceTimeStatus::duplicateRun,
                    "two runs on the same grid at the same time step");
    }
  }
  if (n > 0 && std::all_of(phi.begin(), phi.end(), [&](double v) { return v == phi[0]; })) {
    return refuse(SpaceTimeStatus::allValuesEqual,
                  "all values equal: there is no error to estimate");
  }

  // The design.
  const double spread = courantSpread(h, dt);
  const bool courant = n >= 3 && spread <= options.courantTolerance;
  // Design b: the L of runs through the finest run c, the grid family at its time step and the
  // time-step family on its grid.
  std::size_t common = SIZE_MAX;
  for (std::size_t c = 0; c < n && !courant; ++c) {
    if (gridLevel[c] == 0 && stepLevel[c] == 0) common = c;
  }
  if (common != SIZE_MAX) {
    std::size_t atStep = 0, onGrid = 0;
    bool lShape = true;
    for (std::size_t i = 0; i < n; ++i) {
      atStep += stepLevel[i] == 0 ? 1 : 0;
      onGrid += gridLevel[i] == 0 ? 1 : 0;
      lShape = lShape && (stepLevel[i] == 0 || gridLevel[i] == 0);
    }
    if (!lShape || atStep < 3 || onGrid < 3) common = SIZE_MAX;
  }
  result.design = courant              ? SpaceTimeDesign::constantCourant
                  : common != SIZE_MAX ? SpaceTimeDesign::separateFamilies
                  : n >= 5 && result.grids >= 2 && result.timeSteps >= 2
                      ? SpaceTimeDesign::combinedFit
                      : SpaceTimeDesign::none;
  if (result.design == SpaceTimeDesign::none) {
    return refuse(SpaceTimeStatus::unknownDesign,
                  "runs at " + count(result.grids, "grid", "grids") + " and " +
                      count(result.timeSteps, "time step", "time steps") + " (" +
                      count(n, "run", "runs") +
                      "): a space-time study needs three or more runs at one Courant number "
                      "(dt/h the same to a relative " + format(options.courantTolerance) +
                      (n >= 2 ? "; here it spreads by " + format(spread) : std::string()) +
                      "), three grids at the finest time step and three time steps on the "
                      "finest grid, or five or more runs over two or more grids and two or more "
                      "time steps");
  }

  bool fitted = false;
  switch (result.design) {
    case SpaceTimeDesign::constantCourant:
      fitted = constantCourant(result, h, phi, options);
      break;
    case SpaceTimeDesign::separateFamilies:
      fitted = separateFamilies(result, h, dt, phi, gridLevel, stepLevel, common, options);
      break;
    case SpaceTimeDesign::combinedFit:
      fitted = combinedFit(result, h, dt, phi, options);
      break;
    case SpaceTimeDesign::none:
      break;
  }
  // Values so large that a fit overflows: no numbers rather than garbage (NaN is "no U").
  if (fitted &&
      std::any_of(result.u.begin(), result.u.end(), [](double u) { return std::isinf(u); })) {
    return refuse(SpaceTimeStatus::notFinite, "the fit overflows: the values are too large");
  }
  if (!fitted) {
    return refuse(SpaceTimeStatus::degenerate,
                  "no model could be fitted to the runs (the values overflow or the runs do not "
                  "separate the grid and time terms)");
  }
  const auto [low, high] = std::minmax_element(phi.begin(), phi.end());
  iterativeWarning(result, iterErr, (*high - *low) / static_cast<double>(n - 1),
                   options.iterativeRatio);

  for (std::size_t i = 0; i < n; ++i) {
    if (gridLevel[i] < gridLevel[result.finest] ||
        (gridLevel[i] == gridLevel[result.finest] && stepLevel[i] < stepLevel[result.finest])) {
      result.finest = i;
    }
  }
  result.uNum = result.u[result.finest];
  result.status.clear();
  // Each code once: the grid and the time order may both be out of range.
  std::vector<SpaceTimeWarningCode> codes;
  for (const SpaceTimeWarning& w : result.warnings) {
    if (std::find(codes.begin(), codes.end(), w.code) != codes.end()) continue;
    codes.push_back(w.code);
    if (!result.status.empty()) result.status += "; ";
    result.status += spaceTimeWarningCode(w.code);
  }
  if (result.status.empty()) result.status = "ok";
  return result;
}

}  // namespace kv
