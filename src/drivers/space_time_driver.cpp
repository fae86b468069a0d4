// A space-time table of runs: every quantity by the procedure of estimation/space_time.h.
#include <algorithm>

#include "drivers/kinds.h"
#include "report/space_time_outputs.h"
#include "report/space_time_report.h"

namespace kv::study {

namespace {

constexpr std::string_view kSpaceTimeOutputs[] = {"summary.csv", "study.json", "report.html"};

class SpaceTimeDriver : public CaseStudy {
 public:
  SpaceTimeDriver(const std::string& named, const SpaceTimeCase& input, const StudyOptions& options)
      : named_(named), input_(input) {
    options_.gridOrder = options.order.value_or(options_.gridOrder);
    options_.timeOrder = options.timeOrder.value_or(options_.timeOrder);
  }

  std::span<const std::string_view> outputs() const override { return kSpaceTimeOutputs; }
  std::vector<std::string> inputs() const override { return caseInputs(named_, input_); }

  Printout study(io::OutputSet& outputs, const OutputPlan& plan) override {
    const SpaceTimeStudy study = studySpaceTime(input_, options_);
    const SpaceTimePlots plots =
        reportPlots<SpaceTimePlots>(plan, [&](double timeout) { return drawSpaceTimePlots(study, timeout); });
    Printout out;
    out.csv = spaceTimeSummaryCsv(study);
    out.json = spaceTimeJson(study);
    writeOutputs(outputs,
                 {{"summary.csv", out.csv}, {"study.json", out.json}, {"report.html", spaceTimeReportHtml(study, plots)}});
    out.table = spaceTimeText(study);
    out.unsound = !std::all_of(study.quantities.begin(), study.quantities.end(),
                               [](const SpaceTimeQuantityStudy& q) { return q.sound(); });
    return out;
  }

 private:
  std::string named_;
  const SpaceTimeCase& input_;
  SpaceTimeOptions options_;
};

}  // namespace

std::unique_ptr<CaseStudy> spaceTimeStudy(const std::string& named, const SpaceTimeCase& input,
                                          const StudyOptions& options) {
  return std::make_unique<SpaceTimeDriver>(named, input, options);
}

}  // namespace kv::study
