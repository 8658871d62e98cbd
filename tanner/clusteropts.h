// tanner simulate under mpirun: MPI started only when mpirun started the
// process, and the sweep of a fixed code spread over the ranks by the
// cluster engine (cluster/clusterrun.h), with the one-process result.
//
// Rank 0 prints, writes the ledger, the JSON and the CSV; the other ranks
// decode and say nothing (their standard output goes to /dev/null). Each
// rank decodes with its own --threads. The counts are those of one process
// for every rank count: rank 0 counts the blocks in frame order with the
// stopping rule of the loop. Ensembles and shards run in one process only.
//
// Error policy: as the other tanner commands. A cluster run that fails
// (a rank silent, an MPI fault) prints the engine's message on rank 0 and
// ends every rank through MPI_Abort with status 1. A tanner built without
// MPI refuses to run as one of several ranks.
#ifndef TANNER_CLUSTEROPTS_H
#define TANNER_CLUSTEROPTS_H

#include <cstdint>
#include <vector>

#include "graphstruct.h"
#include "ledgeropts.h"
#include "montecarlo.h"

namespace tanner {

// The ranks of the run: one rank outside mpirun.
struct mpiranks {
  int rank = 0;
  int ranks = 1;
};

// Starts MPI when mpirun started this process (its environment says so),
// once; the ranks of the run. MPI ends when the process exits normally.
mpiranks startmpi();

// The sweep of graph over the ranks (ranks > 1); callbacks' pointdone,
// progress and cancelled are called on rank 0 only. Returns the points
// finished, on every rank, and why the sweep ended.
std::vector<ldpc::pointresult> runclustersweep(const ldpc::simulationsettings &s,
                                               const ldpc::graphs *graph, const ldpc::framemap *map,
                                               std::uint64_t confighash,
                                               const ldpc::simulationcallbacks &callbacks,
                                               ldpc::sweepend *end, ledgerrun *ledger);

}  // namespace tanner

#endif
