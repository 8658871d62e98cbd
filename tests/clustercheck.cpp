// The cluster engine under mpirun, against one process: made-up blocks
// under every stopping rule, real decoding against runsimulation, resumed
// and given-up blocks, a slow rank, the ledger written on rank 0, a
// configuration that differs between ranks, a time limit and a cancelled
// run resumed. Every rank checks its own result; rank 0 prints a line per
// case and "N passed, M failed".
//
//   mpirun -np P clustercheck                 all cases
//   mpirun -np P clustercheck --die R:N L     rank R ends itself after N blocks,
//                                             rank 0 writing the ledger L
//   mpirun -np P clustercheck --resume L      resumes L; equal to one process
#include <mpi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "blockoracle.h"
#include "clusterrun.h"
#include "ledgermerge.h"
#include "montecarlo.h"
#include "randomstream.h"

using namespace testsupport;

// The library's two stream states, which the program defines.
namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

int rank = 0, ranks = 1;
int passed = 0, failed = 0;

void report(const std::string &name, const std::string &fault) {
  // Every rank's verdict reaches rank 0, which prints the case once.
  int bad = fault.empty() ? 0 : 1, anybad = 0;
  MPI_Allreduce(&bad, &anybad, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (!fault.empty()) std::fprintf(stderr, "rank %d: %s: %s\n", rank, name.c_str(), fault.c_str());
  if (rank == 0) std::printf("%s %s (%d ranks)\n", anybad ? "FAIL" : "ok  ", name.c_str(), ranks);
  std::fflush(stdout);
  (anybad ? failed : passed) += 1;
}

// "" when the points equal the plain loop's.
std::string compare(const ldpc::clusterresult &r, const std::vector<plainpoint> &plain) {
  if (!r.failure.empty()) return "failed: " + r.failure;
  if (!r.complete) return "not complete";
  if (r.points.size() != plain.size())
    return std::to_string(r.points.size()) + " points, the plain loop " +
           std::to_string(plain.size());
  for (std::size_t p = 0; p < plain.size(); ++p)
    if (!ldpc::samecounts(r.points[p].total, plain[p].total) ||
        r.points[p].blocks != plain[p].blocks)
      return "point " + std::to_string(p) + ": " + std::to_string(r.points[p].total.frameerrors) +
             " errors in " + std::to_string(r.points[p].total.frames) + " frames, the plain loop " +
             std::to_string(plain[p].total.frameerrors) + " in " +
             std::to_string(plain[p].total.frames);
  return "";
}

struct madeup {
  ldpc::stoppingrule rule;
  std::vector<double> fers;
  std::uint64_t seed = 7;
  ldpc::blocktally operator()(int p, std::int64_t b) const {
    return madeupblock(rule, seed, p, b, fers[p]);
  }
  std::vector<plainpoint> plain() const {
    return plainsweep(rule, static_cast<int>(fers.size()), *this);
  }
  ldpc::clusterjob job(int threads) const {
    ldpc::clusterjob j;
    j.rule = rule;
    j.points = static_cast<int>(fers.size());
    j.confighash = seed;
    j.threads = threads;
    j.decode = *this;
    return j;
  }
};

const madeup madeupcases[] = {
    {makerule(40, 20000, 0.0), {0.5, 0.08, 0.01, 0.002}},
    {makerule(25, 8000, 0.02), {0.3, 0.1, 0.01, 0.5, 0.5}},
    {makerule(1, 1000, 0.0), {0.02, 0.0, 0.9}},
    {makerule(30, 3000, 0.005, 90), {0.2, 0.05, 0.001}},
    {makerule(100000, 700, 0.0), {0.5, 0.5}},
};

void madeupblocks() {
  int k = 0;
  for (const madeup &m : madeupcases)
    for (int threads : {1, 2}) {
      const ldpc::clusterresult r = ldpc::runcluster(m.job(threads), MPI_COMM_WORLD);
      report("made-up blocks, case " + std::to_string(++k) + ", " + std::to_string(threads) +
                 " threads a rank",
             compare(r, m.plain()));
    }
}

void realdecoding() {
  regular36 code(96);  // every rank builds it alike
  code.build(5);
  ldpc::simulationsettings s;
  s.parameters = {1.0, 0.8, 0.65, 0.55};
  s.maxerrors = 40;
  s.maxframes = 1500;
  s.minfer = 0.01;
  s.seed = 31;
  s.threads = 1;
  s.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
  s.decoder.iterations = 20;
  ldpc::codesupply supply;
  supply.graph = &code.graph;
  const auto results = ldpc::runsimulation(s, supply);
  const ldpc::decoder dec(&code.graph, s.decoder);
  ldpc::clusterjob job;
  job.rule = ruleof(s);
  job.points = static_cast<int>(s.parameters.size());
  job.threads = 2;
  job.decode = [&](int p, std::int64_t b) {
    const ldpc::framespan span = ldpc::blockspan(job.rule, b);
    return decodeframes(s, dec, p, span.first, span.count);
  };
  const ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  std::string fault = r.failure;
  if (fault.empty() && r.points.size() != results.size()) fault = "another number of points";
  for (std::size_t p = 0; fault.empty() && p < results.size(); ++p) {
    const ldpc::blocktally &t = r.points[p].total;
    if (t.frames != results[p].frames || t.frameerrors != results[p].frameerrors ||
        t.biterrors != results[p].biterrors || t.undetected != results[p].undetected ||
        static_cast<double>(t.iterations) / static_cast<double>(t.frames) != results[p].iterations)
      fault = "point " + std::to_string(p) + " differs from runsimulation";
  }
  report("decoding a (3,6) code equals runsimulation", fault);
}

// Blocks done before: some that count and some past the end; none is
// decoded again. And a point given up before.
void resumedblocks() {
  const madeup &m = madeupcases[1];
  const auto plain = m.plain();
  ldpc::clusterjob job = m.job(2);
  job.known.resize(m.fers.size());
  std::set<std::pair<int, std::int64_t>> known;
  for (int p = 0; p < static_cast<int>(m.fers.size()); ++p)
    for (std::int64_t b = p % 2; b < 60; b += 3) {
      job.known[p].push_back({b, m(p, b)});
      known.insert({p, b});
    }
  std::atomic<int> again{0};
  job.decode = [&](int p, std::int64_t b) {
    if (known.count({p, b}) != 0) ++again;
    return m(p, b);
  };
  ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  std::string fault = compare(r, plain);
  if (fault.empty() && again != 0) fault = std::to_string(again) + " known blocks decoded again";
  report("resumed blocks count and are not decoded again", fault);

  // Point 2 given up from block 5: it counts blocks 0..4.
  job.givenup = [](int p, std::int64_t b) { return p == 2 && b >= 5; };
  r = ldpc::runcluster(job, MPI_COMM_WORLD);
  fault = r.failure;
  if (fault.empty() && (r.points.size() != 3 || r.points[2].end != ldpc::pointend::givenup ||
                        r.points[2].blocks != 5))
    fault = "point 2 not given up at block 5";
  ldpc::blocktally first5;
  for (std::int64_t b = 0; b < 5; ++b) ldpc::addtally(&first5, m(2, b));
  if (fault.empty() && !ldpc::samecounts(r.points[2].total, first5))
    fault = "point 2 counts other blocks";
  for (int p = 0; fault.empty() && p < 2; ++p)
    if (!ldpc::samecounts(r.points[p].total, plain[p].total))
      fault = "point " + std::to_string(p) + " differs";
  report("a point given up before ends where it was given up", fault);
}

void slowrank() {
  const madeup &m = madeupcases[0];
  ldpc::clusterjob job = m.job(1);
  job.decode = [&](int p, std::int64_t b) {
    if (rank == ranks - 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return m(p, b);
  };
  report("a slow rank changes nothing", compare(ldpc::runcluster(job, MPI_COMM_WORLD), m.plain()));
}

ldpc::runconfig configof(const madeup &m) {
  ldpc::runconfig c;
  c.seed = m.seed;
  for (std::size_t p = 0; p < m.fers.size(); ++p) c.points.push_back(static_cast<double>(p));
  c.length = 100;
  c.iterations = 20;
  c.rule = m.rule;
  return c;
}

// The ledger's blocks merged alone, as tanner merge would.
std::string mergedledger(const std::string &path, ldpc::mergeresult *merged) {
  ldpc::ledgercontents ledger;
  std::string fault = ldpc::readledger(path, &ledger);
  if (fault.empty()) fault = ldpc::mergeledgers({&ledger}, merged);
  return fault;
}

// Rank 0 writes the ledger as blocks arrive; a run cut short by cancel or
// by a time limit resumes from it to the one-process result.
void ledgerruns(const std::string &dir) {
  const madeup &m = madeupcases[0];
  const std::string path = dir + "/cluster.ledger";
  if (rank == 0) ::unlink(path.c_str());
  ldpc::ledgerwriter writer;
  ldpc::ledgercontents resumed;
  auto open = [&]() {
    std::string fault;
    if (rank == 0) fault = writer.open(path, configof(m), {}, ldpc::ledgermode::resume, &resumed);
    return fault;
  };
  std::string fault = open();
  ldpc::clusterjob job = m.job(1);
  std::atomic<int> arrived{0};
  job.blockdone = [&](int p, std::int64_t b, const ldpc::blocktally &t) {
    ++arrived;
    return writer.writeblock(p, b, t);
  };
  // Blocks slow enough to arrive a few at a time, so that the cancel comes
  // in the middle.
  job.decode = [&](int p, std::int64_t b) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return m(p, b);
  };
  job.cancelled = [&] { return arrived > 150; };
  ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  if (fault.empty() && !r.interrupted) fault = "not interrupted";
  if (rank == 0) {
    const std::string closing = writer.close();
    if (fault.empty()) fault = closing;
  }
  report("a cancelled run ends with its blocks in the ledger", fault);

  // Resumed from the ledger: the one-process result, and so is the merge
  // of the ledger it leaves.
  fault = open();
  job.known = resumed.blocks;
  job.cancelled = nullptr;
  std::atomic<int> decodedagain{0};
  job.decode = [&](int p, std::int64_t b) {
    ++decodedagain;
    return m(p, b);
  };
  r = ldpc::runcluster(job, MPI_COMM_WORLD);
  if (fault.empty()) fault = compare(r, m.plain());
  if (rank == 0 && fault.empty()) fault = writer.close();
  ldpc::mergeresult merged;
  if (rank == 0 && fault.empty()) fault = mergedledger(path, &merged);
  if (rank == 0 && fault.empty() && !merged.verdict.complete)
    fault = "the merge is not complete: " + merged.shortfall;
  for (std::size_t p = 0; rank == 0 && fault.empty() && p < r.points.size(); ++p)
    if (!ldpc::samecounts(merged.verdict.points[p].state.total, r.points[p].total))
      fault = "the merge differs";
  report("the cancelled run resumed equals one process, and its ledger merges to it", fault);

  // A time limit: the slow point is given up, the ledger says where, and
  // the ledger's merge gives the same points.
  if (rank == 0) ::unlink(path.c_str());
  ldpc::clusterjob slow = madeup{makerule(1000000, 64000, 0.0), {0.5, 0.0, 0.5}}.job(1);
  const madeup slowblocks{slow.rule, {0.5, 0.0, 0.5}};
  ldpc::ledgerwriter slowwriter;
  if (rank == 0) fault = slowwriter.open(path, configof(slowblocks), {}, ldpc::ledgermode::create);
  slow.decode = [&](int p, std::int64_t b) {
    if (p == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return slowblocks(p, b);
  };
  slow.maxseconds = 0.3;
  slow.blockdone = [&](int p, std::int64_t b, const ldpc::blocktally &t) {
    return slowwriter.writeblock(p, b, t);
  };
  slow.giveup = [&](int p, std::int64_t b) { return slowwriter.writegiveup(p, b, "max seconds"); };
  r = ldpc::runcluster(slow, MPI_COMM_WORLD);
  if (fault.empty()) fault = r.failure;
  if (fault.empty() &&
      (r.points.size() != 3 || r.points[0].end != ldpc::pointend::maxframes ||
       r.points[1].end != ldpc::pointend::givenup || r.points[2].end != ldpc::pointend::maxframes))
    fault = "point 1 not given up, or another point given up";
  if (rank == 0 && fault.empty()) fault = slowwriter.close();
  if (rank == 0 && fault.empty()) fault = mergedledger(path, &merged);
  for (std::size_t p = 0; rank == 0 && fault.empty() && p < r.points.size(); ++p)
    if (!ldpc::samecounts(merged.verdict.points[p].state.total, r.points[p].total) ||
        merged.verdict.points[p].state.end != r.points[p].end)
      fault = "the merge differs at point " + std::to_string(p);
  report("a point past its time limit is given up, in the ledger too", fault);
}

void otherconfiguration() {
  ldpc::clusterjob job = madeupcases[2].job(1);
  if (rank == ranks - 1 && ranks > 1) job.confighash ^= 1;
  const ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  const bool refused = r.failure.find("runs another configuration") != std::string::npos;
  report("a rank of another configuration is refused",
         ranks == 1 || refused ? "" : "not refused: " + r.failure);
}

// The run that a rank's death ends, and its resumption.
const madeup longrun{makerule(200, 200000, 0.0), {0.05, 0.01}};

int dierun(int dying, int after, const std::string &path) {
  ldpc::ledgerwriter writer;
  if (rank == 0) {
    std::string fault = writer.open(path, configof(longrun), {}, ldpc::ledgermode::create);
    if (!fault.empty()) std::fprintf(stderr, "%s\n", fault.c_str());
  }
  ldpc::clusterjob job = longrun.job(1);
  std::atomic<int> count{0};
  job.decode = [&](int p, std::int64_t b) {
    if (rank == dying && ++count > after) _exit(3);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return longrun(p, b);
  };
  job.blockdone = [&](int p, std::int64_t b, const ldpc::blocktally &t) {
    return writer.writeblock(p, b, t);
  };
  const ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  std::fprintf(stderr, "rank %d: the run ended: %s\n", rank,
               r.failure.empty() ? "complete" : r.failure.c_str());
  return 1;
}

int resumerun(const std::string &path) {
  ldpc::ledgerwriter writer;
  ldpc::ledgercontents resumed;
  std::string fault;
  if (rank == 0)
    fault = writer.open(path, configof(longrun), {}, ldpc::ledgermode::resume, &resumed);
  ldpc::clusterjob job = longrun.job(1);
  job.known = resumed.blocks;
  job.blockdone = [&](int p, std::int64_t b, const ldpc::blocktally &t) {
    return writer.writeblock(p, b, t);
  };
  const ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  if (fault.empty()) fault = compare(r, longrun.plain());
  if (rank == 0 && fault.empty() && resumed.lines < 10)
    fault = "the ledger held only " + std::to_string(resumed.lines) + " lines";
  report("a run resumed from the ledger of a run that lost a rank", fault);
  if (rank == 0) std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  ldpc::startworld(&argc, &argv, &rank, &ranks);
  int status = 0;
  if (argc == 4 && std::strcmp(argv[1], "--die") == 0) {
    int dying = 0, after = 0;
    std::sscanf(argv[2], "%d:%d", &dying, &after);
    status = dierun(dying, after, argv[3]);
  } else if (argc == 3 && std::strcmp(argv[1], "--resume") == 0) {
    status = resumerun(argv[2]);
  } else {
    char dir[] = "/tmp/clustercheck.XXXXXX";
    if (rank == 0 && mkdtemp(dir) == nullptr) MPI_Abort(MPI_COMM_WORLD, 2);
    MPI_Bcast(dir, sizeof dir, MPI_CHAR, 0, MPI_COMM_WORLD);
    madeupblocks();
    realdecoding();
    resumedblocks();
    slowrank();
    ledgerruns(dir);
    otherconfiguration();
    if (rank == 0) {
      ::unlink((std::string(dir) + "/cluster.ledger").c_str());
      ::rmdir(dir);
      std::printf("%d passed, %d failed\n", passed, failed);
    }
    status = failed == 0 ? 0 : 1;
  }
  MPI_Finalize();
  return status;
}
