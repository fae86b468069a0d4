#include "plots/plot_scripts.h"

#include <string>
#include <vector>

#include "launch/launch.h"
#include "plots/error_plot_files.h"
#include "plots/output_files.h"
#include "text/format.h"
#include "text/list_directed.h"
#include "text/record_writer.h"
#include "base/text_field.h"

namespace kv {

namespace {

struct ScriptEntry {
  OutputFile file;
  int keptLines;
  PlotPoint point;
};

constexpr ScriptEntry kScripts[] = {
    {OutputFile::pE_pU_gnu, 20, PlotPoint::Orders},
    {OutputFile::pU_gnu, 15, PlotPoint::Orders},
    {OutputFile::E_gnu, 19, PlotPoint::TrueErrors},
    {OutputFile::E_U_gnu, 19, PlotPoint::EstimatedErrors},
    {OutputFile::U_gnu, 16, PlotPoint::EstimatedErrors},
    {OutputFile::E_U_2_gnu, 20, PlotPoint::SecondEstimatedErrors},
    {OutputFile::U_2_gnu, 15, PlotPoint::SecondEstimatedErrors},
};

// The plot title as gnuplot reads it after the opening quote of "set title '": the title
// left-adjusted and trimmed, ending with the quote that closes the string. Inside the string
// every quote is doubled (gnuplot reads '' there as one quote), so that a title such as
// "a'; print system('...'); set title 'b" stays text instead of running as commands.
// A title without quotes is written as it is, even when the 102-character field has cut off the
// end of its date and the closing quote: gnuplot ends such a string at the line end. One with
// quotes always gets its closing quote, since gnuplot rejects an unclosed string that holds a
// doubled quote. The line is not a fixed field: a title of 90 quotes becomes 194 characters.
std::string titleAsGnuplotText(std::string_view plotTitle) {
  const std::string_view title = adjusted(plotTitle);
  std::string_view inside = title;
  if (inside.ends_with('\'')) inside.remove_suffix(1);
  if (inside.find('\'') == std::string_view::npos) return std::string(title);
  std::string text;
  for (char c : inside) {
    text.push_back(c);
    if (c == '\'') text.push_back(c);
  }
  text.push_back('\'');
  return text;
}

// Completes the script of `point` for this run and starts gnuplot on it once it is closed.
// A failed launch is ignored: the run goes on without the plot.
void showPlot(const RunData& run, PlotPoint point) {
  for (const PlotScript& s : plotScripts()) {
    if (s.point == point && s.withExact == run.params.hasExact()) {
      completePlotScript(run, s.name, s.keptLines);
      launchCommand(s.command);
      return;
    }
  }
}

}  // namespace

std::span<const PlotScript> plotScripts() {
  static const std::vector<PlotScript> scripts = [] {
    std::vector<PlotScript> all;
    for (const ScriptEntry& e : kScripts) {
      const OutputFileEntry& file = outputFiles()[static_cast<size_t>(e.file)];
      all.push_back({file.name, e.keptLines, "wgnuplot " + std::string(file.name), e.point,
                     file.when == WrittenWhen::WithExact});
    }
    return all;
  }();
  return scripts;
}

void completePlotScript(const RunData& run, std::string_view scriptName, int keptLines) {
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
  script.write(titleFormat, {titleAsGnuplotText(run.params.plotTitle)});
  script.close();
}

void plotOrders(const RunData& run) { showPlot(run, PlotPoint::Orders); }

void plotTrueErrors(const RunData& run) { showPlot(run, PlotPoint::TrueErrors); }

void plotEstimatedErrors(const RunData& run) {
  writeEstimateReferenceFiles(run, EstimateReferenceSet::First);
  showPlot(run, PlotPoint::EstimatedErrors);
}

void plotSecondEstimatedErrors(const RunData& run) {
  writeEstimateReferenceFiles(run, EstimateReferenceSet::Second);
  showPlot(run, PlotPoint::SecondEstimatedErrors);
}

}  // namespace kv
