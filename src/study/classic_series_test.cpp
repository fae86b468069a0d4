#include "study/classic_series.h"

#include <gtest/gtest.h>

#include <cmath>

#include "estimation/standard_procedure.h"

namespace kv::study {
namespace {

// The classic series and the standard procedure are two computations of the same orders: on
// every triplet of grids they must agree (to the bisection tolerance with a variable ratio).
TEST(ClassicSeries, OrdersOfEveryTripletAgreeWithTheStandardProcedure) {
  const std::vector<std::vector<double>> spacings = {
      {0.01, 0.02, 0.04, 0.08, 0.16},      // constant ratio: closed form in both
      {0.01, 0.013, 0.02, 0.031, 0.05}};   // variable ratio: two root finders
  for (const std::vector<double>& h : spacings) {
    std::vector<double> phi;
    for (double x : h) phi.push_back(3.0 - 2.0 * std::pow(x, 1.7) + 5.0 * std::pow(x, 3.0));
    ClassicSeries s = classicSeries(h, phi, 2, 1.25, {});
    EXPECT_EQ(s.refinementType, h[1] / h[0] == h[2] / h[1] ? 1 : 2);
    for (size_t k = 0; k + 2 < h.size(); ++k) {
      StandardResult r = standardProcedure(std::span(h).subspan(k, 3), std::span(phi).subspan(k, 3),
                                           kNotANumber, {});
      EXPECT_NEAR(s.pU[k], r.p, 1e-9) << "triplet from grid " << k + 1;
      // Richardson with the theoretical order 2 at the finer grid of each pair.
      EXPECT_NEAR(s.Ti_12[k], phi[k] + (phi[k] - phi[k + 1]) / (std::pow(h[k + 1] / h[k], 2) - 1), 1e-14);
    }
    // The coarsest grids have no triplet, the coarsest no pair.
    EXPECT_TRUE(std::isnan(s.pU[h.size() - 2]) && std::isnan(s.pU[h.size() - 1]));
    EXPECT_TRUE(std::isnan(s.Ti_12.back()) && std::isnan(s.GCI_pL.back()));
  }
}

}  // namespace
}  // namespace kv::study
