// The plots of a study, drawn by gnuplot (svg terminal, and pdfcairo for figures) in a private
// scratch folder and returned as their bytes. gnuplot runs quietly, with a time limit: one that does not finish in time is ended
// and the study goes on without its plots.
#pragma once

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kv::study {

struct DrawnPlots {
  bool available = false;
  std::string note;               // why there are no plots, when there are none
  std::vector<std::string> svgs;  // the files asked for (SVG or PDF bytes), in order
};

// Writes the script `script(folder)` into a scratch folder, runs gnuplot on it and reads the
// files `files` it was to draw there. `available` when gnuplot ran and drew every file.
DrawnPlots drawWithGnuplot(const std::function<std::string(const std::filesystem::path& folder)>& script,
                           std::span<const std::string> files, double timeoutSeconds);

// A text in gnuplot's single quotes ('' stands for one quote; line ends are dropped).
std::string gnuplotQuoted(const std::string& text);

// An SVG document made fit to inline: the XML prologue dropped, its ids prefixed by `prefix`.
std::string inlineSvg(const std::string& svg, const std::string& prefix);

}  // namespace kv::study
