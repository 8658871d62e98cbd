// The ledger of a floor run: a file that records every finished point of
// tanner floor (or the Python package's floor) as it ends, so that an
// interrupted run resumes with the points it finished and prints what the
// uninterrupted run prints.
//
// Format: JSON lines as the simulation ledger (ledger/ledger.h) writes
// them, every line one object ended by '\n'. Line 1 is the header:
//   {"floorledger":1,"hash":"H","config":{...},"info":{...}}
// "config" is what fixes the estimates (floorconfig below) in a fixed key
// order; "hash" is the FNV-1a 64 hash of its text, 16 lower-case hex digits;
// "info" holds strings for people, never compared. Every further line is a
// finished point:
//   {"point":P,"sigma":S,"ebn0":E,"fer":...,"seconds":T}
// with every scalar of floorresult; reals in the shortest form that reads
// back to the same double, a real that is not finite as the string "nan",
// "-nan", "inf" or "-inf". The per-bin histogram, the weights and the move
// counts are not kept (a resumed point has them empty).
//
// The points are not in the configuration: a point's estimate depends on
// the seed, its index and the settings alone, so a resumed run may give
// more points than the ledger holds (or fewer); a recorded point is taken
// when its index, sigma and Eb/N0 are those of the run, and a ledger whose
// point of an index has another sigma or Eb/N0 is refused.
//
// As with the simulation ledger, a line is written whole by one write, the
// data is flushed at close, a torn last line is ignored on reading and cut
// off before a resumed writer appends, and the writer holds an exclusive
// lock (flock) so that a second writer is refused.
//
// Error policy: functions return "" on success and otherwise a message
// naming the file (and line where there is one). Nothing prints or exits.
#ifndef LDPC_FLOORLEDGER_H
#define LDPC_FLOORLEDGER_H

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "floorestimate.h"
#include "graphstruct.h"

namespace ldpc {

// The canonical configuration text of a run of settings on the code in
// graph: the software, the code's fingerprint and length, the decoder (with
// its instruction set for sum-product), the seed, the transmission
// pattern's fingerprint, and every setting of the estimator. Threads and
// the points are not in it.
std::string floorconfig(const graphs *graph, const floorsettings &settings);
std::string floorconfighash(const std::string &configtext);

// A point line, '\n' included, and its reading (name and line for messages).
std::string floorpointline(const floorresult &result);
std::string parsefloorpoint(std::string_view line, const std::string &where, floorresult *result);

struct floorledgercontents {
  std::string path;
  std::string config;  // the header's configuration text
  std::vector<std::pair<std::string, std::string>> info;
  std::map<int, floorresult> points;  // by index
  std::size_t usedbytes = 0;          // up to the end of the last complete line
  bool torn = false;
};

// Reads a floor ledger from its text; name stands for the file in messages.
std::string parsefloorledger(std::string_view text, const std::string &name,
                             floorledgercontents *ledger);

// "" when the recorded points agree with the run's points (sigma and Eb/N0
// at the same index), else which one does not.
std::string floorpointsfault(const floorledgercontents &ledger, const floorsettings &settings);

// Appends finished points to a ledger.
class floorledgerwriter {
 public:
  floorledgerwriter() = default;
  ~floorledgerwriter();
  floorledgerwriter(const floorledgerwriter &) = delete;
  floorledgerwriter &operator=(const floorledgerwriter &) = delete;

  // Opens and locks path. Without resume the file must not exist or be
  // empty; with resume a missing or empty file is started, and otherwise
  // the ledger is read into *resumed, refused when its configuration is
  // not config (the first differing key named) or its points disagree
  // with settings, and its torn last line is cut off.
  std::string open(const std::string &path, const std::string &config,
                   const floorsettings &settings, bool resume, floorledgercontents *resumed,
                   const std::vector<std::pair<std::string, std::string>> &info = {});
  std::string write(const floorresult &result);
  std::string close();  // flushes to the device and closes

 private:
  int fd_ = -1;
  std::string path_;
};

// The first difference of two configuration texts, "" when alike:
// "decoder is \"nms\" in A and \"spa\" in B".
std::string floorconfigdifference(const std::string &a, const std::string &namea,
                                  const std::string &b, const std::string &nameb);

// Sets the callbacks of a run that keeps a ledger opened with writer (its
// recorded points read into recorded): a point recorded there is taken
// without running it, and every other point that ends uncancelled is
// written while *fault is "", so that the first write that fails leaves its
// fault there and no later point is written. writer, recorded and fault
// must outlive the run.
void keepinledger(floorledgerwriter *writer, const floorledgercontents *recorded,
                  std::string *fault, floorcallbacks *callbacks);

}  // namespace ldpc

#endif
