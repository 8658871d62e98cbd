// The cluster engine on this machine: frames per second of a sweep decoded
// through runcluster against runsimulation in one process, on a (3,6)
// graph of 576 bits, and the engine's gather (reports reaching rank 0, the
// delay from a report's send to its receipt) and its efficiency on blocks
// that take a fixed time (a busy loop of T microseconds a block: ideal time
// = blocks x T / (ranks x threads)).
//
//   clusterbench [--frames N] [--threads T]      one process: also runs runsimulation
//   mpirun -np P clusterbench [...]              P ranks
#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blockoracle.h"
#include "clusterrun.h"
#include "graphfile.h"
#include "randomstream.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

double now() { return MPI_Wtime(); }

int rank = 0, ranks = 1;

void printgather(const char *what, double seconds, const ldpc::clusterresult &r) {
  if (rank != 0) return;
  std::printf(
      "  %-34s %7.3f s  %5lld reports (%6.1f/s), delay mean %6.3f ms max %6.2f ms, %lld blocks in "
      "vain\n",
      what, seconds, static_cast<long long>(r.reports), static_cast<double>(r.reports) / seconds,
      1e3 * r.meandelay, 1e3 * r.maxdelay, static_cast<long long>(r.wasted));
}

}  // namespace

int main(int argc, char **argv) {
  ldpc::startworld(&argc, &argv, &rank, &ranks);
  std::int64_t frames = 64000;
  int threads = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--frames") == 0) frames = std::atoll(argv[i + 1]);
    if (std::strcmp(argv[i], "--threads") == 0) threads = std::atoi(argv[i + 1]);
  }
  testsupport::regular36 code(576);
  const ldpc::graphs &graph = *code.build(1);
  if (rank == 0)
    std::printf(
        "%d rank%s x %d thread%s; (3,6) graph of 576 bits, nms layered, 50 iterations, early "
        "stop\n",
        ranks, ranks == 1 ? "" : "s", threads, threads == 1 ? "" : "s");

  // Real decoding: a fixed number of frames at each of two points.
  ldpc::simulationsettings s;
  s.decoder.algorithm = ldpc::decoderalgorithm::normalizedminsum;
  s.decoder.schedule = ldpc::decoderschedule::layered;
  s.parameters = {ldpc::sigmafromebn0(2.0, 0.5), ldpc::sigmafromebn0(3.0, 0.5)};
  s.maxerrors = 1LL << 40;
  s.maxframes = frames;
  s.threads = threads;
  const ldpc::decoder dec(&graph, s.decoder);
  ldpc::clusterjob job;
  job.rule = testsupport::ruleof(s);
  job.points = 2;
  job.threads = threads;
  job.decode = [&](int p, std::int64_t b) {
    const ldpc::framespan span = ldpc::blockspan(job.rule, b);
    return testsupport::decodeframes(s, dec, p, span.first, span.count);
  };
  MPI_Barrier(MPI_COMM_WORLD);
  double start = now();
  const ldpc::clusterresult r = ldpc::runcluster(job, MPI_COMM_WORLD);
  const double engine = now() - start;
  if (rank == 0) {
    if (!r.failure.empty()) std::printf("failed: %s\n", r.failure.c_str());
    for (std::size_t p = 0; p < r.points.size(); ++p)
      std::printf("  point %zu: %lld frames, FER %.3e\n", p,
                  static_cast<long long>(r.points[p].total.frames),
                  static_cast<double>(r.points[p].total.frameerrors) /
                      static_cast<double>(r.points[p].total.frames));
    std::printf("  runcluster: %.0f frames/s\n", 2.0 * static_cast<double>(frames) / engine);
    printgather("gather, real decoding", engine, r);
  }
  if (ranks == 1) {
    ldpc::codesupply supply;
    supply.graph = &graph;
    start = now();
    const auto results = ldpc::runsimulation(s, supply);
    const double one = now() - start;
    std::printf("  runsimulation, %d thread%s: %.0f frames/s (FER %.3e, %.3e)\n", threads,
                threads == 1 ? "" : "s", 2.0 * static_cast<double>(frames) / one, results[0].fer,
                results[1].fer);
  }

  // Blocks of a fixed time: the engine's own cost.
  for (double micros : {20.0, 200.0, 2000.0}) {
    ldpc::clusterjob fixed;
    fixed.rule.maxerrors = 1LL << 40;
    fixed.rule.maxframes = 64LL * static_cast<std::int64_t>(std::min(200000.0, 4e6 / micros));
    fixed.points = 1;
    fixed.threads = threads;
    fixed.decode = [&](int, std::int64_t b) {
      const double until = now() + micros * 1e-6;
      while (now() < until) {
      }
      ldpc::blocktally t;
      t.frames = ldpc::blockspan(fixed.rule, b).count;
      return t;
    };
    MPI_Barrier(MPI_COMM_WORLD);
    start = now();
    const ldpc::clusterresult f = ldpc::runcluster(fixed, MPI_COMM_WORLD);
    const double seconds = now() - start;
    const double blocks = static_cast<double>(ldpc::blockcount(fixed.rule));
    const double ideal = blocks * micros * 1e-6 / (ranks * threads);
    char what[80];
    std::snprintf(what, sizeof what, "%5.0f us blocks: %3.0f%% of ideal", micros,
                  100 * ideal / seconds);
    printgather(what, seconds, f);
  }
  MPI_Finalize();
  return 0;
}
