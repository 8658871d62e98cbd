// A Monte-Carlo run (decoding/montecarlo.h) recorded in a ledger: the
// configuration that fixes its counts, and the loop's block hooks over a
// ledger writer. tanner simulate --ledger and the Python package's
// simulate(ledger=...) both go through here, so that each can resume or
// merge what the other wrote.
//
// The configuration holds the code's fingerprint (or the ensemble), the
// decoder, the channel points as channel parameters, the seed, the stopping
// rule and, for sum-product only, the decoder's instruction set (its float
// results depend on the vector width); with a transmit chain (random
// codewords, another modulation, fading, an interleaver) also the chain's
// settings and the information bits counted, which block lines then carry
// the errors of. Threads, paths and time limits are
// not in it: they never change which counts a block has.
//
// Error policy: nothing here prints or exits. Faults come back as a
// message ("" when none); a failed write during a run is kept (the first
// one) and cancels the run through the callbacks.
#ifndef LDPC_SIMULATIONLEDGER_H
#define LDPC_SIMULATIONLEDGER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "ledger.h"
#include "montecarlo.h"
#include "transmitchain.h"

namespace ldpc {

// What the configuration holds of the code and decoder beyond the
// simulation settings.
struct ledgersubject {
  std::int64_t length = 0;  // bits per frame
  bool ensemble = false;
  std::vector<configsetting> code;   // the code's fingerprint, or the ensemble
  std::string target;                // the decoder's instruction set
  std::vector<configsetting> chain;  // the transmit chain's (chainsettings), none without one
};

// A fixed code's subject: its fingerprint (16 hex digits), length and the
// instruction set of its decoder.
ledgersubject codesubject(const graphs *graph, const decoderoptions &options);

// The configuration of a run as its ledger records it; its information
// bits are those of run.infopositions.
runconfig ledgerconfig(const simulationsettings &run, const ledgersubject &subject);

// The settings of a transmit chain that the Monte-Carlo loop takes as its
// frame source (an active chain: not the all-zero word over BPSK): the
// codeword kind; over AWGN the modulation, demapper, fading (its block
// length for block fading) and interleaver; with random codewords a
// fingerprint of the encoder's information positions, which fix the words.
std::vector<configsetting> chainsettings(const transmitchain &chain);

// The first failed write of a run, from any thread.
struct ledgerfault {
  std::mutex lock;
  std::string text;
  std::atomic<bool> failed{false};
  void note(const std::string &fault);
  std::string first();
};

// Adds to callbacks the hooks of a run written by writer: the blocks and
// give-ups of resumed (what the ledger held, empty for a new one) are taken
// instead of decoded, every block decoded and every point given up by time
// is written, a shard (count > 1) decodes the blocks it owns; a failed
// write lands in *fault and cancels the run. writer, resumed and fault
// must outlive the run.
void hookledger(ledgerwriter *writer, const ledgercontents *resumed, const ledgershard &shard,
                ledgerfault *fault, simulationcallbacks *callbacks);

}  // namespace ldpc

#endif
