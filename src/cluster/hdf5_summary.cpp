#include "cluster/hdf5_summary.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "study/summary.h"

namespace kv::cluster {

namespace {

constexpr size_t kTextWidth = 256;  // status, ls_fit and columns of unknown kind

template <typename T>
void put(std::vector<char>& out, T value) {
  const size_t at = out.size();
  out.resize(at + sizeof value);
  std::memcpy(out.data() + at, &value, sizeof value);
}

Handle stringType(size_t width) {
  Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
  H5Tset_size(type.get(), width);
  H5Tset_strpad(type.get(), H5T_STR_NULLPAD);
  return type;
}

bool writeTextAttribute(hid_t object, const char* name, const std::vector<std::string>& texts) {
  size_t width = 1;
  for (const std::string& t : texts) width = std::max(width, t.size());
  std::vector<char> bytes(width * texts.size(), '\0');
  for (size_t i = 0; i < texts.size(); ++i) std::memcpy(bytes.data() + i * width, texts[i].data(), texts[i].size());
  Handle type = stringType(width);
  const hsize_t count = texts.size();
  Handle space(H5Screate_simple(1, &count, nullptr), H5Sclose);
  Handle attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  return attribute.valid() && H5Awrite(attribute.get(), type.get(), bytes.data()) >= 0;
}

std::vector<std::string> readTextAttribute(hid_t object, const char* name) {
  std::vector<std::string> out;
  Handle attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
  if (!attribute.valid()) return out;
  Handle fileType(H5Aget_type(attribute.get()), H5Tclose);
  Handle space(H5Aget_space(attribute.get()), H5Sclose);
  const hssize_t count = H5Sget_simple_extent_npoints(space.get());
  const size_t width = H5Tget_size(fileType.get());
  if (count <= 0 || width == 0 || H5Tget_class(fileType.get()) != H5T_STRING) return out;
  Handle type = stringType(width);
  std::vector<char> bytes(width * static_cast<size_t>(count));
  if (H5Aread(attribute.get(), type.get(), bytes.data()) < 0) return out;
  for (hssize_t i = 0; i < count; ++i) {
    const char* text = bytes.data() + static_cast<size_t>(i) * width;
    out.emplace_back(text, strnlen(text, width));
  }
  return out;
}

}  // namespace

std::vector<SummaryColumnType> summaryColumnTypes(size_t nameWidth, bool withTarget) {
  std::vector<SummaryColumnType> out;
  for (const study::SummaryColumn* c : study::writtenColumns(withTarget)) {
    SummaryColumnType t{std::string(c->name), c->kind, 0, c};
    if (t.kind == ColumnKind::Text) t.width = c->name == "quantity" ? std::max<size_t>(nameWidth, 1) : kTextWidth;
    out.push_back(std::move(t));
  }
  return out;
}

SummaryBlock::SummaryBlock(std::vector<SummaryColumnType> columns)
    : columns_(std::move(columns)), data_(columns_.size()) {}

hid_t SummaryBlock::elementType(const SummaryColumnType& c) {
  switch (c.kind) {
    case ColumnKind::Count: return H5Tcopy(H5T_NATIVE_INT32);
    case ColumnKind::Number: return H5Tcopy(H5T_NATIVE_DOUBLE);
    case ColumnKind::Category: return H5Tcopy(H5T_NATIVE_UINT8);
    case ColumnKind::Text: {
      hid_t type = H5Tcopy(H5T_C_S1);
      H5Tset_size(type, c.width);
      H5Tset_strpad(type, H5T_STR_NULLPAD);
      return type;
    }
  }
  return -1;
}

size_t SummaryBlock::elementSize(const SummaryColumnType& c) {
  switch (c.kind) {
    case ColumnKind::Count: return sizeof(int32_t);
    case ColumnKind::Number: return sizeof(double);
    case ColumnKind::Category: return sizeof(uint8_t);
    case ColumnKind::Text: return c.width;
  }
  return 0;
}

bool SummaryBlock::add(const study::QuantityStudy& q, std::string& error) {
  for (const SummaryColumnType& column : columns_) {
    if (column.kind == ColumnKind::Text && column.column->text(q).size() > column.width) {
      error = "the " + column.name + " of " + q.name + " is longer than " + std::to_string(column.width) + " bytes";
      return false;
    }
  }
  for (size_t c = 0; c < columns_.size(); ++c) {
    const SummaryColumnType& column = columns_[c];
    std::vector<char>& out = data_[c];
    switch (column.kind) {
      case ColumnKind::Count:
        put<int32_t>(out, static_cast<int32_t>(column.column->number(q)));
        break;
      case ColumnKind::Category:
        put<uint8_t>(out, static_cast<uint8_t>(column.column->number(q)));
        break;
      case ColumnKind::Number:
        put<double>(out, column.column->number(q));
        break;
      case ColumnKind::Text: {
        const std::string_view text = column.column->text(q);
        const size_t at = out.size();
        out.resize(at + column.width, '\0');
        std::memcpy(out.data() + at, text.data(), text.size());
        break;
      }
    }
  }
  ++rows_;
  return true;
}

void SummaryBlock::clear() {
  for (auto& d : data_) d.clear();
  rows_ = 0;
}

void SummaryBlock::append(const SummaryBlock& other, size_t first, size_t count) {
  for (size_t c = 0; c < columns_.size(); ++c) {
    const size_t size = elementSize(columns_[c]);
    const char* from = other.data_[c].data() + first * size;
    data_[c].insert(data_[c].end(), from, from + count * size);
  }
  rows_ += count;
}

SummaryFile::SummaryFile(const std::string& path, MPI_Comm comm, uint64_t rows,
                         const std::vector<SummaryColumnType>& columns)
    : columns_(columns), transfer_(collectiveTransfer()), rows_(rows) {
  Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  H5Pset_fapl_mpio(access.get(), comm, MPI_INFO_NULL);
  // The file is a temporary already reserved under this name (io/temp_file.h).
  file_ = Handle(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get()), H5Fclose);
  if (!file_.valid()) throw std::runtime_error(path + " cannot be created");
  std::vector<std::string> names;
  for (const auto& c : columns) names.push_back(c.name);
  if (!writeTextAttribute(file_.get(), "columns", names)) throw std::runtime_error(path + " cannot be written");

  const hsize_t size = rows;
  const hsize_t chunk = std::max<hsize_t>(1, std::min<hsize_t>(kChunkRows, rows));
  Handle space(H5Screate_simple(1, &size, nullptr), H5Sclose);
  for (const SummaryColumnType& c : columns) {
    Handle creation(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    H5Pset_chunk(creation.get(), 1, &chunk);
    // Byte shuffling helps numbers compress; text is mostly padding and compresses as it is.
    if (c.kind != ColumnKind::Text) H5Pset_shuffle(creation.get());
    H5Pset_deflate(creation.get(), 1);
    H5Pset_fill_time(creation.get(), H5D_FILL_TIME_NEVER);
    // No modification times: the same rows give the same bytes.
    H5Pset_obj_track_times(creation.get(), false);
    Handle type(SummaryBlock::elementType(c), H5Tclose);
    Handle dataset(H5Dcreate2(file_.get(), c.name.c_str(), type.get(), space.get(), H5P_DEFAULT,
                              creation.get(), H5P_DEFAULT),
                   H5Dclose);
    if (!dataset.valid()) throw std::runtime_error(path + ": dataset " + c.name + " cannot be created");
    if (c.kind == ColumnKind::Category) {
      std::vector<std::string> typeNames;
      for (size_t code = 0; code < study::categoryCount(*c.column); ++code) {
        typeNames.emplace_back(study::categoryName(*c.column, static_cast<uint8_t>(code)));
      }
      if (!writeTextAttribute(dataset.get(), "names", typeNames)) {
        throw std::runtime_error(path + ": dataset " + c.name + " cannot be written");
      }
    }
    datasets_.push_back(std::move(dataset));
  }
}

bool SummaryFile::write(uint64_t firstRow, const SummaryBlock& block) {
  bool ok = true;
  for (size_t c = 0; c < columns_.size(); ++c) {
    Handle memory;
    Handle fileSpace = [&] {
      Handle space(H5Dget_space(datasets_[c].get()), H5Sclose);
      const hsize_t count = block.rows();
      if (count == 0) {
        H5Sselect_none(space.get());
        const hsize_t one = 1;
        memory = Handle(H5Screate_simple(1, &one, nullptr), H5Sclose);
        H5Sselect_none(memory.get());
      } else {
        const hsize_t start = firstRow;
        H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, &start, nullptr, &count, nullptr);
        memory = Handle(H5Screate_simple(1, &count, nullptr), H5Sclose);
      }
      return space;
    }();
    Handle type(SummaryBlock::elementType(columns_[c]), H5Tclose);
    const void* data = block.rows() ? block.data(c).data() : nullptr;
    static const char nothing = 0;
    if (data == nullptr) data = &nothing;
    if (H5Dwrite(datasets_[c].get(), type.get(), memory.get(), fileSpace.get(), transfer_.get(), data) < 0) {
      ok = false;
    }
  }
  return ok;
}

SummaryFile SummaryFile::openForReading(const std::string& path) {
  SummaryFile s;
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  s.file_ = Handle(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
  if (!s.file_.valid()) throw std::runtime_error("cannot be opened as an HDF5 file");
  const std::vector<std::string> names = readTextAttribute(s.file_.get(), "columns");
  if (names.empty()) throw std::runtime_error("has no attribute 'columns': not a summary of this tool");
  for (const std::string& name : names) {
    Handle dataset(H5Dopen2(s.file_.get(), name.c_str(), H5P_DEFAULT), H5Dclose);
    if (!dataset.valid()) throw std::runtime_error("lacks the dataset " + name);
    Handle type(H5Dget_type(dataset.get()), H5Tclose);
    Handle space(H5Dget_space(dataset.get()), H5Sclose);
    hsize_t rows = 0;
    if (H5Sget_simple_extent_ndims(space.get()) != 1) throw std::runtime_error(name + " is not one column");
    H5Sget_simple_extent_dims(space.get(), &rows, nullptr);
    if (&name == &names.front()) s.rows_ = rows;
    if (rows != s.rows_) throw std::runtime_error(name + " has " + std::to_string(rows) + " rows where " +
                                                  names.front() + " has " + std::to_string(s.rows_));
    const study::SummaryColumn* known = study::summaryColumn(name);
    SummaryColumnType column{name, known ? known->kind : ColumnKind::Text, 0, known};
    if (column.kind == ColumnKind::Text) column.width = H5Tget_size(type.get());
    s.columns_.push_back(column);
    s.datasets_.push_back(std::move(dataset));
  }
  return s;
}

bool SummaryFile::read(uint64_t first, uint64_t count, SummaryBlock& block) const {
  block = SummaryBlock(columns_);
  if (count == 0) return true;
  for (size_t c = 0; c < columns_.size(); ++c) {
    Handle space(H5Dget_space(datasets_[c].get()), H5Sclose);
    const hsize_t start = first, n = count;
    H5Sselect_hyperslab(space.get(), H5S_SELECT_SET, &start, nullptr, &n, nullptr);
    Handle memory(H5Screate_simple(1, &n, nullptr), H5Sclose);
    Handle type(SummaryBlock::elementType(columns_[c]), H5Tclose);
    std::vector<char>& bytes = block.column(c);
    bytes.resize(count * SummaryBlock::elementSize(columns_[c]));
    if (H5Dread(datasets_[c].get(), type.get(), memory.get(), space.get(), H5P_DEFAULT, bytes.data()) < 0) {
      return false;
    }
  }
  block.setRows(count);
  return true;
}

bool SummaryFile::close() {
  datasets_.clear();
  if (!file_.valid()) return true;
  return H5Fclose(file_.release()) >= 0;
}

bool canonicalCopy(const std::string& from, const std::string& to) {
  Handle source(H5Fopen(from.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
  if (!source.valid()) return false;
  const std::vector<std::string> names = readTextAttribute(source.get(), "columns");
  Handle target(H5Fcreate(to.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
  if (!target.valid() || names.empty() || !writeTextAttribute(target.get(), "columns", names)) return false;
  for (const std::string& name : names) {
    if (H5Ocopy(source.get(), name.c_str(), target.get(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT) < 0) {
      return false;
    }
  }
  return H5Fclose(target.release()) >= 0;
}

}  // namespace kv::cluster
