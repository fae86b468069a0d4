// report.html of a space-time study, in the style of every report (study/report_html.h): the
// summary, then per quantity its design and model, the warnings, the plots, the table of runs
// and every fit tried. The plots are drawn by gnuplot (study/gnuplot.h): phi against h for each
// time step and against dt for each grid, with the curves of the fitted model (design a: phi
// against h with its fit), U of every run as error bars.
#pragma once

#include <string>
#include <vector>

#include "study/space_time_study.h"

namespace kv::study {

// The most time steps (grids) drawn in one plot; a plot of more draws the finest ones.
inline constexpr size_t kMaxPlottedLevels = 8;

struct SpaceTimePlots {
  bool available = false;
  std::string note;                            // why there are no plots, when there are none
  std::vector<std::vector<std::string>> svgs;  // per quantity, its plots ready to inline
};

// The gnuplot script that draws the plots of every quantity not refused, among the first
// kMaxPlottedQuantities, into `folder`: s<k>_h.svg and, but for design a, s<k>_t.svg.
std::string spaceTimePlotScript(const SpaceTimeStudy& study, const std::string& folder);

// Draws the plots (gnuplot stopped after `timeoutSeconds`).
SpaceTimePlots drawSpaceTimePlots(const SpaceTimeStudy& study, double timeoutSeconds);

std::string spaceTimeReportHtml(const SpaceTimeStudy& study, const SpaceTimePlots& plots);

}  // namespace kv::study
