// The per-point standard procedure of Celik et al. 2008 (J. Fluids Eng. 130, 078001) on the
// three finest grids of a field, as the benchmarks' realistic per-point computation: one
// summary.csv row per point. Grid 1 is the finest.
#pragma once

#include <string>
#include <vector>

#include "field/engine.h"

namespace kv::bench {

// The summary.csv columns, with the line end.
extern const char* const kSummaryHeader;

class CelikKernel {
 public:
  // `h`: the spacings, finest first (two grids or more); `fs`: the safety factor.
  CelikKernel(std::vector<double> h, double fs);
  field::PointSummary operator()(const field::Point& point, std::string& row) const;

 private:
  std::vector<double> h_;
  double fs_;
  double r21_ = 0, r32_ = 0;
  std::string gridsAndSpacings_;  // "grids,h1,h2,h3,r21,r32," as text
};

// The observed order p of Celik et al. 2008, eq. (4)-(6): the root of
//   p ln r21 = |ln|eps32/eps21| + q(p)|,  q(p) = ln((r21^p - s)/(r32^p - s)),  s = sign(eps32/eps21)
// (q = 0 with a constant ratio), bracketed between 1e-6 and the first of 0.5, 1, 2, ... 64 where
// the left side is the larger, then solved by the Illinois variant of regula falsi to a few
// units in the last place. False when there is no such bracket.
bool observedOrder(double r21, double r32, double eps21, double eps32, double& p);

}  // namespace kv::bench
