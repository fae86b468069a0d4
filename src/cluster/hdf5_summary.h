// summary.h5: one dataset per column of summary.csv, in rows of the same order, chunked and
// compressed, written collectively by every rank of a run (each its own rows).
//
// Each column is stored as its kind in study/summary.h says: numbers as float64 (the very doubles
// whose shortest forms summary.csv holds; NaN where its field is empty), counts (`grids`) as
// int32, a category (`convergence`, `ls_fit`) as a uint8 code whose names are in its attribute
// `names`, and text (`quantity`, `status`, and any column this file does not know) as fixed-length
// strings. The root attribute `columns` lists the columns in the order of summary.csv.
#pragma once

#include <hdf5.h>
#include <mpi.h>

#include <cstdint>
#include <string_view>
#include <string>
#include <vector>

#include "cluster/hdf5_field.h"
#include "study/study.h"
#include "study/summary.h"

namespace kv::cluster {

using study::ColumnKind;

struct SummaryColumnType {
  std::string name;
  ColumnKind kind = ColumnKind::Number;
  size_t width = 0;  // bytes of a text column
  const study::SummaryColumn* column = nullptr;  // the study's column (none when read back unknown)
};

// The columns of summary.csv (with the target columns when `withTarget`) with the type of their
// dataset; `nameWidth` is the width of the quantity column (the longest row name that can occur).
std::vector<SummaryColumnType> summaryColumnTypes(size_t nameWidth, bool withTarget);

// One block of rows, column by column, as the datasets hold them.
class SummaryBlock {
 public:
  explicit SummaryBlock(std::vector<SummaryColumnType> columns);
  // Appends the row of one point; false (and nothing appended) when a text is wider than its
  // column, with the message in `error`.
  bool add(const study::QuantityStudy& q, std::string& error);
  void clear();
  size_t rows() const { return rows_; }
  const std::vector<SummaryColumnType>& columns() const { return columns_; }
  const std::vector<char>& data(size_t column) const { return data_[column]; }
  // Filling a block read back from a file: the bytes of each column, then the row count.
  std::vector<char>& column(size_t c) { return data_[c]; }
  void setRows(size_t rows) { rows_ = rows; }
  // Appends rows [first, first + count) of `other` (same columns).
  void append(const SummaryBlock& other, size_t first, size_t count);

  // The element type of a column's dataset (caller closes it).
  static hid_t elementType(const SummaryColumnType& column);
  static size_t elementSize(const SummaryColumnType& column);

 private:
  std::vector<SummaryColumnType> columns_;
  std::vector<std::vector<char>> data_;
  size_t rows_ = 0;
};

class SummaryFile {
 public:
  static constexpr hsize_t kChunkRows = 65536;
  // Creates the file with one dataset per column of `rows` rows (collective over `comm`);
  // throws std::runtime_error when it cannot be created.
  SummaryFile(const std::string& path, MPI_Comm comm, uint64_t rows,
              const std::vector<SummaryColumnType>& columns);
  // Writes `block` at rows [firstRow, firstRow + block.rows()); every rank calls it, with an
  // empty block when it has nothing to write. False when the write failed.
  bool write(uint64_t firstRow, const SummaryBlock& block);
  // Opens an existing summary file for reading by one process (merge).
  static SummaryFile openForReading(const std::string& path);
  uint64_t rows() const { return rows_; }
  const std::vector<SummaryColumnType>& columns() const { return columns_; }
  // Reads rows [first, first + count) into `block` (cleared first).
  bool read(uint64_t first, uint64_t count, SummaryBlock& block) const;
  // Closes the file; false when that failed (the data may not be on disk).
  bool close();

 private:
  SummaryFile() = default;
  Handle file_;
  std::vector<Handle> datasets_;
  std::vector<SummaryColumnType> columns_;
  Handle transfer_;
  uint64_t rows_ = 0;
};

// Copies a summary file dataset by dataset, in the order of its columns, into a new file `to`
// (one process). The chunks keep their compressed bytes and are laid out in order, so that the
// same rows give the same file whatever wrote them: any number of ranks, or a merge of slabs.
bool canonicalCopy(const std::string& from, const std::string& to);

}  // namespace kv::cluster
