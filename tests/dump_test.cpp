// The graph dump on standard output, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support.h"

using testsupport::makegraph;

namespace {

const char opening[] = "\n ************************\n";
const char closing[] = "\n*******************\n";

std::string dump(ldpc::graphs *graph, int what) {
  testing::internal::CaptureStdout();
  ldpc::printgraph(graph, what);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// Three variable and two check nodes: check 0 joins all three, check 1
// joins variables 0 and 2.
ldpc::graphs *threebytwo() { return makegraph(2, {{0, 1}, {0}, {0, 1}}); }

const char neighbours[] =
    "list of neighbors from vnode perspective:\n"
    "     0:      0[ 0]      1[ 0] \n"
    "     1:      0[ 1] \n"
    "     2:      0[ 2]      1[ 1] \n"
    "list of neighbors from the cnode perspective:\n"
    "     0:     0[ 0]      1[ 0]      2[ 0] \n"
    "     1:     0[ 1]      2[ 1] \n";

const char summary[] =
    "\n"
    "Graph: rate:=0.333333\n"
    "vnodenum:=     3  cnodenum:=     2\n"
    "vdegreesnum:=  2  cdegreesnum:=  2\n"
    "vmaxdegree:=   2  cmaxdegree:=   3\n"
    "\n"
    "vdegreelist:\n"
    "degree:=  1 number of nodes:=  1\n"
    "degree:=  2 number of nodes:=  2\n"
    "\n"
    "cdegreelist:\n"
    "degree:=  2 number of nodes:=  1\n"
    "degree:=  3 number of nodes:=  1\n";

}  // namespace

TEST(dump, neighbour_lists_of_the_three_by_two_example) {
  testsupport::ownedgraph g = threebytwo();
  EXPECT_EQ(dump(g, 2), std::string(opening) + neighbours + closing);
}

TEST(dump, sections_follow_the_low_three_bits_in_fixed_order) {
  testsupport::ownedgraph g = threebytwo();
  EXPECT_EQ(dump(g, 0), std::string(opening) + closing);
  EXPECT_EQ(dump(g, 8), std::string(opening) + closing);
  EXPECT_EQ(dump(g, 1), std::string(opening) + summary + closing);
  EXPECT_EQ(dump(g, 2 | 16), dump(g, 2));
  std::string all = dump(g, 7);
  EXPECT_EQ(all.find(std::string(opening) + summary + neighbours + "variable messages:\n"), 0u);
  std::string six = dump(g, 6);
  EXPECT_EQ(six.find(std::string(opening) + neighbours + "variable messages:\n"), 0u);
}

TEST(dump, messages_come_from_the_other_end_of_each_edge) {
  testsupport::ownedgraph g = threebytwo();
  // Variable-side entries hold 1.v.s, check-side entries 2.c.t, so each
  // printed value tells where it was read.
  for (int v = 0; v < g->vnodenum; ++v) {
    g->vnodelist[v].value = v == 1 ? -0.125 : 1e-7 * v;
    for (int s = 0; s < g->vnodelist[v].degree; ++s)
      g->vnodelist[v].edgelist[s].message = 100 + 10 * v + s;
  }
  for (int c = 0; c < g->cnodenum; ++c) {
    g->cnodelist[c].value = 99;  // never printed
    for (int t = 0; t < g->cnodelist[c].degree; ++t)
      g->cnodelist[c].edgelist[t].message = 200 + 10 * c + t + 0.5;
  }
  EXPECT_EQ(dump(g, 4), std::string(opening) +
                            "variable messages:\n"
                            "     0: [     0]  200.5  210.5 \n"
                            "     1: [-0.125]  201.5 \n"
                            "     2: [ 2e-07]  202.5  211.5 \n"
                            "check messages:\n"
                            "     0:    100    110    120 \n"
                            "     1:    101    121 \n" +
                            closing);
}

TEST(dump, degree_zero_nodes_and_empty_graphs) {
  testsupport::ownedgraph g = makegraph(2, {{}, {1}});
  EXPECT_EQ(dump(g, 6), std::string(opening) +
                            "list of neighbors from vnode perspective:\n"
                            "     0: \n"
                            "     1:      1[ 0] \n"
                            "list of neighbors from the cnode perspective:\n"
                            "     0:\n"
                            "     1:     1[ 0] \n"
                            "variable messages:\n"
                            "     0: [     0] \n"
                            "     1: [     0]      0 \n"
                            "check messages:\n"
                            "     0: \n"
                            "     1:      0 \n" +
                            closing);

  ldpc::graphs none{};
  ldpc::degreelist empty{};
  none.vdegreelist = none.cdegreelist = &empty;
  EXPECT_EQ(dump(&none, 6), std::string(opening) +
                                "list of neighbors from vnode perspective:\n"
                                "list of neighbors from the cnode perspective:\n"
                                "variable messages:\n"
                                "check messages:\n" +
                                closing);
}
