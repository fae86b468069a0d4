#include "study/study_command.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "study/field_report.h"
#include "study/mesh_study.h"
#include "study/paper_table.h"
#include "study/plots.h"
#include "study/report_html.h"
#include "study/space_time_outputs.h"
#include "study/study_json.h"
#include "study/summary.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

// Copies a file to standard output in blocks.
void printFile(const fs::path& path) {
  std::FILE* in = std::fopen(path.string().c_str(), "rb");
  if (in == nullptr) return;
  std::vector<char> block(size_t{1} << 20);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) std::fwrite(block.data(), 1, n, stdout);
  std::fclose(in);
}

// A field of point files: summary.csv is written while the points are read, in one pass;
// study.json and report.html follow from the distribution.
int runPointFileField(const Arguments& a, const FieldStudyCase& input, io::OutputSet& outputs) {
  io::TempFile* rows = nullptr;
  if (auto failure = outputs.open("summary.csv", rows)) {
    printError(a, outputError(outputs, *failure));
    return 3;
  }
  FieldStudyOptions options;
  options.study = a.options;
  options.threads = a.threads;
  options.chunkPoints = a.blockPoints;
  rows->write(summaryHeader(a.options.targetGci.has_value()));
  FieldStudy study;
  try {
    study = runFieldStudy(input, options, *rows);
  } catch (const InputError& e) {
    outputs.discard();
    printError(a, e.error());
    return e.error().status();
  }
  return finishFieldStudy(a, study.summary, outputs);
}

int runTableStudy(const Arguments& a, const StudyCase& input, io::OutputSet& outputs) {
  const StudyResult study = runStudy(input, a.options);
  const StudyPlots plots = reportPlots<StudyPlots>(a, [&](double timeout) { return drawPlots(study, timeout); });
  const std::string summary = summaryCsv(study);
  const std::string json = studyJson(study);
  std::vector<PaperColumn> columns;
  for (const QuantityStudy& q : study.quantities) {
    const StandardResult& r = q.standard;
    columns.push_back(input.cells.size() >= 3
                          ? paperColumn(q.name, r, {input.cells[0], input.cells[1], input.cells[2]})
                          : paperColumn(q.name, r));
  }
  const PaperTableOptions paper{.cells = input.cells.size() >= 3};
  const std::string latex = paperTableLatex(columns, paper), markdown = paperTableMarkdown(columns, paper);
  if (int status = writeAndCommit(a, outputs,
                                  {{"summary.csv", summary},
                                   {"study.json", json},
                                   {"table.tex", latex},
                                   {"table.md", markdown},
                                   {"report.html", reportHtml(study, plots)}})) {
    return status;
  }
  if (a.format == "csv") {
    printOut(summary);
  } else if (a.format == "json") {
    printOut(json);
  } else if (a.format == "latex") {
    printOut(latex);
  } else if (a.format == "markdown") {
    printOut(markdown);
  } else {
    printOut(summaryTable(study));
    printOut(judgementLines(study));
    printOut("report: " + (outputs.folder() / "report.html").string() + "\n");
  }
  return a.strict && study.distribution.notConverging > 0 ? 1 : 0;
}

}  // namespace

Error outputError(const io::OutputSet& outputs, Error e) {
  if (e.file.empty() && e.message.rfind("cannot create", 0) != 0 && e.message.find(" is not a folder") == std::string::npos) {
    e.file = outputs.folder().string();
  }
  e.kind = Error::Kind::Output;
  return e;
}

void printOut(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void printError(const Arguments& a, const Error& e) {
  std::string line = std::string(programName(a.command)) + ": error: " + e.where();
  if (e.kind == Error::Kind::Output) line += ": choose another folder with --out";
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void printWarning(const Arguments& a, const std::string& message) {
  const std::string line = std::string(programName(a.command)) + ": warning: " + printable(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

int writeAndCommit(const Arguments& a, io::OutputSet& outputs,
                   std::initializer_list<std::pair<std::string, std::string_view>> files) {
  std::optional<Error> failure;
  for (const auto& [name, bytes] : files) {
    if (!failure) failure = outputs.write(name, bytes);
  }
  if (!failure) failure = outputs.commit();
  if (!failure) return 0;
  printError(a, outputError(outputs, *failure));
  return 3;
}

int finishFieldStudy(const Arguments& a, const FieldSummary& summary, io::OutputSet& outputs) {
  const FieldPlots plots =
      reportPlots<FieldPlots>(a, [&](double timeout) { return drawFieldPlots(summary, timeout); });
  const std::string json = fieldJson(summary);
  if (int status = writeAndCommit(a, outputs, {{"study.json", json}, {"report.html", fieldReportHtml(summary, plots)}})) {
    return status;
  }
  if (a.format == "csv") {
    printFile(outputs.folder() / "summary.csv");
  } else if (a.format == "json") {
    printOut(json);
  } else {
    printOut(fieldText(summary));
    printOut("report: " + (outputs.folder() / "report.html").string() + "\n");
  }
  return a.strict && !summary.allConverge() ? 1 : 0;
}

int runTextStudy(const Arguments& a, const Case& c) {
  if (c.mesh) return runMeshFieldStudy(a, c);
  const fs::path folder = outputFolder(a);
  if (std::optional<std::string> input = io::outputOverInput(folder, kStudyOutputs, inputFiles(a, c))) {
    printError(a, Error{displayName(*input), 0,
                        "is read by this study and would be replaced by one of its outputs (summary.csv, "
                        "study.json, report.html): choose another folder with --out"});
    return 2;
  }
  if (c.spaceTime) return runSpaceTimeStudy(a, *c.spaceTime, folder);
  io::OutputSet outputs(folder);
  if (auto failure = outputs.create(kStudyOutputs)) {
    printError(a, outputError(outputs, *failure));
    return 3;
  }
  if (c.field) return runPointFileField(a, *c.field, outputs);
  return runTableStudy(a, *c.table, outputs);
}

}  // namespace kv::study
