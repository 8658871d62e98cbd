// A Monte-Carlo sweep spread over the ranks of an MPI communicator, with the
// result of one process for every rank count.
//
// Every rank decodes blocks (stoppingrule.h) on its own threads through the
// job's decode callable. Rank 0 also coordinates: it hands out blocks in
// chunks sized to about a tenth of a second of each rank's work, from the
// point that runs and the next one; gathers the tallies, which every rank
// sends as they finish (in batches at least 20 ms apart) and at least every
// reportseconds even when it has none (a heartbeat); and counts the blocks
// in frame order with the stopping rule's own code (advancepoint), so that
// which rank decoded a block changes nothing. Blocks handed out past a
// point's end are decoded in vain and never count. Only rank 0 calls the
// job's callbacks (the ledger writer and the table live there).
//
// A rank that dies ends the run: mpirun then ends every rank and says
// which one failed. A rank that stays silent for silenceseconds (rank 0
// for the others, any other rank for rank 0) ends the run here with a
// message. Blocks already handed to blockdone are kept (the ledger has
// them), so a resumed run, on any number of ranks, loses nothing but the
// blocks in flight.
//
// MPI use: only the thread that calls runcluster calls MPI (the program
// initialises MPI with at least MPI_THREAD_FUNNELED from that thread);
// runcluster is collective over comm, which it duplicates (errors there are
// returned, not fatal).
//
// Error policy: runcluster returns; result.failure says why the run ended
// early. After a failure the ranks may no longer agree: the caller prints
// the message and calls MPI_Abort. Nothing here prints or exits.
#ifndef LDPC_CLUSTERRUN_H
#define LDPC_CLUSTERRUN_H

#include <mpi.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stoppingrule.h"

namespace ldpc {

struct clusterjob {
  // The same on every rank (checked: a rank that differs ends the run).
  stoppingrule rule;
  int points = 0;
  std::uint64_t confighash = 0;  // the configuration's hash, e.g. of its ledger
  int threads = 1;               // decoding threads on this rank
  // Decodes block of point; called from this rank's decoding threads, at
  // once from several. An exception ends the run with its message.
  std::function<blocktally(int point, std::int64_t block)> decode;

  // Read on rank 0 only.
  std::vector<std::vector<numberedblock>> known;  // per point, blocks done before (resume)
  givenupblocks givenup;                          // blocks given up before (resume)
  // Each block newly decoded, as it arrives; a message ends the run.
  std::function<std::string(int point, std::int64_t block, const blocktally &tally)> blockdone;
  // A point given up (maxseconds) at block: blocks 0 .. block - 1 count.
  std::function<std::string(int point, std::int64_t block)> giveup;
  std::function<void(int point, const pointstate &state)> pointdone;
  std::function<void(int point, const pointstate &state)> progress;  // about twice a second
  std::function<bool()> cancelled;  // polled every few milliseconds: true ends the run
  double maxseconds = 0;            // a point running longer is given up; 0: no limit

  double reportseconds = 0.25;  // every rank reports at least this often
  double silenceseconds = 60;   // a rank silent this long ends the run
};

struct clusterresult {
  // Every rank, when no rank failed: the points the sweep reached.
  std::vector<pointstate> points;
  bool complete = false;     // the sweep ended by its rule
  bool interrupted = false;  // cancelled on rank 0
  std::string failure;       // why the run ended early ("" when it did not)
  // This rank's figures.
  std::int64_t decoded = 0;  // blocks decoded here
  // Rank 0's figures.
  std::int64_t wasted = 0;             // blocks decoded that never counted
  std::int64_t reports = 0;            // reports received from the other ranks
  double meandelay = 0, maxdelay = 0;  // seconds from a report's send to its receipt
};

clusterresult runcluster(const clusterjob &job, MPI_Comm comm);

// The start of a program that calls runcluster on MPI_COMM_WORLD: MPI
// initialised with MPI_THREAD_FUNNELED from this thread (argc and argv go to
// MPI_Init_thread), then this process's rank and the number of ranks.
void startworld(int *argc, char ***argv, int *rank, int *ranks);

}  // namespace ldpc

#endif
