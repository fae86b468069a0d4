#include "cluster/mpi_io.h"

#include <algorithm>
#include <climits>
#include <cstdio>


namespace kv::cluster {

MpiSession::MpiSession() {
  int initialized = 0;
  MPI_Initialized(&initialized);
  if (!initialized) MPI_Init(nullptr, nullptr);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  MPI_Comm node = MPI_COMM_NULL;
  if (MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank_, MPI_INFO_NULL, &node) == MPI_SUCCESS &&
      node != MPI_COMM_NULL) {
    MPI_Comm_size(node, &ranksOnNode_);
    MPI_Comm_free(&node);
  }
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

bool SpooledRows::open(const std::string& spool, const std::string& destination, std::string_view head) {
  remove();
  int size = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  destination_ = destination;
  head_.assign(head);
  sections_.clear();
  if (size == 1) {
    // One rank: no spool to copy from at the end (a second write and a read of every row).
    direct_ = std::fopen(destination.c_str(), "wb");
    failed_ = direct_ == nullptr || std::fwrite(head_.data(), 1, head_.size(), direct_) != head_.size();
  } else {
    failed_ = spool_.open(spool).has_value();
  }
  return !failed_;
}

bool SpooledRows::append(std::string_view bytes) {
  if (failed_ || sections_.empty()) return false;
  if (direct_ != nullptr) {
    failed_ = std::fwrite(bytes.data(), 1, bytes.size(), direct_) != bytes.size();
  } else if (!spool_.write(bytes)) {
    failed_ = true;
  }
  sections_.back() += bytes.size();
  return !failed_;
}

bool SpooledRows::assemble(std::vector<uint64_t>& starts) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  starts.clear();
  if (direct_ != nullptr) {
    uint64_t at = head_.size();
    for (uint64_t bytes : sections_) {
      starts.push_back(at);
      at += bytes;
    }
    starts.push_back(at);
    const bool ok = std::fclose(direct_) == 0 && !failed_;
    direct_ = nullptr;
    return ok;
  }
  const int count = static_cast<int>(sections_.size());
  std::vector<uint64_t> all(sections_.size() * static_cast<size_t>(size));
  MPI_Allgather(sections_.data(), count, MPI_UINT64_T, all.data(), count, MPI_UINT64_T, MPI_COMM_WORLD);
  auto bytes = [&](size_t section, int r) { return all[static_cast<size_t>(r) * sections_.size() + section]; };
  uint64_t headSize = head_.size();
  MPI_Bcast(&headSize, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
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

  // The file exists (reserved by rank 0): a collective open that fails can bring down some
  // MPI-IO implementations, so it is attempted only on a file known to exist.
  MPI_File file = MPI_FILE_NULL;
  bool ok = MPI_File_open(MPI_COMM_WORLD, destination_.c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &file) == MPI_SUCCESS;
  if (!ok) return false;  // on every rank: the open is collective
  MPI_Status status;
  if (rank == 0 && !head_.empty()) {
    ok = MPI_File_write_at(file, 0, head_.data(), static_cast<int>(head_.size()), MPI_BYTE, &status) == MPI_SUCCESS;
  }
  // The spool is complete: read back from its start through a stream of its own.
  if (ok && !failed_ && spool_.flush()) reader_ = std::fopen(spool_.temporaryPath().c_str(), "rb");
  ok = ok && reader_ != nullptr;
  std::vector<char> buffer(8u << 20);
  for (size_t q = 0; q < sections_.size() && ok; ++q) {
    for (uint64_t done = 0; done < sections_[q] && ok;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), sections_[q] - done));
      ok = std::fread(buffer.data(), 1, n, reader_) == n &&
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
  if (direct_ != nullptr) {
    std::fclose(direct_);
    direct_ = nullptr;
  }
  if (reader_ != nullptr) {
    std::fclose(reader_);
    reader_ = nullptr;
  }
  spool_.discard();
}

study::Distribution mergeOnRankZero(const study::Distribution& local) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const std::string mine = local.toExactJson().dump();
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
  study::Distribution merged;
  if (rank != 0) return merged;
  // Integer counts, exact extremes and pairwise sums over aligned blocks: the same whatever the
  // number of ranks. The worst points are ranked by badness, then position, so their order does
  // not depend on it either.
  for (int r = 0; r < size; ++r) {
    merged.merge(study::Distribution::fromExactJson(nlohmann::json::parse(all.substr(offsets[r], lengths[r]))));
  }
  return merged;
}

}  // namespace kv::cluster
