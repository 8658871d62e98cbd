// benchrun: generates the benchmark inputs, runs every contender as a
// separate process, and prints one table per benchmark.
//
// Each contender is started with fork and execv; its wall time is taken
// around the process and its peak resident memory from wait4's ru_maxrss.
// Every contender runs several times; the tables give the best and the
// median wall time (the machine is shared, so the best is the fairest
// figure) and the CPU time (user + system) of the best run.
//
// usage: benchrun BUILDDIR OUTDIR [--repeats N] [--quick]
//                 [--only converter|roundtrip|construct]...
//
// BUILDDIR holds alistconv and bench/ with the benchmark programs; inputs
// and outputs go to OUTDIR. --quick runs the small sizes only.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphstruct.h"

namespace {

// --- processes ---------------------------------------------------------------

struct measurement {
  double seconds;  // wall time
  double cpu;      // user + system time
  double rssmb;    // peak resident memory, MB (10^6 bytes)
  int status;      // exit status, or 128 + signal
};

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs argv[0] with the arguments, standard output into stdoutpath, in the
// directory cwd when it is not empty.
measurement runprocess(const std::vector<std::string> &argv, const std::string &cwd,
                       const std::string &stdoutpath) {
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(stdout);
  double start = now();
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("benchrun: fork");
    std::exit(1);
  }
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(stdoutpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0) _exit(127);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  measurement m;
  m.seconds = now() - start;
  m.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  m.rssmb = static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return m;
}

// --- files -------------------------------------------------------------------

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
bool executable(const std::string &path) { return access(path.c_str(), X_OK) == 0; }

long long filesize(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string readtext(const std::string &path, std::size_t limit) {
  std::string text;
  FILE *fp = std::fopen(path.c_str(), "r");
  if (fp == nullptr) return text;
  text.resize(limit);
  text.resize(std::fread(text.data(), 1, limit, fp));
  std::fclose(fp);
  return text;
}

void writetext(const std::string &path, const std::string &text) {
  FILE *fp = std::fopen(path.c_str(), "w");
  if (fp == nullptr || std::fwrite(text.data(), 1, text.size(), fp) != text.size() ||
      std::fclose(fp) != 0) {
    std::fprintf(stderr, "benchrun: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// Whether two files hold the same bytes, compared in chunks so that the
// runner itself stays small in memory.
bool samefile(const std::string &a, const std::string &b) {
  FILE *fa = std::fopen(a.c_str(), "rb");
  FILE *fb = std::fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  static char ba[1 << 20], bb[1 << 20];
  while (same) {
    std::size_t na = std::fread(ba, 1, sizeof ba, fa);
    std::size_t nb = std::fread(bb, 1, sizeof bb, fb);
    if (na != nb || std::memcmp(ba, bb, na) != 0) same = false;
    if (na == 0) break;
  }
  if (fa != nullptr) std::fclose(fa);
  if (fb != nullptr) std::fclose(fb);
  return same;
}

// The integers of a text, with "/* ... */" comments passed over.
std::vector<long long> integers(const std::string &text, std::size_t wanted) {
  std::vector<long long> numbers;
  std::size_t i = 0;
  while (i < text.size() && numbers.size() < wanted) {
    if (text.compare(i, 2, "/*") == 0) {
      std::size_t close = text.find("*/", i + 2);
      if (close == std::string::npos) break;
      i = close + 2;
    } else if (text[i] == '-' || (text[i] >= '0' && text[i] <= '9')) {
      char *end;
      numbers.push_back(std::strtoll(text.c_str() + i, &end, 10));
      i = static_cast<std::size_t>(end - text.c_str());
    } else {
      ++i;
    }
  }
  return numbers;
}

// Node and edge counts of a graph, and the size of its in-memory records.
struct counts {
  long long vnodes = 0, cnodes = 0, edges = 0;
  double recordsmb() const {
    return (static_cast<double>(sizeof(ldpc::vnode)) * static_cast<double>(vnodes) +
            static_cast<double>(sizeof(ldpc::cnode)) * static_cast<double>(cnodes) +
            2.0 * static_cast<double>(edges) * static_cast<double>(sizeof(ldpc::edge))) /
           1e6;
  }
};

// Counts from the head of a code description file: node counts, then the
// variable degree table gives the edges.
counts desccounts(const std::string &path) {
  std::vector<long long> x = integers(readtext(path, 1 << 16), 6 + 200);
  counts c;
  if (x.size() < 6) return c;
  c.vnodes = x[0];
  c.cnodes = x[1];
  for (long long k = 0; k < x[2] && 6 + 2 * k + 1 < static_cast<long long>(x.size()); ++k)
    c.edges += x[6 + 2 * k] * x[6 + 2 * k + 1];
  return c;
}

// --- tables ------------------------------------------------------------------

struct contender {
  std::string name;
  std::vector<std::string> argv;
  std::string cwd;
  std::string output;  // file it writes, removed before each run
  std::vector<measurement> runs;
  measurement best() const {
    return *std::min_element(
        runs.begin(), runs.end(),
        [](const measurement &a, const measurement &b) { return a.seconds < b.seconds; });
  }
  double median() const {
    std::vector<double> t;
    for (const measurement &m : runs) t.push_back(m.seconds);
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
  }
  double mincpu() const {
    double least = runs.front().cpu;
    for (const measurement &m : runs) least = std::min(least, m.cpu);
    return least;
  }
  double peakrss() const {
    double peak = 0;
    for (const measurement &m : runs) peak = std::max(peak, m.rssmb);
    return peak;
  }
};

int repeats = 3;
std::string capture;  // standard output of the latest run
std::vector<std::string> verdicts;
bool failures = false;

// Runs every contender repeats times, in rounds (one run of each per round),
// so that a change in the machine's load falls on all of them alike. False
// when a run fails.
bool measure(const std::vector<contender *> &cs) {
  for (int r = 0; r < repeats; ++r)
    for (contender *c : cs) {
      if (!c->output.empty()) unlink(c->output.c_str());
      measurement m = runprocess(c->argv, c->cwd, capture);
      if (m.status != 0) {
        std::printf("  %s (%s) failed with status %d: %s\n", c->name.c_str(), c->argv[0].c_str(),
                    m.status, readtext(capture, 400).c_str());
        failures = true;
        return false;
      }
      c->runs.push_back(m);
    }
  return true;
}

// A ratio of two best times, by wall clock and by CPU time. The verdicts
// go by the wall clock; on a busy machine the CPU-time ratio shows what an
// idle one would give. cpu is 0 for ratios that are not times.
struct ratio {
  double wall;
  double cpu;
};

ratio timeratio(const contender &a, const contender &b) {
  return {a.best().seconds / b.best().seconds, a.mincpu() / b.mincpu()};
}

ratio plain(double value) { return {value, 0}; }

std::string describe(const std::string &what, ratio r) {
  char line[200];
  std::snprintf(line, sizeof line, "  %-50s %7.2fx", what.c_str(), r.wall);
  std::string text = line;
  if (r.cpu > 0) {
    std::snprintf(line, sizeof line, " (cpu %5.2fx)", r.cpu);
    text += line;
  } else {
    text += "             ";
  }
  return text;
}

// One line of a verdict on a target, kept for the summary at the end.
void target(const std::string &what, ratio r, const char *relation, double bound) {
  bool met = relation[0] == '>' ? r.wall >= bound : r.wall <= bound;
  char tail[100];
  std::snprintf(tail, sizeof tail, "  target %s %.2fx: %s", relation, bound,
                met ? "met" : "MISSED");
  std::string line = describe(what, r) + tail;
  std::printf("%s\n", line.c_str());
  verdicts.push_back(line);
}

void info(const std::string &what, ratio r) { std::printf("%s\n", describe(what, r).c_str()); }

// Prints the table of a benchmark. inbytes/outbytes of 0 leave the MB/s
// columns empty; edges counts the edges (or draws) per run.
void table(const std::vector<contender *> &cs, long long inbytes, long long outbytes,
           long long edges, double recordsmb, const char *rate) {
  std::printf("  %-26s %8s %8s %8s %9s %9s %10s %9s %8s\n", "contender", "best s", "median s",
              "best cpu", "in MB/s", "out MB/s", rate, "peak MB", "/records");
  for (const contender *c : cs) {
    if (c->runs.empty()) continue;
    measurement b = c->best();
    char in[16] = "", out[16] = "";
    if (inbytes > 0)
      std::snprintf(in, sizeof in, "%9.1f", static_cast<double>(inbytes) / 1e6 / b.seconds);
    if (outbytes > 0)
      std::snprintf(out, sizeof out, "%9.1f", static_cast<double>(outbytes) / 1e6 / b.seconds);
    std::printf("  %-26s %8.3f %8.3f %8.3f %9s %9s %10.2f %9.1f %8.2f\n", c->name.c_str(),
                b.seconds, c->median(), c->mincpu(), in, out,
                static_cast<double>(edges) / 1e6 / b.seconds, c->peakrss(),
                c->peakrss() / recordsmb);
  }
}

// --- benchmarks ----------------------------------------------------------------

std::string builddir, outdir;
std::string bin(const std::string &name) { return builddir + "/bench/" + name; }

struct alistinput {
  std::string kind;
  int columns;
  std::string path;
};

// Generates the alist file unless it is there already; the version in its
// name changes whenever the generator's output would.
alistinput makealist(const std::string &kind, int columns) {
  alistinput a{kind, columns, outdir + "/" + kind + "-" + std::to_string(columns) + ".v1.alist"};
  if (!exists(a.path)) {
    std::printf("generating %s\n", a.path.c_str());
    measurement m = runprocess({bin("genalist"), kind, std::to_string(columns), "20240601", a.path},
                               "", capture);
    if (m.status != 0) {
      std::fprintf(stderr, "benchrun: genalist failed\n");
      std::exit(1);
    }
  }
  return a;
}

// The converter on one alist file; returns the path of alistconv's output.
std::string converter(const alistinput &a, bool targets) {
  std::string base = outdir + "/" + a.kind + "-" + std::to_string(a.columns);
  contender ours{
      "alistconv", {builddir + "/alistconv", a.path, base + ".desc"}, "", base + ".desc", {}};
  contender naive{"straightforward (a)",
                  {bin("naiveconv"), a.path, base + ".naive.desc"},
                  "",
                  base + ".naive.desc",
                  {}};
  if (!measure({&ours, &naive})) return "";
  bool same = samefile(ours.output, naive.output);
  unlink(naive.output.c_str());

  counts c = desccounts(ours.output);
  long long inbytes = filesize(a.path), outbytes = filesize(ours.output);
  std::vector<long long> head = integers(readtext(a.path, 256), 3);
  long long items = 4 + c.vnodes + c.cnodes + c.vnodes * head[2];
  contender floor{"floor (b)",
                  {bin("benchfloor"), a.path, base + ".floor", std::to_string(outbytes)},
                  "",
                  base + ".floor",
                  {}};
  contender floorcols{
      "floor, items 1-7 only",
      {bin("benchfloor"), a.path, base + ".floor", std::to_string(outbytes), std::to_string(items)},
      "",
      base + ".floor",
      {}};
  if (!measure({&floor, &floorcols})) return "";
  unlink(floor.output.c_str());

  std::printf(
      "\n== converter: %s, %lld columns (N %lld, M %lld, E %lld; in %.1f MB, out %.1f MB; "
      "records %.1f MB)\n",
      a.kind.c_str(), static_cast<long long>(a.columns), c.vnodes, c.cnodes, c.edges,
      static_cast<double>(inbytes) / 1e6, static_cast<double>(outbytes) / 1e6, c.recordsmb());
  table({&ours, &naive, &floor, &floorcols}, inbytes, outbytes, c.edges, c.recordsmb(), "Medges/s");
  std::printf("  output of alistconv and (a) %s\n", same ? "identical (cmp)" : "DIFFER");
  if (!same) failures = true;
  std::string tag = a.kind + " " + std::to_string(a.columns) + ": ";
  ratio speedup = timeratio(naive, ours);
  ratio overfloor = timeratio(ours, floor);
  ratio overcols = timeratio(ours, floorcols);
  ratio rss = plain(ours.peakrss() / c.recordsmb());
  if (targets) {
    target(tag + "(a) / alistconv", speedup, ">=", 7);
    target(tag + "alistconv / floor (b)", overfloor, "<=", 2);
    info(tag + "alistconv / floor, items 1-7", overcols);
    target(tag + "alistconv peak RSS / records", rss, "<=", 1.25);
  } else {
    info(tag + "(a) / alistconv", speedup);
    info(tag + "alistconv / floor (b)", overfloor);
    info(tag + "alistconv peak RSS / records", rss);
  }
  return ours.output;
}

// readgraph then savegraph, against the straightforward round trip.
void roundtrip(const std::string &desc, bool targets) {
  if (!executable(bin("descroundtrip"))) {
    std::printf("\n== round trip: skipped (descroundtrip not built)\n");
    return;
  }
  std::string base = outdir + "/roundtrip";
  contender ours{"readgraph + savegraph",
                 {bin("descroundtrip"), desc, base + ".ours.desc"},
                 "",
                 base + ".ours.desc",
                 {}};
  contender naive{"straightforward (c)",
                  {bin("naiveroundtrip"), desc, base + ".naive.desc"},
                  "",
                  base + ".naive.desc",
                  {}};
  if (!measure({&ours, &naive})) return;
  bool oursback = samefile(desc, ours.output);
  bool naiveback = samefile(desc, naive.output);
  unlink(ours.output.c_str());
  unlink(naive.output.c_str());
  counts c = desccounts(desc);
  long long bytes = filesize(desc);
  std::printf("\n== round trip of %s (N %lld, M %lld, E %lld; %.1f MB each way; records %.1f MB)\n",
              desc.c_str(), c.vnodes, c.cnodes, c.edges, static_cast<double>(bytes) / 1e6,
              c.recordsmb());
  table({&ours, &naive}, bytes, bytes, c.edges, c.recordsmb(), "Medges/s");
  std::printf("  file back byte for byte: ours %s, (c) %s\n", oursback ? "yes" : "NO",
              naiveback ? "yes" : "NO");
  if (!oursback || !naiveback) failures = true;
  ratio speedup = timeratio(naive, ours);
  ratio rss = plain(ours.peakrss() / naive.peakrss());
  if (targets) {
    target("round trip: (c) / library", speedup, ">=", 7);
    target("round trip: library peak RSS / (c) peak RSS", rss, "<=", 1);
  } else {
    info("round trip: (c) / library", speedup);
    info("round trip: library peak RSS / (c) peak RSS", rss);
  }
  info("round trip: library peak RSS / records", plain(ours.peakrss() / c.recordsmb()));
}

// Counts and hash printed by a construction program run with --hash.
struct constructed {
  counts c;
  std::string hash;
};

constructed hashrun(const std::vector<std::string> &argv, const std::string &cwd) {
  std::vector<std::string> args = argv;
  args.push_back("--hash");
  constructed r;
  if (runprocess(args, cwd, capture).status != 0) return r;
  std::string text = readtext(capture, 4096);
  std::vector<long long> x = integers(text, 3);
  if (x.size() == 3) {
    r.c.vnodes = x[0];
    r.c.cnodes = x[1];
    r.c.edges = x[2];
  }
  std::size_t h = text.find("hash ");
  if (h != std::string::npos) r.hash = text.substr(h + 5, 16);
  return r;
}

struct constructresult {
  long long edges = 0;
  contender ours, naive;
  bool ok = false;
};

constructresult construction(const std::string &title, const std::vector<std::string> &args) {
  constructresult result;
  std::vector<std::string> oursargs = {bin("graphconstruct")};
  std::vector<std::string> naiveargs = {bin("naiveconstruct")};
  oursargs.insert(oursargs.end(), args.begin(), args.end());
  naiveargs.insert(naiveargs.end(), args.begin(), args.end());
  constructed oh = hashrun(oursargs, outdir), nh = hashrun(naiveargs, outdir);
  contender ours{"library", oursargs, outdir, "", {}};
  contender naive{"straightforward (d)", naiveargs, outdir, "", {}};
  if (!measure({&ours, &naive})) return result;
  std::printf("\n== %s (N %lld, M %lld, E %lld draws; records %.1f MB)\n", title.c_str(),
              oh.c.vnodes, oh.c.cnodes, oh.c.edges, oh.c.recordsmb());
  table({&ours, &naive}, 0, 0, oh.c.edges, oh.c.recordsmb(), "Mdraws/s");
  bool same = !oh.hash.empty() && oh.hash == nh.hash && oh.c.edges == nh.c.edges;
  std::printf("  graphs edge for edge: %s (hash %s, %s)\n", same ? "identical" : "DIFFER",
              oh.hash.c_str(), nh.hash.c_str());
  if (!same) failures = true;
  result.edges = oh.c.edges;
  result.ours = ours;
  result.naive = naive;
  result.ok = same;
  return result;
}

// A protograph of 16 variable and 8 check nodes, 55 edges: variable degrees
// 2, 3 and 8, edges dealt to the check nodes in turn, check sockets in
// order of appearance.
std::string protograph() {
  const int degrees[16] = {2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 8, 8, 8};
  int cdegree[8] = {0};
  std::string text =
      "/* benchmark protograph */\n/* variable and check nodes */\n16 8\n"
      "/* per variable node: degree, then check node and socket per edge */\n";
  int k = 0;
  for (int degree : degrees) {
    text += std::to_string(degree);
    for (int s = 0; s < degree; ++s, ++k) {
      int c = k % 8;
      text += "  " + std::to_string(c) + " " + std::to_string(cdegree[c]++);
    }
    text += "\n";
  }
  return text;
}

void constructions(bool quick) {
  if (!executable(bin("graphconstruct"))) {
    std::printf("\n== constructions: skipped (graphconstruct not built)\n");
    return;
  }
  const char *seed = "20240601";
  // Variable degrees 2, 3, 8 on 50/30/20% of the nodes: 3.5 edges per node.
  std::vector<long long> sizes =
      quick ? std::vector<long long>{1000000} : std::vector<long long>{1000000, 3000000, 10000000};
  std::vector<constructresult> irregular;
  for (long long e : sizes) {
    std::string length = std::to_string(static_cast<long long>(static_cast<double>(e) / 3.5 + 0.5));
    irregular.push_back(construction("irregular construction, ~" + std::to_string(e / 1000000) +
                                         "M edges (length " + length + ")",
                                     {"irregular", length, seed}));
  }
  writetext(outdir + "/bench.proto", protograph());
  std::vector<constructresult> lifting;
  for (long long e : sizes) {
    if (e == 3000000) continue;
    std::string factor = std::to_string(e / 55);
    lifting.push_back(construction("protograph lifting, 55 edges x " + factor,
                                   {"proto", "bench.proto", factor, seed}));
  }
  std::printf("\n");
  // Time per edge at the largest size over that at the smallest.
  auto peredge = [](const constructresult &big, const constructresult &small,
                    const contender constructresult::*who) {
    const contender &b = big.*who, &s = small.*who;
    double scale = static_cast<double>(small.edges) / static_cast<double>(big.edges);
    return ratio{b.best().seconds / s.best().seconds * scale, b.mincpu() / s.mincpu() * scale};
  };
  auto verdict = [&](const char *what, const std::vector<constructresult> &r) {
    const constructresult &big = r.back(), &small = r.front();
    if (!big.ok || !small.ok) return;
    std::string w = what;
    ratio rss = plain(big.ours.peakrss() / big.naive.peakrss());
    if (r.size() > 1) {
      target(w + " at 10M: (d) / library", timeratio(big.naive, big.ours), ">=", 1.5);
      target(w + ": library time per edge, 10M / 1M", peredge(big, small, &constructresult::ours),
             "<=", 1.5);
      info(w + ": (d) time per edge, 10M / 1M", peredge(big, small, &constructresult::naive));
      target(w + " at 10M: library peak RSS / (d)", rss, "<=", 1);
    } else {
      info(w + ": (d) / library", timeratio(big.naive, big.ours));
      info(w + ": library peak RSS / (d)", rss);
    }
  };
  verdict("irregular", irregular);
  verdict("lifting", lifting);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fputs(
        "usage: benchrun BUILDDIR OUTDIR [--repeats N] [--quick] [--only "
        "converter|roundtrip|construct]...\n",
        stderr);
    return 2;
  }
  builddir = argv[1];
  outdir = argv[2];
  bool quick = false;
  std::vector<std::string> only;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--repeats" && i + 1 < argc) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--quick") {
      quick = true;
    } else if (a == "--only" && i + 1 < argc) {
      only.push_back(argv[++i]);
    } else {
      std::fprintf(stderr, "benchrun: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  auto wanted = [&](const char *name) {
    return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
  };
  mkdir(outdir.c_str(), 0755);
  // Absolute paths: the constructions run inside the output directory.
  for (std::string *dir : {&builddir, &outdir}) {
    char *real = realpath(dir->c_str(), nullptr);
    if (real == nullptr) {
      std::fprintf(stderr, "benchrun: %s: %s\n", dir->c_str(), std::strerror(errno));
      return 2;
    }
    *dir = real;
    std::free(real);
  }
  capture = outdir + "/capture.txt";
  std::printf(
      "benchmarks: best of %d runs each; MB = 10^6 bytes; records = %zu*N + %zu*M + 2*%zu*E "
      "bytes\n",
      repeats, sizeof(ldpc::vnode), sizeof(ldpc::cnode), sizeof(ldpc::edge));

  std::string bigdesc;
  if (wanted("converter") || wanted("roundtrip")) {
    std::vector<int> sizes = quick ? std::vector<int>{100000} : std::vector<int>{100000, 1000000};
    for (int n : sizes)
      for (const char *kind : {"regular", "irregular"}) {
        if (!wanted("converter") && !(n == sizes.back() && std::strcmp(kind, "regular") == 0))
          continue;
        std::string desc = converter(makealist(kind, n), n == 1000000);
        if (n == sizes.back() && std::strcmp(kind, "regular") == 0) bigdesc = desc;
      }
  }
  if (wanted("roundtrip") && !bigdesc.empty()) roundtrip(bigdesc, !quick);
  if (wanted("construct")) constructions(quick);

  std::printf("\n== targets\n");
  for (const std::string &v : verdicts) std::printf("%s\n", v.c_str());
  unlink(capture.c_str());
  if (failures) std::printf("\nSOME CHECKS FAILED (see above)\n");
  return failures ? 1 : 0;
}
