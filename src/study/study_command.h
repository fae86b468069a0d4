// The study of a case read from text files (a CSV table, a main data file, a field of point
// files): its outputs and what it prints, and the steps every field study shares with the HDF5
// fields and merges of cluster/.
//
// Exit status: 0 done; 1 --strict and some quantity or point does not converge monotonically or
// has no observed order; 2 bad input or bad options (nothing written); 3 the output folder cannot
// be written (nothing half-written).
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <string_view>

#include "base/error.h"
#include "io/output_set.h"
#include "study/arguments.h"
#include "study/case_kind.h"
#include "study/field_study.h"

namespace kv::study {

// The outputs every study writes, and the one a field of HDF5 adds.
inline constexpr std::string_view kStudyOutputs[] = {"summary.csv", "study.json", "report.html", "table.tex",
                                                     "table.md"};

// Prints "PROGRAM: error: FILE:LINE: MESSAGE" as one line on standard error; an output error
// says to choose another folder.
void printError(const Arguments& a, const Error& e);
void printWarning(const Arguments& a, const std::string& message);

// An error of an output of `outputs` (or of its folder), as printError shows it (exit 3).
Error outputError(const io::OutputSet& outputs, Error e);

// Prints `text` on standard output.
void printOut(std::string_view text);

// Writes each output (name, bytes) into `outputs` and commits them all. Returns 0, or prints
// the failure and returns 3.
int writeAndCommit(const Arguments& a, io::OutputSet& outputs,
                   std::initializer_list<std::pair<std::string, std::string_view>> files);

// The plots of a report: none with --no-plots (the note says why), else those `draw` draws
// within --plot-timeout; a gnuplot that did not finish in time is warned about.
template <class Plots, class Draw>
Plots reportPlots(const Arguments& a, Draw draw) {
  Plots plots;
  if (a.noPlots) {
    plots.note = "--no-plots was given";
    return plots;
  }
  plots = draw(a.plotTimeout);
  if (!plots.available && plots.note.find("did not finish") != std::string::npos) printWarning(a, plots.note);
  return plots;
}

// The study of a case of the kinds Table, MainData, MainDataField, FieldTable, SpaceTime,
// MeshField.
int runTextStudy(const Arguments& a, const Case& c);

// What a field study does once its rows are written (summary.csv into `outputs`, or summary.h5):
// draws the plots, writes study.json and report.html into `outputs`, commits them all and prints
// what --format asks for. Returns the exit status.
int finishFieldStudy(const Arguments& a, const FieldSummary& summary, io::OutputSet& outputs);

}  // namespace kv::study
