#include "mesh/interpolation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>

#include "mesh/test_support.h"

namespace kv::mesh {
namespace {

using S = InterpolationStatus;

Interpolated run(const PointCloud& source, const std::vector<double>& targets, int degree = 2,
                 unsigned threads = 1) {
  KdTree tree(source);
  InterpolationOptions options;
  options.degree = degree;
  options.threads = threads;
  Interpolated out;
  EXPECT_EQ(interpolate(source, tree, targets, options, out), std::nullopt);
  return out;
}

// A polynomial of degree <= K comes back to round-off, inside and on the boundary, whatever the
// dimension: the fit, the scaling and the stencil weights are right.
TEST(Interpolation, ReproducesEveryPolynomialOfItsDegree) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> coefficient(-1, 1), inside(0.1, 0.9);
  for (int dim = 1; dim <= 3; ++dim) {
    for (int degree = 1; degree <= kMaxDegree; ++degree) {
      std::vector<std::array<int, 3>> exponents;
      for (int a = 0; a <= degree; ++a)
        for (int b = 0; b <= (dim > 1 ? degree - a : 0); ++b)
          for (int c = 0; c <= (dim > 2 ? degree - a - b : 0); ++c) exponents.push_back({a, b, c});
      std::vector<double> coefficients;
      for (size_t j = 0; j < exponents.size(); ++j) coefficients.push_back(coefficient(random));
      auto polynomial = [&](const double* x) {
        double sum = 0;
        for (size_t j = 0; j < exponents.size(); ++j) {
          double term = coefficients[j];
          for (int d = 0; d < dim; ++d) term *= std::pow(x[d], exponents[j][d]);
          sum += term;
        }
        return sum;
      };
      PointCloud source = cloudOf(dim, jitteredLattice(dim, dim == 3 ? 8 : 24, random), polynomial);
      std::vector<double> targets;
      for (int t = 0; t < 40; ++t) {
        for (int d = 0; d < dim; ++d) targets.push_back(t % 8 == 0 && d == 0 ? 0.0 : inside(random));
      }
      Interpolated out = run(source, targets, degree);
      for (size_t t = 0; t < out.status.size(); ++t) {
        SCOPED_TRACE(testing::Message() << dim << "-D degree " << degree << " target " << t);
        EXPECT_TRUE(out.status[t] == S::Ok || out.status[t] == S::Exact);  // x = 0 is in 1-D
        EXPECT_NEAR(out.values[0][t], polynomial(&targets[t * dim]), 1e-11);
      }
    }
  }
}

// Targets on source points (nested grids) take their values bit for bit.
TEST(Interpolation, ATargetOnASourcePointTakesItsValue) {
  std::mt19937_64 random(4);
  std::normal_distribution<double> noise;
  PointCloud source = cloudOf(2, jitteredLattice(2, 20, random), [&](const double*) { return noise(random); });
  std::vector<double> targets;
  for (size_t i = 0; i < source.size(); i += 7) {
    targets.insert(targets.end(), {source.coordinates[2 * i], source.coordinates[2 * i + 1]});
  }
  targets.insert(targets.end(), {source.coordinates[2] + 1e-13, source.coordinates[3]});
  targets.insert(targets.end(), {source.coordinates[2] + 1e-4, source.coordinates[3]});
  Interpolated out = run(source, targets);
  const size_t last = out.status.size() - 1;
  for (size_t t = 0; t < last; ++t) {
    EXPECT_EQ(out.status[t], S::Exact);
    EXPECT_EQ(out.values[0][t], source.quantities[0].values[t < last - 1 ? 7 * t : 1]);
  }
  EXPECT_EQ(out.status[last], S::Ok);  // 1/500 of a spacing away: fitted
}

// Which targets a square, an L (the square less its upper right quarter) and an annulus
// (0.3 <= r <= 1) cover, sampled at spacing h = 1/40; the annulus's circles carry points.
TEST(Interpolation, TargetsOutsideTheRegionAreFlagged) {
  std::mt19937_64 random(5);
  const double h = 1.0 / 40;
  std::vector<double> square = jitteredLattice(2, 40, random), l, annulus;
  for (size_t i = 0; i < square.size(); i += 2) {
    if (square[i] <= 0.5 || square[i + 1] <= 0.5) l.insert(l.end(), {square[i], square[i + 1]});
  }
  for (double x : jitteredLattice(2, 80, random)) annulus.push_back(2 * x - 1);
  std::vector<double> kept;
  for (size_t i = 0; i < annulus.size(); i += 2) {
    double r = std::hypot(annulus[i], annulus[i + 1]);
    if (r > 0.3 + h / 4 && r < 1 - h / 4) kept.insert(kept.end(), {annulus[i], annulus[i + 1]});
  }
  for (double radius : {0.3, 1.0}) {
    int points = static_cast<int>(2 * std::numbers::pi * radius / h);
    for (int j = 0; j < points; ++j) {
      double angle = 2 * std::numbers::pi * (j + 0.5) / points;
      kept.insert(kept.end(), {radius * std::cos(angle), radius * std::sin(angle)});
    }
  }
  struct Case {
    const std::vector<double>* region;
    double x, y;
    S expected;
  } cases[] = {
      {&square, 0.5, 0.5, S::Ok},     {&square, 0.0, 0.37, S::Ok},        // on an edge
      {&square, 1.0, 1.0, S::Exact},  {&square, -0.8 * h, 0.37, S::Outside},
      {&square, 1.3, 0.5, S::Outside},
      {&l, 0.25, 0.75, S::Ok},        {&l, 0.75, 0.25, S::Ok},
      {&l, 0.6, 0.6, S::Outside},     {&l, 0.6, 0.8, S::Outside},          // in the notch
      {&l, 0.75, 0.75, S::Outside},
      {&kept, 0.65, 0.0, S::Ok},      {&kept, 0.5, 0.866025403784, S::Ok},  // on the outer circle
      {&kept, 0.0, -0.3, S::Ok},      {&kept, 0.0, 0.0, S::Outside},        // in the hole
      {&kept, 0.2, 0.0, S::Outside},  {&kept, 1 + 1.2 * h, 0.0, S::Outside},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "target " << c.x << ", " << c.y);
    PointCloud source = cloudOf(2, *c.region, [](const double* x) { return x[0] - 2 * x[1]; });
    Interpolated out = run(source, {c.x, c.y});
    EXPECT_EQ(statusName(out.status[0]), statusName(c.expected));
    EXPECT_EQ(std::isnan(out.values[0][0]), c.expected == S::Outside);
  }
}

// Neighbours that do not determine a fit at the target.
TEST(Interpolation, FitsTheNeighboursCannotDetermineAreFlagged) {
  std::vector<double> corners{0, 0, 1, 0, 0, 1, 1, 1}, circle, nearCircle, line, twoLines;
  for (int j = 0; j < 12; ++j) {
    double angle = 2 * std::numbers::pi * j / 12, r = 0.01;
    circle.insert(circle.end(), {0.5 + r * std::cos(angle), 0.5 + r * std::sin(angle)});
    r *= 1 + 1e-6 * (j % 3);
    nearCircle.insert(nearCircle.end(), {0.5 + r * std::cos(angle), 0.5 + r * std::sin(angle)});
  }
  for (int i = 0; i <= 100; ++i) {
    line.insert(line.end(), {i / 100.0, 0.0});
    twoLines.insert(twoLines.end(), {0.0, i / 100.0, 0.05, i / 100.0});
  }
  struct Case {
    const char* what;
    const std::vector<double>* points;
    double x, y;
    int degree;
    S expected;
  } cases[] = {
      {"fewer points than monomials", &corners, 0.5, 0.5, 2, S::Unreliable},
      {"on a circle: x^2 + y^2 undetermined", &circle, 0.5, 0.5, 2, S::Unreliable},
      {"nearly on a circle: ill-conditioned", &nearCircle, 0.5, 0.5, 2, S::Unreliable},
      {"on a line, the target on it", &line, 0.505, 0.0, 2, S::Ok},
      {"on a line, the target a tenth of a spacing off", &line, 0.505, 0.001, 1, S::Unreliable},
      {"the next line beyond the k nearest", &twoLines, 0.015, 0.5, 1, S::Unreliable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PointCloud source = cloudOf(2, *c.points, [](const double* x) { return 1 + 3 * x[0]; });
    Interpolated out = run(source, {c.x, c.y}, c.degree);
    EXPECT_EQ(statusName(out.status[0]), statusName(c.expected));
    if (c.expected == S::Ok) {
      EXPECT_NEAR(out.values[0][0], 1 + 3 * c.x, 1e-12);
    }
  }
}

TEST(Interpolation, ThreadsGiveTheSameResultsAsOne) {
  std::mt19937_64 random(6);
  std::uniform_real_distribution<double> anywhere(-0.1, 1.1);
  PointCloud source = cloudOf(3, jitteredLattice(3, 20, random),
                              [](const double* x) { return std::sin(x[0] + 2 * x[1] * x[2]); });
  std::vector<double> targets(3 * 6000);
  for (double& x : targets) x = anywhere(random);
  targets[0] = NAN;
  Interpolated one = run(source, targets, 3, 1), two = run(source, targets, 3, 2);
  EXPECT_EQ(one.status, two.status);
  for (size_t t = 0; t < one.status.size(); ++t) {
    if (!std::isnan(one.values[0][t])) {
      EXPECT_EQ(one.values[0][t], two.values[0][t]) << t;
    }
  }
  EXPECT_EQ(one.status[0], S::Outside);  // a target that is not a point
}

TEST(Interpolation, RefusesWhatItCannotUse) {
  PointCloud source = cloudOf(2, {0, 0, 1, 0, 0, 1}, [](const double*) { return 1.0; });
  PointCloud other = cloudOf(2, {0, 0}, [](const double*) { return 1.0; });
  KdTree tree(source), otherTree(other);
  auto refused = [&](const PointCloud& s, const KdTree& t, std::vector<double> targets,
                     InterpolationOptions o) {
    Interpolated out;
    auto error = interpolate(s, t, targets, o, out);
    return error.has_value() && out.status.empty();
  };
  InterpolationOptions ok, degree4, tooMany, negative;
  degree4.degree = 4;
  tooMany.neighbours = kMaxNeighbours + 1;
  negative.outsideMargin = -1;
  EXPECT_TRUE(refused(source, tree, {0.5}, ok));           // half a point
  EXPECT_TRUE(refused(source, otherTree, {0.5, 0.5}, ok));  // a tree of another cloud
  EXPECT_TRUE(refused(source, tree, {0.5, 0.5}, degree4));
  EXPECT_TRUE(refused(source, tree, {0.5, 0.5}, tooMany));
  EXPECT_TRUE(refused(source, tree, {0.5, 0.5}, negative));
  EXPECT_FALSE(refused(source, tree, {0.5, 0.5}, ok));
}

TEST(Interpolation, DegreeRuleAndNames) {
  EXPECT_EQ(defaultDegree(1), 1);
  EXPECT_EQ(defaultDegree(1.5), 2);
  EXPECT_EQ(defaultDegree(2), 2);
  EXPECT_EQ(defaultDegree(3), 3);
  EXPECT_EQ(defaultDegree(4), 3);
  EXPECT_EQ(defaultDegree(0.5), 1);
  EXPECT_EQ(defaultNeighbours(2, 2), 12u);
  EXPECT_EQ(monomialCount(3, 3), 20u);
  EXPECT_EQ(statusName(S::Unreliable), "interpolation-unreliable");
}

}  // namespace
}  // namespace kv::mesh
