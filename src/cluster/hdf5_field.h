// An HDF5 field case, read by slabs of points with parallel HDF5:
//
//   /h                  float, one spacing per grid, in any order
//   /fields/<quantity>  float, grids x points; row g holds the grid of /h[g]
//   /points/id          integer, one per point (optional; else the 1-based point index)
//   /exact/<quantity>   float, one exact value per point (optional)
//
// Quantities come in the order of their names. Every rank opens and checks the file the same
// way, so a bad file gives every rank the same message.
#pragma once

#include <hdf5.h>
#include <mpi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "cluster/slabs.h"

namespace kv::cluster {

// A file that is not a field case: the file, the dataset ("" for the file as a whole), and what
// is wrong, as "FILE: DATASET: message".
class BadFile : public Failure {
 public:
  BadFile(std::string file, const std::string& dataset, const std::string& message)
      : Failure(std::move(file), 0, dataset.empty() ? message : dataset + ": " + message) {}
};

// An open HDF5 identifier, closed with its own function.
class Handle {
 public:
  Handle() = default;
  Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  Handle(Handle&& o) noexcept : id_(o.id_), close_(o.close_) { o.id_ = -1; }
  Handle& operator=(Handle&& o) noexcept {
    std::swap(id_, o.id_);
    std::swap(close_, o.close_);
    return *this;
  }
  ~Handle() {
    if (id_ >= 0) close_(id_);
  }
  hid_t get() const { return id_; }
  // Gives up the identifier without closing it.
  hid_t release() {
    const hid_t id = id_;
    id_ = -1;
    return id;
  }
  bool valid() const { return id_ >= 0; }

 private:
  hid_t id_ = -1;
  herr_t (*close_)(hid_t) = nullptr;
};

// Transfer properties for collective MPI-IO.
Handle collectiveTransfer();

struct FieldQuantity {
  std::string name;
  Handle values;  // /fields/<name>
  Handle exact;   // /exact/<name>, or invalid
};

class HdfField {
 public:
  // Opens and checks the whole layout (collective over `comm`); throws BadFile.
  HdfField(const std::string& file, MPI_Comm comm);

  const std::string& file() const { return file_; }
  // Spacings finest first; gridRow()[i] is the row of /fields/<q> that holds grid i.
  const std::vector<double>& h() const { return h_; }
  const std::vector<size_t>& gridRow() const { return gridRow_; }
  uint64_t points() const { return points_; }
  const std::vector<FieldQuantity>& quantities() const { return quantities_; }
  bool hasIds() const { return ids_.valid(); }

  // What tells this input from another version of it: "size S, modified T, layout L", L a
  // 64-bit FNV-1a hash of /h (its raw doubles) and of the name and shape of every dataset read.
  // It reads no point data, so it costs the same at 10^3 and at 10^9 points.
  std::string fingerprint() const;

  // Collective reads of the points `range` (every rank calls, an empty range is allowed):
  // values[i * grids + g] for point i and grid g (finest first); exact NaN where none; ids.
  void readValues(size_t quantity, Range range, std::vector<double>& values) const;
  void readExact(size_t quantity, Range range, std::vector<double>& exact) const;
  void readIds(Range range, std::vector<uint64_t>& ids) const;
  // The text of an id as readIds gives it.
  std::string idText(uint64_t id) const;

 private:
  std::string file_;
  Handle handle_;
  Handle ids_;
  std::vector<double> h_;
  std::vector<size_t> gridRow_;
  uint64_t points_ = 0;
  std::vector<FieldQuantity> quantities_;
  Handle transfer_;
  uint64_t layout_ = 1469598103934665603ull;  // FNV-1a of what fingerprint() covers
  bool idsUnsigned_ = false;
};

}  // namespace kv::cluster
