#include "levels_and_plots/plot_scripts.h"

#include <string>

#include "launch/launch.h"
#include "levels_and_plots/error_plot_files.h"
#include "text/format.h"
#include "text/list_directed.h"
#include "text/record_writer.h"
#include "text/text_field.h"

namespace kv {

namespace {

constexpr PlotScript kScripts[] = {
    {"Kestrovanilque_pE_pU.gnu", 20, "wgnuplot Kestrovanilque_pE_pU.gnu", PlotPoint::Orders, true},
    {"Kestrovanilque_pU.gnu", 15, "wgnuplot Kestrovanilque_pU.gnu", PlotPoint::Orders, false},
    {"Kestrovanilque_E.gnu", 19, "wgnuplot Kestrovanilque_E.gnu", PlotPoint::TrueErrors, true},
    {"Kestrovanilque_E_U.gnu", 19, "wgnuplot Kestrovanilque_E_U.gnu", PlotPoint::EstimatedErrors,
     true},
    {"Kestrovanilque_U.gnu", 16, "wgnuplot Kestrovanilque_U.gnu", PlotPoint::EstimatedErrors,
     false},
    {"Kestrovanilque_E_U_2.gnu", 20, "wgnuplot Kestrovanilque_E_U_2.gnu",
     PlotPoint::EstimatedErrors2, true},
    {"Kestrovanilque_U_2.gnu", 15, "wgnuplot Kestrovanilque_U_2.gnu", PlotPoint::EstimatedErrors2,
     false},
};

// Completes the script of `point` for this run and starts gnuplot on it once it is closed.
void showPlot(Run& run, PlotPoint point) {
  for (const PlotScript& s : kScripts) {
    if (s.point == point && s.withExact == run.params.hasExact()) {
      completePlotScript(run, s.name, s.keptLines);
      run.params.lastLaunchStatus = launchCommand(s.command);
      return;
    }
  }
}

}  // namespace

std::span<const PlotScript> plotScripts() { return kScripts; }

void completePlotScript(Run& run, std::string_view scriptName, int keptLines) {
  std::string name(scriptName);
  std::string kept;
  {
    ListDirectedReader script(kPlotUnit, name);
    for (int k = 0; k < keptLines; ++k) script.skipRecord();
    kept.assign(script.content(), 0, script.nextRecordOffset());
  }
  FormattedRecordWriter script(kPlotUnit, name, FormattedRecordWriter::Mode::Replace);
  script.writeBytes(kept);
  // A last kept line without a line end still leaves the new lines on lines of their own.
  if (!kept.empty() && kept.back() != '\n') script.writeBytes("\r\n");
  static const Format titleFormat("('set title ''',A,/,'replot')");
  script.write(titleFormat, {adjusted(run.params.plotTitle)});
  script.close();
}

void plotOrders(Run& run) { showPlot(run, PlotPoint::Orders); }

void plotTrueErrors(Run& run) { showPlot(run, PlotPoint::TrueErrors); }

void plotEstimatedErrors(Run& run) {
  writeEstimateReferenceFiles(run, EstimateReferenceSet::First);
  showPlot(run, PlotPoint::EstimatedErrors);
}

void plotEstimatedErrors2(Run& run) {
  writeEstimateReferenceFiles(run, EstimateReferenceSet::Second);
  showPlot(run, PlotPoint::EstimatedErrors2);
}

}  // namespace kv
