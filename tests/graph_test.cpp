// allocate and the basic graph operations.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "oracle.h"
#include "support.h"

using testsupport::describe;
using testsupport::makegraph;

namespace {

const std::string &banner = testsupport::memorybanner;

struct childresult {
  int status;
  std::string out;
};

// Runs body in a child process with standard output going to a file.
childresult inchild(const std::function<void()> &body) {
  testsupport::tempdir dir;
  std::string outpath = dir.file("stdout");
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    body();
    std::exit(0);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus),
          testsupport::readfile(outpath)};
}

}  // namespace

TEST(allocate, exhaustion_prints_the_banner_and_exits_1) {
  childresult r = inchild([] { ldpc::allocate(-1); });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner);
  EXPECT_EQ(r.out.size(), 185u);

#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves far more address space
  // a request beyond a lowered address-space limit; output already
  // buffered before it is flushed too
  r = inchild([] {
    struct rlimit limit = {256u << 20, 256u << 20};
    setrlimit(RLIMIT_AS, &limit);
    std::printf("before ");
    ldpc::allocate(std::int64_t{3} << 30);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "before " + banner);
#endif

  // a zero-byte request succeeds, and sizes beyond 32 bits are not cut
  r = inchild([] {
    void *none = ldpc::allocate(0);
    void *big = ldpc::allocate((std::int64_t{1} << 32) + 16);
    static_cast<char *>(big)[(std::int64_t{1} << 32) + 15] = 1;
    std::free(none);
    std::free(big);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(switchedges, swaps_check_ends_and_keeps_mirrors) {
  // variable 0 -> checks 0, 1; variable 1 -> check 1; variable 2 -> check 0
  testsupport::ownedgraph g = makegraph(2, {{0, 1}, {1}, {0}});
  const std::string before = describe(g);

  ldpc::switchedges(g, 0, 0, 1, 0);  // 0-0 and 1-1 become 0-1 and 1-0
  EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
  EXPECT_EQ(g->vnodelist[0].edgelist[0].dest, 1);
  EXPECT_EQ(g->vnodelist[1].edgelist[0].dest, 0);
  // each check keeps its sockets in place
  EXPECT_EQ(g->vnodelist[0].edgelist[0].socket, 1);
  EXPECT_EQ(g->cnodelist[1].edgelist[1].dest, 0);
  EXPECT_EQ(g->cnodelist[0].edgelist[0].dest, 1);
  ldpc::switchedges(g, 0, 0, 1, 0);
  EXPECT_EQ(describe(g), before);

  // the same socket twice changes nothing
  ldpc::switchedges(g, 2, 0, 2, 0);
  EXPECT_EQ(describe(g), before);

  // two sockets of one variable node, and two sockets at one check node
  ldpc::switchedges(g, 0, 0, 0, 1);
  EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
  EXPECT_EQ(g->vnodelist[0].edgelist[0].dest, 1);
  EXPECT_EQ(g->vnodelist[0].edgelist[1].dest, 0);
  ldpc::switchedges(g, 0, 0, 0, 1);
  ldpc::switchedges(g, 0, 0, 2, 0);  // both lead to check 0
  EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
  EXPECT_EQ(g->cnodelist[0].edgelist[0].dest, 2);
  EXPECT_EQ(g->cnodelist[0].edgelist[1].dest, 0);

  // messages stay at their positions
  g->vnodelist[0].edgelist[0].message = 1.5;
  ldpc::switchedges(g, 0, 0, 1, 0);
  EXPECT_EQ(g->vnodelist[0].edgelist[0].message, 1.5);

  // switchvnodes is kept for old callers and must leave every field alone
  const std::string unswitched = describe(g);
  ldpc::switchvnodes(g, 0, 1);
  EXPECT_EQ(describe(g), unswitched);
  EXPECT_EQ(oracle::checkgraph(g, oracle::tablesexact), "");
}

TEST(freegraph, leaves_the_fields_of_the_record) {
  ldpc::graphs *g = makegraph(2, {{0, 1}, {1}, {0}});
  ldpc::graphs copy = *g;
  ldpc::freegraph(g);
  EXPECT_EQ(std::memcmp(&copy, g, sizeof copy), 0);
  std::free(g);
}

TEST(round, rounds_halves_upward) {
  EXPECT_EQ(ldpc::round(2.5), 3.0);
  EXPECT_EQ(ldpc::round(-2.5), -2.0);
  EXPECT_EQ(ldpc::round(-2.6), -3.0);
  EXPECT_EQ(ldpc::round(2.4999), 2.0);
}
