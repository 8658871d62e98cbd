// simulate: a decoding simulation in brief, showing how a program links the
// graph library and its decoder.
//
// It fills the configuration records, asks constructgraph for the graph of
// every loop, sends frames of the all-zero codeword over BPSK and AWGN with
// noise from the channel stream, decodes them and prints a line per loop:
// the number of edges, the graph-stream state the construction started
// from, a fingerprint of the graph, and the frame and bit errors. The seed
// rows of a run can be written to a file and read back to repeat the run,
// which gives the same graphs and the same noise.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "irregular.h"
#include "ldpcgraph_version.h"
#include "channel.h"
#include "decoder.h"
#include "shortcycles.h"
#include "simulation.h"

// The two random-stream states, which every program that links the library
// defines.
namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

const char usage[] = "usage: simulate [OPTION]...\n";

const char help[] =
    "\n"
    "Obtains a graph for each loop of a simulation from the graph library and\n"
    "prints, per loop, its number of edges, the graph-stream state its\n"
    "construction started from, a fingerprint of the graph and the frame and\n"
    "bit errors of the frames decoded on it.\n"
    "\n"
    "  -C DIR          work in DIR; the file names below are taken relative to\n"
    "                  it and may have at most 24 characters\n"
    "  --loops N       number of loops (default 3)\n"
    "  --length N      irregular ensemble: variable nodes asked for; protograph\n"
    "                  ensemble: lifting factor (default 1000)\n"
    "  --proto FILE    lift the protograph of FILE (default: the irregular\n"
    "                  ensemble with variable degrees 2, 3, 8 on 50%, 30%, 20%\n"
    "                  of the nodes and check degrees 7, 8 on half each)\n"
    "  --girth G       remove cycles shorter than G (even, >= 4) from every\n"
    "                  constructed graph, drawing from the graph stream after\n"
    "                  the construction (default: none)\n"
    "  --seed S        start state of the graph stream: W0,W1,W2 as tanner\n"
    "                  takes and prints it (three words 0..65535, word 0 least\n"
    "                  significant), or a number N up to 2000000000, the state\n"
    "                  srand48(N) leaves: 13070,N mod 65536,N / 65536 (default\n"
    "                  1); the channel stream starts from the state plus 65536\n"
    "  --save FILE     construct one graph, save it to FILE and use it in every\n"
    "                  loop\n"
    "  --read FILE     read the graph from the code description file FILE\n"
    "  --record FILE   write the seed rows of the run to FILE\n"
    "  --repeat FILE   repeat a run from the seed rows in FILE (one loop per\n"
    "                  row); give the options of the recorded run\n"
    "  --ebn0 X        Eb/N0 in dB of the channel (default 1.5)\n"
    "  --frames N      frames decoded per loop (default 20)\n"
    "  --decoder NAME  spa, minsum, nms or oms (default spa)\n"
    "  --verbose       print the library's construction report\n"
    "  --help          print this help\n"
    "  --version       print the version\n"
    "\n"
    "Options take their value as '--option value' or '--option=value'.\n"
    "\n"
    "Exit status: 0 on success, 1 when the library or a seed file fails, 2 on\n"
    "a usage error.\n";

using seedrow = std::array<unsigned short, 6>;

[[noreturn]] void usageerror(const std::string &message) {
  std::cerr << "simulate: " << message << "\n" << usage;
  std::exit(2);
}

int number(const char *text, const char *option, long least = 0) {
  char *end;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || end == text || *text < '0' || *text > '9' || value < least ||
      value > 2000000000)
    usageerror(std::string(option) + " wants a number from " + std::to_string(least) +
               " to 2000000000, not \"" + text + "\"");
  return static_cast<int>(value);
}

// The name fields of the configuration hold 24 characters and a zero.
void setname(char (&field)[25], const std::string &name, const char *option) {
  if (name.empty() || name.size() >= sizeof field)
    usageerror(std::string(option) + ": \"" + name +
               "\" does not fit the configuration (1 to 24 characters); use -C DIR");
  std::memcpy(field, name.c_str(), name.size() + 1);
}

// Seed rows, one per line: graph-stream words 0 to 2, then channel-stream
// words 0 to 2, separated by blanks or commas; lines starting with '#' are
// comments.
std::vector<seedrow> readseeds(const std::string &path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "simulate: cannot open seed file " << path << "\n";
    std::exit(1);
  }
  std::vector<seedrow> rows;
  std::string line;
  for (int lineno = 1; std::getline(in, line); ++lineno) {
    if (line.empty() || line[0] == '#') continue;
    for (char &c : line)
      if (c == ',') c = ' ';
    std::istringstream fields(line);
    seedrow row;
    for (unsigned short &word : row) {
      long value;
      if (!(fields >> value) || value < 0 || value > 65535) {
        std::cerr << "simulate: " << path << ", line " << lineno
                  << ": a seed row is six numbers from 0 to 65535\n";
        std::exit(1);
      }
      word = static_cast<unsigned short>(value);
    }
    rows.push_back(row);
  }
  if (rows.empty()) {
    std::cerr << "simulate: " << path << " holds no seed row\n";
    std::exit(1);
  }
  return rows;
}

void writeseeds(const std::string &path, const std::vector<seedrow> &rows) {
  std::ofstream out(path);
  out << "# graph stream W0,W1,W2 and channel stream W0,W1,W2, one loop per row\n";
  for (const seedrow &row : rows)
    out << row[0] << ',' << row[1] << ',' << row[2] << ' ' << row[3] << ',' << row[4] << ','
        << row[5] << '\n';
  out.close();
  if (!out) {
    std::cerr << "simulate: cannot write seed file " << path << "\n";
    std::exit(1);
  }
}

// The state 65536 steps of the seed above words: what srand48(N + 1) gives
// when words are what srand48(N) gives.
void nextseed(const unsigned short words[3], unsigned short next[3]) {
  std::uint64_t state = words[0] | static_cast<std::uint64_t>(words[1]) << 16 |
                        static_cast<std::uint64_t>(words[2]) << 32;
  state = (state + 65536) & ((1ULL << 48) - 1);
  for (int k = 0; k < 3; ++k) next[k] = static_cast<unsigned short>(state >> (16 * k));
}

std::string statetext(const unsigned short words[3]) {
  char text[ldpc::streamstatechars];
  ldpc::formatstreamstate(words, text);
  return text;
}

// Sends frames all-zero codewords over BPSK with AWGN at ebn0 dB, the noise
// drawn in pairs from the channel stream, decodes them and counts the frames
// and bits in error (an undecided bit counts as an error).
std::array<long, 2> decodeframes(const ldpc::graphs *graph, const ldpc::decoderoptions &options,
                                 double ebn0, int frames) {
  const int n = graph->vnodenum;
  const double sigma = ldpc::sigmafromebn0(ebn0, graph->rate);
  std::vector<double> llr(static_cast<std::size_t>(n) * frames);
  for (std::size_t i = 0; i < llr.size(); i += 2) {
    double noise[2];
    ldpc::nextgausspair(noise);
    llr[i] = 2 * (1 + sigma * noise[0]) / (sigma * sigma);
    if (i + 1 < llr.size()) llr[i + 1] = 2 * (1 + sigma * noise[1]) / (sigma * sigma);
  }
  std::vector<std::uint8_t> decisions(llr.size());
  std::vector<std::int32_t> undecided(frames);
  ldpc::decodeoutputs out;
  out.decisions = decisions.data();
  out.undecided = undecided.data();
  ldpc::decoder(graph, options).decode(llr.data(), frames, out);
  std::array<long, 2> errors = {0, 0};
  for (int f = 0; f < frames; ++f) {
    long bits = undecided[f];
    for (int i = 0; i < n; ++i) bits += decisions[static_cast<std::size_t>(f) * n + i];
    errors[0] += bits > 0;
    errors[1] += bits;
  }
  return errors;
}

// The options of a run, as the command line gives them.
struct runoptions {
  int loops = 3, length = 1000, girth = 0;
  unsigned short seed[3] = {0x330E, 1, 0};  // what srand48(1) gives
  int frames = 20;
  double ebn0 = 1.5;
  ldpc::decoderoptions decoding;
  bool verbose = false;
  std::string proto, save, read, record, repeat;
};

// The arguments with "--option=value" split into "--option" "value"; the
// pointers are those of argv.
std::vector<char *> splitequals(int argc, char **argv) {
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    char *equals = std::strchr(argv[i], '=');
    if (std::strncmp(argv[i], "--", 2) == 0 && equals != nullptr && equals > argv[i] + 2) {
      *equals = '\0';
      args.push_back(argv[i]);
      args.push_back(equals + 1);
    } else {
      args.push_back(argv[i]);
    }
  }
  return args;
}

void parseseed(const char *value, unsigned short seed[3]) {
  // A bare number keeps its earlier meaning, so that recorded runs
  // still give their graphs: the state srand48(N) leaves.
  if (std::strchr(value, ',') == nullptr) {
    const int n = number(value, "--seed");
    seed[0] = 0x330E;
    seed[1] = static_cast<unsigned short>(n & 0xFFFF);
    seed[2] = static_cast<unsigned short>(n >> 16);
  } else if (!ldpc::parsestreamstate(value, seed)) {
    usageerror(std::string("--seed takes W0,W1,W2 (each 0..65535) or a number up to "
                           "2000000000, not \"") +
               value + "\"");
  }
}

// Reads the options into *options (-C changes the directory at once);
// false when --help or --version was answered and the program is done.
bool parseoptions(int argc, char **argv, runoptions *options) {
  runoptions &o = *options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << usage << help;
      return false;
    }
    if (option == "--version") {
      std::cout << "simulate (ldpcgraph) " << LDPCGRAPH_VERSION << "\n";
      return false;
    }
    if (option == "--verbose") {
      o.verbose = true;
      continue;
    }
    if (i + 1 == argc) usageerror("unknown option or missing value: " + option);
    const char *value = argv[++i];
    if (option == "-C") {
      if (chdir(value) != 0) usageerror(std::string("cannot work in ") + value);
    } else if (option == "--loops") {
      o.loops = number(value, "--loops");
    } else if (option == "--length") {
      o.length = number(value, "--length", 1);
    } else if (option == "--girth") {
      o.girth = number(value, "--girth");
      if (o.girth != 0 && (o.girth < 4 || o.girth % 2 != 0))
        usageerror("--girth wants an even number of at least 4");
    } else if (option == "--seed") {
      parseseed(value, o.seed);
    } else if (option == "--frames") {
      o.frames = number(value, "--frames");
    } else if (option == "--ebn0") {
      char *end;
      o.ebn0 = std::strtod(value, &end);
      if (*end != '\0' || end == value || !std::isfinite(o.ebn0))
        usageerror(std::string("--ebn0 wants a number, not \"") + value + "\"");
    } else if (option == "--decoder") {
      if (!ldpc::parsealgorithm(value, &o.decoding.algorithm))
        usageerror(std::string("--decoder wants spa, minsum, nms or oms, not \"") + value + "\"");
    } else if (option == "--proto") {
      o.proto = value;
    } else if (option == "--save") {
      o.save = value;
    } else if (option == "--read") {
      o.read = value;
    } else if (option == "--record") {
      o.record = value;
    } else if (option == "--repeat") {
      o.repeat = value;
    } else {
      usageerror("unknown option " + option);
    }
  }
  if (!o.save.empty() && !o.read.empty()) usageerror("--save and --read exclude each other");
  return true;
}

// The irregular ensemble of the run, which the configuration points into.
struct irregularensemble {
  int vdegrees[3] = {2, 3, 8};
  double vfractions[3] = {0.5, 0.3, 0.2};
  int cdegrees[2] = {7, 8};
  double cfractions[2] = {0.5, 0.5};
};

// Fills the configuration record; false (with the message printed) when
// the irregular construction cannot build the length asked for.
bool configure(const runoptions &o, irregularensemble *ensemble, ldpc::simulations *sim) {
  sim->verbose = o.verbose ? 1 : 0;
  sim->newgraph = o.read.empty() ? 1 : 0;
  // 0: a fresh graph by the driver's rule on every call; 1: one graph,
  // saved and kept
  sim->constructgraphonce = o.save.empty() ? 0 : 1;
  if (!o.save.empty()) setname(sim->graphfile, o.save, "--save");
  if (!o.read.empty()) setname(sim->graphfile, o.read, "--read");
  sim->length = o.length;
  if (o.proto.empty()) {
    sim->ensemble = 0;
    sim->vdegreesnum = 3;
    sim->vdegreelist = ensemble->vdegrees;
    sim->vpercentagelist = ensemble->vfractions;
    sim->cdegreesnum = 2;
    sim->cdegreelist = ensemble->cdegrees;
    sim->cpercentagelist = ensemble->cfractions;
    sim->typedist = 0;  // the fractions count nodes
    // The construction's counts and balancing, worked out first: a length
    // it cannot build is refused here, with the lengths that work.
    ldpc::irregularplan plan;
    if (o.read.empty() && !ldpc::planirregular(sim, &plan)) {
      std::cerr << "simulate: cannot build the distribution with --length " << o.length << ": "
                << ldpc::explainirregular(plan) << "; " << ldpc::nearestirregularlengths(*sim)
                << "\n";
      return false;
    }
  } else {
    sim->ensemble = 1;
    setname(sim->protofile, o.proto, "--proto");
  }
  return true;
}

// Where the streams start: stored seed rows (which the rerun record points
// into) or the seed.
struct streamstart {
  ldpc::reruns rerun{};
  std::vector<seedrow> rows;
  std::vector<unsigned short *> seeds;
};

// Starts the streams; a repeat sets the number of loops to its rows.
void startstreams(runoptions *o, streamstart *start) {
  if (!o->repeat.empty()) {
    start->rows = readseeds(o->repeat);
    o->loops = static_cast<int>(start->rows.size());
    // The driver's first construction takes row loop + 1: on a one-loop
    // run that row was never recorded, and any row serves there.
    if (start->rows.size() < 2) start->rows.push_back(start->rows.back());
    for (seedrow &row : start->rows) start->seeds.push_back(row.data());
    start->rerun.rerun = 2;
    start->rerun.seeds = start->seeds.data();
  } else {
    for (int k = 0; k < 3; ++k) ldpc::graphsimrand[k] = o->seed[k];
    nextseed(o->seed, ldpc::channelsimrand);
  }
}

// Runs the loops, printing a line each; returns the seed rows they started
// from.
std::vector<seedrow> runloops(const runoptions &o, ldpc::simulations *sim, streamstart *start,
                              ldpc::graphs *graph, ldpc::encoders *encoder) {
  ldpc::randomizes randomize{};
  std::vector<seedrow> recorded;
  for (int loop = 0; loop < o.loops; ++loop) {
    ldpc::setchannelseeds(loop, &start->rerun);
    ldpc::getchannelsimrand(&randomize);
    // l = 1 asks for a fresh graph on every call, from seed row loop when
    // the run is a repeat. On the first call the driver builds the run's
    // first graph (from row loop + 1) before it, so every loop's graph comes
    // from the state recorded for that loop.
    ldpc::constructgraph(sim, graph, &randomize, encoder, &start->rerun, loop, 1);
    const unsigned short *g = randomize.graphsimrand;
    const unsigned short *c = randomize.channelsimrand;
    recorded.push_back({g[0], g[1], g[2], c[0], c[1], c[2]});

    int edges = 0;
    for (int v = 0; v < graph->vnodenum; ++v) edges += graph->vnodelist[v].degree;
    // Noise from the channel stream, which the seed row of the loop holds.
    std::array<long, 2> errors = decodeframes(graph, o.decoding, o.ebn0, o.frames);
    std::printf(
        "loop %d: %d edges, graph stream from %s, fingerprint %016llx, %ld of %d frames "
        "and %ld bits in error\n",
        loop, edges, statetext(g).c_str(), static_cast<unsigned long long>(fingerprint(graph)),
        errors[0], o.frames, errors[1]);
  }
  return recorded;
}

}  // namespace

int main(int argc, char **argv) {
  runoptions options;
  std::vector<char *> args = splitequals(argc, argv);
  if (!parseoptions(static_cast<int>(args.size()), args.data(), &options)) return 0;

  // The configuration records.
  irregularensemble ensemble;
  ldpc::simulations sim{};
  if (!configure(options, &ensemble, &sim)) return 1;
  // The driver hands every graph it constructs to the cycle removal.
  ldpc::conditionconstructions(options.girth);
  ldpc::graphs graph{};
  graph.vnodenum = -1;  // no graph yet
  ldpc::encoders encoder{};
  encoder.gap = -1;

  streamstart start;
  startstreams(&options, &start);
  std::vector<seedrow> recorded = runloops(options, &sim, &start, &graph, &encoder);

  if (!options.record.empty()) writeseeds(options.record, recorded);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::cerr << "simulate: cannot write standard output: " << std::strerror(errno) << "\n";
    return 1;
  }
  if (graph.vnodenum != -1) ldpc::freegraph(&graph);
  std::free(encoder.iphi);
  if (sim.protograph != nullptr) {
    ldpc::freegraph(sim.protograph);
    std::free(sim.protograph);
  }
  return 0;
}
