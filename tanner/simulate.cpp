// tanner simulate: error rates of a decoder over channel points, for a code
// or an ensemble.

#include <cerrno>
#include <csignal>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "clusteropts.h"
#include "graphfile.h"
#include "irregular.h"
#include "ledgeropts.h"
#include "montecarlo.h"
#include "optiontable.h"
#include "outputfile.h"
#include "qcdecoder.h"
#include "qcfile.h"
#include "shortcycles.h"
#include "simulationcheck.h"
#include "standardcode.h"
#include "textio.h"
#include "transmitopts.h"

namespace tanner {

namespace {

const char simulatehelp[] =
    "usage: tanner simulate CODE POINTS [OPTIONS]\n"
    "       tanner simulate irregular --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,..\n"
    "                                 --length N [--edge-fractions] POINTS [OPTIONS]\n"
    "       tanner simulate proto PROTOFILE --lift L POINTS [OPTIONS]\n"
    "       tanner simulate standard NAME [--rate R --length N --lift Z --info K\n"
    "                                 --rv V --lbrm TBS] POINTS [OPTIONS]\n"
    "\n"
    "Decodes noisy frames of the all-zero codeword and prints a row per point as\n"
    "soon as it is done: the channel, frames, frame errors, the frame error rate\n"
    "with its 95% Wilson score interval, bit errors, bit error rate, undetected\n"
    "frame errors (decoded to another codeword), average iterations, why the\n"
    "point stopped (errors, frames or time) and coded Mb/s (wall clock, noise\n"
    "included). CODE is a code description file, an alist file or a base-matrix\n"
    "file (.qc, or --format qc; its flag line punctures block columns). For an\n"
    "ensemble a fresh graph is drawn through the library's construction driver\n"
    "every --frames-per-graph frames.\n"
    "\n"
    "POINTS (one of; LIST is START:STOP:STEP or a comma list, at most 100000\n"
    "points, decimal numbers):\n"
    "  --ebn0 LIST        BPSK over AWGN at Eb/N0 in dB, with the code's design\n"
    "                     rate unless --rate R is given\n"
    "  --sigma LIST       BPSK over AWGN, noise standard deviation\n"
    "  --erasure LIST     binary erasure channel, erasure probability\n"
    "  --crossover LIST   binary symmetric channel, crossover probability\n"
    "\n"
    "OPTIONS:\n"
    "  --decoder spa|minsum|nms|oms   sum-product (float), min-sum, normalised or\n"
    "                     offset min-sum (16-bit fixed point); default spa\n"
    "  --alpha A          nms only: factor, 0 < A < 1 (default 0.8); a small\n"
    "                     alpha stalls on codes with many degree-2 nodes\n"
    "  --beta B           oms only: offset in LLR units (default 0.25)\n"
    "  --quantization 8|16  minsum, nms, oms: bits per message (default 16); 8\n"
    "                     decodes twice the frames per batch (posteriors in 16\n"
    "                     bits where a variable degree exceeds 3)\n"
    "  --spa-approximation exact|fast  spa only: exact (default) or fast, cheaper\n"
    "                     exponential, division and logarithm in the check rule\n"
    "                     (messages within about 3e-4 of exact's)\n"
    "  --schedule flooding|layered    default flooding\n"
    "  --iterations N     maximum iterations (default 50)\n"
    "  --no-early-stop    run every iteration even when the checks are satisfied\n"
    "  --simd batch|intra batch (default): frames side by side in the SIMD lanes;\n"
    "                     intra: one frame at a time, the lanes over the Z rows\n"
    "                     of each block row, for low latency. intra takes a code\n"
    "                     that is a lifting of circulants, --schedule layered,\n"
    "                     minsum, nms or oms in 16 bits; its counts equal batch's\n"
    "  --max-errors N     a point stops at N frame errors (default 100)\n"
    "  --max-frames N     ... or at N frames (default 1000000)\n"
    "  --max-seconds S    ... or after S seconds of wall clock (default 60; 0: no\n"
    "                     limit). The frames of a point stopped by time depend on\n"
    "                     the machine; its counts are those of its frames alone\n"
    "                     (--max-frames with that number gives them again)\n"
    "  --all-points       run every point; by default the sweep stops after a\n"
    "                     point without frame errors\n"
    "  --min-fer F        stop the sweep after a point with FER below F\n"
    "  --rate R           the code rate for --ebn0 (and the Eb/N0 of --sigma)\n"
    "  --seed S           run seed: W0,W1,W2 or an integer below 2^48 (default 1),\n"
    "                     mixed with the point and frame into each frame's noise;\n"
    "                     not a graph-stream state as construct --state takes\n"
    "  --threads N        threads (default: all cores); counts do not depend on it\n"
    "  --progress         progress on standard error also when it is not a\n"
    "                     terminal (a line every 5 seconds)\n"
    "  --json FILE        {\"config\": {...}, \"points\": [...]} (whole or not at all)\n"
    "  --csv FILE         the rows as CSV (whole or not at all)\n"
    "  --replay P:F       decode frame F of point P (both from 0) alone: print its\n"
    "                     channel LLRs and the unsatisfied checks per iteration;\n"
    "                     add it to a sweep's command line (without --json,\n"
    "                     --csv and --progress)\n"
    "\n"
    "Transmission (a code file; a standard code brings its own pattern, as\n"
    "tanner construct standard prints it):\n"
    "  --punctured LIST   nodes not sent (channel LLR 0, still decided), such as\n"
    "                     0-767,9000 (nodes from 0)\n"
    "  --shortened LIST   nodes known to be 0 and not sent (never in error)\n"
    "With a pattern, Eb/N0 is taken at the rate of information bits per sent bit\n"
    "(unless --rate), and bit errors are counted over the sent and punctured\n"
    "bits (the BER is per such bit).\n"
    "\n"
    "Long runs (ledgers, shards; see docs/cluster.md):\n"
    "  --ledger FILE      record every finished block in FILE (JSON lines) as the\n"
    "                     run goes; FILE must not exist yet\n"
    "  --resume           go on with the ledger of --ledger: its blocks are taken,\n"
    "                     the others decoded; a ledger of another configuration\n"
    "                     is refused. Counts, JSON and CSV as an uninterrupted run\n"
    "  --shard K/N        run the blocks b with b mod N = K - 1 of every point (all\n"
    "                     points); the rows count this shard's blocks; merge the\n"
    "                     shards' ledgers with tanner merge\n"
    "  mpirun -np P tanner simulate CODE ...  spreads the blocks of a fixed code\n"
    "                     over P processes, each with its --threads: the counts\n"
    "                     of one process; rank 0 alone prints and writes\n"
    "\n"
    "Codewords, modulation and fading (codes, not ensembles):\n"
    "  --codeword zero|random   the all-zero word, or words drawn from each\n"
    "                     frame's stream and encoded (information-bit errors\n"
    "                     are then reported too); default zero for BPSK and QPSK\n"
    "                     without fading, else random: on 16-QAM and above the\n"
    "                     bits of a symbol are not protected alike, and the\n"
    "                     all-zero word would give a wrong curve\n"
    "  --modulation bpsk|qpsk|16qam|64qam|256qam   Gray mappings of 5G NR, unit\n"
    "                     energy; Es/N0 = Eb/N0 + 10 log10(R q), q bits a symbol\n"
    "                     (with --sigma: n0 = 2 sigma^2 / q, the Eb/N0 of BPSK)\n"
    "  --demapper exact|maxlog   bit LLRs by log-sum-exp or its max-log\n"
    "                     approximation (default exact)\n"
    "  --fading fast|block:L   Rayleigh fading known at the receiver, a gain per\n"
    "                     symbol or per L symbols\n"
    "  --interleave       a random bit interleaver per frame (standard nr: the\n"
    "                     5G NR bit interleaver, TS 38.212 clause 5.4.2.2)\n"
    "\n"
    "Ensembles (irregular, proto) only:\n"
    "  --frames-per-graph N   frames per graph (default 1000)\n"
    "  --graphs           print the seed row of every graph drawn\n"
    "  --girth G          rid every graph drawn of cycles shorter than G (even,\n"
    "                     >= 4), as tanner construct --girth does\n"
    "  --no-parallel      the same as --girth 4: no parallel edges\n"
    "\n"
    "An option that has no effect in the command given is a usage error, and an\n"
    "output that is the same file as an input or another output is refused.\n"
    "On SIGINT, SIGTERM or SIGHUP the blocks in flight finish, the finished\n"
    "points are written to --json and --csv (the config marked interrupted) and\n"
    "the status is 128 + the signal's number; with --ledger the blocks in flight\n"
    "are recorded and the command that resumes the run is printed.\n"
    "\n"
    "Frame F of point P draws its noise from a state mixed from (seed, P, F), so\n"
    "the counts are the same for any thread count and SIMD width.\n";

const char *const command = "simulate";

struct settings {
  std::string code;  // file, or "irregular" / "proto"
  std::string protofile;
  int length = 0, lift = 0, girth = 0;
  distributionargs distribution;  // --vdeg --vfrac --cdeg --cfrac --edge-fractions
  std::string pointsoption;
  ldpc::simulationinputs inputs;
  bool listgraphs = false, progress = false;
  bool intra = false;  // --simd intra
  int intralift = 0;   // its Z, once the code is loaded
  std::string json, csv;
  long long replaypoint = -1, replayframe = -1;
  unsigned short seed[3] = {1, 0, 0};
  std::set<std::string> given;  // the options on the command line
  ldpc::simulationsettings run;
  simulatecode codeargs;  // standard NAME, --punctured, --shortened
  ledgeroptions ledger;
  transmitargs transmit;
  std::string transmitline;  // the header line of the transmit chain, "" when none
  std::vector<ldpc::configsetting> chainledger;  // the chain's settings for a ledger
};

std::vector<double> parsepoints(const std::string &option, const std::string &text) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) return parsedoublelist(command, option, text);
  const std::string::size_type second = text.find(':', colon + 1);
  if (second == std::string::npos)
    usageerror(command, option + " takes START:STOP:STEP or a comma list");
  const double start = parsedouble(command, option, text.substr(0, colon));
  const double stop = parsedouble(command, option, text.substr(colon + 1, second - colon - 1));
  const double step = parsedouble(command, option, text.substr(second + 1));
  if (!(step > 0) || !(stop >= start))
    usageerror(command, option + " " + text + ": STEP must be positive, STOP not below START");
  const double count = std::floor((stop - start) / step + 1e-9) + 1;
  if (count > static_cast<double>(ldpc::maxpoints))
    usageerror(command, option + " " + text + " gives " +
                            std::to_string(static_cast<long long>(count)) +
                            " points; a run takes at most " + std::to_string(ldpc::maxpoints));
  std::vector<double> values;
  for (long k = 0; start + k * step <= stop + step * 1e-9; ++k) values.push_back(start + k * step);
  return values;
}

long long parsebig(const std::string &option, const std::string &text) {
  errno = 0;
  char *end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  const bool digits = !text.empty() && text.find_first_not_of("-0123456789") == std::string::npos;
  if (!digits || *end != '\0' || errno != 0)
    usageerror(command, option + " takes an integer, not '" + text + "'");
  return value;
}

void parsereplay(const std::string &text, settings *s) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) usageerror(command, "--replay takes POINT:FRAME");
  s->replaypoint = parsebig("--replay", text.substr(0, colon));
  s->replayframe = parsebig("--replay", text.substr(colon + 1));
  if (s->replaypoint < 0 || s->replayframe < 0)
    usageerror(command, "--replay takes POINT:FRAME, both from 0");
}

// Options that mean something only in some commands: the first of names
// given is a usage error with why.
void refusegiven(const settings &s, std::initializer_list<const char *> names,
                 const std::string &why) {
  for (const char *name : names)
    if (s.given.count(name) != 0) usageerror(command, std::string(name) + " " + why);
}

// Options without effect in the command given.
void refuseunused(const settings &s) {
  if (s.code != "irregular" && s.code != "proto")
    refusegiven(s,
                {"--vdeg", "--vfrac", "--cdeg", "--cfrac", "--edge-fractions", "--length", "--lift",
                 "--frames-per-graph", "--graphs", "--girth", "--no-parallel"},
                "applies to ensembles only (simulate irregular or simulate proto)");
  if (s.code == "irregular") refusegiven(s, {"--lift"}, "applies to simulate proto only");
  if (s.code == "proto")
    refusegiven(s, {"--vdeg", "--vfrac", "--cdeg", "--cfrac", "--edge-fractions", "--length"},
                "applies to simulate irregular only");
  // A sweep is replayed by adding --replay to its command line, so its
  // limits and --graphs may stay; the files it would write may not.
  if (s.replayframe >= 0)
    refusegiven(s, {"--json", "--csv", "--progress"},
                "has no effect with --replay, which decodes one frame and writes no file");
  if (s.given.count("--girth") != 0 && s.given.count("--no-parallel") != 0)
    usageerror(command, "--no-parallel is --girth 4; give one of them");
}

// --simd intra: what the one-frame decoder cannot honour.
void checkintra(const settings &s) {
  if (s.code == "irregular" || s.code == "proto")
    usageerror(command,
               "--simd intra decodes a fixed code that is a lifting of circulants, not "
               "an ensemble");
  const std::string why = ldpc::qcdecoder::unsupported(s.run.decoder);
  if (!why.empty()) usageerror(command, "--simd intra: " + why + " (--simd batch decodes it)");
  if (s.replayframe >= 0)
    usageerror(command,
               "--simd intra: --replay traces the batched decoder (whose decisions the "
               "one-frame decoder equals); drop --simd");
}

// The one-frame decoder of a loaded code, at the largest lifting size it
// is a lifting by, as the run's frame decoder.
void planintra(const std::string &description, const ldpc::graphs *graph, settings *s) {
  const int lift = ldpc::findqclift(graph);
  if (lift < 2)
    usageerror(command, "--simd intra: " + description +
                            " is not a lifting of circulants (no Z > 1 cuts its matrix into "
                            "blocks each empty or one circulant); --simd batch decodes it");
  auto dec = std::make_shared<const ldpc::qcdecoder>(graph, lift, s->run.decoder);
  s->intralift = lift;
  s->run.framedecoder = [dec](const double *llr, int frames, const ldpc::decodeoutputs &out) {
    dec->decode(llr, frames, out);
  };
}

// What the options say together: the code or ensemble from the positional
// arguments, options that apply, points and settings in range (the checks
// the Python package makes too), an ensemble complete; the run's seed.
void checksettings(const std::vector<std::string> &positional, settings *target) {
  settings &s = *target;
  if (positional.empty()) usageerror(command, "expects a code file, 'irregular' or 'proto'");
  s.code = positional[0];
  const std::size_t expected = s.code == "proto" ? 2 : 1;
  if (positional.size() != expected)
    usageerror(command, "unexpected argument " + positional.back());
  if (s.code == "proto") s.protofile = positional[1];
  if (s.pointsoption.empty())
    usageerror(command, "give the points: --ebn0, --sigma, --erasure or --crossover");
  refuseunused(s);
  const std::string fault = ldpc::simulationfault(s.inputs, s.run, "--");
  if (!fault.empty()) usageerror(command, fault);
  if (s.code == "irregular") checkdistributionargs(command, s.distribution, s.length);
  if (s.code == "proto" && s.lift < 1) usageerror(command, "proto needs --lift");
  checkledgeroptions(command, s.ledger, s.replayframe >= 0);
  if (s.intra) checkintra(s);
  checktransmitargs(s.transmit, s.code == "irregular" || s.code == "proto");
  if (s.replaypoint >= static_cast<long long>(s.inputs.points.size()))
    usageerror(command,
               "--replay: there are " + std::to_string(s.inputs.points.size()) + " points");
  s.run.seed = static_cast<std::uint64_t>(s.seed[0]) | static_cast<std::uint64_t>(s.seed[1]) << 16 |
               static_cast<std::uint64_t>(s.seed[2]) << 32;
}

// Table entries of options whose handler sets *target from the value.
template <typename number, typename parser>
optionentry setter(const char *name, optionkind kind, number *target, parser parse) {
  return {name, kind, "", [=](const std::string &v) { *target = parse(name, v); }};
}

int intvalue(const std::string &option, const std::string &text) {
  return parseint(command, option, text);
}
double realvalue(const std::string &option, const std::string &text) {
  return parsedouble(command, option, text);
}
optionentry flagentry(const char *name, std::function<void()> set) {
  return {name, optionkind::flag, "", [set](const std::string &) { set(); }};
}

// The points, one kind of them; the decoder's options.
std::vector<optionentry> decoderoptions(settings *s) {
  ldpc::decoderoptions &d = s->run.decoder;
  std::vector<optionentry> table;
  for (const char *name : {"--ebn0", "--sigma", "--erasure", "--crossover"})
    table.push_back({name, optionkind::list, "", [s, name](const std::string &v) {
                       if (!s->pointsoption.empty())
                         usageerror(command, "give one of --ebn0, --sigma, --erasure, --crossover");
                       s->pointsoption = name;
                       ldpc::parsepointkind(name + 2, &s->inputs.kind);
                       s->inputs.points = parsepoints(name, v);
                     }});
  const std::vector<optionentry> rest = {
      {"--decoder", optionkind::text, "",
       [&d](const std::string &v) {
         if (!ldpc::parsealgorithm(v, &d.algorithm))
           usageerror(command, "--decoder takes spa, minsum, nms or oms, not '" + v + "'");
       }},
      {"--alpha", optionkind::real, "",
       [s](const std::string &v) {
         s->run.decoder.alpha = parsedouble(command, "--alpha", v);
         s->inputs.hasalpha = true;
       }},
      {"--beta", optionkind::real, "",
       [s](const std::string &v) {
         s->run.decoder.beta = parsedouble(command, "--beta", v);
         s->inputs.hasbeta = true;
       }},
      setter("--quantization", optionkind::integer, &d.quantization, intvalue),
      {"--spa-approximation", optionkind::text, "",
       [&d](const std::string &v) {
         if (!ldpc::parseapproximation(v, &d.approximation))
           usageerror(command, "--spa-approximation takes exact or fast, not '" + v + "'");
       }},
      {"--schedule", optionkind::text, "",
       [&d](const std::string &v) {
         if (!ldpc::parseschedule(v, &d.schedule))
           usageerror(command, "--schedule takes flooding or layered, not '" + v + "'");
       }},
      setter("--iterations", optionkind::integer, &d.iterations, intvalue),
      flagentry("--no-early-stop", [&d] { d.earlystop = false; }),
      {"--simd", optionkind::text, "",
       [s](const std::string &v) {
         if (v != "batch" && v != "intra")
           usageerror(command, "--simd takes batch or intra, not '" + v + "'");
         s->intra = v == "intra";
       }},
  };
  table.insert(table.end(), rest.begin(), rest.end());
  return table;
}

// The limits of a sweep, its seed, threads and outputs.
std::vector<optionentry> runoptions(settings *s) {
  ldpc::simulationsettings &run = s->run;
  return {
      setter("--max-errors", optionkind::integer, &run.maxerrors, parsebig),
      setter("--max-frames", optionkind::integer, &run.maxframes, parsebig),
      setter("--max-seconds", optionkind::real, &run.maxseconds, realvalue),
      flagentry("--all-points", [&run] { run.stopwithouterrors = false; }),
      setter("--min-fer", optionkind::real, &run.minfer, realvalue),
      {"--rate", optionkind::real, "",
       [s](const std::string &v) {
         s->inputs.rate = parsedouble(command, "--rate", v);
         s->inputs.hasrate = true;
       }},
      {"--seed", optionkind::text, "",
       [s](const std::string &v) { parseseed(command, v, s->seed); }},
      setter("--threads", optionkind::integer, &run.threads, intvalue),
      flagentry("--progress", [s] { s->progress = true; }),
      {"--json", optionkind::text, "", [s](const std::string &v) { s->json = v; }},
      {"--csv", optionkind::text, "", [s](const std::string &v) { s->csv = v; }},
      {"--replay", optionkind::text, "", [s](const std::string &v) { parsereplay(v, s); }},
  };
}

// The transmit chain's options, the ledger's, and the ensembles'.
std::vector<optionentry> chainoptions(settings *s) {
  std::vector<optionentry> table;
  for (const char *name : {"--codeword", "--modulation", "--demapper", "--fading"})
    table.push_back({name, optionkind::text, "", [s, name](const std::string &v) {
                       taketransmitoption(name, v, &s->transmit);
                     }});
  table.push_back(
      flagentry("--interleave", [s] { taketransmitoption("--interleave", "", &s->transmit); }));
  for (const char *name : {"--ledger", "--shard"})
    table.push_back({name, optionkind::text, "", [s, name](const std::string &v) {
                       takeledgeroption(command, name, v, &s->ledger);
                     }});
  table.push_back(flagentry("--resume", [s] { s->ledger.resume = true; }));
  table.push_back(
      setter("--frames-per-graph", optionkind::integer, &s->run.framespergraph, intvalue));
  table.push_back(flagentry("--graphs", [s] { s->listgraphs = true; }));
  table.push_back({"--girth", optionkind::integer, "",
                   [s](const std::string &v) { s->girth = parsegirth(command, v); }});
  table.push_back(flagentry("--no-parallel", [s] { s->girth = 4; }));
  const std::vector<optionentry> distribution = distributionoptions(command, &s->distribution);
  table.insert(table.end(), distribution.begin(), distribution.end());
  for (auto [name, target] : {std::pair{"--length", &s->length}, std::pair{"--lift", &s->lift}})
    table.push_back({name, optionkind::integer, "", [name, target](const std::string &v) {
                       *target = parsecount(command, name, v, 1);
                     }});
  return table;
}

// Every option of simulate but the code's (takesimulatecode took those),
// each once but the points, whose second kind is refused by name; the
// options given are noted in s->given.
std::vector<optionentry> optiontable(settings *s) {
  std::vector<optionentry> table = decoderoptions(s);
  for (auto part : {runoptions, chainoptions}) {
    std::vector<optionentry> more = part(s);
    table.insert(table.end(), more.begin(), more.end());
  }
  for (optionentry &entry : table) {
    const std::string name = entry.name;
    entry.once =
        name != "--ebn0" && name != "--sigma" && name != "--erasure" && name != "--crossover";
    entry.apply = [s, name, apply = std::move(entry.apply)](const std::string &v) {
      s->given.insert(name);
      apply(v);
    };
  }
  return table;
}

settings parse(int argc, char **argv) {
  settings s;
  s.run.threads = std::max(1u, std::thread::hardware_concurrency());
  s.ledger.args.assign(argv, argv + argc);
  std::vector<std::string> positional;
  applyoptions(command, simulatehelp, optiontable(&s), argc, argv, &positional);
  checksettings(positional, &s);
  return s;
}

std::string jsonnumber(double x) { return ldpc::jsonrealornull(x, "%.10g"); }

// The columns of a point, in the order of the JSON keys and the CSV header.
std::vector<std::pair<std::string, std::string>> pointfields(const settings &s,
                                                             const ldpc::pointresult &r) {
  std::vector<std::pair<std::string, std::string>> fields;
  if (s.run.channel == ldpc::channeltype::awgn) {
    fields.emplace_back("ebn0", jsonnumber(r.ebn0));
    fields.emplace_back("sigma", jsonnumber(r.parameter));
  } else {
    fields.emplace_back(ldpc::parametername(s.run.channel), jsonnumber(r.parameter));
  }
  auto count = [](std::int64_t v) { return std::to_string(v); };
  fields.emplace_back("frames", count(r.frames));
  fields.emplace_back("frameerrors", count(r.frameerrors));
  fields.emplace_back("fer", jsonnumber(r.fer));
  fields.emplace_back("ferlow", jsonnumber(r.ferlow));
  fields.emplace_back("ferhigh", jsonnumber(r.ferhigh));
  fields.emplace_back("biterrors", count(r.biterrors));
  fields.emplace_back("ber", jsonnumber(r.ber));
  fields.emplace_back("undetected", count(r.undetected));
  if (!s.run.infopositions.empty()) {
    fields.emplace_back("infobiterrors", count(r.infobiterrors));
    fields.emplace_back("infober", jsonnumber(r.infober));
  }
  fields.emplace_back("iterations", jsonnumber(r.iterations));
  fields.emplace_back("stopped", ldpc::jsonquoted(ldpc::pointstopname(r.stopped)));
  fields.emplace_back("mbps", jsonnumber(r.mbps));
  return fields;
}

// The code under simulation, or the ensemble as the construction driver
// takes it, with what the header and the JSON say of it. code points into
// the record itself, which is therefore never copied.
struct codeplan {
  ldpc::codesupply code;
  ldpc::graphs *graph = nullptr;
  ldpc::simulations ensemble{};
  ldpc::encoders encoder{0, -1, nullptr, nullptr};  // of a code file
  std::string description;
  double rate = 0.0;
  int length = 0;
  codetransmission transmit;  // active when not every bit is sent once
  std::string standard;       // the standard code's JSON, "" for others
  codeplan() = default;
  codeplan(const codeplan &) = delete;
  codeplan &operator=(const codeplan &) = delete;
};

void planirregular(settings *s, codeplan *plan) {
  ldpc::simulations &ensemble = plan->ensemble;
  ensemble = ldpc::irregularsimulation(s->length, s->distribution.vdeg, s->distribution.vfrac,
                                       s->distribution.cdeg, s->distribution.cfrac,
                                       s->distribution.edgefractions);
  ensemble.newgraph = 1;
  plan->code.ensemble = &ensemble;
  // The construction refuses what its balancing cannot close; ask first.
  std::string refusal = ldpc::refuseirregular(ensemble);
  if (!refusal.empty()) fail(refusal);
  plan->rate = ldpc::irregularrate(ensemble);
  plan->length = s->length;
  plan->description =
      "irregular ensemble, " + std::to_string(s->length) + " variable nodes asked for";
}

void planproto(const settings &s, codeplan *plan) {
  ldpc::simulations &ensemble = plan->ensemble;
  ensemble.newgraph = 1;
  ensemble.ensemble = 1;
  ensemble.length = s.lift;
  ensemble.protograph = loadprotograph(s.protofile, s.lift);
  plan->code.ensemble = &ensemble;
  plan->rate =
      1.0 - static_cast<double>(ensemble.protograph->cnodenum) / ensemble.protograph->vnodenum;
  plan->length = s.lift * ensemble.protograph->vnodenum;
  plan->description = "protograph ensemble " + s.protofile + " lifted by " + std::to_string(s.lift);
}

// A standard code: its graph, description and pattern.
void loadstandard(const settings &s, codeplan *plan) {
  ldpc::standardcode code;
  buildstandardcode(command, s.codeargs.options.request, &code);
  plan->graph = code.graph;
  code.graph = nullptr;
  plan->description = describestandard(code);
  ldpc::jsonwriter standard;
  standardjson(standard, code, s.codeargs.options.request);
  plan->standard = standard.text();
  settransmission(plan->description, std::move(code.pattern), code.info, &plan->transmit);
}

void loadcode(const settings &s, codeplan *plan) {
  if (s.code == "standard") {
    loadstandard(s, plan);
  } else {
    plan->graph = loadcodefile(s.code, true, &plan->encoder,
                               "tanner simulate proto " + s.code + " --lift L ...");
    plan->description = s.code;
    filetransmission(command, s.code, plan->graph, s.codeargs, &plan->transmit);
  }
  const std::string refusal = ldpc::undecodable(plan->graph);
  if (!refusal.empty()) fail(plan->description + ": " + refusal);
  plan->code.graph = plan->graph;
  plan->rate = plan->graph->rate;
  plan->length = plan->graph->vnodenum;
  if (plan->transmit.active) {
    plan->code.map = &plan->transmit.map;
    plan->rate = plan->transmit.rate;
  }
}

// The code, or the ensemble (over the lists of s), every graph of an
// ensemble rid of short cycles with --girth; the points as channel
// parameters at the design rate or --rate.
void plancode(settings *s, codeplan *plan) {
  if (s->code == "irregular")
    planirregular(s, plan);
  else if (s->code == "proto")
    planproto(*s, plan);
  else
    loadcode(*s, plan);
  if (s->inputs.hasrate) plan->rate = s->inputs.rate;
  if (s->girth > 0) ldpc::conditionconstructions(s->girth);
  const std::string fault = ldpc::setchannelpoints(s->inputs, plan->rate, "--", &s->run);
  if (!fault.empty()) fail(plan->description + ": " + fault);
  // A rate-matched 5G NR code block is interleaved as its standard does.
  if (s->code == "standard" && s->codeargs.options.request.family == "nr" &&
      s->transmit.setup.interleave == ldpc::interleaving::random)
    s->transmit.setup.interleave = ldpc::interleaving::nr;
  if (plan->graph != nullptr)
    s->transmitline = plantransmit(s->transmit, plan->graph, &plan->encoder,
                                   plan->transmit.active ? &plan->transmit.pattern : nullptr,
                                   plan->description, &s->run, &s->chainledger);
}

void releasecode(codeplan *plan) {
  for (ldpc::graphs **graph : {&plan->graph, &plan->ensemble.protograph})
    if (*graph != nullptr) {
      ldpc::freegraph(*graph);
      std::free(*graph);
      *graph = nullptr;
    }
  if (plan->encoder.gap >= 0) std::free(plan->encoder.iphi);
  plan->encoder.gap = -1;
}

// One frame decoded alone: its channel LLRs and the unsatisfied checks per
// iteration.
void replay(const settings &s, const codeplan &plan) {
  endprogress();
  ldpc::replayresult r =
      ldpc::replayframe(s.run, plan.code, static_cast<int>(s.replaypoint), s.replayframe);
  std::printf("replay: point %lld (%s %g), frame %lld of %s\n", s.replaypoint,
              s.pointsoption.c_str() + 2, s.inputs.points[s.replaypoint], s.replayframe,
              plan.description.c_str());
  if (plan.code.ensemble != nullptr)
    std::printf("graph drawn from graph stream state %s (frames from %" PRId64 ")\n",
                formatseed(r.graph.state).c_str(), r.graph.firstframe);
  std::printf("channel LLRs (%zu bits):\n", r.llr.size());
  for (std::size_t i = 0; i < r.llr.size(); ++i)
    std::printf("%s%9.4f", i % 8 == 0 ? (i == 0 ? "" : "\n") : " ", r.llr[i]);
  std::printf("\niteration  unsatisfied checks\n");
  for (std::size_t k = 0; k < r.unsatisfied.size(); ++k)
    std::printf("%9zu  %d\n", k, r.unsatisfied[k]);
  std::printf("decision: %s, %d iterations, %" PRId64 " bit errors, %d undecided bits\n",
              r.satisfied ? "satisfies every check" : "does not satisfy the checks", r.iterations,
              r.biterrors, r.undecided);
  flushoutput();
}

// The instruction set the decoder runs on and its frames per batch, as a
// decoder of these options reports them.
struct decodertarget {
  std::string name;
  int lanes = 0;
};

decodertarget probetarget(const ldpc::decoderoptions &options) {
  return {ldpc::decoder::targetfor(options), ldpc::decoder::lanesfor(options)};
}

// --simd intra: the instruction set and its 16-bit lanes.
decodertarget intratarget() { return {ldpc::qcdecoder::targetfor(), ldpc::qcdecoder::lanesfor()}; }

void printheader(const settings &s, const codeplan &plan, const decodertarget &target) {
  const ldpc::decoderoptions &o = s.run.decoder;
  std::printf("# %s: %d bits, rate %.6g\n", plan.description.c_str(), plan.length, plan.rate);
  if (plan.transmit.active) std::printf("%s", transmissionline(plan.transmit).c_str());
  if (s.girth > 0) std::printf("# every graph rid of cycles shorter than %d\n", s.girth);
  std::printf("# decoder %s", ldpc::algorithmname(o.algorithm));
  if (o.algorithm == ldpc::decoderalgorithm::normalizedminsum) std::printf(" alpha %g", o.alpha);
  if (o.algorithm == ldpc::decoderalgorithm::offsetminsum) std::printf(" beta %g", o.beta);
  if (o.quantization != 16) std::printf(" %d-bit", o.quantization);
  if (o.approximation != ldpc::spaapproximation::exact)
    std::printf(" %s approximation", ldpc::approximationname(o.approximation));
  if (s.intra)
    std::printf(
        ", %s, %d iterations%s; %s, one frame at a time, %d lanes over the Z = %d rows "
        "of a block row, %d thread%s; seed %s\n",
        ldpc::schedulename(o.schedule), o.iterations, o.earlystop ? ", early stop" : "",
        target.name.c_str(), target.lanes, s.intralift, s.run.threads,
        s.run.threads == 1 ? "" : "s", formatseed(s.seed).c_str());
  else
    std::printf(", %s, %d iterations%s; %s, %d frames per batch, %d thread%s; seed %s\n",
                ldpc::schedulename(o.schedule), o.iterations, o.earlystop ? ", early stop" : "",
                target.name.c_str(), target.lanes, s.run.threads, s.run.threads == 1 ? "" : "s",
                formatseed(s.seed).c_str());
  std::printf("# FER interval: 95%% Wilson score; undet: frame errors that satisfy every check\n");
  if (!s.transmitline.empty()) std::printf("%s\n", s.transmitline.c_str());
  if (s.run.channel == ldpc::channeltype::awgn)
    std::printf("%7s %8s", "Eb/N0", "sigma");
  else
    std::printf("%9s", ldpc::parametername(s.run.channel));
  std::printf(" %10s %8s %10s %21s %11s %10s %6s %7s %6s %8s", "frames", "errors", "FER",
              "FER 95% interval", "bit errors", "BER", "undet", "iters", "stop", "Mb/s");
  if (!s.run.infopositions.empty()) std::printf(" %11s %10s", "info errors", "info BER");
  std::printf("\n");
  flushoutput();
}

// x in fixed point with precision digits, or in exponent form when that
// would not fit width: the columns keep their width for any value.
std::string cell(double x, int width, int precision) {
  char text[400];
  std::snprintf(text, sizeof text, "%*.*f", width, precision, x);
  if (static_cast<int>(std::strlen(text)) > width)
    std::snprintf(text, sizeof text, "%*.*e", width, std::max(0, width - 7), x);
  return text;
}

void printrow(const settings &s, const ldpc::pointresult &r) {
  if (s.run.channel == ldpc::channeltype::awgn)
    std::printf("%s %s", cell(r.ebn0, 7, 3).c_str(), cell(r.parameter, 8, 5).c_str());
  else
    std::printf("%s", cell(r.parameter, 9, 5).c_str());
  std::printf(" %10" PRId64 " %8" PRId64 " %10.3e [%9.3e,%9.3e] %11" PRId64 " %10.3e %6" PRId64
              " %7.2f %6s %8.2f",
              r.frames, r.frameerrors, r.fer, r.ferlow, r.ferhigh, r.biterrors, r.ber, r.undetected,
              r.iterations, ldpc::pointstopname(r.stopped), r.mbps);
  if (!s.run.infopositions.empty())
    std::printf(" %11" PRId64 " %10.3e", r.infobiterrors, r.infober);
  std::printf("\n");
  flushoutput();
}

// The signal that ended the run (SIGINT, SIGTERM, SIGHUP), 0 while none has.
volatile std::sig_atomic_t stopsignal = 0;

extern "C" void notestop(int signal) { stopsignal = signal; }

// While the points run, the three signals end the run after the blocks in
// flight; a second one ends the process at once (SA_RESETHAND). Restored
// before the files are written, whose writer removes its temporary file on
// a signal.
class stopsignals {
 public:
  stopsignals() {
    struct sigaction action {};
    action.sa_handler = notestop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int k = 0; k < 3; ++k) sigaction(signals[k], &action, &previous[k]);
  }
  ~stopsignals() {
    for (int k = 0; k < 3; ++k) sigaction(signals[k], &previous[k], nullptr);
  }
  stopsignals(const stopsignals &) = delete;
  stopsignals &operator=(const stopsignals &) = delete;

 private:
  static constexpr int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous[3];
};

// The progress line of a point: its counts so far and the time left until
// the nearest of its limits.
std::string progresstext(const settings &s, const ldpc::pointresult &r) {
  const double errors = static_cast<double>(r.frameerrors) / s.run.maxerrors;
  const double frames = static_cast<double>(r.frames) / s.run.maxframes;
  const double time = s.run.maxseconds > 0 ? r.seconds / s.run.maxseconds : 0.0;
  const double done = std::min(1.0, std::max({errors, frames, time}));
  char text[200];
  int length =
      std::snprintf(text, sizeof text,
                    "point %d of %zu (%s %g): %" PRId64 " frames, %" PRId64 " errors, FER %.3e",
                    r.point + 1, s.inputs.points.size(), s.pointsoption.c_str() + 2,
                    s.inputs.points[r.point], r.frames, r.frameerrors, r.fer);
  if (done > 0 && length > 0 && length < static_cast<int>(sizeof text))
    std::snprintf(text + length, sizeof text - length, ", about %.0f s left",
                  r.seconds * (1 - done) / done);
  return text;
}

// Runs the points with progress, a row per point as soon as it is done, and
// the graphs drawn gathered into graphs; *end says why the sweep ended.
std::vector<ldpc::pointresult> runpoints(const settings &s, const codeplan &plan,
                                         std::vector<ldpc::graphrecord> *graphs,
                                         ldpc::sweepend *end, ledgerrun *ledger) {
  auto resume = [&] {
    startprogress(command);
    if (s.progress) forceprogress();
  };
  resume();
  ldpc::simulationcallbacks callbacks;
  callbacks.graphdrawn = [&](const ldpc::graphrecord &record) {
    graphs->push_back(record);
    if (s.listgraphs) {
      endprogress();
      std::printf("# graph of point %d from frame %" PRId64 ": --seed %s\n", record.point,
                  record.firstframe, formatseed(record.state).c_str());
      flushoutput();
      resume();
    }
  };
  callbacks.progress = [&](const ldpc::pointresult &r) { showprogresstext(progresstext(s, r)); };
  callbacks.pointdone = [&](const ldpc::pointresult &r) {
    endprogress();
    printrow(s, r);
    resume();
  };
  callbacks.cancelled = [] { return stopsignal != 0; };
  ledger->hook(&callbacks);
  std::vector<ldpc::pointresult> results;
  {
    stopsignals held;
    if (startmpi().ranks > 1)
      results = runclustersweep(s.run, plan.graph, plan.code.map, ledger->confighash(), callbacks,
                                end, ledger);
    else
      results = ldpc::runsimulation(ledger->runsettings(s.run), plan.code, callbacks, end);
  }
  endprogress();
  ledger->close();
  return results;
}

const char *endname(ldpc::sweepend end) {
  switch (end) {
    case ldpc::sweepend::lastpoint:
      return "lastpoint";
    case ldpc::sweepend::minfer:
      return "minfer";
    case ldpc::sweepend::noerrors:
      return "noerrors";
    case ldpc::sweepend::cancelled:
      return "interrupted";
  }
  return "";
}

void jsonconfig(ldpc::jsonwriter &json, const settings &s, const codeplan &plan,
                const decodertarget &target, const std::vector<ldpc::graphrecord> &graphs,
                ldpc::sweepend end) {
  const ldpc::decoderoptions &o = s.run.decoder;
  json.beginobject().key("code").string(plan.description).key("length").integer(plan.length);
  json.key("rate").raw(jsonnumber(plan.rate));
  json.key("channel").string(ldpc::channelname(s.run.channel));
  json.key("decoder").string(ldpc::algorithmname(o.algorithm));
  json.key("alpha").raw(jsonnumber(o.alpha)).key("beta").raw(jsonnumber(o.beta));
  json.key("schedule").string(ldpc::schedulename(o.schedule));
  json.key("iterations").integer(o.iterations).key("earlystop").boolean(o.earlystop);
  if (o.quantization != 16) json.key("quantization").integer(o.quantization);
  if (o.approximation != ldpc::spaapproximation::exact)
    json.key("approximation").string(ldpc::approximationname(o.approximation));
  json.key("seed").string(formatseed(s.seed));
  json.key("maxerrors").integer(s.run.maxerrors).key("maxframes").integer(s.run.maxframes);
  json.key("maxseconds").raw(jsonnumber(s.run.maxseconds));
  json.key("minfer").raw(jsonnumber(s.run.minfer));
  json.key("allpoints").boolean(!s.run.stopwithouterrors).key("threads").integer(s.run.threads);
  json.key("target").string(target.name).key("lanes").integer(target.lanes);
  if (s.intra) json.key("simd").string("intra").key("lift").integer(s.intralift);
  json.key("interval").string("wilson 95%").key("ended").string(endname(end));
  json.key("interrupted").boolean(end == ldpc::sweepend::cancelled);
  if (!plan.standard.empty()) json.key("standard").raw(plan.standard);
  if (plan.transmit.active) transmissionjson(json.key("transmission"), plan.transmit);
  if (!s.transmitline.empty()) {
    json.key("codeword").string(s.run.infopositions.empty() ? "zero" : "random");
    json.key("modulation").string(ldpc::modulationname(s.transmit.setup.modulation));
    json.key("demapper").string(ldpc::demappername(s.transmit.setup.demapper));
    json.key("fading").string(ldpc::fadingname(s.transmit.setup.fading));
    json.key("fadingblock").integer(s.transmit.setup.blocklength);
    json.key("interleave").boolean(s.transmit.setup.interleave != ldpc::interleaving::none);
  }
  if (plan.code.ensemble != nullptr) {
    json.key("girth");
    if (s.girth > 0)
      json.integer(s.girth);
    else
      json.null();
    json.key("framespergraph").integer(s.run.framespergraph).key("graphs").beginarray();
    for (const ldpc::graphrecord &graph : graphs)
      json.beginobject()
          .key("point")
          .integer(graph.point)
          .key("firstframe")
          .integer(graph.firstframe)
          .key("seed")
          .string(formatseed(graph.state))
          .endobject();
    json.endarray();
  }
  json.endobject();
}

// {"config": {...}, "points": [...]}; the points' values as the CSV has them.
std::string jsontext(const settings &s, const codeplan &plan, const decodertarget &target,
                     const std::vector<ldpc::graphrecord> &graphs,
                     const std::vector<ldpc::pointresult> &results, ldpc::sweepend end) {
  ldpc::jsonwriter json;
  jsonconfig(json.beginobject().key("config"), s, plan, target, graphs, end);
  json.key("points").beginarray();
  for (const ldpc::pointresult &result : results) {
    json.beginobject();
    for (const auto &[key, value] : pointfields(s, result)) json.key(key).raw(value);
    json.endobject();
  }
  json.endarray().endobject();
  return json.text() + "\n";
}

// A header line and a line per point; empty without points. Cells that JSON
// writes as null stay empty; strings keep their quotes, as CSV allows.
std::string csvtext(const settings &s, const std::vector<ldpc::pointresult> &results) {
  std::string text;
  for (std::size_t k = 0; k < results.size(); ++k) {
    auto fields = pointfields(s, results[k]);
    if (k == 0)
      for (std::size_t j = 0; j < fields.size(); ++j) {
        if (j > 0) text += ',';
        text += fields[j].first;
      }
    text += '\n';
    for (std::size_t j = 0; j < fields.size(); ++j) {
      if (j > 0) text += ',';
      if (fields[j].second != "null") text += fields[j].second;
    }
  }
  return results.empty() ? std::string() : text + "\n";
}

// Why the sweep ended before its last point, as a comment below the table.
void printending(const settings &s, const std::vector<ldpc::pointresult> &results,
                 ldpc::sweepend end) {
  if (end == ldpc::sweepend::minfer)
    std::printf("# sweep ended after point %zu of %zu: FER below --min-fer %g\n", results.size(),
                s.inputs.points.size(), s.run.minfer);
  else if (end == ldpc::sweepend::noerrors)
    std::printf(
        "# sweep ended after point %zu of %zu: no frame errors (--all-points runs "
        "every point)\n",
        results.size(), s.inputs.points.size());
  flushoutput();
}

// What the ledger's configuration holds of the code or ensemble.
ledgersubject ledgersubjectof(const settings &s, const codeplan &plan,
                              const decodertarget &target) {
  ledgersubject subject =
      plan.graph != nullptr ? ldpc::codesubject(plan.graph, s.run.decoder) : ledgersubject();
  subject.length = plan.length;
  subject.ensemble = plan.code.ensemble != nullptr;
  subject.target = target.name;
  char hex[17];
  auto fingerprint = [&](const ldpc::graphs *graph) {
    std::snprintf(hex, sizeof hex, "%016" PRIx64, ldpc::fingerprint(graph));
    return std::string(hex);
  };
  auto add = [&](const char *key, ldpc::configvalue value) {
    subject.code.push_back({key, std::move(value)});
  };
  auto reals = [](const auto &list) { return std::vector<double>(list.begin(), list.end()); };
  if (s.code == "irregular") {
    add("ensemble", std::string("irregular"));
    const distributionargs &d = s.distribution;
    add("vdeg", reals(d.vdeg));
    add("vfrac", d.vfrac);
    add("cdeg", reals(d.cdeg));
    add("cfrac", d.cfrac);
    add("edgefractions", d.edgefractions);
  } else if (s.code == "proto") {
    add("ensemble", std::string("proto"));
    add("protograph", fingerprint(plan.ensemble.protograph));
    add("lift", static_cast<std::int64_t>(s.lift));
  }
  if (subject.ensemble) add("girth", static_cast<std::int64_t>(s.girth));
  // A code whose bits are not each sent once: the pattern, and the BER per
  // counted bit.
  if (plan.transmit.active) {
    add("transmission", ldpc::patternfingerprint(plan.transmit.pattern));
    subject.length = ldpc::countedbits(plan.transmit.map);
  }
  subject.chain = s.chainledger;
  return subject;
}

// The table on standard output, then the JSON and CSV files whole, also
// when a signal ended the run (then with the points finished, and status
// 128 + the signal).
int sweep(const settings &s, const codeplan &plan) {
  const decodertarget target = s.intra ? intratarget() : probetarget(s.run.decoder);
  ledgerrun ledger(s.ledger, s.run, ledgersubjectof(s, plan, target));
  printheader(s, plan, target);
  std::vector<ldpc::graphrecord> graphs;
  ldpc::sweepend end = ldpc::sweepend::lastpoint;
  std::vector<ldpc::pointresult> results = runpoints(s, plan, &graphs, &end, &ledger);
  printending(s, results, end);
  if (!s.json.empty()) writetextfile(s.json, jsontext(s, plan, target, graphs, results, end));
  if (!s.csv.empty()) writetextfile(s.csv, csvtext(s, results));
  // Under mpirun rank 0 alone says that the run was interrupted.
  if (end != ldpc::sweepend::cancelled || startmpi().rank != 0) return statusok;
  std::fflush(stdout);
  const char *name = stopsignal == SIGINT ? "SIGINT" : stopsignal == SIGTERM ? "SIGTERM" : "SIGHUP";
  std::fprintf(stderr, "tanner: interrupted by %s after %zu of %zu points%s\n", name,
               results.size(), s.inputs.points.size(),
               s.json.empty() && s.csv.empty() ? "" : "; the finished points are written whole");
  ledger.printresume();
  return 128 + stopsignal;
}

// Under mpirun with several ranks: what runs in one process only is
// refused, and every rank but 0 writes nothing.
void takeranks(settings *s) {
  const mpiranks mpi = startmpi();
  if (mpi.ranks < 2) return;
  if (s->code == "irregular" || s->code == "proto")
    usageerror(command, "an ensemble runs in one process only, not under mpirun");
  if (s->ledger.shard.count > 1)
    usageerror(command, "--shard runs in one process, not under mpirun");
  if (s->replayframe >= 0) usageerror(command, "--replay runs in one process, not under mpirun");
  if (mpi.rank == 0) return;
  s->json.clear();
  s->csv.clear();
  s->ledger.path.clear();
  s->ledger.resume = false;
  s->progress = false;
  if (std::freopen("/dev/null", "w", stdout) == nullptr)
    fail("rank " + std::to_string(mpi.rank) + ": /dev/null");
}

}  // namespace

int simulatecommand(int argc, char **argv) {
  helpfirst(simulatehelp, argc, argv);
  simulatecode codeargs;
  std::vector<std::string> rest = takesimulatecode(command, simulatehelp, argc, argv, &codeargs);
  std::vector<char *> restargs;
  for (std::string &arg : rest) restargs.push_back(arg.data());
  settings s = parse(static_cast<int>(restargs.size()), restargs.data());
  if (codeargs.haslists && (s.code == "irregular" || s.code == "proto"))
    usageerror(command, "--punctured and --shortened apply to a code file, not an ensemble");
  s.codeargs = std::move(codeargs);
  // The ledger records the command line as given, the code's options too.
  s.ledger.args.assign(argv, argv + argc);
  takeranks(&s);
  // Output files are checked before any work, and written whole at the end.
  std::vector<namedfile> inputs;
  if (s.code == "proto")
    inputs.push_back({"the proto-file", s.protofile});
  else if (s.code != "irregular" && s.code != "standard")
    inputs.push_back({"the code", s.code});
  checkdistinctfiles(command, inputs,
                     {{"--json", s.json}, {"--csv", s.csv}, {"--ledger", s.ledger.path}});
  for (const std::string &path : {s.json, s.csv})
    if (!path.empty()) checkwritable(path);
  codeplan plan;
  plancode(&s, &plan);
  if (s.intra) planintra(plan.description, plan.graph, &s);
  int status = statusok;
  try {
    if (s.replayframe >= 0)
      replay(s, plan);
    else
      status = sweep(s, plan);
  } catch (const std::invalid_argument &e) {
    fail(s.code + ": " + e.what());
  } catch (const std::runtime_error &e) {
    fail(e.what());
  }
  releasecode(&plan);
  return status;
}

}  // namespace tanner
