#include "study/classic_series.h"

#include <cmath>

#include "estimation/error_estimation.h"
#include "model/grid_series.h"
#include "model/run_parameters.h"

namespace kv::study {

namespace {

constexpr SeriesColumn kSeriesColumns[] = {
    {"pU", "observed order of the triplet ending at this grid", &ClassicSeries::pU},
    {"Ti_12", "Richardson extrapolation with the theoretical order", &ClassicSeries::Ti_12},
    {"Ti_pU", "Richardson extrapolation with the observed order", &ClassicSeries::Ti_pU},
    {"Tc_12", "convergent value (midpoint of Ti_12 and Ti_pU)", &ClassicSeries::Tc_12},
    {"Ud", "delta estimator |phi - phi of the next coarser grid|", &ClassicSeries::Ud},
    {"Uri_12", "Richardson estimator with the theoretical order", &ClassicSeries::Uri_12},
    {"Uri_pU", "Richardson estimator with the observed order", &ClassicSeries::Uri_pU},
    {"Uc_12", "convergent estimator", &ClassicSeries::Uc_12},
    {"GCI_pL", "grid convergence index with the theoretical order (absolute)", &ClassicSeries::GCI_pL},
    {"GCI_p", "grid convergence index with min(pL, pU) (absolute)", &ClassicSeries::GCI_p},
};

bool constantRatio(std::span<const double> h) {
  for (size_t k = 2; k < h.size(); ++k) {
    const double a = h[k] / h[k - 1], b = h[1] / h[0];
    if (std::fabs(a - b) > 1e-9 * b) return false;
  }
  return true;
}

}  // namespace

std::span<const SeriesColumn> seriesColumns() { return kSeriesColumns; }

// The classic core runs coarsest grid first: the study's grid k is the classic grid n - k + 1.
ClassicSeries classicSeries(std::span<const double> h, std::span<const double> phi, int pL,
                            double Fs, const ClassicSettings& settings) {
  const size_t n = h.size();
  EstimationParameters p;
  p.pL = pL;
  p.deltaP = settings.deltaP;
  p.Fs = Fs;
  const int32_t refinementType = settings.refinementType != 0 ? settings.refinementType
                                                             : (constantRatio(h) ? 1 : 2);
  p.refinement = static_cast<Refinement>(refinementType);
  p.bisection = {settings.maxIterations, settings.tolerance, settings.pUMin, settings.pUMax};
  const std::vector<double> coarseFirstH(h.rbegin(), h.rend());
  const std::vector<double> coarseFirstPhi(phi.rbegin(), phi.rend());
  const GridSeries g = estimateSeries(p, coarseFirstH, coarseFirstPhi);

  ClassicSeries out;
  out.refinementType = refinementType;
  const GridArray<double> GridSeries::*from[] = {&GridSeries::pU_Th,  &GridSeries::Ti_12,
                                                 &GridSeries::Ti_pU,  &GridSeries::Tc_12,
                                                 &GridSeries::Ud,     &GridSeries::Uri_12,
                                                 &GridSeries::Uri_pU, &GridSeries::Uc_12,
                                                 &GridSeries::GCI_pL, &GridSeries::GCI_p};
  static_assert(std::size(from) == std::size(kSeriesColumns));
  for (size_t c = 0; c < std::size(kSeriesColumns); ++c) {
    std::vector<double>& to = out.*(kSeriesColumns[c].values);
    to.resize(n);
    for (size_t i = 1; i <= n; ++i) {
      const double v = (g.*from[c])(static_cast<int>(i));
      to[n - i] = (isUndefined(v) || std::isnan(v)) ? NAN : v;
    }
  }
  return out;
}

}  // namespace kv::study
