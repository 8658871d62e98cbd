// Proto-files and protograph lifting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "protograph.h"
#include "randomstream.h"
#include "simulation.h"
#include "oracle.h"
#include "support.h"

namespace {

const char example[] =
    "/* example protograph */\n"
    "/* number of variable nodes and of check nodes */\n"
    "3 2\n"
    "/* per variable node: degree, then check node and check socket of each edge */\n"
    "2  0 0  1 0\n"
    "2  0 1  1 1\n"
    "2  0 2  1 2\n";

// A protograph read from text; null with *error set on a fault.
struct proto {
  testsupport::ownedgraph graph;
  std::string error;
  explicit proto(const std::string &text) {
    ldpc::textscanner in;
    ldpc::scanfrommemory(&in, text.data(), text.size());
    ldpc::graphs *read = nullptr;
    if (ldpc::parseprotograph(&in, &read, &error)) graph = read;
  }
};

using pairs = std::vector<std::pair<int, int>>;

template <typename node>
pairs edges(const node &n) {
  pairs p;
  for (int s = 0; s < n.degree; ++s) p.push_back({n.edgelist[s].dest, n.edgelist[s].socket});
  return p;
}

// A lifted graph, released when it goes.
struct lifted {
  testsupport::ownedrecord graph;
  ldpc::simulations sim{};
  lifted(ldpc::graphs *protograph, int lift) {
    sim.protograph = protograph;
    sim.length = lift;
  }
  void build() { ldpc::constructprotograph(&graph, &sim); }
};

std::uint64_t streamstate() { return ldpc::loadstate(ldpc::graphsimrand); }
void setstream(std::uint64_t state) { ldpc::storestate(ldpc::graphsimrand, state); }

std::string header(int v, int c) {
  return "/* a */ /* b */ " + std::to_string(v) + " " + std::to_string(c) + " /* c */\n";
}

}  // namespace

TEST(protofile, example_derives_the_check_side_at_the_named_sockets) {
  proto p(example);
  ASSERT_NE(p.graph, nullptr) << p.error;
  EXPECT_EQ(p.graph->vnodenum, 3);
  EXPECT_EQ(p.graph->cnodenum, 2);
  EXPECT_EQ(edges(p.graph->vnodelist[1]), (pairs{{0, 1}, {1, 1}}));
  EXPECT_EQ(p.graph->cnodelist[0].degree, 3);
  EXPECT_EQ(edges(p.graph->cnodelist[1]), (pairs{{0, 1}, {1, 1}, {2, 1}}));
  EXPECT_EQ(p.graph->vdegreelist, nullptr);
}

TEST(protofile, layouts_that_read_the_same) {
  proto lines(example);
  // one line, a comment without "/*", numbers between C and the third "*/"
  proto oneline("first comment */ second */\n3 2 7 7 ignored */2 0 0 1 0 2 0 1 1 1 2 0 2 1 2");
  ASSERT_NE(oneline.graph, nullptr) << oneline.error;
  for (int v = 0; v < 3; ++v)
    EXPECT_EQ(edges(oneline.graph->vnodelist[v]), edges(lines.graph->vnodelist[v]));
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(edges(oneline.graph->cnodelist[c]), edges(lines.graph->cnodelist[c]));
}

TEST(protofile, degree_zero_parallel_edges_and_sockets_out_of_file_order) {
  // node 0: two edges to check 0, named with socket 1 first; node 1: none;
  // check node 2 is named by nobody
  proto p(header(3, 3) + "2 0 1 0 0\n0\n1 1 0\n");
  ASSERT_NE(p.graph, nullptr) << p.error;
  EXPECT_EQ(p.graph->vnodelist[1].degree, 0);
  EXPECT_EQ(edges(p.graph->cnodelist[0]), (pairs{{0, 1}, {0, 0}}));
  EXPECT_EQ(edges(p.graph->cnodelist[1]), (pairs{{2, 0}}));
  EXPECT_EQ(p.graph->cnodelist[2].degree, 0);
}

TEST(protofile, inconsistent_files_are_rejected_naming_the_node) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/* a */ /* b */", "the number of variable nodes: the file ends"},
      {"/* a ", "the number of variable nodes: the file ends (a comment before it has no closing"},
      {header(2, 1) + "1 0 0\n", "variable node 1: degree: the file ends"},
      {header(1, 1) + "1 0 x\n", "variable node 0, socket 0: check socket: \"x\" is not a number"},
      {header(-1, 1), "the numbers of variable and check nodes are -1 and 1"},
      {header(1, 1) + "-2\n", "variable node 0: degree -2 is negative"},
      {header(2, 2) + "1 0 0\n1 2 0\n", "variable node 1, socket 0: check node 2 is outside 0..1"},
      {header(1, 0) + "1 0 0\n", "check node 0 does not exist; the protograph has no check nodes"},
      {header(2, 1) + "1 0 0\n1 0 2\n",
       "variable node 1, socket 0 names socket 2 of check node 0; 2 pairs name check node 0, "
       "so its sockets are 0..1"},
      {header(2, 1) + "1 0 -1\n1 0 0\n", "variable node 0, socket 0 names socket -1"},
      {header(2, 1) + "1 0 1\n1 0 1\n",
       "variable node 1, socket 0 names socket 1 of check node 0, which variable node 0, "
       "socket 0 names already"},
  };
  for (const auto &[text, message] : cases) {
    proto p(text);
    EXPECT_EQ(p.graph, nullptr) << text;
    EXPECT_NE(p.error.find(message), std::string::npos) << text << "\n" << p.error;
  }
  // a huge degree in a short file fails at the end of the file, not in the
  // allocator
  proto huge(header(1, 1) + "2000000000 0 0\n");
  EXPECT_NE(huge.error.find("variable node 0, socket 1: check node: the file ends"),
            std::string::npos)
      << huge.error;
}

TEST(protofile, reader_ends_the_process_on_a_bad_file) {
  testsupport::tempdir dir;
  ldpc::simulations sim{};
  // relative names: the field holds 24 characters
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  std::snprintf(sim.protofile, sizeof sim.protofile, "missing.proto");
  EXPECT_EXIT(ldpc::readprotograph(&sim), testing::ExitedWithCode(1),
              "^I can't open the indicated proto-file.\n$");
  testsupport::writefile(dir.file("bad.proto"), header(2, 2) + "1 0 0\n1 5 0\n");
  std::snprintf(sim.protofile, sizeof sim.protofile, "bad.proto");
  EXPECT_EXIT(ldpc::readprotograph(&sim), testing::ExitedWithCode(1),
              "^proto-file bad.proto: variable node 1, socket 0: check node 5 is outside 0..1\n$");
  testsupport::writefile(dir.file("good.proto"), example);
  std::snprintf(sim.protofile, sizeof sim.protofile, "good.proto");
  ldpc::readprotograph(&sim);
  testsupport::ownedgraph protograph = sim.protograph;
  ASSERT_NE(sim.protograph, nullptr);
  EXPECT_EQ(sim.protograph->cnodelist[1].degree, 3);
  ASSERT_EQ(chdir(previous), 0);
}

TEST(lifting, factor_one_gives_the_protograph_and_still_draws) {
  proto p(example);
  lifted l(p.graph, 1);
  setstream(99);
  l.build();
  EXPECT_EQ(streamstate(), [] {
    std::uint64_t s = 99;
    for (int k = 0; k < 6; ++k) ldpc::nextdraw(&s);
    return s;
  }());
  for (int v = 0; v < 3; ++v) EXPECT_EQ(edges(l.graph.vnodelist[v]), edges(p.graph->vnodelist[v]));
  for (int c = 0; c < 2; ++c) EXPECT_EQ(edges(l.graph.cnodelist[c]), edges(p.graph->cnodelist[c]));
  EXPECT_DOUBLE_EQ(l.graph.rate, 1.0 - 2.0 / 3.0);
}

TEST(lifting, degree_tables_of_the_lifted_graph) {
  // variable degrees 3, 3, 6 and one node without edges; checks 6 and 6
  proto p(header(4, 2) + "3 0 0 0 1 1 0\n3 1 1 1 2 0 2\n0\n6 0 3 0 4 0 5 1 3 1 4 1 5\n");
  ASSERT_NE(p.graph, nullptr) << p.error;
  lifted l(p.graph, 4);
  l.build();
  const ldpc::graphs &g = l.graph;
  EXPECT_EQ(testsupport::sizes(g), (std::vector<int>{16, 8, 3, 1, 6, 6}));
  const int expected[3][2] = {{0, 4}, {3, 8}, {6, 4}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(g.vdegreelist->degree[k], expected[k][0]);
    EXPECT_EQ(g.vdegreelist->numofnodes[k], expected[k][1]);
  }
  EXPECT_EQ(g.cdegreelist->degree[0], 6);
  EXPECT_EQ(g.cdegreelist->numofnodes[0], 8);
  EXPECT_EQ(g.vnodelist[2 * 4 + 3].degree, 0);
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
}

TEST(lifting, one_permutation_per_protograph_edge_in_order) {
  proto p(header(3, 2) + "3 0 0 1 0 0 1\n2 1 1 0 2\n2 0 3 1 2\n");
  ASSERT_NE(p.graph, nullptr) << p.error;
  const int lift = 50;
  lifted l(p.graph, lift);
  const std::uint64_t start = 0xfeedbeef1234ULL;
  setstream(start);
  l.build();
  const std::uint64_t after = streamstate();
  setstream(start);
  std::vector<int> perm(lift), iperm(lift);
  for (int i = 0; i < 3; ++i)
    for (int s = 0; s < p.graph->vnodelist[i].degree; ++s) {
      const int b = p.graph->vnodelist[i].edgelist[s].dest;
      const int t = p.graph->vnodelist[i].edgelist[s].socket;
      ldpc::graphrandompermutation(perm.data(), iperm.data(), lift);
      for (int c = 0; c < lift; ++c) {
        const ldpc::edge &e = l.graph.vnodelist[i * lift + c].edgelist[s];
        ASSERT_EQ(e.dest, b * lift + perm[c]);
        ASSERT_EQ(e.socket, t);
      }
    }
  // E * L draws
  EXPECT_EQ(after, streamstate());
  // every copy of a check node is full, in its protograph node's layout
  for (int b = 0; b < 2; ++b)
    for (int c = 0; c < lift; ++c) {
      const ldpc::cnode &copy = l.graph.cnodelist[b * lift + c];
      ASSERT_EQ(copy.degree, p.graph->cnodelist[b].degree);
      for (int t = 0; t < copy.degree; ++t) {
        EXPECT_EQ(copy.edgelist[t].dest / lift, p.graph->cnodelist[b].edgelist[t].dest);
        EXPECT_EQ(copy.edgelist[t].socket, p.graph->cnodelist[b].edgelist[t].socket);
      }
    }
  EXPECT_EQ(oracle::checkgraph(&l.graph, oracle::tablesexact), "");
}

TEST(lifting, parallel_protograph_edges_meet_or_form_a_cycle) {
  // one variable and one check node joined twice; with L = 2 the two
  // permutations come from draws 1 and 3
  proto p(header(1, 1) + "2 0 0 0 1\n");
  bool sawequal = false, sawdifferent = false;
  for (std::uint64_t start = 1; start < 64 && !(sawequal && sawdifferent); ++start) {
    std::uint64_t s = start;
    const int first = static_cast<int>(ldpc::nextdraw(&s) * 2);
    ldpc::nextdraw(&s);
    const int second = static_cast<int>(ldpc::nextdraw(&s) * 2);
    lifted l(p.graph, 2);
    setstream(start);
    l.build();
    const ldpc::vnode *v = l.graph.vnodelist;
    if (first == second) {
      sawequal = true;
      EXPECT_EQ(v[0].edgelist[0].dest, v[0].edgelist[1].dest);
      EXPECT_EQ(v[1].edgelist[0].dest, v[1].edgelist[1].dest);
    } else {
      sawdifferent = true;
      EXPECT_NE(v[0].edgelist[0].dest, v[0].edgelist[1].dest);
      EXPECT_NE(v[1].edgelist[0].dest, v[1].edgelist[1].dest);
    }
    EXPECT_EQ(oracle::checkgraph(&l.graph, oracle::tablesexact), "");
  }
  EXPECT_TRUE(sawequal && sawdifferent);
}

TEST(lifting, degrees_of_a_hundred_and_more_are_accepted) {
  std::string text = header(2, 2) + "120";
  for (int t = 0; t < 120; ++t) text += " 0 " + std::to_string(t);
  text += "\n1 1 0\n";
  proto p(text);
  ASSERT_NE(p.graph, nullptr) << p.error;
  lifted l(p.graph, 3);
  l.build();
  EXPECT_EQ(l.graph.vmaxdegree, 120);
  EXPECT_EQ(l.graph.cmaxdegree, 120);
  EXPECT_EQ(l.graph.vdegreesnum, 2);
  EXPECT_EQ(l.graph.vdegreelist->degree[1], 120);
  EXPECT_EQ(l.graph.vdegreelist->numofnodes[1], 3);
  EXPECT_EQ(oracle::checkgraph(&l.graph, oracle::tablesexact), "");
}

TEST(lifting, impossible_liftings_are_refused) {
  proto p(example);
  ldpc::graphs graph{};
  ldpc::simulations sim{};
  sim.protograph = p.graph;
  for (int lift : {0, -3}) {
    sim.length = lift;
    EXPECT_EXIT(ldpc::constructprotograph(&graph, &sim), testing::ExitedWithCode(1),
                "^constructprotograph: lifting factor " + std::to_string(lift) +
                    "; it must be at least 1\n$");
  }
  sim.length = 1000000000;
  EXPECT_EXIT(ldpc::constructprotograph(&graph, &sim), testing::ExitedWithCode(1),
              "lifting 3 variable nodes, 2 check nodes and 6 edges by 1000000000");
  // 101 distinct variable degrees, all edges on one check node
  std::string text = header(101, 1);
  int socket = 0;
  for (int v = 0; v < 101; ++v) {
    text += std::to_string(v + 1);
    for (int s = 0; s <= v; ++s) text += " 0 " + std::to_string(socket++);
    text += "\n";
  }
  proto wide(text);
  ASSERT_NE(wide.graph, nullptr) << wide.error;
  sim.protograph = wide.graph;
  sim.length = 2;
  EXPECT_EXIT(ldpc::constructprotograph(&graph, &sim), testing::ExitedWithCode(1),
              "more than 100 distinct variable degrees");
  sim.protograph = nullptr;
  EXPECT_EXIT(ldpc::constructprotograph(&graph, &sim), testing::ExitedWithCode(1),
              "no protograph has been read");
  EXPECT_EQ(graph.vnodelist, nullptr);
}

TEST(protofile, memory_follows_the_pairs_not_the_declared_check_count) {
  // 36 bytes declaring 100,000,000 check nodes, one of them named: the
  // check nodes that no pair names cost no resident memory
  auto resident = [] {
    std::ifstream statm("/proc/self/statm");
    long long size = 0, pages = 0;
    statm >> size >> pages;
    return pages * sysconf(_SC_PAGESIZE);
  };
  const std::string text = "/**/ /**/\n1 100000000\n/**/\n1  7 0\n";
  long long before = resident();
  proto p(text);
  long long after = resident();
  ASSERT_NE(p.graph, nullptr) << p.error;
  EXPECT_LT(after - before, 64LL << 20);
  EXPECT_EQ(p.graph->cnodenum, 100000000);
  EXPECT_EQ(p.graph->cnodelist[7].degree, 1);
  EXPECT_EQ(edges(p.graph->cnodelist[7]), (pairs{{0, 0}}));
  EXPECT_EQ(p.graph->cnodelist[99999999].degree, 0);
  EXPECT_EQ(p.graph->cnodelist[0].degree, 0);
}
