// tanner: the graph library from the shell. One subcommand per task.
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "alist.h"
#include "allocate.h"
#include "cli.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace tanner {

namespace {

const char overview[] =
    "usage: tanner COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  convert IN.alist OUT.code     alist file to code description file\n"
    "  export IN.code OUT.alist      code description file to alist file\n"
    "  construct irregular ... OUT   random graph from a degree distribution\n"
    "  construct proto FILE ... OUT  random lifting of a protograph\n"
    "  construct peg ... OUT         progressive edge growth (no short cycles)\n"
    "  dump IN.code                  print the graph\n"
    "  check IN.code                 verify the invariants of a graph\n"
    "  stats IN.code                 counts, distributions, cycles, girth\n"
    "  simulate CODE POINTS ...      error rates of a decoder, code or ensemble\n"
    "  threshold --channel C ...     decoding threshold of an ensemble\n"
    "  floor CODE POINTS ...         error floors by rare-event estimation\n"
    "  trapping CODE ...             the failing sets behind the floor\n"
    "  absorbing CODE                small absorbing sets, enumerated exactly\n"
    "\n"
    "'tanner COMMAND --help' tells more; 'tanner --version' prints the version.\n"
    "Options take their value as '--option value' or '--option=value'. Every\n"
    "command that reads a graph takes a code description file or an alist file.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

const char converthelp[] =
    "usage: tanner convert IN.alist OUT.code\n"
    "\n"
    "Converts an alist file (column lists padded with zeros or not; lines\n"
    "starting with '#' ignored) into a code description file, as alistconv\n"
    "does. OUT.code appears whole or not at all.\n";

const char exporthelp[] =
    "usage: tanner export [--unpadded] IN.code OUT.alist\n"
    "\n"
    "Writes the graph of a code description file as an alist file: N M, the\n"
    "true maximum column and row weights, the column weights, the row\n"
    "weights, then each column's rows and each row's columns, numbered from 1,\n"
    "in socket order, padded with zeros to the maximum weight.\n"
    "\n"
    "  --unpadded   write every list with exactly its weight, no zero fillers\n"
    "\n"
    "IN.code may itself be an alist file (told apart by its content).\n"
    "\n"
    "Converting the alist file back (alistconv or tanner convert) gives the\n"
    "same code description file exactly when: every check node's sockets\n"
    "follow variable order (socket t of check c leads to the t-th appearance\n"
    "of c when the variable nodes are scanned in increasing order, each in\n"
    "socket order); the maxima in the file are the true maximum degrees; each\n"
    "degree table lists exactly the degrees that occur, in increasing order;\n"
    "and the file carries no encoder information (gap -1).\n";

// The subcommands. progress: whether a progress line may show while it runs
// (dump writes its results as it goes; the others print at the end).
struct subcommand {
  const char *name;
  int (*run)(int argc, char **argv);
  bool progress;
};

const subcommand subcommands[] = {
    {"convert", convertcommand, true}, {"export", exportcommand, true},
    {"construct", constructcommand, true}, {"dump", dumpcommand, false},
    {"check", checkcommand, true}, {"stats", statscommand, true},
    {"simulate", simulatecommand, false},
    {"threshold", thresholdcommand, true},
    {"floor", floorcommand, false},     {"trapping", trappingcommand, false},
    {"absorbing", absorbingcommand, true},
};

}  // namespace

// The converted graph, released only by the end of the process (where a
// leak checker sees it reachable): freeing a million edge lists one by one
// only costs time.
ldpc::graphs *keptgraph;

int convertcommand(int argc, char **argv) {
  for (int i = 0; i < argc; ++i)
    if (ishelp(argv[i])) {
      std::fputs(converthelp, stdout);
      return statusok;
    }
  if (argc != 2) usageerror("convert", "expects IN.alist OUT.code");
  checkdistinctfiles("convert", {{"the input", argv[0]}}, {{"the output", argv[1]}});
  // The output is tested first, so that a long read is not wasted; the
  // graph stays until the process ends, as in alistconv.
  checkwritable(argv[1]);
  keptgraph = loadcodefile(argv[0]);
  writegraph(keptgraph, argv[1], false, true);
  endprogress();
  return statusok;
}

int exportcommand(int argc, char **argv) {
  bool padded = true;
  std::vector<std::string> files;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (ishelp(argv[i])) {
      std::fputs(exporthelp, stdout);
      return statusok;
    }
    if (arg == "--unpadded")
      padded = false;
    else if (arg.size() > 1 && arg[0] == '-')
      usageerror("export", "unknown option " + arg);
    else
      files.push_back(arg);
  }
  if (files.size() != 2) usageerror("export", "expects IN.code OUT.alist");
  checkdistinctfiles("export", {{"the input", files[0]}}, {{"the output", files[1]}});
  ldpc::graphs *graph = loadcodefile(files[0]);
  writegraph(graph, files[1], true, padded);
  endprogress();
  ldpc::freegraph(graph);
  std::free(graph);
  return statusok;
}

}  // namespace tanner

int main(int argc, char **argv) {
  using namespace tanner;
  ldpc::tuneheapforlargegraphs();
  // A closed standard stream would hand its number to the first file opened,
  // and printed figures would land in that file: a closed standard output
  // is held by a descriptor that refuses writes, so the failure shows.
  if (fcntl(0, F_GETFD) < 0) open("/dev/null", O_RDONLY);
  if (fcntl(1, F_GETFD) < 0) open("/dev/null", O_RDONLY);
  if (fcntl(2, F_GETFD) < 0) open("/dev/null", O_WRONLY);
  std::vector<char *> args = splitoptions(argc, argv);
  argc = static_cast<int>(args.size()) - 1;
  argv = args.data();
  if (argc < 2) {
    std::fputs(overview, stderr);
    return statususage;
  }
  std::string command = argv[1];
  if (ishelp(argv[1]) || command == "help") {
    std::fputs(overview, stdout);
    finish(statusok);
  }
  if (isversion(argv[1])) {
    printversion();
    finish(statusok);
  }
  for (const subcommand &entry : subcommands)
    if (command == entry.name) {
      if (entry.progress) startprogress(argv[1]);
      // The library's own allocations end the process with its banner; the
      // containers of the commands and libraries beside it throw.
      try {
        finish(entry.run(argc - 2, argv + 2));
      } catch (const std::bad_alloc &) {
        fail("not sufficient memory for tanner " + command);
      }
    }
  std::fprintf(stderr, "tanner: unknown command '%s'\n%s", command.c_str(), overview);
  return statususage;
}
