// Encoder throughput: the dense, triangular (approximate lower-triangular
// form) and staircase encoders on irregular codes of 10^4 and 10^5 bits and
// on IRA codes with a staircase parity part. Contenders on one code
// alternate within each repeat; the table shows the setup time, the gap,
// the best throughput of the repeats and the spread (worst / best - 1), and
// how many of the codewords encoded in the last repeat fail a check (summed
// from the graph's variable side, apart from the encoders).
//
//   encodebench [--repeats N] [--seconds S] [--quick]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "encoder.h"
#include "graphfile.h"
#include "simulation.h"
#include "structured.h"
#include "triangular.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

using benchsupport::seconds;

double cpuseconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

struct code {
  std::string name;
  ldpc::graphs graph{};
};

// An IRA code: k information bits, a fraction of them of degree 8 and the
// rest of degree 3 (distinct checks drawn at random), m checks, the parity
// the accumulator staircase of variable k + j in checks j and j + 1.
void ira(code *c, int k, int m, double high) {
  std::mt19937_64 rng(12345);
  std::vector<std::vector<int>> vchecks(k + m);
  std::vector<int> cdeg(m, 0);
  for (int v = 0; v < k; ++v) {
    const int d = v < high * k ? 8 : 3;
    std::set<int> checks;
    while (static_cast<int>(checks.size()) < d) checks.insert(static_cast<int>(rng() % m));
    vchecks[v].assign(checks.begin(), checks.end());
  }
  for (int j = 0; j < m; ++j)
    vchecks[k + j] = j + 1 < m ? std::vector<int>{j, j + 1} : std::vector<int>{j};
  // As a code description graph: both sides, sockets in order of appearance.
  ldpc::graphs &g = c->graph;
  g.vnodenum = k + m;
  g.cnodenum = m;
  g.rate = 1.0 - static_cast<double>(m) / (k + m);
  for (const auto &list : vchecks)
    for (int ch : list) ++cdeg[ch];
  g.vnodelist = ldpc::allocatearray<ldpc::vnode>(k + m);
  g.cnodelist = ldpc::allocatearray<ldpc::cnode>(m);
  for (int ch = 0; ch < m; ++ch) {
    g.cnodelist[ch] = {cdeg[ch], 0.0, ldpc::allocatearray<ldpc::edge>(cdeg[ch])};
    cdeg[ch] = 0;
  }
  for (int v = 0; v < k + m; ++v) {
    const int d = static_cast<int>(vchecks[v].size());
    g.vnodelist[v] = {d, 0.0, ldpc::allocatearray<ldpc::edge>(d)};
    for (int s = 0; s < d; ++s) {
      const int ch = vchecks[v][s];
      const int t = cdeg[ch]++;
      g.vnodelist[v].edgelist[s] = {ch, t, 0.0};
      g.cnodelist[ch].edgelist[t] = {v, s, 0.0};
    }
  }
  g.vdegreelist = nullptr;
  g.cdegreelist = nullptr;
}

// Codewords among frames that fail some check, from the variable side.
int failing(const ldpc::graphs *g, const std::vector<std::uint8_t> &c, int frames) {
  int bad = 0;
  std::vector<int> s(g->cnodenum);
  for (int f = 0; f < frames; ++f) {
    std::fill(s.begin(), s.end(), 0);
    const std::uint8_t *w = c.data() + static_cast<std::size_t>(f) * g->vnodenum;
    for (int v = 0; v < g->vnodenum; ++v)
      for (int e = 0; e < g->vnodelist[v].degree; ++e) s[g->vnodelist[v].edgelist[e].dest] ^= w[v];
    bad += std::any_of(s.begin(), s.end(), [](int x) { return x != 0; });
  }
  return bad;
}

struct contender {
  std::string name;
  ldpc::encoder enc;
  bool ready = false;
  std::string refused;
  double setup = 0, setupcpu = 0;
  double best = 1e300, worst = 0;
  int frames = 0, failed = 0;
};

// The encoder of g by the maker of kind.
bool make(ldpc::encoderkind kind, const ldpc::graphs *g, ldpc::encoder *enc, std::string *error) {
  switch (kind) {
    case ldpc::encoderkind::dense:
      return ldpc::makedenseencoder(g, enc, error);
    case ldpc::encoderkind::triangular:
      return ldpc::maketriangularencoder(g, enc, error);
    case ldpc::encoderkind::staircase:
      return ldpc::makestaircaseencoder(g, enc, error);
    case ldpc::encoderkind::dualdiagonal:
      return ldpc::makedualdiagonalencoder(g, enc, error);
  }
  return false;
}

void build(contender *c, const ldpc::graphs *g, ldpc::encoderkind kind) {
  std::string error;
  const double t0 = seconds(), c0 = cpuseconds();
  c->ready = make(kind, g, &c->enc, &error);
  c->setup = seconds() - t0;
  c->setupcpu = cpuseconds() - c0;
  c->name = ldpc::encodername(kind);
  if (!c->ready) c->refused = error;
}

void runcode(code &cd, const std::vector<ldpc::encoderkind> &kinds, int repeats, double target) {
  std::vector<contender> contenders(kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) build(&contenders[i], &cd.graph, kinds[i]);
  const int n = cd.graph.vnodenum;
  std::vector<std::uint8_t> u, c;
  for (int r = 0; r < repeats; ++r)
    for (contender &ct : contenders) {
      if (!ct.ready) continue;
      if (ct.frames == 0) {
        // frames for about target seconds, from a trial of 64
        std::vector<std::uint8_t> tu(64 * static_cast<std::size_t>(ct.enc.k), 1),
            tc(64 * static_cast<std::size_t>(n));
        const double t0 = seconds();
        ldpc::encode(ct.enc, tu.data(), 64, tc.data());
        const double per = (seconds() - t0) / 64;
        ct.frames = std::max(64, static_cast<int>(target / std::max(per, 1e-9)) / 64 * 64);
        ct.frames = std::min(ct.frames, static_cast<int>(4e8 / n) / 64 * 64 + 64);
      }
      std::mt19937_64 rng(r + 1);
      u.resize(static_cast<std::size_t>(ct.frames) * ct.enc.k);
      for (auto &b : u) b = rng() & 1;
      c.resize(static_cast<std::size_t>(ct.frames) * n);
      const double t0 = seconds();
      ldpc::encode(ct.enc, u.data(), ct.frames, c.data());
      const double t = seconds() - t0;
      ct.best = std::min(ct.best, t);
      ct.worst = std::max(ct.worst, t);
      if (r == repeats - 1) ct.failed = failing(&cd.graph, c, ct.frames);
    }
  std::printf("\n%s: n = %d, m = %d\n", cd.name.c_str(), n, cd.graph.cnodenum);
  std::printf("  %-13s %9s %9s %6s %6s %8s %10s %10s %7s %s\n", "encoder", "setup s", "cpu s", "k",
              "gap", "frames", "info Mb/s", "code Mb/s", "spread", "failing");
  for (const contender &ct : contenders) {
    if (!ct.ready) {
      std::printf("  %-13s refused after %.2f s: %s\n", ct.name.c_str(), ct.setup,
                  ct.refused.c_str());
      continue;
    }
    const double info = static_cast<double>(ct.frames) * ct.enc.k / ct.best / 1e6;
    const double coded = static_cast<double>(ct.frames) * n / ct.best / 1e6;
    std::printf("  %-13s %9.3f %9.3f %6d %6d %8d %10.1f %10.1f %6.0f%% %d of %d\n", ct.name.c_str(),
                ct.setup, ct.setupcpu, ct.enc.k, ct.enc.gap(), ct.frames, info, coded,
                100 * (ct.worst / ct.best - 1), ct.failed, ct.frames);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  int repeats = 3;
  double target = 0.5;
  bool quick = false;
  if (!benchsupport::arguments("usage: encodebench [--repeats N] [--seconds S] [--quick]")
           .number("--repeats", &repeats)
           .real("--seconds", &target)
           .flag("--quick", &quick)
           .parse(argc, argv))
    return 2;
  using kind = ldpc::encoderkind;
  std::vector<code> codes(quick ? 2 : 5);
  codes[0].name = "irregular 2,3,6 / 5,6, 10^4 bits";
  benchsupport::constructirregular(&codes[0].graph, 10000, {2, 3, 6}, {0.5, 0.35, 0.15}, {5, 6},
                                   {0.1, 0.9});
  runcode(codes[0], {kind::dense, kind::triangular}, repeats, target);
  codes[1].name = "IRA staircase, 10^4 bits";
  ira(&codes[1], 5000, 5000, 0.4);
  runcode(codes[1], {kind::dense, kind::triangular, kind::staircase}, repeats, target);
  if (quick) return 0;
  codes[2].name = "irregular 2,3,6 / 5,6, 10^5 bits";
  benchsupport::constructirregular(&codes[2].graph, 100000, {2, 3, 6}, {0.5, 0.35, 0.15}, {5, 6},
                                   {0.1, 0.9});
  runcode(codes[2], {kind::dense, kind::triangular}, repeats, target);
  codes[3].name = "regular 3,6, 10^5 bits";
  benchsupport::constructirregular(&codes[3].graph, 100000, {3}, {1.0}, {6}, {1.0});
  runcode(codes[3], {kind::triangular}, repeats, target);
  codes[4].name = "IRA staircase, 64800 bits (rate 1/2)";
  ira(&codes[4], 32400, 32400, 0.4);
  runcode(codes[4], {kind::triangular, kind::staircase}, repeats, target);
  return 0;
}
