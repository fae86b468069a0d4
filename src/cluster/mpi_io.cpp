#include "cluster/mpi_io.h"

#include <algorithm>
#include <climits>

#include "cluster/distribution.h"
#include "field/platform.h"

namespace kv::cluster {

MpiSession::MpiSession() {
  int initialized = 0;
  MPI_Initialized(&initialized);
  if (!initialized) MPI_Init(nullptr, nullptr);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiSession::~MpiSession() {
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (!finalized) MPI_Finalize();
}

bool MpiSession::any(bool local) {
  int in = local ? 1 : 0, out = 0;
  MPI_Allreduce(&in, &out, 1, MPI_INT, MPI_LOR, MPI_COMM_WORLD);
  return out != 0;
}

std::string MpiSession::broadcast(std::string text) {
  uint64_t size = text.size();
  MPI_Bcast(&size, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
  text.resize(size);
  MPI_Bcast(text.data(), static_cast<int>(size), MPI_CHAR, 0, MPI_COMM_WORLD);
  return text;
}

bool SpooledRows::open(const std::string& spoolPath) {
  remove();
  path_ = spoolPath;
  slot_ = field::platform::protectTemporary(path_);
  spool_ = std::fopen(path_.c_str(), "w+b");
  failed_ = spool_ == nullptr;
  return !failed_;
}

bool SpooledRows::append(std::string_view bytes) {
  if (failed_ || sections_.empty()) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), spool_) != bytes.size()) failed_ = true;
  sections_.back() += bytes.size();
  return !failed_;
}

bool SpooledRows::assemble(const std::string& path, std::string_view head, std::vector<uint64_t>& starts) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const int count = static_cast<int>(sections_.size());
  std::vector<uint64_t> all(sections_.size() * static_cast<size_t>(size));
  MPI_Allgather(sections_.data(), count, MPI_UINT64_T, all.data(), count, MPI_UINT64_T, MPI_COMM_WORLD);
  auto bytes = [&](size_t section, int r) { return all[static_cast<size_t>(r) * sections_.size() + section]; };
  uint64_t headSize = head.size();
  MPI_Bcast(&headSize, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
  starts.clear();
  std::vector<uint64_t> mine;  // where this rank's part of each section goes
  uint64_t at = headSize;
  for (size_t q = 0; q < sections_.size(); ++q) {
    starts.push_back(at);
    for (int r = 0; r < size; ++r) {
      if (r == rank) mine.push_back(at);
      at += bytes(q, r);
    }
  }
  starts.push_back(at);

  // Rank 0 creates the file, then all open it: a collective open that fails can bring down
  // some MPI-IO implementations, so it is attempted only on a file known to exist.
  int created = 0;
  if (rank == 0) {
    if (std::FILE* f = field::platform::createNew(path)) created = std::fclose(f) == 0;
  }
  MPI_Bcast(&created, 1, MPI_INT, 0, MPI_COMM_WORLD);
  if (!created) return false;
  MPI_File file = MPI_FILE_NULL;
  bool ok = MPI_File_open(MPI_COMM_WORLD, path.c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &file) == MPI_SUCCESS;
  if (!ok) return false;  // on every rank: the open is collective
  MPI_Status status;
  if (rank == 0 && !head.empty()) {
    ok = MPI_File_write_at(file, 0, head.data(), static_cast<int>(head.size()), MPI_BYTE, &status) == MPI_SUCCESS;
  }
  ok = ok && !failed_ && std::fflush(spool_) == 0 && std::fseek(spool_, 0, SEEK_SET) == 0;
  std::vector<char> buffer(8u << 20);
  for (size_t q = 0; q < sections_.size() && ok; ++q) {
    for (uint64_t done = 0; done < sections_[q] && ok;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), sections_[q] - done));
      ok = std::fread(buffer.data(), 1, n, spool_) == n &&
           MPI_File_write_at(file, static_cast<MPI_Offset>(mine[q] + done), buffer.data(), static_cast<int>(n),
                             MPI_BYTE, &status) == MPI_SUCCESS;
      done += n;
    }
  }
  ok = MPI_File_close(&file) == MPI_SUCCESS && ok;
  remove();
  return ok;
}

void SpooledRows::remove() {
  if (spool_ != nullptr) {
    std::fclose(spool_);
    spool_ = nullptr;
  }
  if (!path_.empty()) {
    std::remove(path_.c_str());
    path_.clear();
  }
  field::platform::releaseTemporary(slot_);
  slot_ = -1;
}

field::FieldStats mergeOnRankZero(const field::FieldStats& local) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const std::string mine = statsToJson(local).dump();
  const int length = static_cast<int>(mine.size());
  std::vector<int> lengths(rank == 0 ? size : 0), offsets(rank == 0 ? size : 0);
  MPI_Gather(&length, 1, MPI_INT, lengths.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
  std::string all;
  if (rank == 0) {
    uint64_t total = 0;
    for (int r = 0; r < size; ++r) {
      offsets[r] = static_cast<int>(total);
      total += static_cast<uint64_t>(lengths[r]);
    }
    all.resize(total);
  }
  MPI_Gatherv(mine.data(), length, MPI_CHAR, all.data(), lengths.data(), offsets.data(), MPI_CHAR, 0,
              MPI_COMM_WORLD);
  field::FieldStats merged;
  if (rank != 0) return merged;
  // Integer counts and exact extremes: the same whatever the number of ranks. The worst points
  // are ranked by badness, then position, so their order does not depend on it either.
  for (int r = 0; r < size; ++r) {
    merged.merge(statsFromJson(nlohmann::json::parse(all.substr(offsets[r], lengths[r]))));
  }
  return merged;
}

}  // namespace kv::cluster
