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
#include "ledgeropts.h"
#include "optiontable.h"
#include "qcformat.h"

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
    "  construct standard NAME OUT   a code of a communication standard\n"
    "  encode CODE IN OUT            information words to codewords\n"
    "  dump IN.code                  print the graph\n"
    "  check IN.code                 verify the invariants of a graph\n"
    "  stats IN.code                 counts, distributions, cycles, girth\n"
    "  simulate CODE POINTS ...      error rates of a decoder, code or ensemble\n"
    "  threshold --channel C ...     decoding threshold of an ensemble\n"
    "  merge LEDGER...               the ledgers of a run's shards merged\n"
    "  floor CODE POINTS ...         error floors by rare-event estimation\n"
    "  trapping CODE ...             the failing sets behind the floor\n"
    "  absorbing CODE                small absorbing sets, enumerated exactly\n"
    "\n"
    "'tanner COMMAND --help' tells more; 'tanner --version' prints the version.\n"
    "Options take their value as '--option value' or '--option=value'. Every\n"
    "command that reads a graph takes a code description file or an alist file\n"
    "(told apart by content), or a quasi-cyclic base-matrix file: a name ending\n"
    "in .qc, or any name with --format qc.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

const char converthead[] =
    "usage: tanner convert [--encoder] IN.alist OUT.code\n"
    "\n"
    "Converts an alist file (column lists padded with zeros or not; lines\n"
    "starting with '#' ignored) into a code description file, as alistconv\n"
    "does. OUT.code appears whole or not at all.\n"
    "\n";

const char exporthead[] =
    "usage: tanner export [--unpadded] IN.code OUT.alist\n"
    "       tanner export --qc [--lift Z] IN.code OUT.qc\n"
    "\n"
    "Writes the graph of a code description file as an alist file: N M, the\n"
    "true maximum column and row weights, the column weights, the row\n"
    "weights, then each column's rows and each row's columns, numbered from 1,\n"
    "in socket order, padded with zeros to the maximum weight.\n"
    "\n";
const char exporttail[] =
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
  bool readsgraphs;  // takes --format qc
};

const subcommand subcommands[] = {
    {"convert", convertcommand, true, true},      {"export", exportcommand, true, true},
    {"construct", constructcommand, true, false}, {"dump", dumpcommand, false, true},
    {"check", checkcommand, true, true},          {"stats", statscommand, true, true},
    {"encode", encodecommand, true, true},        {"simulate", simulatecommand, false, true},
    {"threshold", thresholdcommand, true, false}, {"merge", mergecommand, false, false},
    {"floor", floorcommand, false, true},         {"trapping", trappingcommand, false, true},
    {"absorbing", absorbingcommand, true, true},
};

}  // namespace

// The converted graph, released only by the end of the process (where a
// leak checker sees it reachable): freeing a million edge lists one by one
// only costs time.
ldpc::graphs *keptgraph;

int convertcommand(int argc, char **argv) {
  std::vector<std::string> files;
  bool withencoder = false;
  const std::vector<optionentry> table = {
      {"--encoder", optionkind::flag,
       "  --encoder   also write the encoder information (gap and iphi of the\n"
       "              approximate lower-triangular form), so that tanner encode\n"
       "              and simulate --codeword random encode without elimination;\n"
       "              the graph written then has its nodes in the order of that\n"
       "              form (the same code with its bits and checks renumbered)\n",
       [&withencoder](const std::string &) { withencoder = true; }}};
  // As alistconv reads them: the first --encoder is the option, every other
  // argument a file (a second --encoder and "-x" too).
  argumentrules rules;
  rules.isoption = [&withencoder](const std::string &arg) {
    return arg == "--encoder" && !withencoder;
  };
  rules.positional = [&files](const std::string &arg) { files.push_back(arg); };
  applyoptions("convert", helptext(converthead, table, "").c_str(), table, argc, argv, rules);
  if (files.size() != 2) usageerror("convert", "expects [--encoder] IN.alist OUT.code");
  checkdistinctfiles("convert", {{"the input", files[0]}}, {{"the output", files[1]}});
  // The output is tested first, so that a long read is not wasted; the
  // graph stays until the process ends, as in alistconv.
  checkwritable(files[1]);
  keptgraph = loadcodefile(files[0]);
  if (withencoder) {
    ldpc::encoders info{};
    ldpc::graphs *read = keptgraph;
    keptgraph = encoderinformation(read, &info, files[0]);
    ldpc::freegraph(read);
    std::free(read);
    writegraph(keptgraph, files[1], false, true, &info);
    std::free(info.iphi);
  } else {
    writegraph(keptgraph, files[1], false, true);
  }
  endprogress();
  return statusok;
}

int exportcommand(int argc, char **argv) {
  bool padded = true, qc = false;
  int lift = 0;
  std::vector<std::string> files;
  const std::vector<optionentry> table = {
      {"--unpadded", optionkind::flag,
       "  --unpadded   write every list with exactly its weight, no zero fillers\n",
       [&](const std::string &) { padded = false; }},
      {"--qc", optionkind::flag,
       "  --qc         write the base matrix of a graph that is a lifting of\n"
       "               circulants (header COLUMNS ROWS Z, a row of shifts per block\n"
       "               row, -1 for an empty block), with the largest lifting size\n"
       "               it has; a graph that is none is refused with the block that\n"
       "               is not a circulant\n",
       [&](const std::string &) { qc = true; }},
      {"--lift", optionkind::integer,
       "  --lift Z     with --qc: that lifting size (1 writes any graph's matrix)\n",
       [&](const std::string &value) { lift = parsecount("export", "--lift", value, 1); }},
  };
  applyoptions("export", helptext(exporthead, table, exporttail).c_str(), table, argc, argv,
               &files);
  if (files.size() != 2)
    usageerror("export", qc ? "expects IN.code OUT.qc" : "expects IN.code OUT.alist");
  if (qc && !padded) usageerror("export", "--unpadded applies to alist output, not --qc");
  if (!qc && lift > 0) usageerror("export", "--lift applies to --qc only");
  checkdistinctfiles("export", {{"the input", files[0]}}, {{"the output", files[1]}});
  ldpc::graphs *graph = loadcodefile(files[0]);
  if (qc) {
    // A base-matrix file keeps its flag line when written with its own size.
    ldpc::qcmatrix source;
    if (readsasqc(files[0])) source = loadqcmatrix(files[0]);
    writeqcgraph(graph, files[0], files[1], lift, source);
  } else {
    writegraph(graph, files[1], true, padded);
  }
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
      if (entry.readsgraphs) {
        std::vector<char *> rest = takeformatoption(command, {args.begin() + 2, args.end()});
        args.resize(2);
        args.insert(args.end(), rest.begin(), rest.end());
        argc = static_cast<int>(args.size()) - 1;
        argv = args.data();
      }
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
