// thresholdbench: times the ensemble thresholds of the analysis library and
// shows how the quantized density evolution settles as the LLR grid gets
// finer.
//
// usage: thresholdbench [--repeats N] [--quick]
//
// Every case runs N times (default 3), alternating between the cases of a
// table, in this process; the table gives the best wall time, the spread
// (slowest minus best) and the processor time of the best run, since the
// machine may be shared. --quick leaves out the finest grids.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ensembles.h"
#include "threshold.h"

// The random-stream states that every program linking the library defines.
namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

double wallclock() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double cpuclock() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct benchcase {
  std::string name;
  ldpc::ensemble code;
  ldpc::thresholdoptions options;
  // results
  ldpc::thresholdresult result;
  std::vector<double> walls, cpus;
};

using testsupport::irregularfour;
using testsupport::protographensemble;
using testsupport::regularensemble;

// The 5 x 3 rate-1/2 design with node 4 punctured, and the bundled
// examples/half-rate.proto.
ldpc::ensemble punctured53() {
  return protographensemble({{0, 0, 1, 0, 2}, {1, 1, 0, 1, 3}, {1, 2, 0, 2, 1}}, {4});
}
ldpc::ensemble halfrate() { return protographensemble({{2, 1, 1, 1}, {1, 2, 1, 1}}, {}); }

ldpc::thresholdoptions options(ldpc::channelkind channel, ldpc::methodkind method, double precision,
                               double step = 0.02, double range = 30,
                               ldpc::decoderkind decoder = ldpc::decoderkind::spa) {
  return testsupport::thresholdsettings(channel, method, decoder, precision, step, range);
}

void runtable(const char *title, std::vector<benchcase> &cases, int repeats) {
  for (int round = 0; round < repeats; ++round)
    for (benchcase &c : cases) {
      double wall = wallclock(), cpu = cpuclock();
      c.result = ldpc::computethreshold(c.code, c.options);
      c.walls.push_back(wallclock() - wall);
      c.cpus.push_back(cpuclock() - cpu);
      if (!c.result.ok) {
        std::fprintf(stderr, "thresholdbench: %s: %s\n", c.name.c_str(), c.result.error.c_str());
        std::exit(1);
      }
    }
  std::printf("\n%s\n\n", title);
  std::printf("| case | threshold | Eb/N0 dB | best s | spread s | cpu s |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const benchcase &c : cases) {
    std::size_t best = std::min_element(c.walls.begin(), c.walls.end()) - c.walls.begin();
    double worst = *std::max_element(c.walls.begin(), c.walls.end());
    bool bec = c.options.channel == ldpc::channelkind::bec;
    char db[32] = "-";
    if (!bec) std::snprintf(db, sizeof db, "%.4f", c.result.ebn0db);
    std::printf("| %s | %s %.7f | %s | %.3f | %.3f | %.3f |\n", c.name.c_str(),
                bec ? "eps" : "sigma", c.result.threshold, db, c.walls[best], worst - c.walls[best],
                c.cpus[best]);
  }
  std::fflush(stdout);
}

// A case of a table, its results still to come.
benchcase entry(std::string name, ldpc::ensemble code, ldpc::thresholdoptions o) {
  benchcase c;
  c.name = std::move(name);
  c.code = std::move(code);
  c.options = o;
  return c;
}

using ldpc::channelkind;
using ldpc::methodkind;

std::vector<benchcase> erasurecases() {
  return {
      entry("(3,6) exact", regularensemble(3, 6),
            options(channelkind::bec, methodkind::automatic, 0)),
      entry("irregular rate 1/2, degrees 2-4 / 5-6, exact", irregularfour(),
            options(channelkind::bec, methodkind::automatic, 0)),
      entry("(3,6) as a 2 x 1 protograph, DE to 1e-7", protographensemble({{3, 3}}),
            options(channelkind::bec, methodkind::automatic, 1e-7)),
      entry("5 x 3 protograph, node 4 punctured, DE to 1e-7", punctured53(),
            options(channelkind::bec, methodkind::automatic, 1e-7)),
  };
}

std::vector<benchcase> awgncases() {
  return {
      entry("(3,6) sum-product, step 0.02, to 1e-4", regularensemble(3, 6),
            options(channelkind::awgn, methodkind::density, 1e-4)),
      entry("(3,6) min-sum, step 0.02, to 1e-4", regularensemble(3, 6),
            options(channelkind::awgn, methodkind::density, 1e-4, 0.02, 30,
                    ldpc::decoderkind::minsum)),
      entry("(3,6) Gaussian approximation (EXIT), to 0.001 dB", regularensemble(3, 6),
            options(channelkind::awgn, methodkind::exit, 1e-3)),
      entry("irregular, sum-product, step 0.02, to 1e-4", irregularfour(),
            options(channelkind::awgn, methodkind::density, 1e-4)),
      entry("irregular, Gaussian approximation (EXIT), to 0.001 dB", irregularfour(),
            options(channelkind::awgn, methodkind::exit, 1e-3)),
      entry("5 x 3 protograph EXIT, to 0.01 dB", punctured53(),
            options(channelkind::awgn, methodkind::exit, 1e-2)),
      entry("5 x 3 protograph EXIT, to 0.001 dB", punctured53(),
            options(channelkind::awgn, methodkind::exit, 1e-3)),
      entry("examples/half-rate.proto EXIT, to 0.01 dB", halfrate(),
            options(channelkind::awgn, methodkind::exit, 1e-2)),
  };
}

// The quantization: the same threshold on finer grids (range 30), then on
// wider ranges (step 0.02).
std::vector<benchcase> gridcases(bool quick) {
  std::vector<std::pair<double, double>> grids = {{0.08, 30}, {0.04, 30}, {0.02, 30}};
  if (!quick) grids.push_back({0.01, 30});
  grids.push_back({0.02, 20});
  grids.push_back({0.02, 40});
  std::vector<benchcase> cases;
  for (const auto &[name, code] :
       {std::pair<std::string, ldpc::ensemble>{"(3,6)", regularensemble(3, 6)},
        {"irregular", irregularfour()}})
    for (const auto &[step, range] : grids) {
      char label[96];
      std::snprintf(label, sizeof label, "%s sum-product, step %g, range %g, to 1e-5", name.c_str(),
                    step, range);
      cases.push_back(
          entry(label, code, options(channelkind::awgn, methodkind::density, 1e-5, step, range)));
    }
  return cases;
}

}  // namespace

int main(int argc, char **argv) {
  int repeats = 3;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc)
      repeats = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else {
      std::fprintf(stderr, "usage: thresholdbench [--repeats N] [--quick]\n");
      return 2;
    }
  }
  std::vector<benchcase> bec = erasurecases();
  runtable("Erasure channel (belief propagation)", bec, repeats);
  std::vector<benchcase> awgn = awgncases();
  runtable("BPSK over AWGN", awgn, repeats);
  std::vector<benchcase> grids = gridcases(quick);
  runtable("Quantized density evolution as the grid gets finer (one run each)", grids, 1);
  return 0;
}
