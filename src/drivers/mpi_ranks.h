// The ranks of an MPI run as the one driver sees them (driver.h).
#pragma once

#include "cluster/mpi_io.h"
#include "drivers/driver.h"

namespace kv::cluster {

// The ranks of an MPI run: rank 0 writes the outputs and prints; every rank ends as it does.
class MpiRanks : public study::Ranks {
 public:
  explicit MpiRanks(const MpiSession& mpi) : mpi_(mpi) {}
  bool root() const override { return mpi_.rank() == 0; }
  bool any(bool b) const override { return MpiSession::any(b); }
  study::Outcome share(const study::Outcome& outcome) const override {
    int code[3] = {outcome.error.has_value(), outcome.error ? static_cast<int>(outcome.error->kind) : 0, outcome.unsound};
    MPI_Bcast(code, 3, MPI_INT, 0, MPI_COMM_WORLD);
    if (root()) return outcome;
    study::Outcome shared;
    if (code[0] != 0) shared.error = Error{"", 0, "", static_cast<Error::Kind>(code[1])};
    shared.unsound = code[2] != 0;
    return shared;
  }

 private:
  const MpiSession& mpi_;
};

}  // namespace kv::cluster
