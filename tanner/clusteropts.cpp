// tanner simulate under mpirun: MPI's start and end, and the sweep of a
// fixed code handed to the cluster engine, its points reported as the
// Monte-Carlo loop reports them.
#include "clusteropts.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli.h"

#ifdef LDPC_WITH_MPI
#include <mpi.h>

#include "clusterrun.h"
#endif

namespace tanner {

namespace {

// The ranks mpirun (or another launcher) says it started; 0 outside one.
int launchedranks() {
  for (const char *name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMIX_SIZE"})
    if (const char *value = std::getenv(name)) return std::max(1, std::atoi(value));
  return std::getenv("PMIX_RANK") != nullptr ? 1 : 0;
}

#ifdef LDPC_WITH_MPI
void endmpi() {
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (!finalized) MPI_Finalize();
}

ldpc::pointstop stopof(ldpc::pointend end) {
  switch (end) {
    case ldpc::pointend::maxerrors:
      return ldpc::pointstop::errors;
    case ldpc::pointend::givenup:
      return ldpc::pointstop::seconds;
    default:
      return ldpc::pointstop::frames;
  }
}

ldpc::blockcounts countsof(const ldpc::blocktally &t) {
  return {t.frames,     t.frameerrors, t.biterrors,    t.undetected,
          t.iterations, t.seconds,     t.infobiterrors};
}

// Why the sweep ended after the points finished, as runsimulation says it.
ldpc::sweepend endof(const ldpc::simulationsettings &s,
                     const std::vector<ldpc::pointresult> &results, bool interrupted) {
  if (interrupted) return ldpc::sweepend::cancelled;
  if (results.empty() || results.size() == s.parameters.size()) return ldpc::sweepend::lastpoint;
  if (results.back().fer < s.minfer) return ldpc::sweepend::minfer;
  return ldpc::sweepend::noerrors;
}

// The engine's job for the sweep: the loop's rule (a point without frame
// errors ends the sweep as a FER below any positive bound does), blocks
// decoded on this rank's decoder, and on rank 0 the ledger's blocks.
ldpc::clusterjob makejob(const ldpc::simulationsettings &s, const ldpc::decoder &dec,
                         const ldpc::framemap *map, std::uint64_t hash, ledgerrun *ledger) {
  ldpc::clusterjob job;
  job.rule = {s.maxerrors, s.maxframes, s.minfer, 0, ldpc::blockframes};
  if (s.stopwithouterrors && job.rule.minfer <= 0) job.rule.minfer = 1e-300;
  job.points = static_cast<int>(s.parameters.size());
  job.confighash = hash;
  job.threads = std::max(1, s.threads);
  job.maxseconds = s.maxseconds;
  const ldpc::stoppingrule rule = job.rule;
  job.decode = [&s, &dec, map, rule](int point, std::int64_t block) {
    const auto start = std::chrono::steady_clock::now();
    const ldpc::framespan span = ldpc::blockspan(rule, block);
    const ldpc::blockcounts c = ldpc::decodeblockframes(s, dec, map, point, span.first, span.count);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ldpc::blocktally{c.frames,     c.frameerrors, c.biterrors,    c.undetected,
                            c.iterations, seconds,       c.infobiterrors};
  };
  if (const ldpc::ledgercontents *known = ledger->resumed()) {
    job.known = known->blocks;
    job.givenup = [known](int point, std::int64_t block) {
      return ldpc::givenupin(*known, point, block);
    };
  }
  job.known.resize(s.parameters.size());
  job.blockdone = [ledger](int point, std::int64_t block, const ldpc::blocktally &t) {
    return ledger->recordblock(point, block, t);
  };
  job.giveup = [ledger](int point, std::int64_t block) {
    return ledger->recordgiveup(point, block);
  };
  return job;
}
#endif

}  // namespace

mpiranks startmpi() {
  static mpiranks ranks;
  static bool started = false;
  if (started) return ranks;
  started = true;
  const int launched = launchedranks();
  if (launched == 0) return ranks;
#ifdef LDPC_WITH_MPI
  int provided = 0;
  if (MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS)
    fail("MPI could not be started");
  std::atexit(endmpi);
  MPI_Comm_rank(MPI_COMM_WORLD, &ranks.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks.ranks);
  if (provided < MPI_THREAD_FUNNELED) fail("MPI gives no thread support (MPI_THREAD_FUNNELED)");
#else
  if (launched > 1)
    fail("started as one of " + std::to_string(launched) +
         " MPI ranks, but this tanner was built without MPI (install libopenmpi-dev and build "
         "again)");
#endif
  return ranks;
}

std::vector<ldpc::pointresult> runclustersweep(const ldpc::simulationsettings &s,
                                               const ldpc::graphs *graph, const ldpc::framemap *map,
                                               std::uint64_t confighash,
                                               const ldpc::simulationcallbacks &callbacks,
                                               ldpc::sweepend *end, ledgerrun *ledger) {
  std::vector<ldpc::pointresult> results;
#ifdef LDPC_WITH_MPI
  const ldpc::decoder dec(graph, s.decoder);
  const std::int64_t counted = map != nullptr ? ldpc::countedbits(*map) : dec.length();
  ldpc::clusterjob job = makejob(s, dec, map, confighash, ledger);
  // Mb/s from the frames counted over the point's wall clock on rank 0.
  auto pointstart = std::chrono::steady_clock::now();
  std::vector<double> seconds;
  auto summary = [&](int point, const ldpc::pointstate &state) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - pointstart).count();
    ldpc::pointresult r = ldpc::summarisepoint(s, point, countsof(state.total), elapsed,
                                               state.total.frames, dec.length(), counted);
    r.stopped = stopof(state.end);
    r.seconds = elapsed;
    return r;
  };
  job.pointdone = [&](int point, const ldpc::pointstate &state) {
    const ldpc::pointresult r = summary(point, state);
    seconds.push_back(r.seconds);
    if (callbacks.pointdone) callbacks.pointdone(r);
    pointstart = std::chrono::steady_clock::now();
  };
  job.progress = [&](int point, const ldpc::pointstate &state) {
    if (callbacks.progress) callbacks.progress(summary(point, state));
  };
  job.cancelled = callbacks.cancelled;
  const ldpc::clusterresult outcome = ldpc::runcluster(job, MPI_COMM_WORLD);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  if (!outcome.failure.empty() && !outcome.interrupted) {
    if (rank == 0)
      std::fprintf(stderr, "tanner: the cluster run failed: %s\n", outcome.failure.c_str());
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  for (std::size_t p = 0; p < outcome.points.size(); ++p) {
    if (outcome.points[p].end == ldpc::pointend::running) break;
    ldpc::pointresult r =
        ldpc::summarisepoint(s, static_cast<int>(p), countsof(outcome.points[p].total),
                             p < seconds.size() ? seconds[p] : 0.0, outcome.points[p].total.frames,
                             dec.length(), counted);
    r.stopped = stopof(outcome.points[p].end);
    r.seconds = p < seconds.size() ? seconds[p] : 0.0;
    results.push_back(r);
  }
  *end = endof(s, results, outcome.interrupted);
#else
  (void)s, (void)graph, (void)map, (void)confighash, (void)callbacks, (void)ledger;
  *end = ldpc::sweepend::lastpoint;
#endif
  return results;
}

}  // namespace tanner
