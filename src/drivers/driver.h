// One study of a case, whatever its kind, from the case read to its outputs committed: the one
// skeleton every kind runs through (runCaseStudy), and what a kind supplies to it (CaseStudy):
// its output names, the files it reads, its study (points, decorations, the outputs' bytes) and,
// under mpirun, its ranks. The skeleton does the rest, once for every kind:
//
//   1. an output that would replace an input is refused (nothing written);
//   2. the output folder is made and locked, stale temporaries of earlier runs removed;
//   3. the kind studies the case and writes its outputs under temporary names;
//   4. every output is renamed into place, all or nothing;
//   5. standard output shows what --format asks for;
//   6. the outcome: an Error (its kind: bad input or outputs that cannot be written), or whether
//      some quantity or point fails --strict. The command turns it into the exit status.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "io/output_set.h"
#include "study/field_kernel.h"
#include "study/options.h"

namespace kv::study {

// Every output a study or a merge writes, whatever the kind: a run sweeps the stale temporaries
// of them all from its folder (those of a run of another kind killed there too; "figures/":
// every output in that subfolder).
inline constexpr std::string_view kEveryOutput[] = {"summary.csv", "study.json", "report.html", "table.tex", "table.md",
                                                    "field.vtu",   "summary.h5", "slab.json",   "figures/"};

// Where the outputs go and what is shown.
struct OutputPlan {
  std::string program = "kestrovanilque study";  // in messages
  std::string run = "study";                     // "is read by this study" (or merge)
  std::filesystem::path folder;
  std::string format = "table";
  bool strict = false;
  bool plots = true;
  double plotTimeout = kDefaultPlotTimeout;
};

// The plan of options `o` for a case named `caseFile`: its folder is --out, or beside the case
// its name without extension + ".study" ("stdin.study" for standard input; "-slab-I-of-N"
// appended for a slab of a job array).
OutputPlan outputPlan(const std::string& caseFile, const OutputOptions& o, const std::optional<Slab>& slab);

// "PROGRAM: error: FILE:LINE: MESSAGE" as one line on standard error; an output error says to
// choose another folder.
void printError(const OutputPlan& plan, const Error& e);
// "PROGRAM: warning: MESSAGE", control characters shown as '?'.
void printWarning(const OutputPlan& plan, const std::string& message);
// `text` on standard output.
void printOut(std::string_view text);

// What a study shows on standard output, by --format, and whether it fails --strict.
struct Printout {
  std::string table;     // the terminal's text; the report's path follows it
  std::string csv;       // summary.csv, unless csvFile: then the committed file is copied
  bool csvFile = false;
  std::string json, latex, markdown;
  bool unsound = false;  // some quantity or point fails --strict
};

// How a study ended: an Error, or whether --strict fails it.
struct Outcome {
  std::optional<Error> error;
  bool unsound = false;
};

// Whether everything printed on standard output was written (it is flushed first).
bool standardOutputWritten();
// Says on standard error that standard output cannot be written: an output error.
Outcome failToPrint(const OutputPlan& plan);

// The ranks of a study under mpirun: one, alone.
class Ranks {
 public:
  virtual ~Ranks() = default;
  virtual bool root() const { return true; }
  // Whether `b` holds on some rank (every rank calls it).
  virtual bool any(bool b) const { return b; }
  // The root's outcome, on every rank.
  virtual Outcome share(const Outcome& outcome) const { return outcome; }
};

// One case kind's part in a study.
class CaseStudy {
 public:
  virtual ~CaseStudy() = default;
  // The names of the outputs it writes (all of them, those of some runs too).
  virtual std::span<const std::string_view> outputs() const = 0;
  // The files it reads, as named: no output may replace one.
  virtual std::vector<std::string> inputs() const = 0;
  // Studies the case, writing its outputs into `outputs` (on the root rank; not committed).
  // Throws Failure.
  virtual Printout study(io::OutputSet& outputs, const OutputPlan& plan) = 0;
  virtual const Ranks& ranks() const;
};

// The skeleton above; errors are printed (once, by the root rank) before they are returned.
Outcome runCaseStudy(CaseStudy& kind, const OutputPlan& plan);

// Writes each output (name, bytes) into `outputs`; throws Failure (an output error).
void writeOutputs(io::OutputSet& outputs, std::initializer_list<std::pair<std::string, std::string_view>> files);
// Opens the output `name` of `outputs` for writing; throws Failure (an output error).
io::TempFile& openOutput(io::OutputSet& outputs, const std::string& name);
// An error of an output of `outputs` (or of its folder), as printError shows it.
Error outputError(const io::OutputSet& outputs, Error e);

// The plots of a report: none without plots (the note says why), else those `draw` draws
// within the plan's time; a gnuplot that did not finish in time is warned about.
template <class Plots, class Draw>
Plots reportPlots(const OutputPlan& plan, Draw draw) {
  Plots plots;
  if (!plan.plots) {
    plots.note = "--no-plots was given";
    return plots;
  }
  plots = draw(plan.plotTimeout);
  if (!plots.available && plots.note.find("did not finish") != std::string::npos) printWarning(plan, plots.note);
  return plots;
}

// The field engine's options for a field study of point files or of grids: the threads and the
// block of points of `options`; `progress`: a progress line on a terminal.
field::FieldOptions fieldEngineOptions(const StudyOptions& options, bool progress);

// What every field study writes once its rows are written (summary.csv into `outputs`, or
// summary.h5): study.json and report.html with the plots, and what standard output shows.
Printout fieldOutputs(const FieldSummary& summary, io::OutputSet& outputs, const OutputPlan& plan);

}  // namespace kv::study
