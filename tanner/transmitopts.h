// tanner simulate's transmit options: real codewords, modulation, the
// demapper, fading and interleaving, and the frame source they make; the
// chain's settings also go into a ledger's configuration.
#ifndef TANNER_TRANSMITOPTS_H
#define TANNER_TRANSMITOPTS_H

#include <set>
#include <string>

#include "ledger.h"
#include "montecarlo.h"
#include "simulation.h"
#include "transmission.h"
#include "transmitchain.h"

namespace tanner {

struct transmitargs {
  std::string codeword;  // "zero", "random", or "" for the default
  ldpc::channelsetup setup;
  std::set<std::string> given;  // the transmit options on the command line
};

// The options this module takes: --codeword, --modulation, --demapper and
// --fading with a value, --interleave without.
bool istransmitflag(const std::string &arg);
bool istransmitvalued(const std::string &arg);
// Takes one of them (value ignored for the flag); usage errors of command
// for a malformed value.
void taketransmitoption(const std::string &arg, const std::string &value, transmitargs *t);

// Usage errors for transmit options on an ensemble and for a zero codeword
// that would give a wrong curve.
void checktransmitargs(const transmitargs &t, bool ensemble);

// The chain of a code read from codefile (with its encoder information, if
// any) over the channel and points of run, its bits sent through pattern
// when that is not null: sets run->framesource and run->infopositions (less
// the shortened nodes) when the frames are not the all-zero word over BPSK;
// returns the header line that says so ("" when nothing is set), and the
// chain's settings for a ledger in *ledger (none when nothing is set). Ends
// the process with status 1 and a message naming codefile when no encoder
// can be built or the channel refuses the setup.
std::string plantransmit(const transmitargs &t, const ldpc::graphs *graph,
                         const ldpc::encoders *info, const ldpc::transmission *pattern,
                         const std::string &codefile, ldpc::simulationsettings *run,
                         std::vector<ldpc::configsetting> *ledger);

}  // namespace tanner

#endif
