// The long-run options of tanner simulate: --ledger FILE records the run
// block by block, --resume goes on with such a record, --shard K/N runs the
// blocks b with b mod N = K - 1 of every point; and the source of blocks
// that tanner merge hands to simulate in place of decoding.
//
// A run with a ledger keeps everything the loop computes as it goes
// (ledger/ledger.h); its configuration is what fixes the counts (the code's
// fingerprint or the ensemble, decoder, channel points, seed, stopping
// rule, the transmit chain's settings), so a resumed run and a merge refuse a ledger of another
// one. The header's info also records the command and its working directory, from which tanner
// merge builds the one-process run again.
//
// Error policy: as the other tanner commands: a usage error exits with 2,
// a ledger that cannot be opened, read, locked or written ends the process
// with status 1 and a message naming the file (and line).
#ifndef TANNER_LEDGEROPTS_H
#define TANNER_LEDGEROPTS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ledger.h"
#include "simulationledger.h"
#include "montecarlo.h"

namespace tanner {

struct ledgeroptions {
  std::string path;               // --ledger
  bool resume = false;            // --resume
  ldpc::ledgershard shard;        // --shard K/N
  std::vector<std::string> args;  // the command's arguments after "simulate"
};

// Takes --ledger FILE or --shard K/N; false for any other option.
bool takeledgeroption(const std::string &command, const std::string &arg, const std::string &value,
                      ledgeroptions *options);
// Usage errors: --resume or --shard without --ledger, a ledger with --replay.
void checkledgeroptions(const std::string &command, const ledgeroptions &options, bool replay);

using ldpc::ledgersubject;

// The record of one run of tanner simulate: the ledger opened (created or
// resumed) when the object is made, its hooks in the loop, closed at the
// end; under tanner merge the merged ledgers take its place. Without
// --ledger and outside a merge it does nothing.
class ledgerrun {
 public:
  ledgerrun(const ledgeroptions &options, const ldpc::simulationsettings &run,
            const ledgersubject &subject);
  ~ledgerrun();
  ledgerrun(const ledgerrun &) = delete;
  ledgerrun &operator=(const ledgerrun &) = delete;

  // The settings the loop runs with: a shard runs every point (the sweep's
  // end is decided by the merge), a merge decodes nothing and has no time
  // limit of its own.
  ldpc::simulationsettings runsettings(const ldpc::simulationsettings &run) const;
  // Adds the ledger's hooks; a failed write also cancels the run.
  void hook(ldpc::simulationcallbacks *callbacks);
  // Closes the ledger; a failure there or in a write ends the process.
  void close();
  // After an interruption: where the finished blocks are and the command
  // that resumes the run (standard error).
  void printresume() const;

  // For the cluster engine on rank 0: the blocks of a resumed ledger (null
  // without one), and the writes, each "" or what failed.
  const ldpc::ledgercontents *resumed() const;
  std::uint64_t confighash() const;  // the configuration's hash, with or without a ledger
  std::string recordblock(int point, std::int64_t block, const ldpc::blocktally &tally);
  std::string recordgiveup(int point, std::int64_t block);

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// Set by tanner merge before it runs simulate: the ledgers whose blocks the
// run takes (it decodes none).
void setmergesource(const std::vector<ldpc::ledgercontents> *ledgers);

// tanner merge LEDGER... [--json FILE] [--csv FILE]
int mergecommand(int argc, char **argv);

}  // namespace tanner

#endif
