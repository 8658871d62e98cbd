// The run ledger: a file that records a Monte-Carlo run block by block as it
// goes, so that an interrupted run resumes where it stood and the ledgers
// of shards merge into the result of one process.
//
// Format: JSON lines, UTF-8, every line one JSON object ended by '\n'.
// Line 1 is the header:
//   {"ledger":1,"hash":"H","shard":[K,N],"config":{...},"info":{...}}
// "config" is the configuration that fixes the counts (runconfig below),
// written in its canonical text: keys in the order of the record, then the
// settings in their order, then "infobits" when the run counts information
// bits (a run that counts none has no such key); integers in decimal; reals in the shortest form
// that reads back to the same double, with ".0" added where that form has
// neither a point nor an exponent; strings with '"', '\' and control
// characters escaped and invalid UTF-8 replaced by U+FFFD. "hash" is the
// FNV-1a 64 hash of that canonical text, 16 lower-case hex digits: two runs
// of one configuration have one hash on every machine. "shard" says which
// blocks the writer runs: those with block mod N = K - 1 (1/1: all).
// "info" holds strings for people (host, command line), never compared.
// Every further line is a finished block, point and block numbered from 0
// (stoppingrule.h):
//   {"point":P,"block":B,"frames":F,"frameerrors":E,"biterrors":BE,
//    "undetected":U,"iterations":I,"seconds":S}
// and, in the ledger of a run that counts information bits (its
// configuration has "infobits"), the errors among them before "seconds":
//   ...,"iterations":I,"infobiterrors":IE,"seconds":S}
// (every block line of such a ledger has it, and no other ledger's does)
// or gives a point up (a time limit, say):
//   {"point":P,"giveup":B,"reason":"text"}
// meaning that the point ends given up at block B (blocks 0 .. B - 1
// count, if the rule has not ended the point before); with shards, at the
// first block from B on that this ledger's shard owns.
//
// A line is written whole by one write and reaches the kernel at once, so
// a killed process loses nothing it has written; the file's data is also
// flushed to the device at most syncseconds apart. A last line without its
// '\n' is torn (the writer ended in mid-line) and is ignored on reading; a
// resumed writer cuts it off before appending. The writer holds an
// exclusive lock on the file (an open file description lock, released when
// the file is closed or the process ends; flock where the system has no
// such lock), so a second writer is refused.
//
// A reader refuses, naming the file and line, what is not such a ledger: a
// first line that is no header, a header whose hash does not match its
// configuration, a later line that does not parse or has other keys, a
// point or block out of range, a block of another shard, counts that
// cannot be (more frame errors than frames, bit errors without frame
// errors, more information-bit errors than bit errors, ...), a block line
// with information-bit errors where the run counts none or without them
// where it counts them, and a block given twice with different counts (given
// twice alike, it is taken once).
//
// Error policy: functions return "" on success and otherwise a message
// naming the file (and line where there is one), what was expected and
// what was found. Nothing prints or exits.
#ifndef LDPC_LEDGER_H
#define LDPC_LEDGER_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "ldpcgraph_version.h"
#include "stoppingrule.h"

namespace ldpc {

// A setting: a name and a value of one of the kinds JSON carries.
using configvalue = std::variant<bool, std::int64_t, double, std::string, std::vector<double>>;
struct configsetting {
  std::string key;
  configvalue value;
};

// What fixes the counts of a run. The typed part is what the ledger itself
// checks blocks against; settings carry the rest (the code's fingerprint,
// the decoder and its options, the channel), as a simulation model fills
// them. Settings must not repeat a key nor use one of the typed part's
// names; what changes no count (paths, threads, host) belongs in info.
struct runconfig {
  std::string software = "ldpcgraph " LDPCGRAPH_VERSION;
  std::uint64_t seed = 1;
  std::vector<double> points;  // the channel parameter of every point, at least one
  std::int64_t length = 0;     // bits per frame, at least 1
  int iterations = 0;          // decoder iterations per frame at most
  stoppingrule rule;
  // Information bits per frame whose errors the blocks count apart (random
  // codewords), 0 when they count none; written only when positive.
  std::int64_t infobits = 0;
  std::vector<configsetting> settings;
};

// The canonical text of the configuration (the header's "config") and its
// hash as 16 hex digits.
std::string configtext(const runconfig &config);
std::string confighash(const runconfig &config);

// What makes the configuration unusable for a ledger, "" when nothing does:
// no points, a point or a real setting that is not finite, a length below
// 1, negative iterations or information bits, a rule out of range, a
// setting key empty, repeated or reserved.
std::string configfault(const runconfig &config);

// "" when the configurations are the same; otherwise the first difference,
// as "seed is 2 in NAMEA and 1 in NAMEB" (a setting missing on one side
// named as such).
std::string configdifference(const runconfig &a, const std::string &namea, const runconfig &b,
                             const std::string &nameb);

// Shard K of N runs the blocks b with b mod N = K - 1 of every point.
struct ledgershard {
  int index = 1;  // K, 1 .. count
  int count = 1;  // N, at least 1
};
bool ownsblock(const ledgershard &shard, std::int64_t block);
std::string shardname(const ledgershard &shard);  // "K/N"

// What is wrong with a block as the ledger of config and shard would hold
// it, "" when nothing is: point, block and shard in range, frames as the
// layout cuts the block, counts that can be.
std::string blockfault(const runconfig &config, const ledgershard &shard, int point,
                       std::int64_t block, const blocktally &tally);

// Strings for people, kept in the header's "info" in this order.
using ledgerinfo = std::vector<std::pair<std::string, std::string>>;

// A ledger as read.
struct ledgercontents {
  std::string path;
  runconfig config;
  std::string hash;
  ledgershard shard;
  ledgerinfo info;
  std::vector<std::vector<numberedblock>> blocks;  // per point: sorted by block, each once
  std::vector<std::int64_t> giveup;  // per point: where the writer gave it up, -1 if not
  std::int64_t lines = 0;            // complete lines, the header included
  std::int64_t usedbytes = 0;        // bytes up to the end of the last complete line
  bool torn = false;                 // a torn last line was ignored
};

// The block of the ledger, null when it holds none.
const blocktally *findblock(const ledgercontents &ledger, int point, std::int64_t block);
// Whether the ledger's writer gave the block up (its point given up at or
// before it, in the ledger's shard).
bool givenupin(const ledgercontents &ledger, int point, std::int64_t block);
// The stopping rule over the ledger's blocks alone: which points ended,
// where the first running point stands.
sweepverdict ledgerverdict(const ledgercontents &ledger);

// Reads a ledger from its text; name stands for the file in messages.
std::string parseledger(std::string_view text, const std::string &name, ledgercontents *ledger);
// Reads the ledger in path.
std::string readledger(const std::string &path, ledgercontents *ledger);

// The header line of a ledger, '\n' included.
std::string headerline(const runconfig &config, const ledgershard &shard, const ledgerinfo &info);
// A block line and a give-up line, '\n' included; the block's
// information-bit errors are written with infobits (a run that counts
// them).
std::string blockline(int point, std::int64_t block, const blocktally &tally,
                      bool infobits = false);
std::string giveupline(int point, std::int64_t block, const std::string &reason);

enum class ledgermode {
  create,  // a new ledger: the file must not exist or be empty
  resume,  // go on with the ledger in the file; start one where there is none
};

// Appends to a ledger. Every member may be called from several threads.
class ledgerwriter {
 public:
  ledgerwriter();
  ~ledgerwriter();  // closes (faults of the close are lost: call close)
  ledgerwriter(const ledgerwriter &) = delete;
  ledgerwriter &operator=(const ledgerwriter &) = delete;

  // Opens path and locks it. create: writes the header into a file that
  // does not exist or is empty. resume: a missing or empty file (or one
  // holding only a torn first line of this header) is started as with
  // create; otherwise the ledger is read under the lock into *resumed
  // (which may be null), refused when its configuration or shard is not
  // this one, and its torn last line is cut off. On failure nothing is
  // left open and an existing file is unchanged.
  std::string open(const std::string &path, const runconfig &config, const ledgershard &shard,
                   ledgermode mode, ledgercontents *resumed = nullptr, const ledgerinfo &info = {});

  // Appends a line; refuses (and writes nothing) a block that blockfault
  // refuses. After a failed write the writer takes no more lines.
  std::string writeblock(int point, std::int64_t block, const blocktally &tally);
  std::string writegiveup(int point, std::int64_t block, const std::string &reason);

  // Flushes the data to the device and closes the file.
  std::string close();

  bool isopen() const;
  // Why the file could not be locked where the file system takes no locks
  // (the ledger is then written unlocked); "" when it is locked.
  std::string lockwarning() const;
  // Data flushed to the device at most this far apart (0: after every
  // line; negative: only at close). Set before open.
  double syncseconds = 5.0;

 private:
  struct state;
  std::unique_ptr<state> state_;
};

}  // namespace ldpc

#endif
