#include "study/study_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "study/csv_case.h"
#include "study/field_report.h"
#include "study/field_study.h"
#include "study/main_data_case.h"
#include "study/output_files.h"
#include "study/plots.h"
#include "study/report_html.h"
#include "study/study.h"
#include "study/study_json.h"
#include "study/summary.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "kestrovanilque study";

struct Arguments {
  std::string caseFile;
  std::string out;
  std::string format = "table";
  std::optional<double> order;
  std::optional<double> fs;
  std::optional<double> targetGci;
  bool cells = false;
  int dim = 0;
  bool noPlots = false;
  bool strict = false;
  bool field = false;
  unsigned threads = 0;
  bool leastSquares = false;
};

void print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// A case to study: a table of quantities (or a small main data file), or a field.
struct Case {
  std::optional<StudyCase> table;
  std::optional<FieldStudyCase> field;
};

Case readCase(Arguments a) {
  std::string text = readCaseText(a.caseFile);
  // The classic start file names the main data file: follow it.
  if (fs::path(a.caseFile).filename() == "Kestrovanilque.in" && !looksLikeCsv(text)) {
    std::istringstream start(text);
    std::string name;
    start >> name;
    if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"') && name.back() == name.front()) {
      name = name.substr(1, name.size() - 2);
    }
    if (name.empty()) throw InputError(a.caseFile, 1, "the start file names no main data file");
    a.caseFile = (fs::path(a.caseFile).parent_path() / name).string();
    text = readCaseText(a.caseFile);
  }
  const fs::path path(a.caseFile);
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool csv = a.caseFile == "-" || extension == ".csv" || extension == ".tsv" ||
                   text.empty() || looksLikeCsv(text);
  if (csv && isFieldTable(text)) return {std::nullopt, readFieldTable(a.caseFile, a.dim)};
  if (csv) {
    if (a.field) {
      throw InputError(displayName(a.caseFile), 0,
                       "--field needs a field case (a table with the header h,file or cells,file) "
                       "or a main data file; this table holds quantities");
    }
    return {parseCsvCase(text, a.caseFile, {a.cells, a.dim}), std::nullopt};
  }
  if (a.cells) {
    throw InputError(a.caseFile, 0, "--cells applies to CSV cases only; a main data file gives h");
  }
  if (auto field = readMainDataField(a.caseFile, text, a.field)) return {std::nullopt, std::move(field)};
  return {readMainDataCase(a.caseFile, text), std::nullopt};
}

// One error line on standard error: control characters of names and quoted values (escape
// sequences, NUL, line ends) show as '?', so that the line reaches the terminal as one line.
void printErrorLine(std::string message) {
  for (char& c : message) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') c = '?';
  }
  print(stderr, std::string(kProgram) + ": error: " + message + "\n");
}

void printError(const InputError& e) {
  printErrorLine(InputError(displayName(e.file()), e.line(), e.what()).where());
}

// Copies a file to standard output in blocks.
void printFile(const fs::path& path) {
  std::FILE* in = std::fopen(path.string().c_str(), "rb");
  if (in == nullptr) return;
  std::vector<char> block(size_t{1} << 20);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) std::fwrite(block.data(), 1, n, stdout);
  std::fclose(in);
}

// A field: summary.csv is written while the points are read, in one pass; study.json and
// report.html follow from the distribution. Every output is temporary until all are complete.
int runFieldCase(const Arguments& a, const FieldStudyCase& input, const fs::path& folder) {
  OutputSet outputs(folder);
  if (std::optional<std::string> failure = outputs.create()) {
    printErrorLine(*failure + ": choose another folder with --out");
    return 3;
  }
  std::string failure;
  field::OutputFile* summary = outputs.open("summary.csv", failure);
  field::OutputFile* json = summary ? outputs.open("study.json", failure) : nullptr;
  field::OutputFile* report = json ? outputs.open("report.html", failure) : nullptr;
  if (report == nullptr) {
    printErrorLine(failure + ": choose another folder with --out");
    return 3;
  }
  summary->write(summaryHeader(a.targetGci.has_value()));
  FieldStudy study;
  try {
    study = runFieldStudy(input, {{a.order, a.fs, a.targetGci}, a.threads, true, a.leastSquares}, *summary);
  } catch (const InputError& e) {
    // The summary is written while the points are read: its failure (a full disk) is the
    // output's, not the input's.
    const bool output = e.file() == summary->path();
    outputs.discard();
    printError(output ? InputError(e.file(), 0, std::string(e.what()) + ": choose another folder with --out") : e);
    return output ? 3 : 2;
  }
  FieldPlots plots;
  if (a.noPlots) {
    plots.note = "--no-plots was given";
  } else {
    plots = drawFieldPlots(study);
  }
  const std::string jsonText = fieldJson(study);
  json->write(jsonText);
  report->write(fieldReportHtml(study, plots));
  if (std::optional<std::string> problem = outputs.commit()) {
    printErrorLine(*problem + ": choose another folder with --out");
    return 3;
  }
  if (a.format == "csv") {
    printFile(folder / "summary.csv");
  } else if (a.format == "json") {
    print(stdout, jsonText);
  } else {
    print(stdout, fieldText(study));
    print(stdout, "report: " + (folder / "report.html").string() + "\n");
  }
  return a.strict && study.notConverging > 0 ? 1 : 0;
}

// The files a study read: the CASE as named, the file it led to, grid, point and exact files.
std::vector<std::string> inputFiles(const std::string& named, const Case& c) {
  std::vector<std::string> files{named};
  if (c.table) {
    files.push_back(c.table->file);
    files.insert(files.end(), c.table->gridFiles.begin(), c.table->gridFiles.end());
    if (c.table->exactFile) files.push_back(*c.table->exactFile);
  }
  if (c.field) {
    files.push_back(c.field->file);
    for (const field::PointFile& grid : c.field->grids) files.push_back(grid.path);
    if (c.field->exact) files.push_back(c.field->exact->path);
  }
  return files;
}

fs::path outputFolder(const Arguments& a) {
  if (!a.out.empty()) return fs::path(a.out);
  if (a.caseFile == "-") return fs::path("stdin.study");
  fs::path p(a.caseFile);
  return p.parent_path() / (p.stem().string() + ".study");
}

}  // namespace

int runStudyCommand(int argc, char** argv) {
  Arguments a;
  CLI::App app{"Grid-convergence study of every quantity of a case: the standard procedure "
               "(Celik et al. 2008) on the three finest grids and the classic series over all "
               "grids. Writes summary.csv, study.json and report.html.",
               kProgram};
  app.add_option("CASE", a.caseFile, "CSV table (h or cells, then one column per quantity; - reads standard input) or classic main data file")
      ->required();
  app.add_option("--out", a.out, "output folder (default: CASE without extension + .study)");
  app.add_option("--format", a.format, "what standard output shows: table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  app.add_option("--order", a.order, "theoretical order (default: pL of a main data file, else 2)")
      ->check(CLI::PositiveNumber);
  app.add_option("--fs", a.fs, "safety factor (default: 1.25 with three or more grids, 3 with two)")
      ->check(CLI::PositiveNumber);
  app.add_option("--target-gci", a.targetGci,
                 "a GCI_fine21 to reach, as a fraction (0.01 is 1 %): the spacing (and with --cells, the cell count) it needs")
      ->check(CLI::Validator(
          [](std::string& text) {
            double x = 0.0;
            const char* end = text.data() + text.size();
            auto [stop, error] = std::from_chars(text.data(), end, x);
            if (error != std::errc() || stop != end || !(x > 0.0 && x < 1.0)) {
              return "--target-gci is a fraction: 0 < X < 1 (0.01 for 1 %), not " + text;
            }
            return std::string();
          },
          "FRACTION in (0, 1)"));
  auto* cells = app.add_flag("--cells", a.cells, "the first column holds cell counts: h = cells^(-1/D)");
  app.add_option("--dim", a.dim, "dimension D of the cell counts (1, 2 or 3)")
      ->check(CLI::Range(1, 3))
      ->needs(cells);
  cells->needs(app.get_option("--dim"));
  app.add_flag("--no-plots", a.noPlots, "do not draw the plots of report.html");
  app.add_flag("--strict", a.strict, "exit 1 when a quantity does not converge monotonically or has no observed order");
  app.add_flag("--field", a.field, "study a main data file as a field, one point per value record, however few the records (by default a field needs more than 100)");
  app.add_flag("--least-squares", a.leastSquares, "field cases: also the least-squares estimate of every point (tables always have it; on five grids it costs about seven times the rest of a point)");
  app.add_option("--threads", a.threads, "threads of a field study (default: all cores)")
      ->check(CLI::Range(1u, 1024u));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    print(stdout, app.help());
    return 0;
  } catch (const CLI::ParseError& e) {
    print(stderr, std::string(kProgram) + ": " + e.what() + "\n" + app.help());
    return 2;
  }

  Case read;
  try {
    read = readCase(a);
  } catch (const InputError& e) {
    printError(e);
    return 2;
  }
  constexpr std::string_view kOutputs[] = {"summary.csv", "study.json", "report.html"};
  if (std::optional<std::string> input =
          outputOverInput(outputFolder(a), kOutputs, inputFiles(a.caseFile, read))) {
    printError(InputError(*input, 0,
                          "is read by this study and would be replaced by one of its outputs "
                          "(summary.csv, study.json, report.html): choose another folder with --out"));
    return 2;
  }
  if (read.field) return runFieldCase(a, *read.field, outputFolder(a));
  const StudyCase& input = *read.table;
  const StudyResult study = runStudy(input, {a.order, a.fs, a.targetGci});
  StudyPlots plots;
  if (a.noPlots) {
    plots.note = "--no-plots was given";
  } else {
    plots = drawPlots(study);
  }
  const std::string summary = summaryCsv(study);
  const std::string json = studyJson(study);
  const OutputFile files[] = {{"summary.csv", summary}, {"study.json", json},
                              {"report.html", reportHtml(study, plots)}};
  const fs::path folder = outputFolder(a);
  if (std::optional<std::string> failure = writeOutputs(folder, files)) {
    printErrorLine(*failure + ": choose another folder with --out");
    return 3;
  }
  if (a.format == "csv") {
    print(stdout, summary);
  } else if (a.format == "json") {
    print(stdout, json);
  } else {
    print(stdout, summaryTable(study));
    print(stdout, judgementLines(study));
    print(stdout, "report: " + (folder / "report.html").string() + "\n");
  }
  if (a.strict) {
    for (const QuantityStudy& q : study.quantities) {
      if (!q.converges()) return 1;
    }
  }
  return 0;
}

}  // namespace kv::study
