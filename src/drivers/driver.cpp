#include "drivers/driver.h"

#include <cstdio>
#include <vector>

#include "cases/study_case.h"
#include "io/platform.h"
#include "report/field_report.h"
#include "report/report_html.h"
#include "report/study_json.h"

namespace kv::study {

namespace fs = std::filesystem;

namespace {

// Copies a file to standard output in blocks; `inert`: its control characters as '?'.
void printFile(const fs::path& path, bool inert) {
  std::FILE* in = std::fopen(path.string().c_str(), "rb");
  if (in == nullptr) return;
  std::string block(size_t{1} << 20, '\0');
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) {
    printOut(inert ? printableLines(block.substr(0, n)) : std::string_view(block).substr(0, n));
  }
  std::fclose(in);
}

// Text from the data (names, titles) drives no terminal: its control characters show as '?'
// wherever people read it. summary.csv goes out as its bytes when it goes to a file or a pipe
// (study.json escapes control characters itself).
void print(const Printout& out, const OutputPlan& plan, const fs::path& folder) {
  if (plan.format == "csv") {
    const bool inert = io::platform::stdoutIsTerminal();
    if (out.csvFile) {
      printFile(folder / "summary.csv", inert);
    } else {
      printOut(inert ? printableLines(out.csv) : out.csv);
    }
  } else if (plan.format == "json") {
    printOut(out.json);
  } else if (plan.format == "latex") {
    printOut(printableLines(out.latex));
  } else if (plan.format == "markdown") {
    printOut(printableLines(out.markdown));
  } else {
    printOut(printableLines(out.table));
    printOut(printableLines("report: " + (folder / "report.html").string() + "\n"));
  }
}

std::string joined(std::span<const std::string_view> names) {
  std::string text;
  for (std::string_view name : names) text += (text.empty() ? "" : ", ") + std::string(name);
  return text;
}

}  // namespace

OutputPlan outputPlan(const std::string& caseFile, const OutputOptions& o, const std::optional<Slab>& slab) {
  OutputPlan plan;
  plan.format = o.format;
  plan.strict = o.strict;
  plan.plots = !o.noPlots;
  plan.plotTimeout = o.plotTimeout;
  if (!o.out.empty()) {
    plan.folder = o.out;
  } else if (caseFile == "-") {
    plan.folder = "stdin.study";
  } else {
    const fs::path p(caseFile);
    std::string name = p.stem().string() + ".study";
    if (slab) name += "-slab-" + std::to_string(slab->index) + "-of-" + std::to_string(slab->count);
    plan.folder = p.parent_path() / name;
  }
  return plan;
}

void printOut(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

bool standardOutputWritten() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

Outcome failToPrint(const OutputPlan& plan) {
  const std::string line = plan.program + ": error: standard output cannot be written (closed, or a full disk?)\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return {Error{"", 0, "standard output cannot be written", Error::Kind::Output}};
}

void printError(const OutputPlan& plan, const Error& e) {
  std::string line = plan.program + ": error: " + e.where();
  if (e.kind == Error::Kind::Output) line += ": choose another folder with --out";
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void printWarning(const OutputPlan& plan, const std::string& message) {
  const std::string line = plan.program + ": warning: " + printable(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

Error outputError(const io::OutputSet& outputs, Error e) {
  if (e.file.empty() && e.message.rfind("cannot create", 0) != 0 && e.message.find(" is not a folder") == std::string::npos) {
    e.file = outputs.folder().string();
  }
  e.kind = Error::Kind::Output;
  return e;
}

void writeOutputs(io::OutputSet& outputs, std::initializer_list<std::pair<std::string, std::string_view>> files) {
  for (const auto& [name, bytes] : files) {
    if (std::optional<Error> failure = outputs.write(name, bytes)) throw Failure(outputError(outputs, *failure));
  }
}

io::TempFile& openOutput(io::OutputSet& outputs, const std::string& name) {
  io::TempFile* file = nullptr;
  if (std::optional<Error> failure = outputs.open(name, file)) throw Failure(outputError(outputs, *failure));
  return *file;
}

const Ranks& CaseStudy::ranks() const {
  static const Ranks one;
  return one;
}

Outcome runCaseStudy(CaseStudy& kind, const OutputPlan& plan) {
  const Ranks& ranks = kind.ranks();
  auto fail = [&](const Error& e) {
    if (ranks.root()) printError(plan, e);
    return Outcome{e};
  };
  if (std::optional<std::string> input = io::outputOverInput(plan.folder, kind.outputs(), kind.inputs())) {
    return fail({displayName(*input), 0,
                 "is read by this " + plan.run + " and would be replaced by one of its outputs (" +
                     joined(kind.outputs()) + "): choose another folder with --out"});
  }
  io::OutputSet outputs(plan.folder);
  std::optional<Error> failure;
  if (ranks.root()) failure = outputs.create(kEveryOutput);
  if (ranks.any(failure.has_value())) {
    return fail(failure ? outputError(outputs, *failure)
                        : Error{plan.folder.string(), 0, "cannot be written", Error::Kind::Output});
  }
  Printout out;
  Outcome outcome;
  try {
    out = kind.study(outputs, plan);
  } catch (const Failure& e) {
    outputs.discard();
    outcome = fail(e.error());
  }
  if (!outcome.error && ranks.root()) {
    if (std::optional<Error> commit = outputs.commit()) {
      outcome = fail(outputError(outputs, *commit));
    } else {
      print(out, plan, outputs.folder());
      outcome.unsound = out.unsound;
      if (!standardOutputWritten()) outcome = failToPrint(plan);
    }
  }
  return ranks.share(outcome);
}

field::FieldOptions fieldEngineOptions(const StudyOptions& options, bool progress) {
  field::FieldOptions engine;
  engine.threads = options.threads;
  engine.progress = progress;
  if (options.blockPoints > 0) engine.chunkPoints = options.blockPoints;
  return engine;
}

Printout fieldOutputs(const FieldSummary& summary, io::OutputSet& outputs, const OutputPlan& plan) {
  const FieldPlots plots =
      reportPlots<FieldPlots>(plan, [&](double timeout) { return drawFieldPlots(summary, timeout); });
  Printout out;
  out.json = fieldJson(summary);
  writeOutputs(outputs, {{"study.json", out.json}, {"report.html", fieldReportHtml(summary, plots)}});
  out.csvFile = true;
  out.table = fieldText(summary);
  out.unsound = !summary.allConverge();
  return out;
}

}  // namespace kv::study
