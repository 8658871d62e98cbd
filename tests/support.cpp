#include "support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "alist.h"
#include "degreetable.h"
#include "descfile.h"
#include "textio.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace testsupport {

tempdir::tempdir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ldpctest.XXXXXX").string();
  char *made = mkdtemp(pattern.data());
  path = made != nullptr ? made : "";
}

tempdir::~tempdir() {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

std::string readfile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void writefile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

bool fileexists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

namespace {

std::string drain(int fd) {
  std::string text;
  char chunk[65536];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(got));
  close(fd);
  return text;
}

}  // namespace

runresult run(const std::string &program, const std::vector<std::string> &args) {
  return runlimited(program, args, runlimits{});
}

runresult runlimited(const std::string &program, const std::vector<std::string> &args,
                     const runlimits &limits) {
  // Standard output and error go to temporary files, so that large outputs
  // cannot block the child on a full pipe.
  char outname[] = "/tmp/ldpcrun.out.XXXXXX";
  char errname[] = "/tmp/ldpcrun.err.XXXXXX";
  int outfd = mkstemp(outname);
  int errfd = mkstemp(errname);
  int outpipe[2] = {-1, -1};
  if (limits.pipestdout && pipe(outpipe) != 0) outpipe[0] = outpipe[1] = -1;
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    if (limits.closestdout) {
      close(1);
    } else if (!limits.stdoutto.empty()) {
      int to = open(limits.stdoutto.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(to, 1);
    } else if (limits.pipestdout) {
      dup2(outpipe[1], 1);
      close(outpipe[0]);
      close(outpipe[1]);
    } else {
      dup2(outfd, 1);
    }
    dup2(errfd, 2);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (limits.addressspace >= 0) {
      struct rlimit limit = {static_cast<rlim_t>(limits.addressspace),
                             static_cast<rlim_t>(limits.addressspace)};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (limits.filesize >= 0) {
      // ignored, so that a write beyond the limit fails with EFBIG
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {static_cast<rlim_t>(limits.filesize),
                             static_cast<rlim_t>(limits.filesize)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  runresult result;
  if (limits.signal != 0) {
    usleep(static_cast<useconds_t>(limits.signaldelay * 1e6));
    kill(pid, limits.signal);
  }
  if (limits.pipestdout) {
    close(outpipe[1]);
    result.out = drain(outpipe[0]);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  lseek(outfd, 0, SEEK_SET);
  lseek(errfd, 0, SEEK_SET);
  if (limits.pipestdout)
    close(outfd);
  else
    result.out = drain(outfd);
  result.err = drain(errfd);
  unlink(outname);
  unlink(errname);
  return result;
}

ldpc::graphs *makegraph(int cnodenum, const std::vector<std::vector<int>> &vchecks) {
  auto *g = static_cast<ldpc::graphs *>(ldpc::allocate(sizeof(ldpc::graphs)));
  g->vnodenum = static_cast<int>(vchecks.size());
  g->cnodenum = cnodenum;
  g->rate = 1.0 - static_cast<double>(cnodenum) / g->vnodenum;
  g->vnodelist = static_cast<ldpc::vnode *>(ldpc::allocate(g->vnodenum * sizeof(ldpc::vnode)));
  g->cnodelist = static_cast<ldpc::cnode *>(ldpc::allocate(cnodenum * sizeof(ldpc::cnode)));
  std::vector<int> cdeg(cnodenum, 0);
  for (const auto &list : vchecks)
    for (int c : list) ++cdeg[c];
  for (int c = 0; c < cnodenum; ++c) {
    g->cnodelist[c] = {cdeg[c], 0.0,
                       static_cast<ldpc::edge *>(ldpc::allocate(cdeg[c] * sizeof(ldpc::edge)))};
    cdeg[c] = 0;
  }
  g->vmaxdegree = g->cmaxdegree = 0;
  for (int v = 0; v < g->vnodenum; ++v) {
    int d = static_cast<int>(vchecks[v].size());
    g->vnodelist[v] = {d, 0.0, static_cast<ldpc::edge *>(ldpc::allocate(d * sizeof(ldpc::edge)))};
    if (d > g->vmaxdegree) g->vmaxdegree = d;
    for (int s = 0; s < d; ++s) {
      int c = vchecks[v][s];
      int t = cdeg[c]++;
      g->vnodelist[v].edgelist[s] = {c, t, 0.0};
      g->cnodelist[c].edgelist[t] = {v, s, 0.0};
    }
  }
  for (int c = 0; c < cnodenum; ++c)
    if (cdeg[c] > g->cmaxdegree) g->cmaxdegree = cdeg[c];
  g->vdegreelist = static_cast<ldpc::degreelist *>(ldpc::allocate(sizeof(ldpc::degreelist)));
  g->cdegreelist = static_cast<ldpc::degreelist *>(ldpc::allocate(sizeof(ldpc::degreelist)));
  ldpc::tabulatedegrees(g->vnodelist, g->vnodenum, 1, g->vdegreelist, &g->vdegreesnum);
  ldpc::tabulatedegrees(g->cnodelist, g->cnodenum, 1, g->cdegreelist, &g->cdegreesnum);
  return g;
}

std::string convertinmemory(const std::string &alist) {
  ldpc::textscanner in;
  ldpc::scanfrommemory(&in, alist.data(), alist.size());
  ownedrecord g;
  std::string error;
  if (!ldpc::readalist(&in, &g, &error)) return "error: " + error;
  return describe(&g);
}

std::string describe(const ldpc::graphs *graph, int gap) {
  ldpc::encoders encoder{};
  encoder.gap = gap;
  std::string text;
  ldpc::textwriter out;
  ldpc::writetomemory(&out, &text);
  ldpc::formatgraph(&out, graph, &encoder);
  ldpc::writeclose(&out);
  return text;
}

}  // namespace testsupport
