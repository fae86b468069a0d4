#include "cases/kind.h"

namespace kv::study {

namespace {

struct KindNames {
  std::string_view name;
  std::string_view key;
};

KindNames namesOf(CaseKind kind) {
  switch (kind) {
    case CaseKind::Table:
      return {"a CSV table of quantities", "csv"};
    case CaseKind::MainData:
      return {"a main data file of quantities", "main-data"};
    case CaseKind::MainDataField:
      return {"a main data file of a field", "main-data-field"};
    case CaseKind::FieldTable:
      return {"an h,file table of point files", "field"};
    case CaseKind::Hdf5:
      return {"an HDF5 field", "hdf5-field"};
    case CaseKind::Slabs:
      return {"a merge of slabs", "slabs"};
    case CaseKind::SpaceTime:
      return {"a space-time table of runs (h,dt)", "space-time"};
    case CaseKind::MeshField:
      return {"an h,file table of grids that share no points", "mesh-field"};
  }
  return {};
}

}  // namespace

std::string_view caseKindName(CaseKind kind) { return namesOf(kind).name; }
std::string_view caseKindKey(CaseKind kind) { return namesOf(kind).key; }

}  // namespace kv::study
