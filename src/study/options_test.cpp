#include "study/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kv::study {
namespace {

constexpr CaseKind kKinds[] = {CaseKind::Table,     CaseKind::MainData, CaseKind::MainDataField, CaseKind::FieldTable,
                               CaseKind::Hdf5,      CaseKind::Slabs,    CaseKind::SpaceTime,     CaseKind::MeshField};

// Every option is accepted or refused the same way whatever the front end: its row says to which
// kinds it applies. Written out here kind by kind (by their keys), every row once: a row whose
// kinds change, or a row without a line here, fails.
TEST(StudyOptions, EveryOptionAppliesToTheKindsOfItsRow) {
  const std::string all = "csv main-data main-data-field field hdf5-field slabs space-time mesh-field";
  const std::string hAlone = "csv main-data main-data-field field hdf5-field mesh-field";
  const std::string csv = "csv field space-time mesh-field";
  const struct {
    const char* option;
    std::string kinds;
  } expected[] = {
      {"--out", all},
      {"--format", all},
      {"--order", "csv main-data main-data-field field hdf5-field space-time mesh-field"},
      {"--time-order", "space-time"},
      {"--fs", hAlone},
      {"--target-gci", hAlone},
      {"--noise", hAlone},
      {"--cells", csv},
      {"--dim", csv},
      {"--no-plots", all},
      {"--plot-timeout", all},
      {"--strict", all},
      {"--field", "main-data main-data-field field hdf5-field mesh-field"},
      {"--no-least-squares", hAlone},
      {"--least-squares", hAlone},
      {"--threads", hAlone},
      {"--slab", "hdf5-field"},
      {"--no-csv", "hdf5-field slabs"},
      {"--at", "mesh-field"},
      {"--interp-degree", "mesh-field"},
      {"--block-points", "main-data-field field hdf5-field mesh-field"},
  };
  ASSERT_EQ(std::size(expected), optionRows().size());
  for (const auto& e : expected) {
    const OptionRow* row = optionRow(e.option);
    ASSERT_NE(row, nullptr) << e.option;
    std::istringstream words(e.kinds);
    const std::set<std::string> keys{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    for (CaseKind kind : kKinds) {
      const bool applies = keys.count(std::string(caseKindKey(kind))) != 0;
      const std::vector<std::string> given = {"--strict", e.option};
      const std::optional<std::string> refused = refusedOption(kind, given, "table");
      EXPECT_EQ(optionApplies(e.option, kind), applies) << e.option << " for " << caseKindName(kind);
      if (applies) {
        EXPECT_EQ(refused, std::nullopt) << e.option << " for " << caseKindName(kind);
      } else {
        // One line, naming the option, to what it applies and the kind of the case.
        EXPECT_EQ(refused, std::string(e.option) + " applies to " + std::string(row->appliesTo) + ", not to " +
                               std::string(caseKindName(kind)));
      }
    }
  }
  const std::vector<std::string> given = {"--strict", "--cells"};
  EXPECT_EQ(refusedOption(CaseKind::Hdf5, given, "table"),
            "--cells applies to CSV cases (a table of quantities, an h,dt table of runs or an h,file table), not to an "
            "HDF5 field");
  EXPECT_EQ(refusedOption(CaseKind::SpaceTime, {}, "markdown"),
            "--format markdown prints the table of a paper, one column per quantity: it applies to tables of "
            "quantities, not to a space-time table of runs (h,dt)");
  EXPECT_EQ(refusedOption(CaseKind::MainData, {}, "latex"), std::nullopt);
}

struct Edge {
  const char* option;
  std::function<void(StudyOptions&, OutputOptions&)> set;
  std::string refused;  // "" for accepted
};

// Each value at and just past the edges of its range, and the combinations: accepted inside,
// refused outside with the message the command line gives.
TEST(StudyOptions, ValidateChecksEveryValueAtItsEdges) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const std::string order = "--order: the theoretical order: a number above 0 and below 100, not ";
  const std::string noise = "--noise: an absolute level: a finite number, 0 or above, not ";
  const Edge edges[] = {
      {"--order", [](auto& s, auto&) { s.order = 5e-324; }, ""},
      {"--order", [](auto& s, auto&) { s.order = 0.0; }, order + "0"},
      {"--order", [](auto& s, auto&) { s.order = std::nextafter(100.0, 0.0); }, ""},
      {"--order", [](auto& s, auto&) { s.order = 100.0; }, order + "100"},
      {"--order", [&](auto& s, auto&) { s.order = nan; }, order + "nan"},
      {"--order", [&](auto& s, auto&) { s.order = -inf; }, order + "-inf"},
      {"--time-order", [](auto& s, auto&) { s.timeOrder = 0.0; },
       "--time-order: the theoretical order in time: a number above 0 and below 100, not 0"},
      {"--time-order", [](auto& s, auto&) { s.timeOrder = 99.5; }, ""},
      {"--fs", [](auto& s, auto&) { s.fs = 0.0; }, "--fs: a safety factor: a number above 0, not 0"},
      {"--fs", [](auto& s, auto&) { s.fs = 999999.0; }, ""},
      {"--fs", [](auto& s, auto&) { s.fs = 1e6; }, "--fs: a safety factor: a number above 0, not 1e+06"},
      {"--target-gci", [](auto& s, auto&) { s.targetGci = 1.0; }, "--target-gci: a fraction: 0 < X < 1 (0.01 for 1 %), not 1"},
      {"--target-gci", [](auto& s, auto&) { s.targetGci = std::nextafter(1.0, 0.0); }, ""},
      {"--target-gci", [](auto& s, auto&) { s.targetGci = 0.0; }, "--target-gci: a fraction: 0 < X < 1 (0.01 for 1 %), not 0"},
      {"--noise", [](auto& s, auto&) { s.noise = 0.0; }, ""},
      {"--noise", [](auto& s, auto&) { s.noise = -0.0; }, ""},
      {"--noise", [](auto& s, auto&) { s.noise = -1e-300; }, noise + "-1e-300"},
      {"--noise", [](auto& s, auto&) { s.noise = std::nextafter(1e300, 0.0); }, ""},
      {"--noise", [](auto& s, auto&) { s.noise = 1e300; }, noise + "1e+300"},
      {"--noise", [&](auto& s, auto&) { s.noise = inf; }, noise + "inf"},
      {"--plot-timeout", [](auto&, auto& o) { o.plotTimeout = 0.0; }, "--plot-timeout: a number of seconds above 0, not 0"},
      {"--plot-timeout", [](auto&, auto& o) { o.plotTimeout = 0.001; }, ""},
      {"--plot-timeout", [&](auto&, auto& o) { o.plotTimeout = nan; }, "--plot-timeout: a number of seconds above 0, not nan"},
      {"--dim", [](auto& s, auto&) { s.cells = true; s.dimension = 1; }, ""},
      {"--dim", [](auto& s, auto&) { s.cells = true; s.dimension = 3; }, ""},
      {"--dim", [](auto& s, auto&) { s.cells = true; s.dimension = 4; }, "--dim: Value 4 not in range 1 to 3"},
      {"--dim", [](auto& s, auto&) { s.cells = true; s.dimension = -1; }, "--dim: Value -1 not in range 1 to 3"},
      {"--threads", [](auto& s, auto&) { s.threads = 0; }, ""},  // all cores
      {"--threads", [](auto& s, auto&) { s.threads = 1024; }, ""},
      {"--threads", [](auto& s, auto&) { s.threads = 1025; }, "--threads: Value 1025 not in range 1 to 1024"},
      {"--interp-degree", [](auto& s, auto&) { s.interpDegree = 3; }, ""},
      {"--interp-degree", [](auto& s, auto&) { s.interpDegree = 4; }, "--interp-degree: Value 4 not in range 1 to 3"},
      {"--block-points", [](auto& s, auto&) { s.blockPoints = uint64_t{1} << 40; }, ""},
      {"--block-points", [](auto& s, auto&) { s.blockPoints = (uint64_t{1} << 40) + 1; },
       "--block-points: Value 1099511627777 not in range 1 to 1099511627776"},
      {"--slab", [](auto& s, auto&) { s.slab = Slab{4, 4}; }, ""},
      {"--slab", [](auto& s, auto&) { s.slab = Slab{5, 4}; }, "--slab: 5/4: write I/N with 1 <= I <= N, e.g. --slab 3/8"},
      {"--slab", [](auto& s, auto&) { s.slab = Slab{0, 4}; }, "--slab: 0/4: write I/N with 1 <= I <= N, e.g. --slab 3/8"},
      {"--format", [](auto&, auto& o) { o.format = "markdown"; }, ""},
      {"--format", [](auto&, auto& o) { o.format = "xml"; }, "--format: xml not in {table,csv,json,latex,markdown}"},
      // An option and the one it needs; --no-csv and --format csv; two bad values: the first row's.
      {"--cells", [](auto& s, auto&) { s.cells = true; }, "--cells requires --dim"},
      {"--dim", [](auto& s, auto&) { s.dimension = 2; }, "--dim requires --cells"},
      {"--no-csv", [](auto& s, auto& o) { s.noCsv = true; o.format = "csv"; },
       "--format csv prints summary.csv, which --no-csv leaves out"},
      {"--no-csv", [](auto& s, auto& o) { s.noCsv = true; o.format = "json"; }, ""},
      {"--fs", [](auto& s, auto&) { s.fs = -1.0; s.order = 0.0; }, order + "0"},
  };
  std::set<std::string> checked;
  for (const Edge& e : edges) {
    StudyOptions study;
    OutputOptions output;
    e.set(study, output);
    const std::optional<Error> error = validate(study, output);
    EXPECT_EQ(error ? error->message : "", e.refused) << e.option;
    if (error) {
      EXPECT_EQ(error->file, "");
      EXPECT_EQ(error->kind, Error::Kind::Input);
    }
    checked.insert(e.option);
  }
  EXPECT_EQ(validate(StudyOptions(), OutputOptions()), std::nullopt);
  // Every row with a range or a set of values is among the edges.
  for (const OptionRow& row : optionRows()) {
    const bool ranged = row.valueKind() == ValueKind::Real || row.valueKind() == ValueKind::Integer ||
                        row.valueKind() == ValueKind::Slab || !row.choices.empty();
    if (ranged) {
      EXPECT_TRUE(checked.count(std::string(row.name))) << row.name;
    }
  }
}

// What the Python module gives: a value checked as it is given (no wrapping of -1 into an
// unsigned, 0 is a value, not the option left out), then set.
TEST(StudyOptions, SetOptionChecksTheValueAsGiven) {
  StudyOptions study;
  OutputOptions output;
  auto set = [&](const char* option, OptionValue value) { return setOption(*optionRow(option), value, study, output); };
  EXPECT_EQ(set("--threads", int64_t{-1}), "--threads: Value -1 not in range 1 to 1024");
  EXPECT_EQ(set("--threads", int64_t{4294967297}), "--threads: Value 4294967297 not in range 1 to 1024");
  EXPECT_EQ(study.threads, 0u);
  EXPECT_EQ(set("--dim", int64_t{0}), "--dim: Value 0 not in range 1 to 3");
  EXPECT_EQ(set("--threads", int64_t{3}), std::nullopt);
  EXPECT_EQ(study.threads, 3u);
  EXPECT_EQ(set("--order", int64_t{3}), std::nullopt);  // an integer is a real
  EXPECT_EQ(study.order, 3.0);
  EXPECT_EQ(set("--order", 100.0), "--order: the theoretical order: a number above 0 and below 100, not 100");
  EXPECT_EQ(study.order, 3.0);
  EXPECT_EQ(set("--order", std::string("2")), "--order: not a value of this option");
  EXPECT_EQ(set("--least-squares", false), std::nullopt);  // a flag's keyword gives its member's value
  EXPECT_FALSE(study.leastSquares);
  EXPECT_EQ(set("--slab", std::string("3/8")), std::nullopt);
  EXPECT_EQ(study.slab, (Slab{3, 8}));
  EXPECT_EQ(set("--slab", std::string("9/8")), "--slab: 9/8: write I/N with 1 <= I <= N, e.g. --slab 3/8");
  EXPECT_EQ(set("--format", std::string("json")), std::nullopt);
  EXPECT_EQ(output.format, "json");
  EXPECT_EQ(set("--format", std::string("xml")), "--format: xml not in {table,csv,json,latex,markdown}");
  EXPECT_EQ(keywordRow("least_squares"), optionRow("--least-squares"));
  EXPECT_EQ(keywordRow("block_points"), nullptr);
}

}  // namespace
}  // namespace kv::study
