#include "run/run_sequence.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "estimation/error_estimation.h"
#include "launch/launch.h"
#include "levels_and_plots/error_plot_files.h"
#include "levels_and_plots/level_tables.h"
#include "levels_and_plots/plot_scripts.h"
#include "reports/reports.h"
#include "run/input_reader.h"
#include "run/listing_head.h"
#include "text/fatal.h"
#include "text/text_field.h"

namespace kv {

namespace {

// The output stages in their order. Stage 18, the level table of (U/E-1), comes before
// stage 19, that of the true-error ratios.
constexpr OutputStage kOutputStages[] = {
    {"orders of Th", false, [](Run& r) { writeOrderReport(r, OrderMember::Th); }},
    {"orders of Ti_pU", false, [](Run& r) { writeOrderReport(r, OrderMember::Ti_pU); }},
    {"orders of Tbi_pU", false, [](Run& r) { writeOrderReport(r, OrderMember::Tbi_pU); }},
    {"orders of Tc_12", false, [](Run& r) { writeOrderReport(r, OrderMember::Tc_12); }},
    {"orders of Tc_13", false, [](Run& r) { writeOrderReport(r, OrderMember::Tc_13); }},
    {"values", false, writeValueTable},
    {"differences", false, writeDifferenceTable},
    {"true errors", true, writeTrueErrorTable},
    {"error estimators", false, writeEstimatedErrorReport},
    {"estimator-to-error ratios", true, writeEffectivityTable},
    {"convergence indices", false, writeGciTable},
    {"true-error ratios", true, writeTrueErrorRatioTable},
    {"estimator ratios", false, writeEstimatorRatioTable},
    {"level values", false, writeTTable},
    {"level differences", false, writeDTTable},
    {"level true errors", true, writeETable},
    {"level estimators", false, writeUri12Table},
    {"level (U/E-1)", true, writeUOverETable},
    {"level true-error ratios", true, writeERatioTable},
    {"level estimator ratios", false, writeURatioTable},
    {"order plot", false, plotOrders},
    {"true-error plot", true,
     [](Run& r) {
       writeTrueErrorPlotFiles(r);
       plotTrueErrors(r);
     }},
    {"estimated-error plot", false, plotEstimatedErrors},
    {"second estimated-error plot", false, plotEstimatedErrors2},
};

constexpr std::string_view kFixedOutputNames[] = {
    "pL.dat",       "pE_h.dat",     "pU_h.dat",     "p2.dat",       "pE_i.dat",
    "pU_i.dat",     "p3.dat",       "pE_bi.dat",    "pU_bi.dat",    "pE_c12.dat",
    "pU_c12.dat",   "pE_c13.dat",   "pU_c13.dat",   "U_12.dat",     "Uri_13.dat",
    "Uri_23.dat",   "Uri_bi.dat",   "Uri_pU.dat",   "Uc_12.dat",    "Uc_13.dat",
    "Utri.dat",     "Eh.dat",       "Ei_12.dat",    "Ei_13.dat",    "Ei_23.dat",
    "Ei_bi.dat",    "Ei_tri.dat",   "Ei_pU.dat",    "Ec_12.dat",    "Ec_13.dat",
    "Ebi.dat",      "E_pL_p2.dat",  "E_p3.dat",     "U_pL.dat",     "U_p2.dat",
    "U_p3.dat",     "Kestrovanilque_pE_pU.gnu",     "Kestrovanilque_pU.gnu",
    "Kestrovanilque_E.gnu",         "Kestrovanilque_E_U.gnu",       "Kestrovanilque_U.gnu",
    "Kestrovanilque_E_U_2.gnu",     "Kestrovanilque_U_2.gnu",
};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Whether `other` designates the listing file: the same file on disk when the listing exists
// already, otherwise the same name once normalised (letter case aside, as on the tool's native
// platform).
bool isListing(std::string_view listing, bool listingExists, std::string_view other) {
  namespace fs = std::filesystem;
  fs::path a{std::string(listing)}, b{std::string(other)};
  if (listingExists) {
    std::error_code error;
    bool same = fs::equivalent(a, b, error);
    if (!error) return same;
  }
  return equalIgnoringCase(a.lexically_normal().string(), b.lexically_normal().string());
}

void printHelp() {
  std::fputs(
      "Usage: kestrovanilque\n"
      "Grid-convergence analysis of one variable computed on a sequence of refined grids.\n"
      "Run it without arguments in the folder of a case: it reads Kestrovanilque.in (the name\n"
      "of the main data file), the main data file, the grid files and the exact-solution file,\n"
      "and writes the listing, the plot data files (.dat) and completes the plot scripts\n"
      "(.gnu). The editor opens on the input files first and on the listing at the end.\n"
      "  study CASE batch study of every quantity of a case (see kestrovanilque study --help)\n"
      "  --help     this text\n"
      "  --version  the version\n",
      stdout);
}

}  // namespace

std::span<const OutputStage> outputStages() { return kOutputStages; }

std::span<const std::string_view> fixedOutputNames() { return kFixedOutputNames; }

void checkListingName(const Run& run, std::string_view listingName) {
  const RunParameters& p = run.params;
  std::error_code error;
  const bool exists = std::filesystem::exists(std::string(listingName), error);
  auto refuseIf = [&](std::string_view other) {
    if (isListing(listingName, exists, other)) {
      FatalFile(FatalCode::OpenFailure, kListingUnit, listingName);
    }
  };
  refuseIf(kStartFile);
  refuseIf(adjusted(p.mainDataFile));
  if (p.hasExactSolution == 1) refuseIf(adjusted(p.exactSolutionFile));
  for (int i = 1; i <= run.grid.count; ++i) refuseIf(adjusted(run.grid.gridFile(i)));
  for (std::string_view name : kFixedOutputNames) refuseIf(name);
}

int runProgram(int argc, char** argv) {
  if (argc > 1) {
    if (std::strcmp(argv[1], "--help") == 0) {
      printHelp();
      return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
      std::fputs("kestrovanilque 1.0.0\n", stdout);
      return 0;
    }
    std::fprintf(stderr, "kestrovanilque: takes no arguments (see kestrovanilque --help)\n");
    return 2;
  }

  Run run;
  readInput(run);

  std::string listingName(adjusted(run.params.listingFile));
  checkListingName(run, listingName);
  run.listing.emplace(kListingUnit, listingName);
  buildRunStamp(run.params, currentLocalTime());
  buildPlotTitle(run.params);
  writeInputEcho(run);
  runErrorEstimation(run);

  for (const OutputStage& stage : outputStages()) {
    if (!stage.exactOnly || run.params.hasExactSolution == 1) stage.write(run);
  }

  run.listing->close();
  run.listing.reset();
  run.params.lastLaunchStatus = launchCommand(editorCommand(run.params.listingFile));
  return 0;
}

}  // namespace kv
