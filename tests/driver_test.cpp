// The construction driver: every row of its decision table, seed rows, the
// recorded stream state, files read and written; and the example program
// that drives it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "randomstream.h"
#include "simulation.h"
#include "oracle.h"
#include "support.h"

namespace {

using testsupport::fileexists;

// The configuration names files relative to the working directory (the
// name fields hold 24 characters), so each test works in a fresh one.
struct workdir {
  char previous[4096];
  testsupport::tempdir dir;
  workdir() {
    if (getcwd(previous, sizeof previous) == nullptr) previous[0] = '\0';
    if (chdir(dir.path.c_str()) != 0) ADD_FAILURE() << "chdir " << dir.path;
  }
  ~workdir() {
    if (chdir(previous) != 0) ADD_FAILURE() << "chdir back";
  }
};

const char smallproto[] =
    "/* protograph */ /* counts */ 3 2 /* nodes */\n"
    "2 0 0 1 0\n"
    "2 0 1 1 1\n"
    "2 0 2 1 2\n";

std::uint64_t rowstate(int row) { return 0x100000000ULL * 7 + 1000 + row; }

// One simulation's records, as a caller keeps them between calls.
struct session {
  std::vector<int> vdegrees{2, 3, 8};
  std::vector<double> vfractions{0.5, 0.3, 0.2};
  std::vector<int> cdegrees{7, 8};
  std::vector<double> cfractions{0.5, 0.5};
  ldpc::simulations sim{};
  testsupport::ownedrecord graph;
  ldpc::randomizes randomize{};
  ldpc::encoders encoder{0, 7, nullptr, nullptr};
  ldpc::reruns rerun{};
  std::vector<std::array<unsigned short, 6>> rows;
  std::vector<unsigned short *> seeds;

  session(int newgraph, int constructgraphonce, int ensemble = 0) {
    sim.newgraph = newgraph;
    sim.constructgraphonce = constructgraphonce;
    sim.ensemble = ensemble;
    sim.length = ensemble == 1 ? 10 : 200;
    sim.vdegreesnum = 3;
    sim.vdegreelist = vdegrees.data();
    sim.vpercentagelist = vfractions.data();
    sim.cdegreesnum = 2;
    sim.cdegreelist = cdegrees.data();
    sim.cpercentagelist = cfractions.data();
    std::snprintf(sim.graphfile, sizeof sim.graphfile, "graph.code");
    std::snprintf(sim.protofile, sizeof sim.protofile, "small.proto");
    graph.vnodenum = -1;
  }
  // A repeat run with seed rows 0..9, each a different graph state.
  void repeat() {
    rows.resize(10);
    for (int r = 0; r < 10; ++r) {
      ldpc::storestate(rows[r].data(), rowstate(r));
      ldpc::storestate(rows[r].data() + 3, 5);
      seeds.push_back(rows[r].data());
    }
    rerun.rerun = 2;
    rerun.seeds = seeds.data();
  }
  void call(int loop, int l) {
    ldpc::constructgraph(&sim, &graph, &randomize, &encoder, &rerun, loop, l);
  }
  // The report printed by a call with verbose 1: tells whether it built.
  std::string reportof(int loop, int l) {
    sim.verbose = 1;
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    call(loop, l);
    std::string out = testing::internal::GetCapturedStdout();
    sim.verbose = 0;
    return out;
  }
  std::uint64_t recorded() const { return ldpc::loadstate(randomize.graphsimrand); }
  ~session() {
    if (sim.protograph != nullptr) {
      ldpc::freegraph(sim.protograph);
      std::free(sim.protograph);
    }
  }
};

// A repeat run in a fresh working directory.
struct repeatrun : workdir, session {
  repeatrun(int newgraph, int constructgraphonce, int ensemble = 0)
      : session(newgraph, constructgraphonce, ensemble) {
    repeat();
  }
};

int constructions(const std::string &report) {
  int n = 0;
  for (std::size_t at = report.find("Construction of"); at != std::string::npos;
       at = report.find("Construction of", at + 1))
    ++n;
  return n;
}

using testsupport::setstream;
using testsupport::streamstate;

int edgecount(const ldpc::graphs *g) {
  int e = 0;
  for (int v = 0; v < g->vnodenum; ++v) e += g->vnodelist[v].degree;
  return e;
}

std::uint64_t advanced(std::uint64_t state, int draws) {
  for (int k = 0; k < draws; ++k) ldpc::nextdraw(&state);
  return state;
}

// The irregular graph of the session's configuration from a given state.
std::string reference(session *s, std::uint64_t state) {
  const std::uint64_t saved = streamstate();
  setstream(state);
  testsupport::ownedrecord g;
  ldpc::constructirregulargraph(&g, &s->sim);
  std::string text = testsupport::describe(&g);
  setstream(saved);
  return text;
}

// The session's graph is the one built from state, and state is recorded.
void expectbuiltfrom(session *s, std::uint64_t state) {
  EXPECT_EQ(s->recorded(), state);
  EXPECT_EQ(testsupport::describe(&s->graph), reference(s, state));
}

}  // namespace

TEST(driver, newgraph_zero_reads_the_file_once) {
  workdir w;
  testsupport::ownedgraph g = testsupport::makegraph(2, {{0}, {0, 1}, {0}, {0, 1}});
  int iphi[] = {1};
  ldpc::encoders stored{0, 1, iphi, nullptr};
  ldpc::savegraph(g, &stored, "graph.code", 0);
  session s(0, 1);
  setstream(77);
  s.call(0, 0);
  EXPECT_EQ(testsupport::describe(&s.graph), testsupport::describe(g));
  ASSERT_EQ(s.encoder.gap, 1);
  EXPECT_EQ(s.encoder.iphi[0], 1);
  // later calls read nothing: the file is gone and nothing fails
  std::remove("graph.code");
  const ldpc::vnode *nodes = s.graph.vnodelist;
  s.call(3, 1);
  s.call(0, 0);
  s.call(-1, -1);
  EXPECT_EQ(s.graph.vnodelist, nodes);
  EXPECT_EQ(s.encoder.gap, 1);
  EXPECT_FALSE(fileexists("graph.code"));
  EXPECT_EQ(streamstate(), 77u);
  EXPECT_EQ(s.recorded(), 0u);
  std::free(s.encoder.iphi);
}

TEST(driver, other_newgraph_values_do_nothing) {
  workdir w;
  for (int newgraph : {2, -1}) {
    session s(newgraph, 1);
    s.repeat();
    setstream(77);
    for (auto [loop, l] : {std::pair{0, 0}, {0, 1}, {3, 0}, {2, -1}}) s.call(loop, l);
    EXPECT_EQ(s.graph.vnodenum, -1);
    EXPECT_EQ(s.encoder.gap, 7);
    EXPECT_EQ(s.recorded(), 0u);
    EXPECT_EQ(streamstate(), 77u);
    EXPECT_FALSE(fileexists("graph.code"));
  }
}

TEST(driver, construct_once_saves_the_first_graph_and_keeps_it) {
  repeatrun s(1, 1);
  s.call(2, 0);  // the first construction takes seed row loop + 1
  expectbuiltfrom(&s, rowstate(3));
  EXPECT_EQ(s.encoder.gap, -1);
  ASSERT_TRUE(fileexists("graph.code"));
  EXPECT_EQ(testsupport::readfile("graph.code"), testsupport::describe(&s.graph));
  // every later call returns at once: nothing built, nothing written
  std::remove("graph.code");
  for (auto [loop, l] : {std::pair{3, 1}, {0, 0}, {5, 0}, {5, -1}})
    EXPECT_EQ(s.reportof(loop, l), "");
  EXPECT_FALSE(fileexists("graph.code"));
  EXPECT_EQ(s.recorded(), rowstate(3));
}

// The first call: with l 0 one construction, from row 1; with l above 0 a
// second one, from row loop (0), is the one kept and recorded. The stream
// ends after the kept graph's draws; nothing is saved.
TEST(driver, first_call_constructs_once_with_l_zero_and_twice_above) {
  const struct { int l, constructions, row; } cases[] = {{0, 1, 1}, {1, 2, 0}};
  for (const auto &c : cases) {
    repeatrun s(1, 0);
    EXPECT_EQ(constructions(s.reportof(0, c.l)), c.constructions) << "l " << c.l;
    expectbuiltfrom(&s, rowstate(c.row));
    EXPECT_EQ(streamstate(), advanced(rowstate(c.row), edgecount(&s.graph)));
    EXPECT_EQ(s.encoder.gap, -1);
    EXPECT_FALSE(fileexists("graph.code"));
  }
}

TEST(driver, reconstruction_rule_on_loop_and_l) {
  repeatrun s(1, 0);
  s.call(0, 0);
  // kept: l 0 with loop 0 or less, and l below 0 whatever loop is
  for (auto [loop, l] : {std::pair{0, 0}, {-4, 0}, {7, -1}, {0, -1}}) {
    const std::uint64_t stream = streamstate();
    EXPECT_EQ(s.reportof(loop, l), "") << loop << " " << l;
    EXPECT_EQ(streamstate(), stream);
    EXPECT_EQ(s.recorded(), rowstate(1));
  }
  // fresh: l 0 with loop above 0, l above 0 with any loop; seed row loop
  for (auto [loop, l] : {std::pair{3, 0}, {2, 5}, {0, 1}}) {
    EXPECT_EQ(constructions(s.reportof(loop, l)), 1) << loop << " " << l;
    expectbuiltfrom(&s, rowstate(loop));
  }
  EXPECT_EQ(s.encoder.gap, -1);
  EXPECT_FALSE(fileexists("graph.code"));
}

TEST(driver, other_constructgraphonce_keeps_the_first_graph_unsaved) {
  repeatrun s(1, 2);
  EXPECT_EQ(constructions(s.reportof(0, 0)), 1);
  for (auto [loop, l] : {std::pair{3, 0}, {1, 1}, {0, 5}}) EXPECT_EQ(s.reportof(loop, l), "");
  EXPECT_EQ(s.recorded(), rowstate(1));
  EXPECT_FALSE(fileexists("graph.code"));
}

TEST(driver, a_fresh_run_continues_the_stream_and_records_each_start) {
  workdir w;
  session s(1, 0);
  setstream(12345);
  s.call(0, 0);
  EXPECT_EQ(s.recorded(), 12345u);
  const std::uint64_t second = advanced(12345, edgecount(&s.graph));
  EXPECT_EQ(streamstate(), second);
  s.call(1, 0);
  expectbuiltfrom(&s, second);
}

TEST(driver, protograph_file_is_read_once_per_run) {
  repeatrun s(1, 0, 1);
  testsupport::writefile("small.proto", smallproto);
  s.call(0, 0);
  ASSERT_NE(s.sim.protograph, nullptr);
  EXPECT_EQ(s.graph.vnodenum, 30);
  EXPECT_EQ(streamstate(), advanced(rowstate(1), 6 * 10));
  const ldpc::graphs *protograph = s.sim.protograph;
  // re-constructions lift the stored protograph; the file is not needed
  std::remove("small.proto");
  s.call(4, 0);
  EXPECT_EQ(s.sim.protograph, protograph);
  EXPECT_EQ(s.recorded(), rowstate(4));
  EXPECT_EQ(streamstate(), advanced(rowstate(4), 6 * 10));
  EXPECT_EQ(oracle::checkgraph(&s.graph, oracle::tablesexact), "");
}

TEST(driver, unknown_ensemble_ends_the_run) {
  workdir w;
  session first(1, 0, 5);
  EXPECT_EXIT(
      {
        std::freopen("out", "w", stdout);
        first.call(0, 0);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(testsupport::readfile("out"), "\n this enemble has not yet been implemented!\n");

  session later(1, 0, 0);
  later.call(0, 0);
  later.sim.ensemble = 7;
  EXPECT_EXIT(
      {
        std::freopen("out", "w", stdout);
        later.call(1, 0);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(testsupport::readfile("out"), "\nensemble is not yet implemented\n");
}

TEST(driver, refused_configurations_build_and_save_nothing) {
  workdir w;
  session rounded(1, 1);
  rounded.sim.length = 1;  // one degree-2 node, and every check count rounds to 0
  EXPECT_EXIT(rounded.call(0, 0), testing::ExitedWithCode(1),
              "constructirregulargraph: the check side has 0 edges against 2 but no node to "
              "raise");
  EXPECT_FALSE(fileexists("graph.code"));

  testsupport::writefile("small.proto", "/* */ /* */ 2 1 /* */ 1 0 0 1 0 0\n");
  session badproto(1, 1, 1);
  EXPECT_EXIT(badproto.call(0, 0), testing::ExitedWithCode(1),
              "^proto-file small.proto: variable node 1, socket 0 names socket 0 of check "
              "node 0, which variable node 0, socket 0 names already");
  EXPECT_FALSE(fileexists("graph.code"));

  testsupport::writefile("small.proto", smallproto);
  session nolift(1, 1, 1);
  nolift.sim.length = 0;
  EXPECT_EXIT(nolift.call(0, 0), testing::ExitedWithCode(1),
              "^constructprotograph: lifting factor 0; it must be at least 1\n$");
  EXPECT_FALSE(fileexists("graph.code"));
}

namespace {

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    result.push_back(text.substr(start, end - start));
  return result;
}

// "loop 1: 3510 edges, graph stream from 1 2 3, fingerprint ..." -> "1 2 3"
std::string startstate(const std::string &line) {
  std::size_t from = line.find("from ") + 5;
  return line.substr(from, line.find(", fingerprint", from) - from);
}

// "... fingerprint 0123456789abcdef, ..." -> "0123456789abcdef"
std::string fingerprintof(const std::string &line) {
  return line.substr(line.find("fingerprint ") + 12, 16);
}

// The simulation example in dir on the bundled protograph (copied there),
// lifted to length bits, for the given loops; the graph saved to lifted.code.
testsupport::runresult simulatebundled(const testsupport::tempdir &dir, const char *length,
                                       const char *loops) {
  testsupport::writefile(dir.file("half-rate.proto"),
                         testsupport::readfile(std::string(EXAMPLES_DIR) + "/half-rate.proto"));
  return testsupport::run(SIMULATE_PATH, {"-C", dir.path, "--proto", "half-rate.proto", "--length",
                                          length, "--loops", loops, "--save", "lifted.code"});
}

}  // namespace

TEST(simulate_example, repeats_a_run_from_its_recorded_seed_rows) {
  testsupport::tempdir dir;
  testsupport::runresult first =
      testsupport::run(SIMULATE_PATH, {"-C", dir.path, "--loops", "3", "--record", "seeds"});
  ASSERT_EQ(first.status, 0) << first.err;
  std::vector<std::string> loops = lines(first.out);
  ASSERT_EQ(loops.size(), 3u) << first.out;
  EXPECT_EQ(loops[0].rfind("loop 0: 3510 edges, graph stream from ", 0), 0u) << loops[0];
  // every loop constructs afresh from where the stream stands
  EXPECT_NE(startstate(loops[0]), startstate(loops[1]));
  EXPECT_NE(loops[1].substr(loops[1].find("fingerprint")),
            loops[2].substr(loops[2].find("fingerprint")));

  testsupport::runresult again =
      testsupport::run(SIMULATE_PATH, {"-C", dir.path, "--repeat", "seeds"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, first.out);

  testsupport::runresult other = testsupport::run(SIMULATE_PATH, {"-C", dir.path, "--seed", "9"});
  EXPECT_NE(lines(other.out)[0], loops[0]);
}

TEST(simulate_example, bundled_protograph_saved_and_read_back) {
  testsupport::tempdir dir;
  testsupport::runresult saved = simulatebundled(dir, "20", "2");
  ASSERT_EQ(saved.status, 0) << saved.err;
  std::vector<std::string> loops = lines(saved.out);
  ASSERT_EQ(loops.size(), 2u);
  EXPECT_EQ(loops[0].rfind("loop 0: 200 edges,", 0), 0u) << loops[0];
  // one graph, kept for the whole run (the frames decoded on it differ)
  EXPECT_EQ(fingerprintof(loops[0]), fingerprintof(loops[1]));

  testsupport::runresult read =
      testsupport::run(SIMULATE_PATH, {"-C", dir.path, "--read", "lifted.code", "--loops", "1"});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(fingerprintof(read.out), fingerprintof(loops[0]));

  testsupport::runresult refused = testsupport::run(
      SIMULATE_PATH, {"-C", dir.path, "--proto", "half-rate.proto", "--length", "0"});
  EXPECT_EQ(refused.status, 2);  // a bad option value is a usage error
  EXPECT_EQ(refused.err.rfind("simulate: --length wants a number from 1", 0), 0u) << refused.err;
  EXPECT_EQ(testsupport::run(SIMULATE_PATH, {"--loops"}).status, 2);
}

TEST(simulate_example, prints_the_fingerprint_that_tanner_prints) {
  // one definition, computed here from its description as an oracle:
  // mix(S ^ mix(V * 2^32 + C)), S the sum of mix(v * 2^32 + c) over edges
  auto mix = [](std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
  };
  testsupport::tempdir dir;
  testsupport::runresult saved = simulatebundled(dir, "30", "1");
  ASSERT_EQ(saved.status, 0) << saved.err;
  const std::string printed = saved.out.substr(saved.out.find("fingerprint ") + 12, 16);

  testsupport::ownedrecord graph;
  ldpc::encoders encoder;
  graph.vnodenum = -1;
  ldpc::readgraph(&graph, &encoder, dir.file("lifted.code").c_str(), 0);
  std::uint64_t sum = 0;
  for (int v = 0; v < graph.vnodenum; ++v)
    for (int s = 0; s < graph.vnodelist[v].degree; ++s)
      sum += mix(static_cast<std::uint64_t>(v) << 32 |
                 static_cast<std::uint64_t>(graph.vnodelist[v].edgelist[s].dest));
  char expected[17];
  std::snprintf(expected, sizeof expected, "%016llx",
                static_cast<unsigned long long>(
                    mix(sum ^ mix(static_cast<std::uint64_t>(graph.vnodenum) << 32 |
                                  static_cast<std::uint64_t>(graph.cnodenum)))));
  EXPECT_EQ(printed, expected);

  testsupport::runresult stats = testsupport::run(TANNER_PATH, {"stats", dir.file("lifted.code")});
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("fingerprint     " + printed + "\n"), std::string::npos) << stats.out;
}
