#include "celik_kernel.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kv::bench {

const char* const kSummaryHeader =
    "quantity,grids,h1,h2,h3,r21,r32,phi1,phi2,phi3,R,convergence,p,phi_ext21,e_a21,e_ext21,"
    "gci_fine21,gci_coarse32,asymptotic_ratio,exact,error_phi1,error_ext21,status\n";

namespace {

void put(std::string& row, double x) {
  char text[32];
  row.append(text, std::to_chars(text, text + sizeof text, x).ptr);
}

void field(std::string& row, double x) {
  if (!std::isnan(x)) put(row, x);
  row.push_back(',');
}

// g(p) = p ln r21 - |ln|eps32/eps21| + q(p)|: negative below the root, positive above.
struct OrderEquation {
  double logR21, r21, r32, s, logRatio;
  bool constantRatio;
  double operator()(double p) const {
    double q = constantRatio ? 0.0 : std::log((std::pow(r21, p) - s) / (std::pow(r32, p) - s));
    return p * logR21 - std::fabs(logRatio + q);
  }
};

}  // namespace

bool observedOrder(double r21, double r32, double eps21, double eps32, double& p) {
  const double s = (eps32 / eps21) > 0 ? 1.0 : -1.0;
  OrderEquation g{std::log(r21), r21, r32, s, std::log(std::fabs(eps32 / eps21)), r21 == r32};
  if (g.constantRatio) {
    p = std::fabs(g.logRatio) / g.logR21;
    return std::isfinite(p);
  }
  double lo = 1e-6, glo = g(lo);
  if (!(glo <= 0.0)) return false;
  if (glo == 0.0) {
    p = lo;
    return true;
  }
  double hi = 0.5, ghi = g(hi);
  while (!(ghi > 0.0)) {
    if (ghi == 0.0) {
      p = hi;
      return true;
    }
    lo = hi, glo = ghi;
    hi *= 2.0;
    if (hi > 64.0) return false;
    ghi = g(hi);
  }
  // Illinois: regula falsi that halves the value kept at an end twice in a row.
  int side = 0;
  for (int i = 0; i < 200; ++i) {
    double x = (lo * ghi - hi * glo) / (ghi - glo);
    if (!(x > lo && x < hi)) x = 0.5 * (lo + hi);
    double gx = g(x);
    if (gx == 0.0) {
      p = x;
      return true;
    }
    if (gx < 0.0) {
      lo = x, glo = gx;
      if (side == -1) ghi *= 0.5;
      side = -1;
    } else {
      hi = x, ghi = gx;
      if (side == 1) glo *= 0.5;
      side = 1;
    }
    if (hi - lo <= 4.0 * std::numeric_limits<double>::epsilon() * hi) break;
  }
  p = (lo * ghi - hi * glo) / (ghi - glo);
  if (!(p >= lo && p <= hi)) p = 0.5 * (lo + hi);
  return true;
}

CelikKernel::CelikKernel(std::vector<double> h, double fs) : h_(std::move(h)), fs_(fs) {
  gridsAndSpacings_ = std::to_string(h_.size()) + ",";
  for (size_t i = 0; i < 3; ++i) field(gridsAndSpacings_, i < h_.size() ? h_[i] : NAN);
  r21_ = h_[1] / h_[0];
  r32_ = h_.size() > 2 ? h_[2] / h_[1] : NAN;
  field(gridsAndSpacings_, r21_);
  field(gridsAndSpacings_, r32_);
}

field::PointSummary CelikKernel::operator()(const field::Point& point, std::string& row) const {
  using field::Convergence;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double phi1 = point.values[0], phi2 = point.values[1];
  const double phi3 = point.values.size() > 2 ? point.values[2] : nan;
  const double eps21 = phi2 - phi1, eps32 = phi3 - phi2;
  double R = nan, p = nan, ext = nan, ea21 = nan, eext = nan, gci21 = nan, gci32 = nan,
         ratio = nan;
  const char* status = "ok";
  Convergence type = Convergence::TwoGrids;
  if (point.values.size() >= 3) {
    if (eps21 == 0.0 && eps32 == 0.0) {
      type = Convergence::NoChange;
      status = "no change between the grids";
    } else if (eps21 == 0.0 || eps32 == 0.0) {
      type = Convergence::Undetermined;
      status = "no change between two grids";
    } else {
      R = eps21 / eps32;
      type = R > 0.0 ? (R < 1.0 ? Convergence::MonotonicConvergence : Convergence::MonotonicDivergence)
                     : (R > -1.0 ? Convergence::OscillatoryConvergence
                                 : Convergence::OscillatoryDivergence);
      if (observedOrder(r21_, r32_, eps21, eps32, p)) {
        const double r21p = std::pow(r21_, p), r32p = std::pow(r32_, p);
        ext = (r21p * phi1 - phi2) / (r21p - 1.0);
        ea21 = std::fabs((phi1 - phi2) / phi1);
        // |(phi_ext21 - phi1)/phi_ext21| with the difference taken without cancellation:
        // phi_ext21 - phi1 = (phi1 - phi2)/(r21^p - 1).
        eext = std::fabs((phi1 - phi2) / (r21p - 1.0) / ext);
        gci21 = fs_ * ea21 / (r21p - 1.0);
        gci32 = fs_ * std::fabs((phi2 - phi3) / phi2) / (r32p - 1.0);
        ratio = gci32 / (r21p * gci21);
      } else {
        status = "no solution of the order equation";
      }
    }
  }
  row.append(point.id).push_back(',');
  row.append(gridsAndSpacings_);
  field(row, phi1);
  field(row, phi2);
  field(row, phi3);
  field(row, R);
  row.append(field::convergenceName(type)).push_back(',');
  field(row, p);
  field(row, ext);
  field(row, ea21);
  field(row, eext);
  field(row, gci21);
  field(row, gci32);
  field(row, ratio);
  double exact = point.exact ? *point.exact : nan;
  field(row, exact);
  field(row, std::fabs((phi1 - exact) / exact));
  field(row, std::fabs((ext - exact) / exact));
  row.append(status).push_back('\n');
  // The worst converging: divergence first, then no order, then the largest GCI.
  double badness = gci21;
  if (type == Convergence::MonotonicDivergence || type == Convergence::OscillatoryDivergence) {
    badness = 1e300;
  } else if (std::isnan(p)) {
    badness = 1e299;
  }
  return {type, p, gci21, badness};
}

}  // namespace kv::bench
