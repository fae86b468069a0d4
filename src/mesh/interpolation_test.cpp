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
// dimension: the fit, the scaling and the stencil weights are right. The polynomial is a product
// of K random linear factors, so it mixes every variable at every degree.
TEST(Interpolation, ReproducesEveryPolynomialOfItsDegree) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> coefficient(-1, 1), inside(0.1, 0.9);
  for (int dim = 1; dim <= 3; ++dim) {
    for (int degree = 1; degree <= kMaxDegree; ++degree) {
      std::vector<double> factors(4 * degree);
      for (double& c : factors) c = coefficient(random);
      auto polynomial = [&](const double* x) {
        double product = 1;
        for (int j = 0; j < degree; ++j) {
          double factor = factors[4 * j];
          for (int d = 0; d < dim; ++d) factor += factors[4 * j + 1 + d] * x[d];
          product *= factor;
        }
        return product;
      };
      PointCloud source = cloudOf(dim, jitteredLattice(dim, dim == 3 ? 8 : 24, random), polynomial);
      std::vector<double> targets;
      for (int t = 0; t < 40 * dim; ++t) targets.push_back(t % 8 == 0 ? 0.0 : inside(random));
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
  PointCloud source =
      cloudOf(2, jitteredLattice(2, 20, random), [&](const double*) { return noise(random); });
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

// The status of single targets: which targets a square, an L (the square less its upper right
// quarter) and an annulus (0.3 <= r <= 1, its circles carrying points) cover at spacing h = 1/40,
// and neighbours that do not determine a fit at the target.
TEST(Interpolation, StatusOfEachTarget) {
  std::mt19937_64 random(5);
  const double h = 1.0 / 40, pi = std::numbers::pi;
  std::vector<double> square = jitteredLattice(2, 40, random),
                      disc = jitteredLattice(2, 80, random);
  std::vector<double> l, annulus, corners{0, 0, 1, 0, 0, 1, 1, 1}, circle, nearCircle, line, lines;
  for (size_t i = 0; i < square.size(); i += 2) {
    if (square[i] <= 0.5 || square[i + 1] <= 0.5) l.insert(l.end(), {square[i], square[i + 1]});
  }
  for (size_t i = 0; i < disc.size(); i += 2) {
    double x = 2 * disc[i] - 1, y = 2 * disc[i + 1] - 1, r = std::hypot(x, y);
    if (r > 0.3 + h / 4 && r < 1 - h / 4) annulus.insert(annulus.end(), {x, y});
  }
  for (double radius : {0.3, 1.0}) {
    for (int j = 0, n = static_cast<int>(2 * pi * radius / h); j < n; ++j) {
      annulus.insert(annulus.end(),
                     {radius * std::cos(2 * pi * j / n), radius * std::sin(2 * pi * j / n)});
    }
  }
  for (int j = 0; j < 12; ++j) {
    double r = 0.01, s = r * (1 + 1e-6 * (j % 3));
    circle.insert(circle.end(), {0.5 + r * std::cos(pi * j / 6), 0.5 + r * std::sin(pi * j / 6)});
    nearCircle.insert(nearCircle.end(),
                      {0.5 + s * std::cos(pi * j / 6), 0.5 + s * std::sin(pi * j / 6)});
  }
  for (int i = 0; i <= 100; ++i) {
    line.insert(line.end(), {i / 100.0, 0.0});
    lines.insert(lines.end(), {0.0, i / 100.0, 0.05, i / 100.0});
  }
  struct Case {
    const char* what;
    const std::vector<double>* points;
    double x, y;
    int degree;
    S expected;
  } cases[] = {
      // clang-format off
      {"square, inside", &square, 0.5, 0.5, 2, S::Ok},
      {"square, on an edge", &square, 0.0, 0.37, 2, S::Ok},
      {"square, on its corner point", &square, 1.0, 1.0, 2, S::Exact},
      {"square, 0.8 h beyond an edge", &square, -0.8 * h, 0.37, 2, S::Outside},
      {"square, far", &square, 1.3, 0.5, 2, S::Outside},
      {"L, inside", &l, 0.25, 0.75, 2, S::Ok}, {"L, inside", &l, 0.75, 0.25, 2, S::Ok},
      {"L, notch", &l, 0.6, 0.6, 2, S::Outside}, {"L, notch", &l, 0.6, 0.8, 2, S::Outside},
      {"L, notch", &l, 0.75, 0.75, 2, S::Outside},
      {"annulus, inside", &annulus, 0.65, 0.0, 2, S::Ok},
      {"annulus, on the outer circle", &annulus, 0.5, std::sqrt(0.75), 2, S::Ok},
      {"annulus, on the inner circle", &annulus, 0.0, -0.3, 2, S::Ok},
      {"annulus, centre of the hole", &annulus, 0.0, 0.0, 2, S::Outside},
      {"annulus, in the hole", &annulus, 0.2, 0.0, 2, S::Outside},
      {"annulus, 1.2 h beyond", &annulus, 1 + 1.2 * h, 0.0, 2, S::Outside},
      {"fewer points than monomials", &corners, 0.5, 0.5, 2, S::Unreliable},
      {"on a circle: x^2 + y^2 undetermined", &circle, 0.5, 0.5, 2, S::Unreliable},
      {"nearly on a circle: ill-conditioned", &nearCircle, 0.5, 0.5, 2, S::Unreliable},
      {"on a line, the target on it", &line, 0.505, 0.0, 2, S::Ok},
      {"on a line, the target h/10 off", &line, 0.505, 0.001, 1, S::Unreliable},
      {"the next line beyond the k nearest", &lines, 0.015, 0.5, 1, S::Unreliable},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << " " << c.x << ", " << c.y);
    PointCloud source = cloudOf(2, *c.points, [](const double* x) { return 1 + 3 * x[0] - x[1]; });
    Interpolated out = run(source, {c.x, c.y}, c.degree);
    EXPECT_EQ(statusName(out.status[0]), statusName(c.expected));
    if (c.expected == S::Ok || c.expected == S::Exact) {
      EXPECT_NEAR(out.values[0][0], 1 + 3 * c.x - c.y, 1e-9);
    } else {
      EXPECT_TRUE(std::isnan(out.values[0][0]));
    }
  }
}

TEST(Interpolation, ThreadsGiveTheSameResultsAsOne) {
  std::mt19937_64 random(6);
  std::uniform_real_distribution<double> anywhere(-0.1, 1.1);
  PointCloud source = cloudOf(3, jitteredLattice(3, 20, random),
                              [](const double* x) { return std::sin(x[0] + 2 * x[1] * x[2]); });
  std::vector<double> targets(3 * 4000);
  for (double& x : targets) x = anywhere(random);
  targets[0] = NAN;
  Interpolated one = run(source, targets, 2, 1), two = run(source, targets, 2, 2);
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
  KdTree tree(source), otherTree(std::vector<double>{0, 0}, 2);
  auto refused = [&](const KdTree& t, std::vector<double> targets, int degree, double margin) {
    InterpolationOptions options;
    options.degree = degree;
    options.outsideMargin = margin;
    Interpolated out;
    bool error = interpolate(source, t, targets, options, out).has_value();
    EXPECT_EQ(out.status.empty(), error);
    return error;
  };
  EXPECT_FALSE(refused(tree, {0.5, 0.5}, 2, 0.25));
  EXPECT_TRUE(refused(tree, {0.5}, 2, 0.25));  // half a point
  EXPECT_TRUE(refused(otherTree, {0.5, 0.5}, 2, 0.25));
  EXPECT_TRUE(refused(tree, {0.5, 0.5}, 4, 0.25));
  EXPECT_TRUE(refused(tree, {0.5, 0.5}, 2, -1));
  EXPECT_EQ(defaultDegree(0.5), 1);  // the degree rule: K = p_th, rounded up, within 1..3
  EXPECT_EQ(defaultDegree(1.5), 2);
  EXPECT_EQ(defaultDegree(3), 3);
  EXPECT_EQ(defaultDegree(4), 3);
}

}  // namespace
}  // namespace kv::mesh
