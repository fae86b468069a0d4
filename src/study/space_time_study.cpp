#include "study/space_time_study.h"

#include <algorithm>
#include <cmath>

#include "base/error.h"
#include "cases/study_case.h"

namespace kv::study {

namespace {

size_t distinctCount(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return static_cast<size_t>(std::unique(values.begin(), values.end()) - values.begin());
}

}  // namespace

bool SpaceTimeQuantityStudy::bounded() const {
  return !error.empty() && !result.refused() && std::abs(error[result.finest]) <= result.uNum;
}

bool SpaceTimeQuantityStudy::sound() const {
  if (result.refused() || !std::isfinite(result.uNum)) return false;
  return std::none_of(result.warnings.begin(), result.warnings.end(), [](const SpaceTimeWarning& w) {
    return findingText(w.code).severity == FindingSeverity::warning;
  });
}

double spaceTimeFitValue(const SpaceTimeResult& result, double r, double t) {
  switch (result.design) {
    case SpaceTimeDesign::constantCourant:
      return result.families.at(0).valueAt(r);
    case SpaceTimeDesign::separateFamilies: {
      const SpaceTimeFamily& grid = result.families.at(0);
      const SpaceTimeFamily& time = result.families.at(1);
      return result.phi0 + (grid.valueAt(r) - grid.phi0) + (time.valueAt(t) - time.phi0);
    }
    case SpaceTimeDesign::combinedFit:
      return result.fits.at(result.chosen).valueAt(r, t);
    case SpaceTimeDesign::none:
      break;
  }
  return kNotANumber;
}

SpaceTimeStudy studySpaceTime(const SpaceTimeCase& input, const SpaceTimeOptions& options) {
  SpaceTimeStudy study;
  study.input = &input;
  study.options = options;
  study.grids = distinctCount(input.h);
  study.timeSteps = distinctCount(input.dt);
  study.courantSpread = courantSpread(input.h, input.dt);
  for (const SpaceTimeQuantity& q : input.quantities) {
    SpaceTimeQuantityStudy s;
    s.input = &q;
    s.result = spaceTimeStudy(input.h, input.dt, q.values, q.iterErr, options);
    const SpaceTimeStatus outcome = s.result.outcome;
    if (outcome == SpaceTimeStatus::unknownDesign || outcome == SpaceTimeStatus::duplicateRun) {
      throw Failure(
          displayName(input.file), 0,
          outcome == SpaceTimeStatus::duplicateRun
              ? s.result.refusal +
                    " (h and dt within a relative 1e-9 of one another): give each run once"
              : s.result.refusal);
    }
    if (!s.result.refused() && study.design == SpaceTimeDesign::none) {
      study.design = s.result.design;
      study.grids = s.result.grids;
      study.timeSteps = s.result.timeSteps;
    }
    if (std::isfinite(q.exact)) {
      for (double phi : q.values) s.error.push_back(phi - q.exact);
    }
    study.quantities.push_back(std::move(s));
  }
  return study;
}

}  // namespace kv::study
