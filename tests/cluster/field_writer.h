// Writes small HDF5 field cases for the tests, with the HDF5 C API (one process).
#pragma once

#include <hdf5.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kv::cluster::testing {

struct Dataset {
  std::vector<hsize_t> dims;
  std::vector<double> values;  // row-major
  hid_t type = H5T_IEEE_F64LE;  // as stored in the file
};

// Every dataset by its path ("/h", "/fields/lift", "/points/id", ...), groups made as needed.
inline bool writeH5(const std::string& path, const std::map<std::string, Dataset>& datasets) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (file < 0) return false;
  const hid_t links = H5Pcreate(H5P_LINK_CREATE);
  H5Pset_create_intermediate_group(links, 1);
  bool ok = true;
  for (const auto& [name, d] : datasets) {
    const hid_t space = H5Screate_simple(static_cast<int>(d.dims.size()), d.dims.data(), nullptr);
    const hid_t set = H5Dcreate2(file, name.c_str(), d.type, space, links, H5P_DEFAULT, H5P_DEFAULT);
    // No values: the dataset is declared and never written.
    ok = ok && set >= 0 &&
         (d.values.empty() || H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, d.values.data()) >= 0);
    H5Dclose(set);
    H5Sclose(space);
  }
  H5Pclose(links);
  return H5Fclose(file) >= 0 && ok;
}

}  // namespace kv::cluster::testing
