// The part of each case kind in the one driver (driver.h): its outputs, inputs and study.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cases/case_head.h"
#include "cases/mesh_case.h"
#include "cases/point_field_case.h"
#include "cases/space_time_case.h"
#include "cases/study_case.h"
#include "drivers/driver.h"

namespace kv::study {

// The files a case reads: the case as named, the file it led to, its grid and exact files.
std::vector<std::string> caseInputs(const std::string& named, const CaseHead& head);

// What the part of a case kind read from files holds: the case as named, what it read, the
// options; the files it reads are the case's head's (with what a kind adds).
template <class Input>
class CaseFilesStudy : public CaseStudy {
 public:
  CaseFilesStudy(const std::string& named, const Input& input, const StudyOptions& options)
      : named_(named), input_(input), options_(options) {}
  std::vector<std::string> inputs() const override { return caseInputs(named_, input_); }

 protected:
  std::string named_;
  const Input& input_;
  StudyOptions options_;
};

// A CSV table of quantities or a main data file of quantities.
std::unique_ptr<CaseStudy> tableStudy(const std::string& named, const StudyCase& input, const StudyOptions& options);
// A field of point files (an h,file table or a main data file of points).
std::unique_ptr<CaseStudy> pointFieldStudy(const std::string& named, const FieldStudyCase& input,
                                           const StudyOptions& options);
// A field on grids that share no points.
std::unique_ptr<CaseStudy> meshFieldStudy(const std::string& named, const MeshCase& input, const StudyOptions& options);
// A space-time table of runs.
std::unique_ptr<CaseStudy> spaceTimeStudy(const std::string& named, const SpaceTimeCase& input,
                                          const StudyOptions& options);
// An HDF5 field, on every rank of an MPI run; its case is read (collectively) by `study`.
std::unique_ptr<CaseStudy> hdf5Study(const std::string& file, const StudyOptions& options);
// The merge of the slab folders of a job array, by one rank of an MPI run.
std::unique_ptr<CaseStudy> slabMerge(const std::vector<std::string>& folders, const StudyOptions& options);

}  // namespace kv::study
