// girthbench: graphs without short cycles. Times cycle removal to girth 6
// and 8 (after the irregular construction, which is not timed) and
// progressive edge growth, for the (3,6) distribution at several lengths
// and one irregular distribution. The tasks run in turns, one round after
// the other, so that a change of machine load falls on all of them alike;
// each line gives the best wall time, the spread (worst - best), the CPU
// time of the best run and the girth reached.
//
// usage: girthbench [--repeats R] [--lengths N,N,...] [--peg-max N]
//   PEG runs once for lengths above --peg-max (default 10000): it costs
//   O(N * E), minutes at 100,000.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graphstats.h"
#include "shortcycles.h"
#include "simulation.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

struct distribution {
  const char *name;
  std::vector<int> vdeg, cdeg;
  std::vector<double> vfrac, cfrac;
};

struct task {
  const distribution *dist = nullptr;
  int length = 0;
  int target = 0;  // 0: PEG
  int rounds = 0;
  std::vector<double> wall, cpu;
  int girth = 0;
  long long exchanges = 0;
  std::string failure;
};

double cputime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void construct(ldpc::graphs *g, const distribution &d, int length) {
  ldpc::simulations sim{};
  sim.length = length;
  sim.vdegreesnum = static_cast<int>(d.vdeg.size());
  sim.cdegreesnum = static_cast<int>(d.cdeg.size());
  sim.vdegreelist = const_cast<int *>(d.vdeg.data());
  sim.cdegreelist = const_cast<int *>(d.cdeg.data());
  sim.vpercentagelist = const_cast<double *>(d.vfrac.data());
  sim.cpercentagelist = const_cast<double *>(d.cfrac.data());
  ldpc::constructirregulargraph(g, &sim);
}

void runonce(task *t) {
  ldpc::graphsimrand[0] = 1;
  ldpc::graphsimrand[1] = 2;
  ldpc::graphsimrand[2] = 3;
  ldpc::graphs g{};
  construct(&g, *t->dist, t->length);  // also gives PEG its number of checks
  double startcpu = cputime();
  auto start = std::chrono::steady_clock::now();
  if (t->target > 0) {
    ldpc::cycleremoval result = ldpc::removeshortcycles(&g, t->target);
    if (!result.reached) t->failure = result.message;
    t->exchanges = result.exchanges;
    t->girth = result.girth;
  } else {
    const int checks = g.cnodenum;
    ldpc::freegraph(&g);
    std::string error;
    std::vector<int> degrees = ldpc::pegdegrees(t->dist->vdeg, t->dist->vfrac, t->length);
    if (!ldpc::constructpeg(&g, degrees, checks, &error)) {
      t->failure = error;
      return;
    }
    t->girth = static_cast<int>(ldpc::girth(&g));  // PEG's figure includes its girth
  }
  t->wall.push_back(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  t->cpu.push_back(cputime() - startcpu);
  ldpc::freegraph(&g);
}

std::string processor() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

}  // namespace

int main(int argc, char **argv) {
  int repeats = 3, pegmax = 10000;
  std::vector<int> lengths = {1000, 10000, 100000};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--repeats" && i + 1 < argc) {
      repeats = std::atoi(argv[++i]);
    } else if (arg == "--peg-max" && i + 1 < argc) {
      pegmax = std::atoi(argv[++i]);
    } else if (arg == "--lengths" && i + 1 < argc) {
      lengths.clear();
      for (char *p = argv[++i]; *p != '\0';) {
        lengths.push_back(static_cast<int>(std::strtol(p, &p, 10)));
        if (*p == ',') ++p;
      }
    } else {
      std::fprintf(stderr, "usage: girthbench [--repeats R] [--lengths N,..] [--peg-max N]\n");
      return 2;
    }
  }
  const distribution regular{"(3,6)", {3}, {6}, {1.0}, {1.0}};
  const distribution irregular{"2,3,8/7,8", {2, 3, 8}, {7, 8}, {0.5, 0.3, 0.2}, {0.5, 0.5}};
  std::vector<task> tasks;
  auto add = [&](const distribution *d, int n, int target) {
    task t;
    t.dist = d;
    t.length = n;
    t.target = target;
    t.rounds = target == 0 && n > pegmax ? 1 : repeats;
    tasks.push_back(t);
  };
  for (int n : lengths)
    for (int target : {6, 8, 0}) add(&regular, n, target);
  for (int target : {6, 8, 0}) add(&irregular, 10000, target);

  double load[3] = {0, 0, 0};
  std::FILE *loadfile = std::fopen("/proc/loadavg", "r");
  if (loadfile != nullptr) {
    if (std::fscanf(loadfile, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
    std::fclose(loadfile);
  }
  std::printf(
      "== graphs without short cycles: %s, scalar code (no SIMD), one thread;\n"
      "   load average %.2f at the start; best of %d rounds taken in turns\n",
      processor().c_str(), load[0], repeats);
  for (int round = 0; round < repeats; ++round)
    for (task &t : tasks)
      if (round < t.rounds && t.failure.empty()) runonce(&t);

  std::printf("  %-10s %7s  %-13s %9s %9s %9s %6s %10s\n", "ensemble", "length", "operation",
              "best s", "spread s", "cpu s", "girth", "exchanges");
  for (const task &t : tasks) {
    char operation[32];
    if (t.target > 0)
      std::snprintf(operation, sizeof operation, "removal to %d", t.target);
    else
      std::snprintf(operation, sizeof operation, "PEG");
    if (!t.failure.empty() || t.wall.empty()) {
      std::printf("  %-10s %7d  %-13s failed: %s\n", t.dist->name, t.length, operation,
                  t.failure.c_str());
      continue;
    }
    const std::size_t best =
        static_cast<std::size_t>(std::min_element(t.wall.begin(), t.wall.end()) - t.wall.begin());
    const double spread = *std::max_element(t.wall.begin(), t.wall.end()) - t.wall[best];
    char exchanges[24] = "-";
    if (t.target > 0) std::snprintf(exchanges, sizeof exchanges, "%lld", t.exchanges);
    std::printf("  %-10s %7d  %-13s %9.3f %9.3f %9.3f %6d %10s%s\n", t.dist->name, t.length,
                operation, t.wall[best], spread, t.cpu[best], t.girth, exchanges,
                t.wall.size() == 1 ? "  (one run)" : "");
  }
  return 0;
}
