// The irregular ensemble construction: counts, balancing, the report, the
// random matching and the refused distributions.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "graphfile.h"
#include "irregular.h"
#include "randomstream.h"
#include "simulation.h"
#include "oracle.h"
#include "support.h"

namespace {

// A degree distribution and the simulations record that points into it.
struct distribution {
  std::vector<int> vdegrees;
  std::vector<double> vfractions;
  std::vector<int> cdegrees;
  std::vector<double> cfractions;
  ldpc::simulations sim{};

  distribution(int length, std::vector<int> vd, std::vector<double> vf, std::vector<int> cd,
               std::vector<double> cf, int typedist = 0, int verbose = 0)
      : vdegrees(std::move(vd)),
        vfractions(std::move(vf)),
        cdegrees(std::move(cd)),
        cfractions(std::move(cf)),
        sim(ldpc::irregularsimulation(length, vdegrees, vfractions, cdegrees, cfractions, false)) {
    sim.typedist = typedist;  // also values other than 0 and 1
    sim.verbose = verbose;
  }
};

// A graph record that releases what the construction gave it.
struct built {
  testsupport::ownedrecord graph;
  built() { graph.vnodenum = -1; }
};

using testsupport::setstream;
using testsupport::streamstate;

std::uint64_t advanced(std::uint64_t state, long long draws) {
  for (long long k = 0; k < draws; ++k) ldpc::nextdraw(&state);
  return state;
}

// Node degrees of one side, in node order.
template <typename node>
std::vector<int> degrees(const node *nodes, int count) {
  std::vector<int> d;
  for (int i = 0; i < count; ++i) d.push_back(nodes[i].degree);
  return d;
}

std::vector<int> runs(std::initializer_list<std::pair<int, int>> degreecounts) {
  std::vector<int> d;
  for (auto [degree, count] : degreecounts) d.insert(d.end(), count, degree);
  return d;
}

std::vector<std::pair<int, int>> table(const ldpc::degreelist *list, int entries) {
  std::vector<std::pair<int, int>> t;
  for (int k = 0; k < entries; ++k) t.push_back({list->degree[k], list->numofnodes[k]});
  return t;
}

// Text of a condition as an extended regular expression.
std::string literal(const std::string &text) {
  std::string re;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) re += '\\';
    re += c;
  }
  return re;
}

std::string assertion(const std::string &condition) {
  return "graph\\.cpp:[0-9]+: constructirregulargraph: Assertion `" + literal(condition) +
         "' failed";
}

const char firstexamplereport[] =
    "\n"
    "Construction of (irregular) graph:\n"
    "1. Set number of degrees and max degrees.\n"
    "2. Calculate number of check nodes.\n"
    "graphcnodenum=9\n"
    "3. Number of vnodes: [before adjustments]\n"
    "degreesnum:=2\n"
    "   vdegree:=4 vdegreenum:=9\n"
    "degreesnum:=1\n"
    "   vdegree:=3 vdegreenum:=3\n"
    "degreesnum:=0\n"
    "   vdegree:=2 vdegreenum:=5\n"
    "4. Number of cnodes: [before adjustments]\n"
    "   cdegree:=8 cdegreenum:=2\n"
    "   cdegree:=5 cdegreenum:=7\n"
    "5. See if edgecounts match up.\n"
    "   Preliminary counts:\n"
    "   vedgecount:=55 cedgecount:=51\n"
    "   Need to increase cedgecount.\n"
    "   Adjustments of edgecounts.\n"
    "   Check if edgecounts match after correction.\n"
    "6. True node numbers:\n"
    "   vnodenum:=18 cnodenum:=9\n";

std::string constructcaptured(ldpc::graphs *graph, ldpc::simulations *sim) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  ldpc::constructirregulargraph(graph, sim);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(irregular, first_worked_example_counts_degrees_and_report) {
  distribution d(17, {2, 3, 4}, {0.3, 0.2, 0.5}, {5, 8}, {0.75, 0.25}, 0, 1);
  built b;
  EXPECT_EQ(constructcaptured(&b.graph, &d.sim), firstexamplereport);
  const ldpc::graphs &g = b.graph;
  EXPECT_EQ(testsupport::sizes(g), (std::vector<int>{18, 9, 3, 2, 4, 8}));
  EXPECT_DOUBLE_EQ(g.rate, 0.5);
  EXPECT_EQ(table(g.vdegreelist, 3), (std::vector<std::pair<int, int>>{{2, 6}, {3, 3}, {4, 9}}));
  EXPECT_EQ(table(g.cdegreelist, 2), (std::vector<std::pair<int, int>>{{5, 5}, {8, 4}}));
  EXPECT_EQ(degrees(g.vnodelist, 18), runs({{2, 6}, {3, 3}, {4, 9}}));
  EXPECT_EQ(degrees(g.cnodelist, 9), runs({{5, 5}, {8, 4}}));
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
  for (int v = 0; v < g.vnodenum; ++v)
    for (int s = 0; s < g.vnodelist[v].degree; ++s)
      EXPECT_EQ(g.vnodelist[v].edgelist[s].message, 0.0);
}

TEST(irregular, odd_remainder_adds_a_degree_three_node_and_removes_a_degree_two_node) {
  distribution d(16, {2, 3, 4}, {0.3, 0.4, 0.3}, {5, 8}, {0.75, 0.25});
  built b;
  EXPECT_EQ(constructcaptured(&b.graph, &d.sim), "");
  EXPECT_EQ(b.graph.vnodenum, 16);
  EXPECT_EQ(b.graph.cnodenum, 8);
  EXPECT_EQ(table(b.graph.vdegreelist, 3),
            (std::vector<std::pair<int, int>>{{2, 4}, {3, 7}, {4, 5}}));
  EXPECT_EQ(table(b.graph.cdegreelist, 2), (std::vector<std::pair<int, int>>{{5, 5}, {8, 3}}));
  EXPECT_EQ(degrees(b.graph.vnodelist, 16), runs({{2, 4}, {3, 7}, {4, 5}}));
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesexact), "");
}

TEST(irregular, edge_fractions_need_no_adjustment) {
  distribution d(100, {2, 3}, {0.4, 0.6}, {5}, {1.0}, 1, 1);
  built b;
  std::string report = constructcaptured(&b.graph, &d.sim);
  EXPECT_NE(report.find("2. Convert node percentages into node perspective.\n"
                        "graphcnodenum:=50\n"),
            std::string::npos);
  EXPECT_NE(report.find("   vedgecount:=250 cedgecount:=250\n"
                        "   Check if edgecounts match after correction.\n"),
            std::string::npos);
  EXPECT_EQ(b.graph.vnodenum, 100);
  EXPECT_EQ(b.graph.cnodenum, 50);
  EXPECT_DOUBLE_EQ(b.graph.rate, 0.5);
  EXPECT_EQ(table(b.graph.vdegreelist, 2), (std::vector<std::pair<int, int>>{{2, 50}, {3, 50}}));
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesexact), "");
}

TEST(irregular, single_check_degree_with_a_deficit_gets_a_second_entry) {
  distribution d(20, {2, 3}, {0.5, 0.5}, {6}, {1.0});
  built b;
  ldpc::constructirregulargraph(&b.graph, &d.sim);
  EXPECT_EQ(b.graph.cdegreesnum, 2);
  EXPECT_EQ(b.graph.cmaxdegree, 7);
  EXPECT_EQ(table(b.graph.cdegreelist, 2), (std::vector<std::pair<int, int>>{{6, 6}, {7, 2}}));
  EXPECT_EQ(b.graph.vnodenum, 20);
  EXPECT_EQ(b.graph.cnodenum, 8);
  EXPECT_DOUBLE_EQ(b.graph.rate, 0.6);
  EXPECT_EQ(degrees(b.graph.cnodelist, 8), runs({{6, 6}, {7, 2}}));
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesexact), "");
}

TEST(irregular, check_surplus_is_met_on_the_variable_side) {
  // 315 variable edges against 318: d = 3 adds one degree-3 node and no
  // degree-2 node, yet the degree-2 entry must be there.
  distribution d(100, {2, 3, 6}, {0.45, 0.35, 0.2}, {6}, {1.0}, 0, 1);
  built b;
  std::string report = constructcaptured(&b.graph, &d.sim);
  EXPECT_NE(report.find("graphcnodenum=53\n"), std::string::npos);
  EXPECT_EQ(report.find("Need to increase"), std::string::npos);
  EXPECT_NE(report.find("   Adjustments of edgecounts.\n"), std::string::npos);
  EXPECT_EQ(table(b.graph.vdegreelist, 3),
            (std::vector<std::pair<int, int>>{{2, 45}, {3, 36}, {6, 20}}));
  EXPECT_EQ(b.graph.vnodenum, 101);
  EXPECT_EQ(b.graph.cnodenum, 53);
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesexact), "");

  distribution nodegreetwo(100, {4, 3, 6}, {0.45, 0.35, 0.2}, {6}, {1.0});
  built c;
  EXPECT_EXIT(ldpc::constructirregulargraph(&c.graph, &nodegreetwo.sim),
              testing::KilledBySignal(SIGABRT),
              assertion("(*(*graph).vdegreelist).degree[0] == 2"));
}

TEST(irregular, quiet_and_negative_verbose_reports) {
  distribution equal(100, {2, 3}, {0.4, 0.6}, {5}, {1.0}, 1, 1);
  built a;
  std::string report = constructcaptured(&a.graph, &equal.sim);
  EXPECT_EQ(report.find("Need to increase"), std::string::npos);
  EXPECT_EQ(report.find("Adjustments"), std::string::npos);

  equal.sim.verbose = -1;
  built b;
  EXPECT_EQ(constructcaptured(&b.graph, &equal.sim), "graphcnodenum:=50\n");

  distribution nodes(17, {2, 3, 4}, {0.3, 0.2, 0.5}, {5, 8}, {0.75, 0.25}, 0, -1);
  built c;
  EXPECT_EQ(constructcaptured(&c.graph, &nodes.sim),
            "2. Calculate number of check nodes.\ngraphcnodenum=9\n");
  nodes.sim.verbose = 0;
  built e;
  EXPECT_EQ(constructcaptured(&e.graph, &nodes.sim), "");
}

TEST(irregular, entries_with_count_zero_stay_in_the_table_and_give_no_node) {
  // 20 x 0.01 rounds to 0, also for the last entry of the list
  distribution d(20, {2, 3, 4}, {0.5, 0.5, 0.01}, {5, 6, 9}, {0.5, 0.5, 0.01});
  built b;
  ldpc::constructirregulargraph(&b.graph, &d.sim);
  EXPECT_EQ(b.graph.vdegreelist->numofnodes[2], 0);
  EXPECT_EQ(b.graph.cdegreelist->numofnodes[2], 0);
  EXPECT_EQ(b.graph.vmaxdegree, 4);
  for (int v = 0; v < b.graph.vnodenum; ++v) EXPECT_LT(b.graph.vnodelist[v].degree, 4);
  for (int c = 0; c < b.graph.cnodenum; ++c) EXPECT_LT(b.graph.cnodelist[c].degree, 9);
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesmatch), "");

  // an empty first entry is passed over as well
  distribution e(10, {2, 3}, {0.01, 1.0}, {3, 6}, {0.01, 1.0});
  built c;
  ldpc::constructirregulargraph(&c.graph, &e.sim);
  EXPECT_EQ(c.graph.vnodelist[0].degree, 3);
  EXPECT_EQ(c.graph.cnodelist[0].degree, 6);
  EXPECT_EQ(oracle::checkgraph(&c.graph, oracle::tablesmatch), "");
}

TEST(irregular, repeated_edges_are_kept) {
  distribution d(3, {2}, {1.0}, {6}, {1.0});
  built b;
  ldpc::constructirregulargraph(&b.graph, &d.sim);
  ASSERT_EQ(b.graph.cnodenum, 1);
  EXPECT_EQ(b.graph.cnodelist[0].degree, 6);
  for (int v = 0; v < 3; ++v)
    for (int s = 0; s < 2; ++s) EXPECT_EQ(b.graph.vnodelist[v].edgelist[s].dest, 0);
  EXPECT_EQ(oracle::checkgraph(&b.graph, oracle::tablesexact), "");
}

TEST(irregular, matching_is_one_graph_stream_permutation_of_the_sockets) {
  distribution d(2000, {2, 3, 8}, {0.5, 0.3, 0.2}, {7, 8}, {0.5, 0.5});
  const std::uint64_t start = 0x1234abcd5678ULL;
  setstream(start);
  built b;
  ldpc::constructirregulargraph(&b.graph, &d.sim);
  const ldpc::graphs &g = b.graph;
  std::vector<int> first(g.cnodenum);  // number of the first socket of each check node
  int edges = 0;
  for (int c = 0; c < g.cnodenum; ++c) {
    first[c] = edges;
    edges += g.cnodelist[c].degree;
  }
  // exactly E draws
  EXPECT_EQ(streamstate(), advanced(start, edges));

  setstream(start);
  std::vector<int> perm(edges), iperm(edges);
  ldpc::graphrandompermutation(perm.data(), iperm.data(), edges);
  int k = 0, mismatches = 0;
  for (int v = 0; v < g.vnodenum; ++v)
    for (int s = 0; s < g.vnodelist[v].degree; ++s, ++k) {
      const ldpc::edge &e = g.vnodelist[v].edgelist[s];
      if (first[e.dest] + e.socket != perm[k]) ++mismatches;
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(oracle::checkgraph(&g, oracle::tablesexact), "");
}

TEST(irregular, same_state_same_graph_other_state_other_matching) {
  distribution d(500, {2, 3, 8}, {0.5, 0.3, 0.2}, {7, 8}, {0.5, 0.5});
  built a, b, c;
  setstream(42);
  ldpc::constructirregulargraph(&a.graph, &d.sim);
  setstream(42);
  ldpc::constructirregulargraph(&b.graph, &d.sim);
  EXPECT_EQ(testsupport::describe(&a.graph), testsupport::describe(&b.graph));
  setstream(43);
  ldpc::constructirregulargraph(&c.graph, &d.sim);
  EXPECT_NE(testsupport::describe(&a.graph), testsupport::describe(&c.graph));
  EXPECT_EQ(degrees(a.graph.vnodelist, a.graph.vnodenum),
            degrees(c.graph.vnodelist, c.graph.vnodenum));
  EXPECT_EQ(degrees(a.graph.cnodelist, a.graph.cnodenum),
            degrees(c.graph.cnodelist, c.graph.cnodenum));
}

TEST(irregular, unknown_typedist_ends_the_run) {
  testsupport::tempdir dir;
  const std::string out = dir.file("out");
  for (int typedist : {2, -1}) {
    distribution d(17, {2, 3, 4}, {0.3, 0.2, 0.5}, {5, 8}, {0.75, 0.25}, typedist, 0);
    built b;
    EXPECT_EXIT(
        {
          std::freopen(out.c_str(), "w", stdout);
          ldpc::constructirregulargraph(&b.graph, &d.sim);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(testsupport::readfile(out), "\nyou should never end here--graph\n");
  }
}

TEST(irregular, failed_conditions_abort_with_the_report_flushed) {
  testsupport::tempdir dir;
  const std::string out = dir.file("out");
  distribution empty(17, {}, {}, {5, 8}, {0.75, 0.25}, 0, 1);
  built b;
  EXPECT_EXIT(
      {
        std::freopen(out.c_str(), "w", stdout);
        ldpc::constructirregulargraph(&b.graph, &empty.sim);
      },
      testing::KilledBySignal(SIGABRT), assertion("vdegreesnum > 0 && cdegreesnum > 0"));
  EXPECT_EQ(testsupport::readfile(out),
            "\nConstruction of (irregular) graph:\n1. Set number of degrees and max degrees.\n");

  // an odd remainder without a degree-3 entry at position 1, also with a
  // single variable entry
  distribution nothree(9, {2, 4}, {0.5, 0.5}, {5, 8}, {0.75, 0.25});  // 30 against 28 + 3
  ASSERT_EXIT(ldpc::constructirregulargraph(&b.graph, &nothree.sim),
              testing::KilledBySignal(SIGABRT),
              assertion("(*(*graph).vdegreelist).degree[1] == 3"));
  distribution single(7, {2}, {1.0}, {5}, {1.0});  // 14 edges against 15
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &single.sim),
              testing::KilledBySignal(SIGABRT),
              assertion("(*(*graph).vdegreelist).degree[1] == 3"));
}

TEST(irregular, distributions_it_cannot_build_are_refused_before_building) {
  built b;
  // every count rounds to 0
  distribution none(1, {2, 3}, {0.3, 0.3}, {6}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &none.sim), testing::ExitedWithCode(1),
              "constructirregulargraph: every variable count is 0");
  // a deficit with no check node to raise
  distribution nocheck(4, {2}, {1.0}, {20}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &nocheck.sim), testing::ExitedWithCode(1),
              "constructirregulargraph: the check side has 0 edges against 8 but no node to "
              "raise");
  // a deficit left when every check node is in the last entry
  distribution top(3, {2, 3}, {0.5, 0.5}, {2, 3}, {0.0, 1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &top.sim), testing::ExitedWithCode(1),
              "still has 9 edges against 10 after every node has reached the last check "
              "degree 3");
  // remainder 1 with an empty degree-2 entry
  distribution negative(2, {2, 3, 4}, {0.0, 0.3, 0.7}, {5, 8}, {0.75, 0.25});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &negative.sim), testing::ExitedWithCode(1),
              "needs a degree-2 variable node to remove, but the degree-2 entry has 0 nodes");
  // more entries than a degree table holds
  std::vector<int> many(101);
  std::vector<double> shares(101, 0.01);
  for (int k = 0; k < 101; ++k) many[k] = k + 2;
  distribution wide(1000, many, shares, {5}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &wide.sim), testing::ExitedWithCode(1),
              "101 variable and 1 check degrees; a degree table holds at most 100");
  // negative counts and edge totals beyond an int
  distribution below(10, {2, 3}, {1.0, -0.1}, {6}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &below.sim), testing::ExitedWithCode(1),
              "count of variable entry 1 comes out as -1");
  distribution backwards(-10, {2, 3}, {0.5, 0.5}, {6}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &backwards.sim), testing::ExitedWithCode(1),
              "the estimated number of check nodes is outside 0..2147483647");
  distribution huge(2000000000, {2, 3}, {0.5, 0.5}, {6}, {1.0});
  EXPECT_EXIT(ldpc::constructirregulargraph(&b.graph, &huge.sim), testing::ExitedWithCode(1),
              "the distribution gives 5000000000 variable and");
  EXPECT_EQ(b.graph.vnodenum, -1);
}

namespace {

// Whether constructirregulargraph returns for sim, run in a child process:
// a refusal ends it with status 1, a failed condition aborts it.
bool constructionsucceeds(const ldpc::simulations &sim) {
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ldpc::simulations copy = sim;
    ldpc::graphs graph{};
    ldpc::constructirregulargraph(&graph, &copy);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<int> sorteddegrees(std::mt19937 &rng, int low, int high) {
  std::vector<int> degrees;
  for (int d = low; d <= high; ++d)
    if (rng() % 3 == 0) degrees.push_back(d);
  if (degrees.empty()) degrees.push_back(low + static_cast<int>(rng() % (high - low + 1)));
  return degrees;
}

std::vector<double> randomfractions(std::mt19937 &rng, std::size_t count) {
  std::vector<double> fractions(count);
  double sum = 0.0;
  for (double &f : fractions) sum += f = 1.0 + static_cast<double>(rng() % 1000);
  for (double &f : fractions) f /= sum;
  return fractions;
}

}  // namespace

// The pre-check and the construction share their arithmetic: over random
// sorted distributions and lengths (about half of them unbuildable), the
// plan succeeds exactly when the construction does, and then gives its
// counts. The distributions that aborted tanner are among the failures.
TEST(irregular, the_plan_succeeds_exactly_when_the_construction_does) {
  std::mt19937 rng(20261208);
  int built = 0, refused = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<int> vd = sorteddegrees(rng, 1 + static_cast<int>(rng() % 3), 9);
    std::vector<int> cd = sorteddegrees(rng, 2 + static_cast<int>(rng() % 4), 16);
    distribution d(1 + static_cast<int>(rng() % 3000), vd, randomfractions(rng, vd.size()), cd,
                   randomfractions(rng, cd.size()), static_cast<int>(rng() % 2));
    ldpc::irregularplan plan;
    bool planned = ldpc::planirregular(&d.sim, &plan);
    ASSERT_EQ(planned, constructionsucceeds(d.sim)) << "trial " << trial;
    if (!planned) {
      ++refused;
      EXPECT_NE(ldpc::explainirregular(plan), "") << "trial " << trial;
      continue;
    }
    ++built;
    ::built b;
    ldpc::constructirregulargraph(&b.graph, &d.sim);
    EXPECT_EQ(b.graph.vnodenum, plan.vnodenum);
    EXPECT_EQ(b.graph.cnodenum, plan.cnodenum);
    EXPECT_EQ(b.graph.cdegreesnum, plan.cdegreesnum);
    for (int k = 0; k < plan.cdegreesnum; ++k)
      EXPECT_EQ(b.graph.cdegreelist->numofnodes[k], plan.ccount[k]);
  }
  EXPECT_GT(built, 50);
  EXPECT_GT(refused, 50);

  struct {
    int vdegree, cdegree, length;
  } known[] = {{3, 6, 999}, {3, 6, 1001}, {3, 6, 1003}, {4, 8, 1001}, {3, 4, 1002}};
  for (auto [vdegree, cdegree, length] : known) {
    distribution d(length, {vdegree}, {1.0}, {cdegree}, {1.0});
    ldpc::irregularplan plan;
    EXPECT_FALSE(ldpc::planirregular(&d.sim, &plan)) << vdegree << "/" << cdegree << " " << length;
    EXPECT_FALSE(constructionsucceeds(d.sim)) << vdegree << "/" << cdegree << " " << length;
  }
}

// irregularsimulation fills the record as the fixture above does: the same
// graph, edge for edge, from the same stream state, with node and with edge
// fractions, and nothing else set.
TEST(irregular, irregularsimulation_builds_what_the_filled_record_builds) {
  struct row {
    int length;
    std::vector<int> vdeg;
    std::vector<double> vfrac;
    std::vector<int> cdeg;
    std::vector<double> cfrac;
    bool edgefractions;
  } rows[] = {
      {1000, {3}, {1.0}, {6}, {1.0}, false},
      {2000, {2, 3, 8}, {0.5, 0.3, 0.2}, {7, 8}, {0.5, 0.5}, false},
      {500, {2, 3}, {0.5, 0.5}, {6}, {1.0}, true},
  };
  for (row &r : rows) {
    distribution filled(r.length, r.vdeg, r.vfrac, r.cdeg, r.cfrac, r.edgefractions ? 1 : 0);
    ldpc::simulations sim =
        ldpc::irregularsimulation(r.length, r.vdeg, r.vfrac, r.cdeg, r.cfrac, r.edgefractions);
    EXPECT_EQ(sim.typedist, filled.sim.typedist);
    EXPECT_EQ(sim.vdegreelist, r.vdeg.data());
    EXPECT_EQ(sim.cpercentagelist, r.cfrac.data());
    EXPECT_EQ(sim.newgraph + sim.ensemble + sim.verbose, 0);
    EXPECT_EQ(sim.protograph, nullptr);
    built a, b;
    setstream(0x123456789ab);
    ldpc::constructirregulargraph(&a.graph, &filled.sim);
    setstream(0x123456789ab);
    ldpc::constructirregulargraph(&b.graph, &sim);
    EXPECT_EQ(testsupport::describe(&a.graph), testsupport::describe(&b.graph)) << r.length;
  }
}
