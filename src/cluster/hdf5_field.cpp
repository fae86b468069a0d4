#include "cluster/hdf5_field.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <numeric>

#include "base/limits.h"

namespace kv::cluster {

namespace {

std::string number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

bool exists(hid_t file, const std::string& path) {
  // Each step of the path must exist before the next can be asked about.
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (H5Lexists(file, prefix.c_str(), H5P_DEFAULT) <= 0) return false;
    if (slash == std::string::npos) return true;
  }
}

std::string className(H5T_class_t c) {
  switch (c) {
    case H5T_INTEGER: return "integers";
    case H5T_FLOAT: return "floating-point numbers";
    case H5T_STRING: return "strings";
    case H5T_COMPOUND: return "compound records";
    case H5T_ENUM: return "an enumeration";
    default: return "values of another kind";
  }
}

struct DatasetShape {
  Handle dataset;
  std::vector<hsize_t> dims;
};

std::string shape(const std::vector<hsize_t>& dims) {
  if (dims.empty()) return "a single value";
  std::string out;
  for (size_t i = 0; i < dims.size(); ++i) out += (i ? " x " : "") + std::to_string(dims[i]);
  return out;
}

enum class Stored { None, Part, All };

// How much of the dataset's storage the file holds. Contiguous storage is allocated whole when
// the dataset is written. Chunked storage (that of every compressed, checksummed or resizable
// dataset) is allocated a chunk at a time as values are written; its allocation status compares
// the bytes stored with the bytes declared, which compression and edge chunks (reaching past the
// extent) make differ when every chunk is there, so the chunks are counted instead. The count
// walks the chunk index, whose size is that of what was written, not of what is declared.
Stored stored(hid_t dataset, hid_t space, const std::vector<hsize_t>& dims) {
  Handle create(H5Dget_create_plist(dataset), H5Pclose);
  if (create.valid() && H5Pget_layout(create.get()) == H5D_CHUNKED) {
    const int rank = static_cast<int>(dims.size());
    std::vector<hsize_t> chunk(dims.size(), 0);
    if (H5Pget_chunk(create.get(), rank, chunk.data()) != rank) return Stored::None;
    hsize_t written = 0;
#if H5_VERSION_GE(1, 10, 5)
    if (H5Dget_num_chunks(dataset, space, &written) < 0) return Stored::None;
#else
    // No chunk count before HDF5 1.10.5: a dataset with chunks is taken as written whole.
    H5D_space_status_t status = H5D_SPACE_STATUS_ERROR;
    if (H5Dget_space_status(dataset, &status) < 0) return Stored::None;
    written = status == H5D_SPACE_STATUS_NOT_ALLOCATED ? 0 : std::numeric_limits<hsize_t>::max();
#endif
    if (written == 0) return Stored::None;
    // Every chunk the extent reaches into, counted until it passes `written`.
    hsize_t expected = 1;
    for (size_t d = 0; d < dims.size(); ++d) {
      if (chunk[d] == 0) return Stored::None;
      const hsize_t along = dims[d] / chunk[d] + (dims[d] % chunk[d] != 0);
      if (along != 0 && expected > written / along) return Stored::Part;
      expected *= along;
    }
    return written >= expected ? Stored::All : Stored::Part;
  }
  H5D_space_status_t status = H5D_SPACE_STATUS_ERROR;
  if (H5Dget_space_status(dataset, &status) < 0) return Stored::None;
  return status == H5D_SPACE_STATUS_ALLOCATED       ? Stored::All
         : status == H5D_SPACE_STATUS_PART_ALLOCATED ? Stored::Part
                                                     : Stored::None;
}

// Opens `path` and checks the class of its elements; throws BadFile.
DatasetShape openDataset(const std::string& file, hid_t h5, const std::string& path,
                         H5T_class_t wanted, const char* what) {
  Handle dataset(H5Dopen2(h5, path.c_str(), H5P_DEFAULT), H5Dclose);
  if (!dataset.valid()) throw BadFile(file, path, "is not a dataset");
  Handle type(H5Dget_type(dataset.get()), H5Tclose);
  const H5T_class_t c = H5Tget_class(type.get());
  if (c != wanted) {
    throw BadFile(file, path, std::string("holds ") + className(c) + ": " + what + " are expected");
  }
  Handle space(H5Dget_space(dataset.get()), H5Sclose);
  const int rank = H5Sget_simple_extent_ndims(space.get());
  std::vector<hsize_t> dims(static_cast<size_t>(std::max(rank, 0)));
  if (rank > 0) H5Sget_simple_extent_dims(space.get(), dims.data(), nullptr);
  // A dataset declared but never written (or written in part) would be read as its fill value
  // however large it is said to be: a few kilobytes of file asking for gigabytes of work.
  if (H5Sget_simple_extent_npoints(space.get()) > 0) {
    const Stored s = stored(dataset.get(), space.get(), dims);
    if (s != Stored::All) {
      throw BadFile(file, path,
                    "declares " + shape(dims) + " values but " +
                        (s == Stored::Part ? "holds only part of them"
                                           : "holds none (never written)") +
                        ": write every value");
    }
  }
  return {std::move(dataset), dims};
}

// FNV-1a, 64 bits.
void hashBytes(uint64_t& hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
}

void hashDataset(uint64_t& hash, const std::string& path, const std::vector<hsize_t>& dims) {
  hashBytes(hash, path.data(), path.size() + 1);
  for (hsize_t d : dims) hashBytes(hash, &d, sizeof d);
}


// The names of the links of a group, in byte order.
std::vector<std::string> members(hid_t group) {
  H5G_info_t info;
  std::vector<std::string> names;
  if (H5Gget_info(group, &info) < 0) return names;
  for (hsize_t i = 0; i < info.nlinks; ++i) {
    const ssize_t size =
        H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, nullptr, 0, H5P_DEFAULT);
    if (size < 0) continue;
    std::string name(static_cast<size_t>(size) + 1, '\0');
    H5Lget_name_by_idx(group, ".", H5_INDEX_NAME, H5_ITER_INC, i, name.data(), name.size(),
                       H5P_DEFAULT);
    name.resize(static_cast<size_t>(size));
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Selects columns [range) of every row of a rows x points dataset (or of a 1-D one); an empty
// range selects nothing, as a collective read of a rank without points must.
Handle selection(hid_t dataset, Range range, hsize_t rows, bool twoD, Handle& memory) {
  Handle file(H5Dget_space(dataset), H5Sclose);
  const hsize_t elements = rows * range.size();
  if (elements == 0) {
    H5Sselect_none(file.get());
    const hsize_t one = 1;
    memory = Handle(H5Screate_simple(1, &one, nullptr), H5Sclose);
    H5Sselect_none(memory.get());
    return file;
  }
  if (twoD) {
    const hsize_t start[2] = {0, range.begin}, count[2] = {rows, range.size()};
    H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, start, nullptr, count, nullptr);
  } else {
    const hsize_t start = range.begin, count = range.size();
    H5Sselect_hyperslab(file.get(), H5S_SELECT_SET, &start, nullptr, &count, nullptr);
  }
  memory = Handle(H5Screate_simple(1, &elements, nullptr), H5Sclose);
  return file;
}

// Why a dataset may fail to read although it opened: a filter of its chunks (h5py's lzf, a
// plugin's) that this library lacks. "" when it has every one.
std::string missingFilter(hid_t dataset) {
  Handle create(H5Dget_create_plist(dataset), H5Pclose);
  for (int f = 0, n = create.valid() ? H5Pget_nfilters(create.get()) : 0; f < n; ++f) {
    unsigned flags = 0;
    size_t values = 0;
    char name[64] = "";
    const H5Z_filter_t id = H5Pget_filter2(create.get(), static_cast<unsigned>(f), &flags,
                                           &values, nullptr, sizeof name, name, nullptr);
    if (id >= 0 && H5Zfilter_avail(id) <= 0) {
      return ": it is stored through HDF5 filter " + std::to_string(id) +
             (*name ? " (" + std::string(name) + ")" : "") +
             ", which this program's HDF5 library lacks (write it uncompressed, or with gzip)";
    }
  }
  return "";
}

void read(hid_t dataset, hid_t memoryType, Range range, hsize_t rows, bool twoD, void* buffer,
          hid_t transfer, const std::string& file, const std::string& name) {
  Handle memory;
  Handle fileSpace = selection(dataset, range, rows, twoD, memory);
  if (H5Dread(dataset, memoryType, memory.get(), fileSpace.get(), transfer, buffer) < 0) {
    throw BadFile(file, name, "cannot be read" + missingFilter(dataset));
  }
}

}  // namespace

Handle collectiveTransfer() {
  Handle transfer(H5Pcreate(H5P_DATASET_XFER), H5Pclose);
  H5Pset_dxpl_mpio(transfer.get(), H5FD_MPIO_COLLECTIVE);
  return transfer;
}

HdfField::HdfField(const std::string& file, MPI_Comm comm) : file_(file) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  transfer_ = collectiveTransfer();
  Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  H5Pset_fapl_mpio(access.get(), comm, MPI_INFO_NULL);
  std::error_code error;
  if (!std::filesystem::exists(file, error)) throw BadFile(file, "", "does not exist");
  handle_ = Handle(H5Fopen(file.c_str(), H5F_ACC_RDONLY, access.get()), H5Fclose);
  if (!handle_.valid()) {
    throw BadFile(file, "", "cannot be opened as an HDF5 file (is it one, and readable?)");
  }
  const hid_t h5 = handle_.get();

  // /h: one positive, distinct spacing per grid.
  if (!exists(h5, "/h")) throw BadFile(file, "/h", "is missing: the spacing of each grid is needed");
  DatasetShape h = openDataset(file, h5, "/h", H5T_FLOAT, "floating-point spacings");
  if (h.dims.size() != 1) {
    throw BadFile(file, "/h", "has shape " + shape(h.dims) + ": one spacing per grid is expected");
  }
  const size_t grids = h.dims[0];
  if (grids < 2 || grids > kMaxGrids) {
    throw BadFile(file, "/h", "holds " + std::to_string(grids) + " spacing(s): a study takes two grids at least and " +
                                  std::to_string(kMaxGrids) + " at most");
  }
  std::vector<double> spacing(grids);
  read(h.dataset.get(), H5T_NATIVE_DOUBLE, {0, grids}, 1, false, spacing.data(), H5P_DEFAULT,
       file, "/h");
  hashDataset(layout_, "/h", h.dims);
  hashBytes(layout_, spacing.data(), spacing.size() * sizeof(double));
  for (size_t g = 0; g < grids; ++g) {
    if (!(spacing[g] > 0.0) || !std::isfinite(spacing[g])) {
      throw BadFile(file, "/h", "spacing " + std::to_string(g + 1) + " is " + number(spacing[g]) +
                                    ": every spacing must be positive and finite");
    }
  }
  gridRow_.resize(grids);
  std::iota(gridRow_.begin(), gridRow_.end(), size_t{0});
  std::stable_sort(gridRow_.begin(), gridRow_.end(),
                   [&](size_t a, size_t b) { return spacing[a] < spacing[b]; });
  for (size_t i = 0; i + 1 < grids; ++i) {
    if (spacing[gridRow_[i]] == spacing[gridRow_[i + 1]]) {
      const size_t a = std::min(gridRow_[i], gridRow_[i + 1]), b = std::max(gridRow_[i], gridRow_[i + 1]);
      throw BadFile(file, "/h", "spacings " + std::to_string(a + 1) + " and " + std::to_string(b + 1) +
                                    " are both " + number(spacing[a]) + ": every grid needs its own spacing");
    }
  }
  for (size_t row : gridRow_) h_.push_back(spacing[row]);

  // /fields/<quantity>: grids x points, the same points in every one.
  if (!exists(h5, "/fields")) {
    throw BadFile(file, "/fields", "is missing: one dataset /fields/<quantity> per quantity is needed");
  }
  Handle fields(H5Gopen2(h5, "/fields", H5P_DEFAULT), H5Gclose);
  if (!fields.valid()) throw BadFile(file, "/fields", "is not a group of datasets");
  const std::vector<std::string> names = members(fields.get());
  if (names.empty()) throw BadFile(file, "/fields", "holds no dataset: no quantity to study");
  std::string first;
  for (const std::string& name : names) {
    const std::string path = "/fields/" + name;
    DatasetShape values = openDataset(file, h5, path, H5T_FLOAT, "floating-point values");
    if (values.dims.size() != 2 || values.dims[0] != grids) {
      throw BadFile(file, path, "has shape " + shape(values.dims) + ": grids x points is expected, with " +
                                    std::to_string(grids) + " grids (one per spacing of /h)");
    }
    if (first.empty()) {
      first = path;
      points_ = values.dims[1];
      if (points_ == 0) throw BadFile(file, path, "holds no point");
    } else if (values.dims[1] != points_) {
      throw BadFile(file, path, "has " + std::to_string(values.dims[1]) + " points where " + first +
                                    " has " + std::to_string(points_) + ": every quantity needs the same points");
    }
    hashDataset(layout_, path, values.dims);
    quantities_.push_back({name, std::move(values.dataset), Handle()});
  }

  // /exact/<quantity>: one value per point, for quantities of /fields only.
  if (exists(h5, "/exact")) {
    Handle exact(H5Gopen2(h5, "/exact", H5P_DEFAULT), H5Gclose);
    if (!exact.valid()) throw BadFile(file, "/exact", "is not a group of datasets");
    for (const std::string& name : members(exact.get())) {
      const std::string path = "/exact/" + name;
      auto q = std::find_if(quantities_.begin(), quantities_.end(),
                            [&](const FieldQuantity& f) { return f.name == name; });
      if (q == quantities_.end()) throw BadFile(file, path, "names no dataset of /fields");
      DatasetShape values = openDataset(file, h5, path, H5T_FLOAT, "floating-point exact values");
      if (values.dims.size() != 1 || values.dims[0] != points_) {
        throw BadFile(file, path, "has shape " + shape(values.dims) + ": one exact value per point (" +
                                      std::to_string(points_) + ") is expected");
      }
      hashDataset(layout_, path, values.dims);
      q->exact = std::move(values.dataset);
    }
  }

  // /points/id: one integer per point.
  if (exists(h5, "/points/id")) {
    DatasetShape ids = openDataset(file, h5, "/points/id", H5T_INTEGER, "integer ids");
    if (ids.dims.size() != 1 || ids.dims[0] != points_) {
      throw BadFile(file, "/points/id", "has shape " + shape(ids.dims) + ": one id per point (" +
                                            std::to_string(points_) + ") is expected");
    }
    hashDataset(layout_, "/points/id", ids.dims);
    Handle type(H5Dget_type(ids.dataset.get()), H5Tclose);
    idsUnsigned_ = H5Tget_sign(type.get()) == H5T_SGN_NONE;
    ids_ = std::move(ids.dataset);
  }
}

std::string HdfField::fingerprint() const {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(file_, error);
  const auto time = std::filesystem::last_write_time(file_, error).time_since_epoch();
  char layout[17];
  std::snprintf(layout, sizeof layout, "%016llx", static_cast<unsigned long long>(layout_));
  return "size " + std::to_string(size) + ", modified " +
         std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(time).count()) + ", layout " + layout;
}

void HdfField::readValues(size_t quantity, Range range, std::vector<double>& values) const {
  const size_t grids = h_.size();
  const size_t n = range.size();
  std::vector<double> raw(grids * n);
  const FieldQuantity& q = quantities_[quantity];
  read(q.values.get(), H5T_NATIVE_DOUBLE, range, grids, true, raw.data(), transfer_.get(), file_,
       "/fields/" + q.name);
  values.resize(grids * n);
  for (size_t g = 0; g < grids; ++g) {
    const double* row = raw.data() + gridRow_[g] * n;
    for (size_t i = 0; i < n; ++i) values[i * grids + g] = row[i];
  }
}

void HdfField::readExact(size_t quantity, Range range, std::vector<double>& exact) const {
  const FieldQuantity& q = quantities_[quantity];
  exact.assign(range.size(), std::nan(""));
  if (!q.exact.valid()) return;
  read(q.exact.get(), H5T_NATIVE_DOUBLE, range, 1, false, exact.data(), transfer_.get(), file_,
       "/exact/" + q.name);
}

void HdfField::readIds(Range range, std::vector<uint64_t>& ids) const {
  ids.resize(range.size());
  if (!ids_.valid()) {
    for (size_t i = 0; i < ids.size(); ++i) ids[i] = range.begin + i + 1;
    return;
  }
  // Read in their own signedness, so that ids above 2^63 stay distinct; a signed id keeps its
  // bits (idText tells them apart).
  read(ids_.get(), idsUnsigned_ ? H5T_NATIVE_UINT64 : H5T_NATIVE_INT64, range, 1, false, ids.data(), transfer_.get(),
       file_, "/points/id");
}

std::string HdfField::idText(uint64_t id) const {
  return idsUnsigned_ || !ids_.valid() ? std::to_string(id) : std::to_string(static_cast<int64_t>(id));
}

}  // namespace kv::cluster
