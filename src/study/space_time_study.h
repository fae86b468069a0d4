// The study of a space-time case: every quantity by the procedure of estimation/space_time.h
// (Eça, Vaz, Toxopeus & Hoekstra 2019, J. Verif. Valid. Uncert. Quantif. 4), and, where the case
// gives an exact value, the true error of every run beside its uncertainty. Pure computation.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "estimation/space_time.h"
#include "cases/space_time_case.h"

namespace kv::study {

struct SpaceTimeQuantityStudy {
  const SpaceTimeQuantity* input = nullptr;
  SpaceTimeResult result;
  std::vector<double> error;  // per run, phi_i - exact; empty without an exact value

  // The true error of the finest run is within u_num (false without an exact value or a U).
  bool bounded() const;
  // What --strict asks of every quantity: a U, and no finding of severity warning (a refusal,
  // no order, scatter, an iterative error fail; the fits' fallbacks and advice do not).
  bool sound() const;
};

struct SpaceTimeStudy {
  const SpaceTimeCase* input = nullptr;
  SpaceTimeOptions options;
  // Of the runs (the same for every quantity); none when every quantity was refused.
  SpaceTimeDesign design = SpaceTimeDesign::none;
  size_t grids = 0, timeSteps = 0;
  // (max - min) / max of dt/h over the runs (courantSpread): at most options.courantTolerance
  // at one Courant number.
  double courantSpread = kNotANumber;
  std::vector<SpaceTimeQuantityStudy> quantities;
};

// Studies every quantity. Runs that fit no design (or two runs within the level tolerance of
// one another) are a fault of the case, not of a quantity: Failure.
SpaceTimeStudy studySpaceTime(const SpaceTimeCase& input, const SpaceTimeOptions& options);

// The fitted value at run spacings r = h / h_1, t = dt / dt_1 of the model chosen (design a: its
// one term in r; design b: the limit plus the error terms of both families; design c: the fit);
// NaN where there is none.
double spaceTimeFitValue(const SpaceTimeResult& result, double r, double t);

}  // namespace kv::study
