// The plot points of a run: each completes a prepared gnuplot script with the run's plot title
// and shows the plot by starting gnuplot on it, waiting until gnuplot ends.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "model/run_data.h"

namespace kv {

enum class PlotPoint { Orders, TrueErrors, EstimatedErrors, SecondEstimatedErrors };

// A prepared script: its first keptLines lines are the plot commands and are never changed.
struct PlotScript {
  std::string_view name;
  int keptLines;
  std::string command;  // "wgnuplot " and the name
  PlotPoint point;
  bool withExact;  // used when the run has an exact solution (true) or has none (false)
};

// The seven scripts, named by the output-file registry.
std::span<const PlotScript> plotScripts();

// Keeps the first `keptLines` lines of `scriptName` byte for byte and replaces whatever follows
// them by "set title '" with the plot title (each quote inside the gnuplot string doubled), and
// "replot". A script that is missing (it is then created empty) or shorter ends the run with the
// end-of-file line naming it.
void completePlotScript(const RunData& run, std::string_view scriptName, int keptLines);

// The four plot points, in the order the run reaches them. plotTrueErrors shows the plot of the
// files of writeTrueErrorPlotFiles and does nothing without an exact solution; the two
// estimated-error points write their set of reference lines first.
void plotOrders(const RunData& run);
void plotTrueErrors(const RunData& run);
void plotEstimatedErrors(const RunData& run);
void plotSecondEstimatedErrors(const RunData& run);

}  // namespace kv
