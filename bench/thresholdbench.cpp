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
#include <vector>

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

ldpc::ensemble regular(int dv, int dc) {
  ldpc::ensemble code;
  code.distribution = ldpc::edgeperspective({dv}, {1.0}, {dc}, {1.0}, false);
  return code;
}

// lambda(x) = 0.38354 x + 0.04237 x^2 + 0.57409 x^3,
// rho(x) = 0.24123 x^4 + 0.75877 x^5 (rate 1/2).
ldpc::ensemble irregular() {
  ldpc::ensemble code;
  code.distribution = ldpc::edgeperspective({2, 3, 4}, {0.38354, 0.04237, 0.57409}, {5, 6},
                                            {0.24123, 0.75877}, true);
  return code;
}

ldpc::ensemble protograph(const std::vector<std::vector<int>> &base, std::vector<int> punctured) {
  ldpc::ensemble code;
  code.isprotograph = true;
  code.protograph.cnodes = static_cast<int>(base.size());
  code.protograph.vnodes = static_cast<int>(base[0].size());
  for (int c = 0; c < code.protograph.cnodes; ++c)
    for (int v = 0; v < code.protograph.vnodes; ++v)
      for (int k = 0; k < base[c][v]; ++k) code.protograph.edges.emplace_back(v, c);
  code.protograph.punctured = std::move(punctured);
  return code;
}

// The 5 x 3 rate-1/2 design with node 4 punctured, and the bundled
// examples/half-rate.proto.
ldpc::ensemble punctured53() {
  return protograph({{0, 0, 1, 0, 2}, {1, 1, 0, 1, 3}, {1, 2, 0, 2, 1}}, {4});
}
ldpc::ensemble halfrate() { return protograph({{2, 1, 1, 1}, {1, 2, 1, 1}}, {}); }

ldpc::thresholdoptions options(ldpc::channelkind channel, ldpc::methodkind method, double precision,
                               double step = 0.02, double range = 30,
                               ldpc::decoderkind decoder = ldpc::decoderkind::spa) {
  ldpc::thresholdoptions o;
  o.channel = channel;
  o.method = method;
  o.precision = precision;
  o.llrstep = step;
  o.llrrange = range;
  o.decoder = decoder;
  return o;
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
  using ldpc::channelkind;
  using ldpc::methodkind;

  std::vector<benchcase> bec = {
      {"(3,6) exact",
       regular(3, 6),
       options(channelkind::bec, methodkind::automatic, 0),
       {},
       {},
       {}},
      {"irregular rate 1/2, degrees 2-4 / 5-6, exact",
       irregular(),
       options(channelkind::bec, methodkind::automatic, 0),
       {},
       {},
       {}},
      {"(3,6) as a 2 x 1 protograph, DE to 1e-7",
       protograph({{3, 3}}, {}),
       options(channelkind::bec, methodkind::automatic, 1e-7),
       {},
       {},
       {}},
      {"5 x 3 protograph, node 4 punctured, DE to 1e-7",
       punctured53(),
       options(channelkind::bec, methodkind::automatic, 1e-7),
       {},
       {},
       {}},
  };
  runtable("Erasure channel (belief propagation)", bec, repeats);

  std::vector<benchcase> awgn = {
      {"(3,6) sum-product, step 0.02, to 1e-4",
       regular(3, 6),
       options(channelkind::awgn, methodkind::density, 1e-4),
       {},
       {},
       {}},
      {"(3,6) min-sum, step 0.02, to 1e-4",
       regular(3, 6),
       options(channelkind::awgn, methodkind::density, 1e-4, 0.02, 30, ldpc::decoderkind::minsum),
       {},
       {},
       {}},
      {"(3,6) Gaussian approximation (EXIT), to 0.001 dB",
       regular(3, 6),
       options(channelkind::awgn, methodkind::exit, 1e-3),
       {},
       {},
       {}},
      {"irregular, sum-product, step 0.02, to 1e-4",
       irregular(),
       options(channelkind::awgn, methodkind::density, 1e-4),
       {},
       {},
       {}},
      {"irregular, Gaussian approximation (EXIT), to 0.001 dB",
       irregular(),
       options(channelkind::awgn, methodkind::exit, 1e-3),
       {},
       {},
       {}},
      {"5 x 3 protograph EXIT, to 0.01 dB",
       punctured53(),
       options(channelkind::awgn, methodkind::exit, 1e-2),
       {},
       {},
       {}},
      {"5 x 3 protograph EXIT, to 0.001 dB",
       punctured53(),
       options(channelkind::awgn, methodkind::exit, 1e-3),
       {},
       {},
       {}},
      {"examples/half-rate.proto EXIT, to 0.01 dB",
       halfrate(),
       options(channelkind::awgn, methodkind::exit, 1e-2),
       {},
       {},
       {}},
  };
  runtable("BPSK over AWGN", awgn, repeats);

  // The quantization: the same threshold on finer grids and wider ranges.
  std::vector<benchcase> grids;
  std::vector<double> steps = {0.08, 0.04, 0.02};
  if (!quick) steps.push_back(0.01);
  for (const auto &[name, code] : {std::pair<std::string, ldpc::ensemble>{"(3,6)", regular(3, 6)},
                                   {"irregular", irregular()}}) {
    for (double step : steps) {
      char label[96];
      std::snprintf(label, sizeof label, "%s sum-product, step %g, range 30, to 1e-5", name.c_str(),
                    step);
      grids.push_back(
          {label, code, options(channelkind::awgn, methodkind::density, 1e-5, step), {}, {}, {}});
    }
    for (double range : {20.0, 40.0}) {
      char label[96];
      std::snprintf(label, sizeof label, "%s sum-product, step 0.02, range %g, to 1e-5",
                    name.c_str(), range);
      grids.push_back({label,
                       code,
                       options(channelkind::awgn, methodkind::density, 1e-5, 0.02, range),
                       {},
                       {},
                       {}});
    }
  }
  runtable("Quantized density evolution as the grid gets finer (one run each)", grids, 1);
  return 0;
}
