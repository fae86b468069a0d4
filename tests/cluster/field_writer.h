// Writes small HDF5 field cases for the tests, with the HDF5 C API (one process).
#pragma once

#include <hdf5.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kv::cluster::testing {

// How a dataset is stored: contiguous when no chunk is given; the filters apply to chunks.
struct Storage {
  std::vector<hsize_t> chunk{};
  bool resizable = false;  // every axis unlimited, as h5py's maxshape=(None, ...) makes it
  int gzip = 0;            // deflate level, 0 for none
  bool shuffle = false, fletcher32 = false, szip = false;
};

struct Dataset {
  std::vector<hsize_t> dims;
  std::vector<double> values;  // row-major; fewer than declared: the leading columns only
  hid_t type = H5T_IEEE_F64LE;  // as stored in the file
  Storage storage{};
};

inline hid_t creation(const Storage& s) {
  const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
  if (s.chunk.empty()) return create;
  H5Pset_chunk(create, static_cast<int>(s.chunk.size()), s.chunk.data());
  if (s.shuffle) H5Pset_shuffle(create);
  if (s.gzip > 0) H5Pset_deflate(create, static_cast<unsigned>(s.gzip));
  if (s.szip) H5Pset_szip(create, H5_SZIP_NN_OPTION_MASK, 8);
  if (s.fletcher32) H5Pset_fletcher32(create);
  return create;
}

// Every dataset by its path ("/h", "/fields/lift", "/points/id", ...), groups made as needed.
inline bool writeH5(const std::string& path, const std::map<std::string, Dataset>& datasets) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (file < 0) return false;
  const hid_t links = H5Pcreate(H5P_LINK_CREATE);
  H5Pset_create_intermediate_group(links, 1);
  bool ok = true;
  for (const auto& [name, d] : datasets) {
    const std::vector<hsize_t> unlimited(d.dims.size(), H5S_UNLIMITED);
    const hid_t space = H5Screate_simple(static_cast<int>(d.dims.size()), d.dims.data(),
                                         d.storage.resizable ? unlimited.data() : nullptr);
    const hid_t create = creation(d.storage);
    const hid_t set = H5Dcreate2(file, name.c_str(), d.type, space, links, create, H5P_DEFAULT);
    // No values: the dataset is declared and never written. Fewer: the first columns of each row.
    std::vector<hsize_t> count = d.dims;
    hsize_t declared = 1;
    for (hsize_t n : d.dims) declared *= n;
    if (!d.dims.empty() && !d.values.empty() && d.values.size() < declared) count.back() = d.values.size() / d.dims[0];
    const std::vector<hsize_t> start(d.dims.size(), 0);
    const hid_t memory = H5Screate_simple(static_cast<int>(count.size()), count.data(), nullptr);
    H5Sselect_hyperslab(space, H5S_SELECT_SET, start.data(), nullptr, count.data(), nullptr);
    ok = ok && set >= 0 &&
         (d.values.empty() ||
          H5Dwrite(set, H5T_NATIVE_DOUBLE, memory, space, H5P_DEFAULT, d.values.data()) >= 0);
    H5Sclose(memory);
    H5Dclose(set);
    H5Pclose(create);
    H5Sclose(space);
  }
  H5Pclose(links);
  return H5Fclose(file) >= 0 && ok;
}

}  // namespace kv::cluster::testing
