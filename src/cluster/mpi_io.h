// The MPI pieces of a field run: the session, a file that ranks write in rank order, and the
// statistics of every rank merged on rank 0 in rank order.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/temp_file.h"
#include "study/distribution.h"

namespace kv::cluster {

// MPI for the life of the object; without mpirun the program is a run of one rank.
class MpiSession {
 public:
  MpiSession();
  ~MpiSession();
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;
  int rank() const { return rank_; }
  int size() const { return size_; }
  // The ranks that share this rank's node (its memory and its cores), this one included.
  int ranksOnNode() const { return ranksOnNode_; }
  // Whether `local` holds on any rank (collective).
  static bool any(bool local);
  // Rank 0's text on every rank (collective).
  static std::string broadcast(std::string text);

 private:
  int rank_ = 0;
  int size_ = 1;
  int ranksOnNode_ = 1;
};

// Rows that ranks write into one file in the order (section, rank): a rank's rows of a section
// (a quantity) are contiguous in the file, but their size is known only when all are computed.
// So each rank spools its rows into a file of its own while it computes, then every rank copies
// its spool into the shared file at offsets from the byte counts of all ranks (MPI-IO).
class SpooledRows {
 public:
  ~SpooledRows() { remove(); }
  // Collective: prepares the rows of `destination` (an existing file, reserved by rank 0), to
  // begin with rank 0's `head`. Each rank spools into a temporary file named after `spool`
  // (io/temp_file.h); a single rank writes straight into `destination`, its rows being in order
  // already.
  bool open(const std::string& spool, const std::string& destination, std::string_view head);
  // Starts the next section; rows appended go to it.
  void beginSection() { sections_.push_back(0); }
  bool append(std::string_view bytes);
  // Collective: writes the head, then every section of every rank, into the destination; gives
  // the offset where each section starts and, last, the size of the file (the same on every
  // rank).
  bool assemble(std::vector<uint64_t>& starts);
  // Removes the spool.
  void remove();

 private:
  std::string destination_;
  std::string head_;
  std::FILE* direct_ = nullptr;  // a single rank's destination
  io::TempFile spool_;
  std::FILE* reader_ = nullptr;
  bool failed_ = false;
  std::vector<uint64_t> sections_;
};

// Every rank's distribution merged in rank order; the result is complete on rank 0 only.
study::Distribution mergeOnRankZero(const study::Distribution& local);

}  // namespace kv::cluster
