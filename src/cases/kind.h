// The kinds of case a study reads, each named once: in messages ("a CSV table of quantities")
// and as the key study.json's input.kind and the Python module give ("csv").
//
//   Table          a CSV table of quantities (h or cells, then one column per quantity)
//   MainData       a classic main data file whose records are quantities var1, var2, ...
//   MainDataField  a classic main data file whose records are the points of a field (more than
//                  kFieldRecords of them, or --field)
//   FieldTable     a CSV table of point files (h,file or cells,file)
//   Hdf5           an HDF5 field (by its extension .h5, .hdf5, .he5, or its signature)
//   Slabs          the slab folders of a merge
//   SpaceTime      a CSV table of runs refining the grid and the time step (h,dt, then one
//                  column per quantity)
//   MeshField      an h,file table whose grid files hold coordinates: grids that share no points
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::study {

enum class CaseKind : uint8_t { Table, MainData, MainDataField, FieldTable, Hdf5, Slabs, SpaceTime, MeshField };

// "a CSV table of quantities", ...
std::string_view caseKindName(CaseKind kind);
// "csv", "main-data", "main-data-field", "field", "hdf5-field", "slabs", "space-time", "mesh-field".
std::string_view caseKindKey(CaseKind kind);

}  // namespace kv::study
