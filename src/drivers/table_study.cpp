// A table of quantities (a CSV table or a main data file): every quantity through the one
// per-point study, plus the classic series over all grids; its outputs are held whole, the
// figures in figures/ with them.
#include <algorithm>
#include <vector>

#include "drivers/kinds.h"
#include "report/paper_table.h"
#include "report/plots.h"
#include "report/report_html.h"
#include "report/study_json.h"
#include "study/summary.h"

namespace kv::study {

namespace {

constexpr std::string_view kTableOutputs[] = {"summary.csv", "study.json", "report.html", "table.tex", "table.md"};

class TableStudy : public CaseFilesStudy<StudyCase> {
 public:
  using CaseFilesStudy::CaseFilesStudy;
  std::span<const std::string_view> outputs() const override { return kTableOutputs; }

  Printout study(io::OutputSet& outputs, const OutputPlan& plan) override {
    const StudyResult study = runStudy(input_, options_);
    const StudyPlots plots = reportPlots<StudyPlots>(plan, [&](double timeout) { return drawPlots(study, timeout); });
    std::vector<PaperColumn> columns;
    for (const QuantityStudy& q : study.quantities) {
      // The cell counts of the three finest grids the quantity was studied on (its own, when
      // values are missing on some grids).
      const std::vector<size_t> grids = study.gridNumbers(q);
      const bool cells = input_.cells.size() >= 3 && grids.size() >= 3;
      columns.push_back(cells ? paperColumn(q.name, q.standard,
                                            {input_.cells[grids[0] - 1], input_.cells[grids[1] - 1],
                                             input_.cells[grids[2] - 1]})
                              : paperColumn(q.name, q.standard));
    }
    const PaperTableOptions paper{.cells = input_.cells.size() >= 3};
    Printout out;
    out.csv = summaryCsv(study);
    out.json = studyJson(study);
    out.latex = paperTableLatex(columns, paper);
    out.markdown = paperTableMarkdown(columns, paper);
    writeOutputs(outputs, {{"summary.csv", out.csv},
                           {"study.json", out.json},
                           {"table.tex", out.latex},
                           {"table.md", out.markdown},
                           {"report.html", reportHtml(study, plots)}});
    // The figures for a paper: those drawn, and none left of an earlier run that are not.
    for (const auto& [name, bytes] : plots.figures) writeOutputs(outputs, {{name, bytes}});
    outputs.retireUnwritten(std::string(kFigureFolder), isFigureName);
    out.table = summaryTable(study) + findingLines(study) + judgementLines(study);
    out.unsound = std::any_of(study.quantities.begin(), study.quantities.end(),
                              [](const QuantityStudy& q) { return !q.sound(); });
    return out;
  }
};

}  // namespace

std::unique_ptr<CaseStudy> tableStudy(const std::string& named, const StudyCase& input, const StudyOptions& options) {
  return std::make_unique<TableStudy>(named, input, options);
}

}  // namespace kv::study
