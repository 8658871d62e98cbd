// Graph statistics on small graphs whose figures are known by hand.
#include <gtest/gtest.h>

#include <cstdlib>

#include "graphstats.h"
#include "support.h"

using testsupport::makegraph;

namespace {

struct figures {
  std::int64_t parallel, fourcycles;
  int girth;
};

figures measure(int cnodenum, const std::vector<std::vector<int>> &vchecks) {
  ldpc::graphs *g = makegraph(cnodenum, vchecks);
  figures f{ldpc::countparalleledges(g), ldpc::countfourcycles(g), ldpc::girth(g)};
  ldpc::freegraph(g);
  std::free(g);
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
  ldpc::graphs *g = makegraph(99999, path);
  EXPECT_EQ(ldpc::girth(g), 0);
  ldpc::freegraph(g);
  std::free(g);
  // close it into one cycle of 200,000 nodes with a single extra check
  path[0].push_back(99999);
  path[99999].push_back(99999);
  g = makegraph(100000, path);
  EXPECT_EQ(ldpc::girth(g), 200000);
  ldpc::freegraph(g);
  std::free(g);
}

TEST(graphstats, distributions_from_both_perspectives) {
  // degrees 1, 2, 2, 3 on the variable side; 8 edges
  ldpc::graphs *g = makegraph(3, {{0}, {0, 1}, {1, 2}, {0, 1, 2}});
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
  ldpc::freegraph(g);
  std::free(g);
}

TEST(graphstats, fingerprint_ignores_socket_order_only) {
  ldpc::graphs *a = makegraph(2, {{0, 1}, {1}, {0, 1}});
  ldpc::graphs *b = makegraph(2, {{1, 0}, {1}, {1, 0}});  // other socket order
  ldpc::graphs *c = makegraph(2, {{0, 1}, {0}, {0, 1}});  // one edge moved
  ldpc::graphs *d = makegraph(3, {{0, 1}, {1}, {0, 1}});  // one more check node
  EXPECT_EQ(ldpc::fingerprint(a), ldpc::fingerprint(b));
  EXPECT_NE(ldpc::fingerprint(a), ldpc::fingerprint(c));
  EXPECT_NE(ldpc::fingerprint(a), ldpc::fingerprint(d));
  for (ldpc::graphs *g : {a, b, c, d}) {
    ldpc::freegraph(g);
    std::free(g);
  }
}

TEST(graphstats, checkinvariants_lists_each_violation) {
  ldpc::graphs *g = makegraph(2, {{0, 1}, {1}, {0, 1}});
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
  ldpc::freegraph(g);
  std::free(g);
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
  ldpc::graphs *g = makegraph(1000, vchecks);
  int found = ldpc::girth(g);
  EXPECT_GE(found, 2);
  EXPECT_LE(found, 6);
  if (ldpc::countparalleledges(g) == 0) {
    EXPECT_EQ(found == 4, ldpc::countfourcycles(g) > 0);
  }
  ldpc::freegraph(g);
  std::free(g);
}
