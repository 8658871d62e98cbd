// Shards of a run and the merge of their ledgers.
//
// Shard K of N runs the blocks b with b mod N = K - 1 of every point and
// writes a ledger of its own. The merge takes the blocks of several ledgers
// of one configuration, in frame order, and applies the stopping rule
// exactly as one process applies it (stoppingrule.h), so its result equals
// the one-process run whenever the shards ran far enough. Shards may run
// ahead: blocks past a point's end never count.
//
// When a shard may stop, seeing only its own blocks: a point ends after the
// first block that brings the frame errors of all blocks so far to
// maxerrors, and the frame errors of the shard's own blocks up to a block
// never exceed those of all blocks up to it. So once the shard's own frame
// errors reach maxerrors, the point has ended at one of the shard's blocks
// run so far or before, and each block the merge needs from this shard is
// among them. Otherwise it runs its blocks up to maxframes. The price: a
// shard runs up to N times the frames its share of the point needs (each
// shard gathers maxerrors errors of its own), and it runs every point,
// since the FER that ends the sweep is the merged one. A shard that can read
// the other shards' ledgers (a shared file system) stops far sooner:
// planshard applies the merge to whatever it sees, and a point the merge
// has decided needs nothing more from anyone.
//
// Error policy: functions return "" on success and otherwise the fault,
// naming the files. Nothing prints or exits.
#ifndef LDPC_LEDGERMERGE_H
#define LDPC_LEDGERMERGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "ledger.h"
#include "stoppingrule.h"

namespace ldpc {

// The merge of ledgers: the stopping rule over the union of their blocks.
struct mergeresult {
  runconfig config;
  sweepverdict verdict;     // complete: the result of the run
  std::int64_t blocks = 0;  // distinct blocks held in all
  // Not complete: the first block the rule needs and no ledger holds, and
  // which shard must go on, in words.
  int point = -1;
  std::int64_t block = -1;
  std::string shortfall;
};

// Merges the ledgers. Refused: no ledger, ledgers of different
// configurations (the first difference named), one block held by two
// ledgers with different counts.
std::string mergeledgers(const std::vector<const ledgercontents *> &ledgers, mergeresult *result);

// A shard's own share of a point, counted block by block in its order
// (blocks K - 1, K - 1 + N, ...).
struct sharestate {
  blocktally own;          // the shard's blocks counted so far
  std::int64_t next = -1;  // its next block; -1 before the first count
  bool done = false;       // the shard need run no more of the point
};

// The shard's first block of a point (K - 1), or -1 when the point has
// fewer blocks.
std::int64_t firstshareblock(const stoppingrule &rule, const ledgershard &shard);

// Counts the shard's next block of the point and returns true when the
// shard is done with the point: its own frame errors reach maxerrors, or
// the block was its last one before maxframes.
bool countshareblock(const stoppingrule &rule, const ledgershard &shard, sharestate *state,
                     const blocktally &block);

// What a shard still has to run, from what it can see: any ledgers of the
// configuration (its own, and others', which may be in the middle of being
// written). next[p] is the first block of point p that the shard owns and
// still has to run, -1 when it is done with the point; finished when it is
// done with every point.
struct shardplan {
  std::vector<std::int64_t> next;
  bool finished = false;
};
std::string planshard(const ledgershard &shard, const std::vector<const ledgercontents *> &visible,
                      shardplan *plan);

}  // namespace ldpc

#endif
