// HDF5 fields and their merge in a build without MPI and a parallel HDF5.
#include "drivers/kinds.h"

namespace kv::study {

namespace {

Failure unavailable() {
  return Failure("", 0,
                 "this build cannot read HDF5 fields: build it where MPI and a parallel HDF5 are found "
                 "(Debian: libopenmpi-dev, libhdf5-openmpi-dev)");
}

}  // namespace

std::unique_ptr<CaseStudy> hdf5Study(const std::string&, const StudyOptions&) { throw unavailable(); }
std::unique_ptr<CaseStudy> slabMerge(const std::vector<std::string>&, const StudyOptions&) { throw unavailable(); }

}  // namespace kv::study
