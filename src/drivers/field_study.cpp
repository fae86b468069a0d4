#include "drivers/field_study.h"

#include "cases/kind.h"
#include "drivers/kinds.h"
#include "study/summary.h"
#include "text/utf8.h"

namespace kv::study {

FieldStudy runFieldStudy(const FieldStudyCase& input, const StudyOptions& options, io::TempFile& rows, bool progress) {
  FieldStudy out;
  FieldSummary& summary = out.summary;
  static_cast<CaseHead&>(summary) = input;
  summary.kind = caseKindKey(input.kind == FieldStudyCase::Kind::FieldCsv ? CaseKind::FieldTable : CaseKind::MainDataField);
  summary.title = toUtf8(input.title);
  summary.settings = fieldSettings(options, input.theoreticalOrder, input.safetyFactor,
                                   input.cells.empty() ? kNotANumber : input.cells.front(), input.dimension);
  summary.settings.classic = input.classic;
  summary.quantities.resize(1);
  const PointStudy study(input.h, summary.settings);
  FieldKernel kernel(study, summary.quantities.front().distribution, "");
  field::FieldResult result =
      field::runField(input.grids, input.exact, kernel, rows, fieldEngineOptions(options, progress));
  if (result.error) throw failureOf(*result.error);
  summary.points = result.points;
  out.readSeconds = result.readSeconds;
  out.writeSeconds = result.writeSeconds;
  return out;
}

namespace {

constexpr std::string_view kFieldOutputs[] = {"summary.csv", "study.json", "report.html"};

// summary.csv is written while the points are read, in one pass; study.json and report.html
// follow from the distribution.
class PointFieldStudy : public CaseFilesStudy<FieldStudyCase> {
 public:
  using CaseFilesStudy::CaseFilesStudy;

  std::span<const std::string_view> outputs() const override { return kFieldOutputs; }

  Printout study(io::OutputSet& outputs, const OutputPlan& plan) override {
    io::TempFile& rows = openOutput(outputs, "summary.csv");
    rows.write(summaryHeader(options_.targetGci.has_value()));
    const FieldStudy study = runFieldStudy(input_, options_, rows);
    return fieldOutputs(study.summary, outputs, plan);
  }
};

}  // namespace

std::unique_ptr<CaseStudy> pointFieldStudy(const std::string& named, const FieldStudyCase& input,
                                           const StudyOptions& options) {
  return std::make_unique<PointFieldStudy>(named, input, options);
}

}  // namespace kv::study
