// Graph statistics on small graphs whose figures are known by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "graphstats.h"
#include "oracle.h"
#include "support.h"

using testsupport::makegraph;

namespace {

struct figures {
  std::int64_t parallel, fourcycles;
  std::int64_t girth;
};

figures measure(int cnodenum, const std::vector<std::vector<int>> &vchecks) {
  testsupport::ownedgraph g = makegraph(cnodenum, vchecks);
  figures f{ldpc::countparalleledges(g), static_cast<std::int64_t>(ldpc::countfourcycles(g)),
            ldpc::girth(g)};
  return f;
}

}  // namespace

TEST(graphstats, cycles_and_girth_of_small_graphs) {
  // a tree: no cycle at all
  figures tree = measure(2, {{0}, {0, 1}, {1}});
  EXPECT_EQ(tree.girth, 0);
  EXPECT_EQ(tree.fourcycles, 0);
  EXPECT_EQ(tree.parallel, 0);

  // one 4-cycle
  figures square = measure(2, {{0, 1}, {0, 1}, {1}});
  EXPECT_EQ(square.girth, 4);
  EXPECT_EQ(square.fourcycles, 1);

  // a 6-cycle and nothing shorter
  figures hexagon = measure(3, {{0, 1}, {1, 2}, {2, 0}});
  EXPECT_EQ(hexagon.girth, 6);
  EXPECT_EQ(hexagon.fourcycles, 0);

  // an 8-cycle with a tail
  figures octagon = measure(5, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {3, 4}});
  EXPECT_EQ(octagon.girth, 8);

  // complete bipartite 3 x 3: three choices of variable pairs and of check pairs
  figures complete = measure(3, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}});
  EXPECT_EQ(complete.fourcycles, 9);
  EXPECT_EQ(complete.girth, 4);

  // a doubled edge: a cycle of length 2, and 4-cycles counted per edge choice
  figures doubled = measure(2, {{0, 0, 1}, {0, 1}});
  EXPECT_EQ(doubled.parallel, 1);
  EXPECT_EQ(doubled.girth, 2);
  EXPECT_EQ(doubled.fourcycles, 2);
  EXPECT_EQ(measure(1, {{0, 0, 0}}).parallel, 2);
}

TEST(graphstats, long_trees_and_cycles_with_trees_attached) {
  // a path of 100,000 variable nodes through 99,999 checks: a tree
  std::vector<std::vector<int>> path(100000);
  for (int v = 0; v < 100000; ++v) {
    if (v > 0) path[v].push_back(v - 1);
    if (v < 99999) path[v].push_back(v);
  }
  testsupport::ownedgraph g = makegraph(99999, path);
  EXPECT_EQ(ldpc::girth(g), 0);
  // close it into one cycle of 200,000 nodes with a single extra check
  path[0].push_back(99999);
  path[99999].push_back(99999);
  g = makegraph(100000, path);
  EXPECT_EQ(ldpc::girth(g), 200000);
}

TEST(graphstats, distributions_from_both_perspectives) {
  // degrees 1, 2, 2, 3 on the variable side; 8 edges
  testsupport::ownedgraph g = makegraph(3, {{0}, {0, 1}, {1, 2}, {0, 1, 2}});
  std::vector<ldpc::degreeshare> v = ldpc::vdistribution(g);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[1].degree, 2);
  EXPECT_EQ(v[1].nodes, 2);
  EXPECT_DOUBLE_EQ(v[1].nodefraction, 0.5);
  EXPECT_DOUBLE_EQ(v[1].edgefraction, 4.0 / 8.0);
  EXPECT_DOUBLE_EQ(v[2].edgefraction, 3.0 / 8.0);
  std::vector<ldpc::degreeshare> c = ldpc::cdistribution(g);
  ASSERT_EQ(c.size(), 2u);  // degrees 2 and 3
  EXPECT_EQ(c[0].degree, 2);
  EXPECT_DOUBLE_EQ(c[1].edgefraction, 6.0 / 8.0);
  EXPECT_EQ(ldpc::countedges(g), 8);
}

TEST(graphstats, fingerprint_ignores_socket_order_only) {
  testsupport::ownedgraph a = makegraph(2, {{0, 1}, {1}, {0, 1}});
  testsupport::ownedgraph b = makegraph(2, {{1, 0}, {1}, {1, 0}});  // other socket order
  testsupport::ownedgraph c = makegraph(2, {{0, 1}, {0}, {0, 1}});  // one edge moved
  testsupport::ownedgraph d = makegraph(3, {{0, 1}, {1}, {0, 1}});  // one more check node
  EXPECT_EQ(ldpc::fingerprint(a), ldpc::fingerprint(b));
  EXPECT_NE(ldpc::fingerprint(a), ldpc::fingerprint(c));
  EXPECT_NE(ldpc::fingerprint(a), ldpc::fingerprint(d));
}

TEST(graphstats, checkinvariants_lists_each_violation) {
  testsupport::ownedgraph g = makegraph(2, {{0, 1}, {1}, {0, 1}});
  std::vector<std::string> notes;
  EXPECT_TRUE(ldpc::checkinvariants(g, &notes).empty());
  EXPECT_TRUE(notes.empty());

  g->vmaxdegree = 5;
  g->vnodelist[1].edgelist[0].socket = 0;  // check 1 socket 0 leads elsewhere
  g->cnodelist[0].edgelist[1].dest = 7;    // out of range
  g->vdegreelist->numofnodes[0] = 2;       // one node of degree 1, not two
  std::vector<std::string> faults = ldpc::checkinvariants(g, &notes);
  const std::vector<std::string> expected = {
      "variable node 1 socket 0 leads to check node 1 socket 0, which leads back to "
      "variable node 0 socket 1",
      "variable node 2 socket 0 leads to check node 0 socket 1, which leads back to "
      "variable node 7 socket 0",
      "check node 0 socket 1 leads to variable node 7, outside 0..2",
      "check node 1 socket 1 leads to variable node 1 socket 0, which leads back to "
      "check node 1 socket 0",
      "variable degree table counts 4 nodes; the graph has 3",
      "variable degree table lists 2 nodes of degree 1; the graph has 1"};
  EXPECT_EQ(faults, expected);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "vmaxdegree is 5; the largest variable degree is 2");
  EXPECT_EQ(ldpc::checkinvariants(g, nullptr, 2).back(), "... and 4 more violations");
}

TEST(graphstats, checkinvariants_agrees_with_the_brute_force_oracle) {
  // Variable degrees 2 2 2 1, check degrees 3 2 2; each row corrupts (or
  // legally changes) a fresh copy. fault: the library lists a violation and
  // the oracle, by the library's table rule, finds one; exact: the oracle
  // finds one when the tables must list each degree once, in order; note:
  // the library notes a wrong maximum and the oracle's maxima check agrees.
  using ldpc::graphs;
  struct row {
    const char *what;
    std::function<void(graphs *)> change;
    bool fault, exact, note;
  };
  // a third check table entry, of degree 7, counting the given nodes
  auto listsabsentdegree = [](int nodes) {
    return [nodes](graphs *g) {
      g->cdegreelist->degree[2] = 7;
      g->cdegreelist->numofnodes[2] = nodes;
      g->cdegreesnum = 3;
    };
  };
  const std::vector<row> rows = {
      {"untouched", [](graphs *) {}, false, false, false},
      {"messages and values set",
       [](graphs *g) {
         g->vnodelist[1].edgelist[0].message = 0.5;
         g->cnodelist[2].value = -1.0;
       },
       false, false, false},
      {"edges switched, mirrors mended", [](graphs *g) { ldpc::switchedges(g, 0, 0, 1, 1); }, false,
       false, false},
      {"variable entry past the last check",
       [](graphs *g) { g->vnodelist[0].edgelist[0].dest = 3; }, true, true, false},
      {"variable entry negative", [](graphs *g) { g->vnodelist[3].edgelist[0].dest = -1; }, true,
       true, false},
      {"variable socket past the degree", [](graphs *g) { g->vnodelist[0].edgelist[1].socket = 2; },
       true, true, false},
      {"check entry past the last variable",
       [](graphs *g) { g->cnodelist[2].edgelist[0].dest = 4; }, true, true, false},
      {"check socket negative", [](graphs *g) { g->cnodelist[1].edgelist[1].socket = -1; }, true,
       true, false},
      {"mirror leads to another socket", [](graphs *g) { g->vnodelist[0].edgelist[0].socket = 1; },
       true, true, false},
      {"sockets exchanged on one side only",
       [](graphs *g) { std::swap(g->vnodelist[0].edgelist[0], g->vnodelist[0].edgelist[1]); }, true,
       true, false},
      {"two check entries lead to one socket",
       [](graphs *g) { g->cnodelist[0].edgelist[2] = g->cnodelist[0].edgelist[1]; }, true, true,
       false},
      {"check degree one short", [](graphs *g) { g->cnodelist[0].degree = 2; }, true, true, true},
      {"variable degree one short", [](graphs *g) { g->vnodelist[3].degree = 0; }, true, true,
       false},
      {"table count wrong", [](graphs *g) { g->vdegreelist->numofnodes[0] = 2; }, true, true,
       false},
      {"table degree wrong", [](graphs *g) { g->cdegreelist->degree[1] = 4; }, true, true, false},
      {"table entry missing", [](graphs *g) { g->cdegreesnum = 1; }, true, true, false},
      {"table entries out of order",
       [](graphs *g) {
         std::swap(g->vdegreelist->degree[0], g->vdegreelist->degree[1]);
         std::swap(g->vdegreelist->numofnodes[0], g->vdegreelist->numofnodes[1]);
       },
       false, true, false},
      {"table lists an absent degree with no nodes", listsabsentdegree(0), false, true, false},
      {"table lists an absent degree with one node", listsabsentdegree(1), true, true, false},
      {"table splits one degree over two entries",
       [](graphs *g) {
         g->vdegreelist->numofnodes[1] = 2;
         g->vdegreelist->degree[2] = 2;
         g->vdegreelist->numofnodes[2] = 1;
         g->vdegreesnum = 3;
       },
       false, true, false},
      {"vmaxdegree too large", [](graphs *g) { g->vmaxdegree = 5; }, false, false, true},
      {"cmaxdegree too small", [](graphs *g) { g->cmaxdegree = 2; }, false, false, true},
  };
  for (const row &r : rows) {
    testsupport::ownedgraph g = makegraph(3, {{0, 1}, {1, 2}, {0, 2}, {0}});
    ASSERT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
    r.change(g);
    std::vector<std::string> notes;
    const bool libraryfault = !ldpc::checkinvariants(g, &notes).empty();
    const std::string found = oracle::checkgraph(g, oracle::tablesmatch);
    EXPECT_EQ(libraryfault, r.fault) << r.what;
    EXPECT_EQ(!found.empty(), r.fault) << r.what << ": " << found;
    EXPECT_EQ(!oracle::checkgraph(g, oracle::tablesexact).empty(), r.exact) << r.what;
    EXPECT_EQ(!notes.empty(), r.note) << r.what;
    EXPECT_EQ(!oracle::checkmaxima(g).empty(), r.note) << r.what;
  }

  // records the library's checker may not be given: the oracle reads no
  // table beyond its capacity and follows no entry
  testsupport::ownedgraph g = makegraph(3, {{0, 1}, {1, 2}, {0, 2}, {0}});
  g->vdegreesnum = ldpc::maxdegreesnum + 1;
  EXPECT_NE(oracle::checkgraph(g, oracle::tablesfit), "");
  EXPECT_EQ(oracle::checkgraph(g, oracle::notables), "");
  g->vnodelist[2].edgelist[1] = {1 << 30, -(1 << 30), 0.0};
  g->cnodelist[1].degree = -1;
  EXPECT_NE(oracle::checkgraph(g, oracle::notables), "");
  g->cnodelist[1].degree = 2;
  EXPECT_NE(oracle::checkgraph(g, oracle::notables), "");
}

TEST(graphstats, checkinvariants_agrees_with_the_oracle_on_random_corruptions) {
  // random small graphs, one entry field set to a value near its range
  std::mt19937 random(77);
  for (int trial = 0; trial < 2000; ++trial) {
    const int vnodes = 1 + static_cast<int>(random() % 6),
              cnodes = 1 + static_cast<int>(random() % 5);
    std::vector<std::vector<int>> vchecks(vnodes);
    for (auto &list : vchecks)
      for (int d = 1 + static_cast<int>(random() % 4); d > 0; --d)
        list.push_back(static_cast<int>(random() % cnodes));
    testsupport::ownedgraph g = makegraph(cnodes, vchecks);
    const bool checkside = random() % 2 == 1;
    const int node = static_cast<int>(random() % (checkside ? cnodes : vnodes));
    const ldpc::vnode &v = g->vnodelist[node % vnodes];
    const ldpc::cnode &c = g->cnodelist[node % cnodes];
    if (checkside && c.degree == 0) continue;
    ldpc::edge &e = checkside ? c.edgelist[random() % c.degree] : v.edgelist[random() % v.degree];
    int &field = random() % 2 == 0 ? e.dest : e.socket;
    field = static_cast<int>(random() % 8) - 1;
    const bool libraryfault = !ldpc::checkinvariants(g, nullptr).empty();
    EXPECT_EQ(libraryfault, !oracle::checkgraph(g, oracle::tablesmatch).empty())
        << "trial " << trial;
  }
}

TEST(graphstats, girth_of_a_large_random_graph_is_found) {
  // 2000 variable nodes of degree 3 over 1000 checks: short cycles exist
  std::vector<std::vector<int>> vchecks(2000);
  unsigned x = 12345;
  for (auto &list : vchecks)
    for (int s = 0; s < 3; ++s) {
      x = x * 1103515245u + 12345u;
      list.push_back(static_cast<int>((x >> 8) % 1000));
    }
  testsupport::ownedgraph g = makegraph(1000, vchecks);
  int found = ldpc::girth(g);
  EXPECT_GE(found, 2);
  EXPECT_LE(found, 6);
  if (ldpc::countparalleledges(g) == 0) {
    EXPECT_EQ(found == 4, ldpc::countfourcycles(g) > 0);
  }
}

namespace {

// Brute force on a small multigraph given as edge multiplicities m[v][c]:
// 4-cycles straight from their definition, girth by a depth-first search
// over every simple cycle.
struct bruteforce {
  std::vector<std::vector<int>> m;
  int vnodes() const { return static_cast<int>(m.size()); }
  int cnodes() const { return m.empty() ? 0 : static_cast<int>(m[0].size()); }

  long long fourcycles() const {
    long long total = 0;
    for (int u = 0; u < vnodes(); ++u)
      for (int w = u + 1; w < vnodes(); ++w)
        for (int c = 0; c < cnodes(); ++c)
          for (int d = c + 1; d < cnodes(); ++d)
            total += static_cast<long long>(m[u][c]) * m[w][c] * m[u][d] * m[w][d];
    return total;
  }

  long long girth() const {
    for (const auto &row : m)
      for (int k : row)
        if (k > 1) return 2;
    const int n = vnodes() + cnodes();
    std::vector<std::vector<int>> adjacent(n);
    for (int v = 0; v < vnodes(); ++v)
      for (int c = 0; c < cnodes(); ++c)
        if (m[v][c] > 0) {
          adjacent[v].push_back(vnodes() + c);
          adjacent[vnodes() + c].push_back(v);
        }
    long long best = 0;
    std::vector<char> onpath(n, 0);
    // cycles through start whose other nodes are all above start
    std::function<void(int, int, int)> walk = [&](int start, int x, int length) {
      for (int y : adjacent[x]) {
        if (y == start && length >= 3) {
          if (best == 0 || length + 1 < best) best = length + 1;
        } else if (y > start && !onpath[y]) {
          onpath[y] = 1;
          walk(start, y, length + 1);
          onpath[y] = 0;
        }
      }
    };
    for (int start = 0; start < n; ++start) {
      onpath[start] = 1;
      walk(start, start, 0);
      onpath[start] = 0;
    }
    return best;
  }

  // Replaces edge (v, c) by the chain v - c' - v' - c (two new nodes).
  void subdivide(int v, int c) {
    --m[v][c];
    for (auto &row : m) row.push_back(0);
    m.push_back(std::vector<int>(cnodes(), 0));
    const int cnew = cnodes() - 1, vnew = vnodes() - 1;
    m[v][cnew] = 1;
    m[vnew][cnew] = 1;
    m[vnew][c] = 1;
  }

  ldpc::graphs *graph() const {
    std::vector<std::vector<int>> vchecks(vnodes());
    for (int v = 0; v < vnodes(); ++v)
      for (int c = 0; c < cnodes(); ++c)
        for (int k = 0; k < m[v][c]; ++k) vchecks[v].push_back(c);
    return makegraph(cnodes(), vchecks);
  }
};

}  // namespace

TEST(graphstats, cycles_and_girth_agree_with_brute_force_on_random_multigraphs) {
  // small multigraphs of every density, then the same with edges replaced
  // by chains (which the girth search contracts to weighted links)
  std::mt19937 random(2026);
  for (int trial = 0; trial < 3000; ++trial) {
    bruteforce b;
    const int vnodes = 1 + static_cast<int>(random() % 7),
              cnodes = 1 + static_cast<int>(random() % 6);
    const unsigned density = 1 + random() % 5, heavy = random() % 4;
    b.m.assign(vnodes, std::vector<int>(cnodes, 0));
    for (auto &row : b.m)
      for (int &k : row)
        if (random() % 8 < density) k = (heavy == 0 && random() % 3 == 0) ? 2 + random() % 3 : 1;
    const int subdivisions = trial % 3 == 0 ? 0 : static_cast<int>(random() % 6);
    for (int k = 0; k < subdivisions; ++k) {
      const int v = static_cast<int>(random() % vnodes), c = static_cast<int>(random() % cnodes);
      for (int again = 1 + static_cast<int>(random() % 3); again > 0 && b.m[v][c] > 0; --again)
        b.subdivide(v, c);
    }
    testsupport::ownedgraph g = b.graph();
    ASSERT_EQ(static_cast<long long>(ldpc::countfourcycles(g)), b.fourcycles())
        << "trial " << trial;
    ASSERT_EQ(ldpc::girth(g), b.girth()) << "trial " << trial;
  }
}

TEST(graphstats, theta_graphs_heavy_checks_and_counts_beyond_64_bits) {
  // A theta graph: variable node 0 and check node 0 joined by three chains
  // of 2a+1, 2b+1, 2c+1 edges; its girth is the sum of the two shortest.
  auto theta = [](std::vector<int> lengths) {
    std::vector<std::vector<int>> vchecks(1);
    int cnodes = 1;
    for (int length : lengths) {  // odd: from a variable to a check node
      int at = 0;                 // the variable node the chain has reached
      for (int step = 1; step < length; step += 2) {
        vchecks[at].push_back(cnodes);
        vchecks.push_back({cnodes});
        at = static_cast<int>(vchecks.size()) - 1;
        ++cnodes;
      }
      vchecks[at].push_back(0);
    }
    return makegraph(cnodes, vchecks);
  };
  const std::vector<std::pair<std::vector<int>, long long>> cases = {
      {{1, 3, 5}, 4}, {{3, 3, 3}, 6}, {{39999, 20001, 99999}, 60000}, {{9, 7, 7}, 14}};
  for (const auto &[lengths, expected] : cases) {
    testsupport::ownedgraph g = theta(lengths);
    EXPECT_EQ(ldpc::girth(g), expected);
    EXPECT_EQ(static_cast<long long>(ldpc::countfourcycles(g)), expected == 4 ? 1 : 0);
  }

  // one check node of degree 100,000 over variable nodes of degree 3 whose
  // other checks pair them up: 4-cycles through the heavy check and each pair
  std::vector<std::vector<int>> vchecks(100000);
  for (int v = 0; v < 100000; ++v) vchecks[v] = {0, 1 + v / 2, 50001 + v / 2};
  testsupport::ownedgraph g = makegraph(100001, vchecks);
  // each pair {2k, 2k+1} shares three checks: three 4-cycles
  EXPECT_EQ(static_cast<long long>(ldpc::countfourcycles(g)), 150000);
  EXPECT_EQ(ldpc::girth(g), 4);

  // two variable and two check nodes, each pair joined by 60,000 edges:
  // 60000^4 = 1.296e19 4-cycles, beyond the signed 64-bit range
  std::vector<int> both;
  for (int k = 0; k < 60000; ++k) both.insert(both.end(), {0, 1});
  g = makegraph(2, {both, both});
  ldpc::widecount cycles = ldpc::countfourcycles(g);
  EXPECT_EQ(ldpc::decimal(cycles), "12960000000000000000");
  EXPECT_EQ(ldpc::decimal(0), "0");
  EXPECT_EQ(ldpc::decimal(~ldpc::widecount{0}), "340282366920938463463374607431768211455");
}

TEST(graphstats, tanner_stats_prints_counts_beyond_64_bits) {
  testsupport::tempdir dir;
  std::vector<int> both;
  for (int k = 0; k < 60000; ++k) both.insert(both.end(), {0, 1});
  testsupport::ownedgraph g = makegraph(2, {both, both});
  ldpc::encoders encoder{0, -1, nullptr, nullptr};
  ldpc::savegraph(g, &encoder, dir.file("heavy.code").c_str(), 0);
  testsupport::runresult text = testsupport::run(TANNER_PATH, {"stats", dir.file("heavy.code")});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("4-cycles        12960000000000000000\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("girth           2\n"), std::string::npos);
  testsupport::runresult json =
      testsupport::run(TANNER_PATH, {"stats", "--json", dir.file("heavy.code")});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"fourcycles\": 12960000000000000000, "), std::string::npos) << json.out;
}
