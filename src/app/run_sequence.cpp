#include "app/run_sequence.h"

#include <string>

#include "app/input_reader.h"
#include "app/session.h"
#include "base/text_field.h"
#include "estimation/error_estimation.h"
#include "launch/launch.h"
#include "listing/listing_head.h"
#include "listing/repeated_extrapolation_tables.h"
#include "listing/result_tables.h"
#include "plots/error_plot_files.h"
#include "plots/estimator_plot_files.h"
#include "plots/order_plot_files.h"
#include "plots/plot_scripts.h"

namespace kv {

namespace {

// The order stage of one member: its listing table, then its plot data files.
template <OrderMember member>
void writeOrders(FormattedRecordWriter& listing, const RunData& run) {
  writeOrderTable(listing, run, member);
  writeOrderPlotFiles(run, member);
}

// The output stages in their order. Stage 18, the level table of (U/E-1), comes before
// stage 19, that of the true-error ratios.
constexpr OutputStage kOutputStages[] = {
    {"orders of Th", false, writeOrders<OrderMember::Th>},
    {"orders of Ti_pU", false, writeOrders<OrderMember::Ti_pU>},
    {"orders of Tbi_pU", false, writeOrders<OrderMember::Tbi_pU>},
    {"orders of Tc_12", false, writeOrders<OrderMember::Tc_12>},
    {"orders of Tc_13", false, writeOrders<OrderMember::Tc_13>},
    {"values", false, writeValueTable},
    {"differences", false, writeDifferenceTable},
    {"true errors", true, writeTrueErrorTable},
    {"error estimators", false,
     [](FormattedRecordWriter& l, const RunData& r) {
       writeEstimatorTable(l, r);
       writeEstimatorPlotFiles(r);
     }},
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
    {"order plot", false, [](FormattedRecordWriter&, const RunData& r) { plotOrders(r); }},
    {"true-error plot", true,
     [](FormattedRecordWriter&, const RunData& r) {
       writeTrueErrorPlotFiles(r);
       plotTrueErrors(r);
     }},
    {"estimated-error plot", false,
     [](FormattedRecordWriter&, const RunData& r) { plotEstimatedErrors(r); }},
    {"second estimated-error plot", false,
     [](FormattedRecordWriter&, const RunData& r) { plotSecondEstimatedErrors(r); }},
};

}  // namespace

std::span<const OutputStage> outputStages() { return kOutputStages; }

int runProgram() {
  RunData run;
  readInput(run);
  std::string listingName(adjusted(run.params.listingFile));
  checkListingName(run, listingName);
  FormattedRecordWriter listing(kListingUnit, listingName);
  buildRunStamp(run.params, currentLocalTime());
  buildPlotTitle(run.params);
  writeInputEcho(listing, run);
  estimateSeries(estimationParameters(run.params), run.grid);
  const RunData& data = run;  // from here on every stage only reads the run data
  for (const OutputStage& stage : outputStages()) {
    if (!stage.exactOnly || data.params.hasExact()) stage.write(listing, data);
  }
  listing.close();
  // A failed launch is ignored, as every launch of the run is.
  launchCommand(editorCommand(data.params.listingFile));
  return 0;
}

}  // namespace kv
