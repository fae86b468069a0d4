#include "drivers/drive.h"

#include "drivers/kinds.h"

namespace kv::study {

std::vector<std::string> caseInputs(const std::string& named, const CaseHead& head) {
  std::vector<std::string> files{named, head.file};
  files.insert(files.end(), head.gridFiles.begin(), head.gridFiles.end());
  if (head.exactFile) files.push_back(*head.exactFile);
  return files;
}

namespace {

// The driver `make` makes, through the skeleton; a kind this build cannot study is refused.
template <class Make>
Outcome drive(const OutputPlan& plan, Make make) {
  std::unique_ptr<CaseStudy> kind;
  try {
    kind = make();
  } catch (const Failure& e) {
    printError(plan, e.error());
    return {e.error()};
  }
  return runCaseStudy(*kind, plan);
}

std::unique_ptr<CaseStudy> studyOf(const Case& c, const StudyOptions& options) {
  if (c.kind == CaseKind::Hdf5) return hdf5Study(c.file, options);
  if (c.mesh) return meshFieldStudy(c.named, *c.mesh, options);
  if (c.spaceTime) return spaceTimeStudy(c.named, *c.spaceTime, options);
  if (c.field) return pointFieldStudy(c.named, *c.field, options);
  return tableStudy(c.named, *c.table, options);
}

}  // namespace

Outcome studyCase(const Case& c, const StudyOptions& options, const OutputPlan& plan) {
  return drive(plan, [&] { return studyOf(c, options); });
}

Outcome mergeSlabs(const std::vector<std::string>& folders, const StudyOptions& options, const OutputPlan& plan) {
  return drive(plan, [&] { return slabMerge(folders, options); });
}

}  // namespace kv::study
