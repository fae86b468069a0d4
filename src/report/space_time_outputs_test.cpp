#include "report/space_time_outputs.h"
#include "report/space_time_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

namespace kv::study {
namespace {

// Runs on the cells (r, t) of h1 = 0.01, dt1 = 0.002, one quantity per function of (r, t).
SpaceTimeCase makeCase(
    const std::vector<std::pair<double, double>>& cells,
    const std::vector<std::pair<std::string, double (*)(double, double)>>& quantities) {
  SpaceTimeCase c;
  c.file = "case.csv";
  for (const auto& [r, t] : cells) {
    c.h.push_back(0.01 * r);
    c.dt.push_back(0.002 * t);
  }
  for (const auto& [name, f] : quantities) {
    SpaceTimeQuantity q{name, {}, kNotANumber, {}};
    for (const auto& [r, t] : cells) q.values.push_back(f(r, t));
    c.quantities.push_back(q);
  }
  return c;
}

// One power of both, so that design a (t = r) also fits it exactly.
double powerLaws(double r, double t) {
  return 1.0 + 0.01 * std::pow(r, 1.5) - 0.02 * std::pow(t, 1.5);
}
double constant(double, double) { return 2.0; }

TEST(SpaceTimeOutputs, SummaryHasTheColumnsInOrderAndEmptyFieldsWhereNothingExists) {
  const SpaceTimeCase c = makeCase({{1, 1}, {2, 1}, {4, 1}, {1, 2}, {1, 4}},
                                   {{"drag, total", powerLaws}, {"flat", constant}});
  const SpaceTimeStudy study = studySpaceTime(c, {});
  const std::string csv = spaceTimeSummaryCsv(study);
  const std::string header =
      "quantity,runs,design,model,phi0,p_x,p_t,alpha_x,alpha_t,sigma,u_num,status\n";
  ASSERT_EQ(csv.substr(0, header.size()), header);
  const std::string flat = "flat,5,,,,,,,,,,all-equal\n";
  EXPECT_EQ(csv.substr(csv.size() - flat.size()), flat);
  EXPECT_EQ(csv.substr(header.size(), 22), "\"drag, total\",5,b,x:gc");
  // Shortest round-trip numbers: phi0 reads back as the study's double.
  const size_t phi0 = csv.find(",x:gci t:gci,") + 13;
  EXPECT_EQ(std::stod(csv.substr(phi0, csv.find(',', phi0) - phi0)),
            study.quantities[0].result.phi0);
}

// The fitted value of every design passes through exact power-law data, run by run, and the
// JSON gives it beside each run.
TEST(SpaceTimeOutputs, FitValueOfEveryDesignPassesThroughExactData) {
  const std::vector<std::pair<double, double>> designs[] = {
      {{1, 1}, {2, 2}, {4, 4}},                                              // a, three runs
      {{1, 1}, {1.5, 1.5}, {2, 2}, {3, 3}},                                  // a, least squares
      {{1, 1}, {1.5, 1}, {2, 1}, {3, 1}, {1, 2}, {1, 4}},                    // b
      {{1, 1}, {1.5, 1}, {2, 1}, {1, 2}, {1.5, 2}, {2, 2}, {1, 4}, {2, 4}},  // c
  };
  for (const auto& cells : designs) {
    const SpaceTimeCase c = makeCase(cells, {{"q", powerLaws}});
    const SpaceTimeStudy study = studySpaceTime(c, {.gridOrder = 2.0, .timeOrder = 2.0});
    const SpaceTimeResult& r = study.quantities[0].result;
    ASSERT_FALSE(r.refused()) << r.refusal;
    const nlohmann::json runs =
        nlohmann::json::parse(spaceTimeJson(study))["quantities"][0]["runs"];
    for (size_t i = 0; i < cells.size(); ++i) {
      SCOPED_TRACE(std::string(1, spaceTimeDesignLetter(r.design)) + ", run " + std::to_string(i));
      const double fit = spaceTimeFitValue(r, c.h[i] / 0.01, c.dt[i] / 0.002);
      EXPECT_NEAR(fit, c.quantities[0].values[i], 1e-9);
      EXPECT_EQ(runs[i]["fit"].get<double>(), fit);
    }
  }
}

TEST(SpaceTimeOutputs, RunsThatFitNoDesignAreAFaultOfTheCase) {
  const SpaceTimeCase c = makeCase({{1, 1}, {2, 1}, {1, 2}, {2, 2}}, {{"q", powerLaws}});
  try {
    studySpaceTime(c, {});
    ADD_FAILURE();
  } catch (const Failure& e) {
    EXPECT_EQ(
        e.where().rfind(
            "case.csv: runs at 2 grids and 2 time steps (4 runs): a space-time study needs", 0),
        0u)
        << e.where();
  }
}

// The spread of dt/h that decided design a is in study.json and the report, against its
// tolerance: within it for rounded inputs, above it for runs at several Courant numbers.
TEST(SpaceTimeOutputs, ReportTheSpreadOfTheCourantNumbers) {
  struct Case {
    std::vector<double> h, dt;
    char design;
    double spread;  // relative to it, to 1e-3
    const char* says;
  };
  for (const Case& c : {
           Case{{0.33333333, 0.16666667, 0.083333333}, {0.01, 0.005, 0.0025}, 'a', 3e-8,
                "of 3e-08, within 1e-06,"},
           Case{{0.01, 0.02, 0.04, 0.01, 0.01}, {0.002, 0.002, 0.002, 0.004, 0.008}, 'b', 0.9375,
                "of 0.938, above 1e-06,"},
       }) {
    SpaceTimeCase in;
    in.file = "case.csv";
    in.h = c.h;
    in.dt = c.dt;
    SpaceTimeQuantity q{"q", {}, kNotANumber, {}};
    for (size_t i = 0; i < c.h.size(); ++i) q.values.push_back(1.0 + c.h[i] * c.h[i] + c.dt[i]);
    in.quantities.push_back(q);
    const SpaceTimeStudy study = studySpaceTime(in, {});
    ASSERT_EQ(spaceTimeDesignLetter(study.design), c.design);
    const nlohmann::json input = nlohmann::json::parse(spaceTimeJson(study))["input"];
    EXPECT_NEAR(input["courant_spread"].get<double>(), c.spread, 1e-3 * c.spread);
    EXPECT_EQ(input["courant_tolerance"].get<double>(), 1e-6);
    const std::string html = spaceTimeReportHtml(study, SpaceTimePlots{});
    EXPECT_NE(html.find(c.says), std::string::npos);
  }
}

}  // namespace
}  // namespace kv::study
