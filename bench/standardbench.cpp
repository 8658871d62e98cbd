// Time to build the largest code of each standard family (the one with the
// most edges among those the family defines): best and median of R builds,
// each a fresh graph record from the tables.
//
//   standardbench [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "standard.h"

unsigned short ldpc::graphsimrand[3];
unsigned short ldpc::channelsimrand[3];

namespace {

std::vector<ldpc::standardrequest> combinations(const ldpc::standardfamily &f) {
  std::vector<ldpc::standardrequest> all;
  auto add = [&](const std::string &rate, int length, int lift, int info) {
    ldpc::standardrequest r;
    r.family = f.name;
    r.rate = rate;
    r.length = length;
    r.lift = lift;
    r.info = info;
    all.push_back(r);
  };
  if (f.name == "nr-bg1" || f.name == "nr-bg2") {
    add("", 0, 384, 0);
  } else if (f.name == "nr") {
    add("", 3 * 8448, 0, 8448);  // the largest block at rate 1/3
  } else if (f.name == "ar4ja") {
    for (const std::string &rate : f.rates) add(rate, 0, 0, 16384);
  } else if (!f.rates.empty()) {
    for (const std::string &rate : f.rates)
      for (int n : f.lengths) add(rate, f.lengths.size() == 1 ? 0 : n, 0, 0);
  } else {
    for (int n : f.lengths) add("", n, 0, 0);
  }
  return all;
}

double seconds(const ldpc::standardrequest &r, long long *edges) {
  const auto start = std::chrono::steady_clock::now();
  ldpc::standardcode code;
  std::string error;
  if (!ldpc::buildstandard(r, &code, &error)) {
    std::fprintf(stderr, "standardbench: %s\n", error.c_str());
    std::exit(1);
  }
  const auto stop = std::chrono::steady_clock::now();
  *edges = 0;
  for (int v = 0; v < code.graph->vnodenum; ++v) *edges += code.graph->vnodelist[v].degree;
  ldpc::freestandard(&code);
  return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main(int argc, char **argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("%-12s %-6s %7s %9s %10s %10s %9s\n", "family", "rate", "n", "edges", "best ms",
              "median ms", "Medges/s");
  for (const ldpc::standardfamily &f : ldpc::standardfamilies()) {
    // the combination with the most edges
    ldpc::standardrequest largest;
    long long most = -1;
    for (const ldpc::standardrequest &r : combinations(f)) {
      long long edges;
      seconds(r, &edges);
      if (edges > most) {
        most = edges;
        largest = r;
      }
    }
    std::vector<double> times;
    for (int k = 0; k < repeats; ++k) {
      long long edges;
      times.push_back(seconds(largest, &edges));
    }
    std::sort(times.begin(), times.end());
    ldpc::standardcode code;
    std::string error;
    ldpc::buildstandard(largest, &code, &error);
    std::printf("%-12s %-6s %7d %9lld %10.3f %10.3f %9.2f\n", f.name.c_str(),
                largest.rate.empty() ? "-" : largest.rate.c_str(), code.graph->vnodenum, most,
                times.front() * 1e3, times[times.size() / 2] * 1e3, most / times.front() / 1e6);
    ldpc::freestandard(&code);
  }
  return 0;
}
