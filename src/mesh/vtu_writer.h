// A point cloud as a VTK XML unstructured grid (.vtu), for ParaView and the like.
//
// The file: each array inline in base64 (format="binary", header_type="UInt64": the array's size
// in bytes as a 64-bit integer, then its bytes, encoded together; byte_order as the machine's).
// Binary keeps every double as it is, NaN included, where ASCII would round them and take three
// times the room. Base64 costs a third more than raw appended data, but raw appended data is
// misread by meshio 5.0 (Debian 12's), which mixes up the arrays when the offset of one in its
// own base64 recoding equals the raw offset of a later one.
//   - Points: Float64, three components (a 1-D or 2-D cloud gets zeros for the missing ones).
//   - Cells: connectivity and offsets as Int64, types as UInt8. A cloud without cells gets one
//     vertex cell (VTK type 1) per point, so that viewers draw the points.
//   - PointData: each quantity as a Float64 array of its name, then each integer array as Int32.
//   - FieldData: labels, each a one-value Int32 array whose name is the text: a legend for the
//     codes of an integer array ("status=ok" = 0, ...). VTK's own String arrays are left out on
//     purpose: meshio refuses a whole file that holds one.
// Names are written as XML text: &, <, >, " and ' as entities, control characters as '?'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/temp_file.h"
#include "mesh/point_cloud.h"

namespace kv::mesh {

struct IntegerArray {
  std::string name;
  std::vector<int32_t> values;  // one per point
};

struct FieldLabel {
  std::string name;
  int32_t value = 0;
};

struct VtuExtras {
  std::vector<IntegerArray> pointIntegers;
  std::vector<FieldLabel> labels;
};

// Writes `cloud` (which must pass validate()) with `extras` into `file` (open, not committed).
// Returns why it could not: an invalid cloud, an integer array of another length than the
// points, a write that failed.
std::optional<std::string> writeVtu(io::TempFile& file, const PointCloud& cloud, const VtuExtras& extras = {});

// The same into `path`, written under a temporary name and renamed when complete (io/temp_file.h):
// a file that cannot be written leaves `path` as it was.
std::optional<std::string> writeVtu(const std::string& path, const PointCloud& cloud,
                                    const VtuExtras& extras = {});

}  // namespace kv::mesh
