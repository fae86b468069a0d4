#include "estimation/uncertainty.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kv {

namespace {

std::optional<double> finiteValue(double value) {
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// delta_RE = eps21 / (r21^p - 1), when the inputs make it a number: r21 > 1, p > 0 and r21^p
// finite.
std::optional<double> richardsonError(double eps21, double r21, double p, double pTh) {
  if (!std::isfinite(eps21) || !std::isfinite(r21) || !std::isfinite(p) || !std::isfinite(pTh) ||
      !(r21 > 1.0) || !(p > 0.0) || !(pTh > 0.0)) {
    return std::nullopt;
  }
  const double growth = std::pow(r21, p) - 1.0;
  if (!std::isfinite(growth)) return std::nullopt;  // an order too large to mean anything
  return finiteValue(eps21 / growth);
}

// Linear interpolation between the sorted values at the fraction f of their index range.
double percentile(const std::vector<double>& sorted, double f) {
  const double position = f * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  if (below + 1 >= sorted.size()) return sorted.back();
  const double t = position - static_cast<double>(below);
  if (t == 0.0 || sorted[below] == sorted[below + 1]) return sorted[below];
  return sorted[below] + t * (sorted[below + 1] - sorted[below]);
}

}  // namespace

std::optional<double> gciUncertainty(double gciFine21, double phi1) {
  if (!std::isfinite(gciFine21) || !std::isfinite(phi1) || gciFine21 < 0.0) return std::nullopt;
  return finiteValue(gciFine21 * std::abs(phi1));
}

std::optional<CorrectionFactorEstimate> correctionFactorUncertainty(double eps21, double r21,
                                                                    double p, double pTh) {
  const std::optional<double> delta = richardsonError(eps21, r21, p, pTh);
  if (!delta) return std::nullopt;
  const double cf = (std::pow(r21, p) - 1.0) / (std::pow(r21, pTh) - 1.0);
  const double departure = std::abs(1.0 - cf);
  const double factor =
      departure < 0.125 ? 9.6 * departure * departure + 1.1 : 2.0 * departure + 1.0;
  const double u = factor * std::abs(*delta);
  if (!std::isfinite(cf) || !std::isfinite(u)) return std::nullopt;
  return CorrectionFactorEstimate{*delta, cf, u};
}

std::optional<FactorOfSafetyEstimate> factorOfSafetyUncertainty(double eps21, double r21, double p,
                                                                double pTh) {
  const std::optional<double> delta = richardsonError(eps21, r21, p, pTh);
  if (!delta) return std::nullopt;
  const double ratio = p / pTh;
  const double factor =
      ratio <= 1.0 ? 1.6 * ratio + 2.45 * (1.0 - ratio) : 1.6 * ratio + 14.8 * (ratio - 1.0);
  const double u = factor * std::abs(*delta);
  if (!std::isfinite(u)) return std::nullopt;
  return FactorOfSafetyEstimate{*delta, ratio, u};
}

std::optional<double> conservativeGciUncertainty(double eps21, double r21, double pTh) {
  if (!std::isfinite(eps21) || !std::isfinite(r21) || !std::isfinite(pTh) || !(r21 > 1.0) ||
      !(pTh > 0.0)) {
    return std::nullopt;
  }
  return finiteValue(kConservativeFs * std::abs(eps21) / (std::pow(r21, pTh) - 1.0));
}

std::optional<double> oscillationUncertainty(double phi1, double phi2, double phi3) {
  if (!std::isfinite(phi1) || !std::isfinite(phi2) || !std::isfinite(phi3)) return std::nullopt;
  const auto [low, high] = std::minmax({phi1, phi2, phi3});
  return finiteValue(0.5 * high - 0.5 * low);
}

bool correctionFactorCalibrated(double correctionFactor) {
  return correctionFactor > 0.0 && std::abs(1.0 - correctionFactor) <= kCalibratedCfDeparture;
}

bool factorOfSafetyCalibrated(double orderRatio) {
  return orderRatio >= kCalibratedOrderRatioMin && orderRatio <= kCalibratedOrderRatioMax;
}

std::optional<double> targetSpacing(double h1, double gciFine21, double target, double p) {
  if (!std::isfinite(h1) || !std::isfinite(gciFine21) || !std::isfinite(target) ||
      !std::isfinite(p) || !(h1 > 0.0) || !(gciFine21 > 0.0) || !(target > 0.0) || !(p > 0.0)) {
    return std::nullopt;
  }
  return finiteValue(h1 * std::pow(target / gciFine21, 1.0 / p));
}

std::optional<double> targetCells(double cells1, double h1, double h, int dimensions) {
  if (!std::isfinite(cells1) || !std::isfinite(h1) || !std::isfinite(h) || !(cells1 > 0.0) ||
      !(h1 > 0.0) || !(h > 0.0) || dimensions < 1 || dimensions > 3) {
    return std::nullopt;
  }
  return finiteValue(cells1 * std::pow(h1 / h, dimensions));
}

std::optional<TruthJudgement> judgeAgainstTruth(std::span<const double> u,
                                                std::span<const double> trueError) {
  if (u.size() != trueError.size()) return std::nullopt;
  TruthJudgement judgement;
  std::vector<double> ratios;
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (!std::isfinite(u[i]) || !std::isfinite(trueError[i])) continue;
    const double error = std::abs(trueError[i]);
    ++judgement.count;
    if (error <= u[i]) ++judgement.bounded;
    if (error != 0.0) ratios.push_back(u[i] / error);
  }
  if (judgement.count == 0) return std::nullopt;
  judgement.boundedShare =
      static_cast<double>(judgement.bounded) / static_cast<double>(judgement.count);
  judgement.ratioCount = ratios.size();
  if (!ratios.empty()) {
    std::sort(ratios.begin(), ratios.end());
    judgement.medianRatio = percentile(ratios, 0.5);
    judgement.ratioP10 = percentile(ratios, 0.1);
    judgement.ratioP90 = percentile(ratios, 0.9);
  }
  return judgement;
}

double orderTolerance(double bound) {
  if (!(bound > 0.0) || !std::isfinite(bound)) return 0.0;
  return 0.5 * std::pow(10.0, std::floor(std::log10(bound)) - (kOrderDigits - 1));
}

bool orderBelow(double p, double low) { return p < low - orderTolerance(low); }

bool orderAbove(double p, double high) { return p > high + orderTolerance(high); }

bool orderWithin(double p, double low, double high) {
  return !std::isnan(p) && !orderBelow(p, low) && !orderAbove(p, high);
}

}  // namespace kv
