// Graphs without short cycles: cycle removal, progressive edge growth and
// cyclic liftings against brute force, a hand trace and their definitions.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphstats.h"
#include "shortcycles.h"
#include "oracle.h"
#include "support.h"

using testsupport::describe;
using testsupport::makegraph;

namespace {

// Plain adjacency with edge identities: node ids 0..V-1 variable, V.. check.
struct plaingraph {
  int nodes = 0;
  std::vector<std::pair<int, int>> edges;  // (variable, V + check)
};

plaingraph plain(const ldpc::graphs *g) {
  plaingraph p;
  p.nodes = g->vnodenum + g->cnodenum;
  for (int v = 0; v < g->vnodenum; ++v)
    for (int s = 0; s < g->vnodelist[v].degree; ++s)
      p.edges.push_back({v, g->vnodenum + g->vnodelist[v].edgelist[s].dest});
  return p;
}

// Distance from a to b without edge number skip (INT_MAX: unreachable).
int distancewithout(const plaingraph &p, int a, int b, std::size_t skip) {
  std::vector<std::vector<int>> adjacent(p.nodes);
  for (std::size_t k = 0; k < p.edges.size(); ++k)
    if (k != skip) {
      adjacent[p.edges[k].first].push_back(p.edges[k].second);
      adjacent[p.edges[k].second].push_back(p.edges[k].first);
    }
  std::vector<int> dist(p.nodes, -1);
  std::deque<int> queue{a};
  dist[a] = 0;
  while (!queue.empty()) {
    int x = queue.front();
    queue.pop_front();
    for (int y : adjacent[x])
      if (dist[y] < 0) {
        dist[y] = dist[x] + 1;
        queue.push_back(y);
      }
  }
  return dist[b] < 0 ? INT_MAX : dist[b];
}

// Brute force: the shortest cycle through edge k is the distance between its
// ends without it, plus one. Local girth of v: the least over v's edges.
std::vector<int> bruteforcelocal(const ldpc::graphs *g) {
  plaingraph p = plain(g);
  std::vector<int> local(g->vnodenum, 0);
  for (std::size_t k = 0; k < p.edges.size(); ++k) {
    int d = distancewithout(p, p.edges[k].first, p.edges[k].second, k);
    if (d == INT_MAX) continue;
    int &l = local[p.edges[k].first];
    if (l == 0 || d + 1 < l) l = d + 1;
  }
  return local;
}

int leastpositive(const std::vector<int> &values) {
  int least = 0;
  for (int x : values)
    if (x > 0 && (least == 0 || x < least)) least = x;
  return least;
}

ldpc::graphs *randomgraph(int n, int m, int maxdegree, unsigned seed) {
  std::vector<std::vector<int>> vchecks(n);
  unsigned x = seed;
  for (auto &list : vchecks) {
    x = x * 1103515245u + 12345u;
    int degree = 1 + static_cast<int>((x >> 8) % maxdegree);
    for (int s = 0; s < degree; ++s) {
      x = x * 1103515245u + 12345u;
      list.push_back(static_cast<int>((x >> 8) % m));
    }
  }
  return makegraph(m, vchecks);
}

// A regular (dv, dc) graph of the irregular ensemble, stream from seed.
void constructregular(ldpc::graphs *g, int dv, int dc, int length, unsigned short seed) {
  int vdeg[] = {dv};
  int cdeg[] = {dc};
  double one[] = {1.0};
  ldpc::simulations sim{};
  sim.length = length;
  sim.vdegreesnum = sim.cdegreesnum = 1;
  sim.vdegreelist = vdeg;
  sim.cdegreelist = cdeg;
  sim.vpercentagelist = sim.cpercentagelist = one;
  ldpc::graphsimrand[0] = seed;
  ldpc::graphsimrand[1] = ldpc::graphsimrand[2] = 0;
  ldpc::constructirregulargraph(g, &sim);
}

std::vector<int> degrees(const ldpc::graphs *g) {
  std::vector<int> d;
  for (int v = 0; v < g->vnodenum; ++v) d.push_back(g->vnodelist[v].degree);
  for (int c = 0; c < g->cnodenum; ++c) d.push_back(g->cnodelist[c].degree);
  return d;
}

}  // namespace

TEST(shortcycles, girth_and_local_girth_agree_with_brute_force) {
  // random small graphs, parallel edges and trees included
  for (unsigned seed = 1; seed <= 60; ++seed) {
    testsupport::ownedgraph g = randomgraph(4 + seed % 13, 3 + seed % 7, 4, seed);
    std::vector<int> expected = bruteforcelocal(g);
    EXPECT_EQ(ldpc::localgirths(g), expected) << "seed " << seed;
    EXPECT_EQ(ldpc::girth(g), leastpositive(expected)) << "seed " << seed;
  }
}

TEST(shortcycles, removal_reaches_the_target_and_keeps_every_degree) {
  struct casedata {
    int dv, dc, length, target;
  };
  const casedata cases[] = {{3, 6, 200, 4},  {3, 6, 200, 6}, {3, 6, 2000, 6}, {3, 6, 2000, 8},
                            {4, 8, 1000, 6}, {2, 4, 300, 8}, {3, 6, 600, 8}};
  for (const casedata &c : cases)
    for (unsigned short seed = 1; seed <= 3; ++seed) {
      testsupport::ownedrecord g;
      constructregular(&g, c.dv, c.dc, c.length, seed);
      const std::vector<int> before = degrees(&g);
      ldpc::degreelist vtable = *g.vdegreelist, ctable = *g.cdegreelist;
      ldpc::cycleremoval result = ldpc::removeshortcycles(&g, c.target);
      char trace[96];
      std::snprintf(trace, sizeof trace, "(%d,%d) length %d target %d seed %d", c.dv, c.dc,
                    c.length, c.target, seed);
      SCOPED_TRACE(trace);
      EXPECT_TRUE(result.reached) << result.message;
      EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
      EXPECT_EQ(degrees(&g), before);
      EXPECT_EQ(std::memcmp(&vtable, g.vdegreelist, sizeof vtable), 0);
      EXPECT_EQ(std::memcmp(&ctable, g.cdegreelist, sizeof ctable), 0);
      EXPECT_GE(result.girth, c.target);
      EXPECT_EQ(result.girth, ldpc::girth(&g));
      EXPECT_LE(result.exchanges, result.attempts);
      if (c.length <= 300) {
        EXPECT_EQ(leastpositive(bruteforcelocal(&g)), result.girth);
      }
    }
}

TEST(shortcycles, removal_is_fixed_by_the_seed_and_reports_what_it_cannot_reach) {
  auto build = [](unsigned short seed, int target, ldpc::cycleremoval *result) {
    testsupport::ownedrecord g;
    constructregular(&g, 3, 6, 1000, seed);
    *result = ldpc::removeshortcycles(&g, target);
    std::string text = describe(&g);
    return text;
  };
  ldpc::cycleremoval a, b, c;
  EXPECT_EQ(build(5, 8, &a), build(5, 8, &b));
  EXPECT_EQ(a.exchanges, b.exchanges);
  EXPECT_NE(build(6, 8, &c), build(5, 8, &a));

  // (3,6) on 12 variable nodes cannot have girth 8: six check nodes of
  // degree 6 each see every other check within distance 2.
  testsupport::ownedrecord g;
  constructregular(&g, 3, 6, 12, 1);
  const std::vector<int> before = degrees(&g);
  ldpc::cycleremoval failed = ldpc::removeshortcycles(&g, 8, 500);
  EXPECT_FALSE(failed.reached);
  EXPECT_NE(failed.message.find("girth 8 not reached"), std::string::npos) << failed.message;
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
  EXPECT_EQ(degrees(&g), before);
  EXPECT_FALSE(ldpc::removeshortcycles(&g, 5).reached);
}

TEST(shortcycles, driver_hook_conditions_every_construction_and_is_off_by_default) {
  auto run = [](int target) {
    int vdeg[] = {3};
    int cdeg[] = {6};
    double one[] = {1.0};
    ldpc::simulations sim{};
    sim.newgraph = 1;
    sim.constructgraphonce = 0;
    sim.length = 500;
    sim.vdegreesnum = sim.cdegreesnum = 1;
    sim.vdegreelist = vdeg;
    sim.cdegreelist = cdeg;
    sim.vpercentagelist = sim.cpercentagelist = one;
    testsupport::ownedrecord g;
    g.vnodenum = -1;
    ldpc::randomizes randomize{};
    ldpc::encoders encoder{};
    ldpc::reruns rerun{};
    ldpc::graphsimrand[0] = 9;
    ldpc::graphsimrand[1] = ldpc::graphsimrand[2] = 0;
    ldpc::conditionconstructions(target);
    std::vector<std::string> graphs;
    for (int loop = 0; loop < 2; ++loop) {
      ldpc::constructgraph(&sim, &g, &randomize, &encoder, &rerun, loop, 1);
      EXPECT_GE(ldpc::girth(&g), target);
      graphs.push_back(describe(&g));
    }
    ldpc::conditionconstructions(0);
    return graphs;
  };
  std::vector<std::string> plain = run(0), conditioned = run(8);
  EXPECT_NE(plain, conditioned);
  EXPECT_EQ(run(8), conditioned);
  EXPECT_EQ(run(0), plain);
}

TEST(shortcycles, peg_follows_the_hand_trace) {
  // Six variable nodes of degree 2 on four check nodes, graph stream from 0.
  // The first draws are 0.000, 0.001, 0.042, 0.177, 0.365, 0.091, 0.092,
  // 0.487, 0.527, 0.454, 0.233, 0.831 (erand48 from 0,0,0).
  //  v0: no edge yet, every check unreached at degree 0: {0,1,2,3}[0] = 0;
  //      then only c0 is reached: {1,2,3}[0] = 1
  //  v1: lowest degree among all: {2,3}[floor(2 * 0.042)] = 2; then {3} = 3
  //  v2: all at degree 1: {0,1,2,3}[floor(4 * 0.365)] = 1; from c1 the search
  //      reaches v0, c0 and stops: unreached {2,3}[floor(2 * 0.091)] = 2
  //  v3: degree 1 left at {0,3}[0] = 0; c0, v0, c1, v2, c2, v1, c3: the last
  //      level holds c3 alone
  //  v4: all at degree 2: {0,1,2,3}[floor(4 * 0.527)] = 2; c2, then v1 and v2
  //      give c3, c1, then v3 gives c0, the last check: {0}
  //  v5: degree 2 left at {1,3}[floor(2 * 0.233)] = 1; c1, then c0, c2, then
  //      v3 gives c3, the last: {3}
  ldpc::graphsimrand[0] = ldpc::graphsimrand[1] = ldpc::graphsimrand[2] = 0;
  testsupport::ownedrecord g;
  std::string error;
  ASSERT_TRUE(ldpc::constructpeg(&g, {2, 2, 2, 2, 2, 2}, 4, &error)) << error;
  const std::vector<std::vector<int>> expected = {{0, 1}, {2, 3}, {1, 2}, {0, 3}, {2, 0}, {1, 3}};
  for (int v = 0; v < 6; ++v)
    for (int s = 0; s < 2; ++s) EXPECT_EQ(g.vnodelist[v].edgelist[s].dest, expected[v][s]);
  // check sockets in order of placement
  const std::vector<std::vector<int>> checks = {{0, 3, 4}, {0, 2, 5}, {1, 2, 4}, {1, 3, 5}};
  for (int c = 0; c < 4; ++c) {
    ASSERT_EQ(g.cnodelist[c].degree, 3);
    for (int t = 0; t < 3; ++t) EXPECT_EQ(g.cnodelist[c].edgelist[t].dest, checks[c][t]);
  }
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
  // the six pairs of four checks: triangles, girth 6 everywhere
  EXPECT_EQ(ldpc::localgirths(&g), std::vector<int>(6, 6));
}

TEST(shortcycles, peg_reaches_girth_8_at_length_1008_and_refuses_impossible_degrees) {
  std::vector<int> degrees = ldpc::pegdegrees({3}, {1.0}, 1008);
  ASSERT_EQ(degrees.size(), 1008u);
  ldpc::graphsimrand[0] = 1;
  ldpc::graphsimrand[1] = ldpc::graphsimrand[2] = 0;
  testsupport::ownedrecord g;
  std::string error;
  ASSERT_TRUE(ldpc::constructpeg(&g, degrees, 504, &error)) << error;
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
  EXPECT_EQ(ldpc::girth(&g), 8);
  EXPECT_EQ(leastpositive(ldpc::localgirths(&g)), 8);

  // node counts of a distribution: largest remainders, increasing degree
  EXPECT_EQ(ldpc::pegdegrees({3, 2}, {0.55, 0.45}, 5), (std::vector<int>{2, 2, 3, 3, 3}));
  EXPECT_EQ(ldpc::pegdegrees({2, 3, 8}, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 4),
            (std::vector<int>{2, 2, 3, 8}));

  EXPECT_FALSE(ldpc::constructpeg(&g, {2, 5}, 4, &error));
  EXPECT_NE(error.find("variable node 1 has degree 5"), std::string::npos) << error;
  EXPECT_FALSE(ldpc::constructpeg(&g, {2}, 0, &error));
}

TEST(shortcycles, circulant_lifting_follows_its_definition) {
  // the half-rate protograph has a doubled edge (variable 0, check 0)
  testsupport::ownedgraph proto = makegraph(2, {{0, 1, 0}, {1, 0, 1}, {0, 1}, {0, 1}});
  for (int target : {4, 6, 8})
    for (int lift : {17, 40}) {
      ldpc::graphsimrand[0] = static_cast<unsigned short>(target * 100 + lift);
      ldpc::graphsimrand[1] = ldpc::graphsimrand[2] = 0;
      testsupport::ownedrecord g;
      std::vector<int> shifts;
      std::string error;
      ASSERT_TRUE(ldpc::constructcirculant(&g, proto, lift, target, &shifts, &error)) << error;
      ASSERT_EQ(shifts.size(), 10u);
      EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
      EXPECT_GE(ldpc::girth(&g), target);
      // copy r of check b meets copy (r + shift) mod lift of variable i
      std::size_t k = 0;
      for (int i = 0; i < 4; ++i)
        for (int s = 0; s < proto->vnodelist[i].degree; ++s, ++k) {
          const ldpc::edge &pe = proto->vnodelist[i].edgelist[s];
          for (int r = 0; r < lift; ++r) {
            const ldpc::edge &e = g.cnodelist[pe.dest * lift + r].edgelist[pe.socket];
            EXPECT_EQ(e.dest, i * lift + (r + shifts[k]) % lift);
            EXPECT_EQ(e.socket, s);
          }
        }
      EXPECT_NE(shifts[0], shifts[2]);  // the parallel edges
      // the same shifts given back give the same graph
      testsupport::ownedrecord again;
      std::vector<int> given = shifts;
      ASSERT_TRUE(ldpc::constructcirculant(&again, proto, lift, target, &given, &error));
      EXPECT_EQ(describe(&again), describe(&g));
    }
  // A progress hook sees every protograph edge and may cancel: what it
  // throws passes through and leaves nothing to free (the sanitizers check).
  static std::int64_t seen;
  seen = 0;
  auto count = [](std::int64_t done, std::int64_t total, const char *) {
    EXPECT_EQ(total, 10);
    EXPECT_EQ(done, seen++);
  };
  testsupport::ownedrecord counted;
  std::vector<int> shifts;
  std::string error;
  ASSERT_TRUE(ldpc::constructcirculant(&counted, proto, 17, 6, &shifts, &error, 0, count));
  EXPECT_EQ(seen, 10);
  auto cancel = [](std::int64_t done, std::int64_t, const char *) {
    if (done == 5) throw std::runtime_error("cancelled");
  };
  testsupport::ownedrecord cancelled;
  shifts.clear();
  EXPECT_THROW(ldpc::constructcirculant(&cancelled, proto, 17, 6, &shifts, &error, 0, cancel),
               std::runtime_error);
  EXPECT_EQ(cancelled.vnodelist, nullptr);
}

TEST(shortcycles, shift_matrices_expand_array_codes_and_round_trip) {
  // The array code of column weight 3: block (r, j) is the identity shifted
  // by r * j mod p; for prime p it has girth 6, never 4.
  const int p = 7;
  std::string text = "# array code, p = 7\n";
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < p; ++j) {
      text += std::to_string(r * j % p);
      text += ' ';
    }
    text += "\n\n";
  }
  ldpc::shiftmatrix matrix;
  std::string error;
  ASSERT_TRUE(ldpc::parseshiftmatrix(text, &matrix, &error)) << error;
  EXPECT_EQ(matrix.rows, 3);
  EXPECT_EQ(matrix.columns, p);
  std::vector<int> shifts;
  testsupport::ownedgraph proto = ldpc::protographfromshifts(matrix, &shifts);
  testsupport::ownedrecord g;
  ASSERT_TRUE(ldpc::constructcirculant(&g, proto, p, 4, &shifts, &error)) << error;
  EXPECT_EQ(ldpc::girth(&g), 6);
  EXPECT_TRUE(ldpc::countfourcycles(&g) == 0);

  // formatted and read again: the same shifts for the same protograph
  std::vector<int> back;
  ldpc::shiftmatrix again;
  ASSERT_TRUE(ldpc::parseshiftmatrix(ldpc::formatshiftmatrix(proto, shifts), &again, &error));
  ASSERT_TRUE(ldpc::shiftsforprotograph(again, proto, &back, &error)) << error;
  EXPECT_EQ(back, shifts);

  // parallel edges in one cell, and the faults named
  ASSERT_TRUE(ldpc::parseshiftmatrix("2,5 -1\n0 1\n", &matrix, &error));
  proto = ldpc::protographfromshifts(matrix, &shifts);
  EXPECT_EQ(shifts, (std::vector<int>{2, 5, 0, 1}));
  EXPECT_EQ(proto->vnodelist[0].degree, 3);
  EXPECT_EQ(oracle::checkgraph(proto, oracle::notables), "");
  ldpc::shiftmatrix wrong;
  ASSERT_TRUE(ldpc::parseshiftmatrix("2 -1\n0 1\n", &wrong, &error));
  EXPECT_FALSE(ldpc::shiftsforprotograph(wrong, proto, &back, &error));
  EXPECT_NE(error.find("row 1, column 1"), std::string::npos) << error;
  EXPECT_FALSE(ldpc::parseshiftmatrix("1 2\n3\n", &matrix, &error));
  EXPECT_NE(error.find("line 2 has 1 cells"), std::string::npos) << error;
  EXPECT_FALSE(ldpc::parseshiftmatrix("1 x\n", &matrix, &error));
  EXPECT_NE(error.find("line 1, cell 2"), std::string::npos) << error;
  EXPECT_FALSE(ldpc::parseshiftmatrix("1 -1,2\n", &matrix, &error));
}
