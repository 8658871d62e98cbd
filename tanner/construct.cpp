// tanner construct: random graphs of the irregular and protograph ensembles.
#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "alist.h"
#include "cli.h"
#include "construct.h"
#include "standardcode.h"
#include "graphfile.h"
#include "graphstats.h"
#include "irregular.h"
#include "optiontable.h"
#include "protograph.h"
#include "textio.h"

namespace tanner {

namespace {

const char constructhead[] =
    "usage: tanner construct irregular --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,..\n"
    "                                  --length N [--edge-fractions] [COMMON] OUT\n"
    "       tanner construct proto PROTOFILE --lift L [COMMON] OUT\n"
    "       tanner construct proto [PROTOFILE] --lift L --circulant|--shifts FILE [COMMON] OUT\n"
    "       tanner construct peg --vdeg D,.. --vfrac F,.. --length N --checks M [COMMON] OUT\n"
    "       tanner construct peg --degrees FILE --checks M [COMMON] OUT\n"
    "       tanner construct standard NAME [OPTIONS] OUT   (see construct standard --help)\n"
    "\n"
    "Builds a random Tanner graph and writes it to OUT as a code description\n"
    "file (or an alist file with --alist).\n"
    "\n"
    "irregular: the degree distribution of both sides, degrees in increasing\n"
    "order with one fraction each; the fractions of a side are at least 0 and\n"
    "sum to 1. Fractions count nodes, or edges with --edge-fractions.\n"
    "--length is the number of variable nodes asked for; balancing the edge\n"
    "totals of the two sides can change the counts, which\n"
    "is why the requested and the realised distributions are printed side by\n"
    "side at the end. A length at which the edge totals cannot be balanced is\n"
    "refused (status 1) with the reason and the nearest lengths that work.\n"
    "Sockets are joined by one random permutation.\n"
    "\n"
    "proto: every node of the protograph in PROTOFILE is copied L times (L at\n"
    "least 1), and each protograph edge joins the copies through a fresh random\n"
    "permutation. Protographs without variable or check nodes, or without\n"
    "edges, are refused.\n"
    "With --circulant the copies are joined by a cyclic shift per protograph\n"
    "edge instead, drawn from the graph stream and drawn again while it closes\n"
    "a cycle shorter than --girth (default 4: parallel protograph edges get\n"
    "distinct shifts); the shift matrix is printed. --shifts FILE takes the\n"
    "shifts from a matrix, one row per protograph check node and one cell per\n"
    "variable node: -1 for no edge, else the shift (or the shifts of parallel\n"
    "edges joined by commas); copy r of check node b meets copy (r + shift)\n"
    "mod L of variable node i. Without PROTOFILE the matrix is the protograph.\n"
    "\n"
    "peg: progressive edge growth. Variable nodes (in increasing order of\n"
    "degree, or as listed one degree per line in --degrees FILE) get their\n"
    "edges one by one, each to a check node not reached from the node, or\n"
    "else first reached at the largest distance; ties go to the lowest check\n"
    "degree, then to a draw from the graph stream. --checks is the number of\n"
    "check nodes. Prints the girth, the local girth of the variable nodes and\n"
    "the check degrees. Cost: one search of the graph per edge, O(N E).\n"
    "\n"
    "COMMON options:\n";

const char constructtail[] =
    "\n"
    "Each option is given once; an output that is the same file as an input\n"
    "(PROTOFILE, --shifts, --degrees) is refused.\n"
    "\n"
    "The state the graph stream started from is printed, so that the same\n"
    "graph can be built again with --state (or --seed). The same options and\n"
    "state always give the same graph, edge for edge.\n";

}  // namespace

namespace {

optionentry flagentry(const char *name, const char *help, bool *target, bool value = true) {
  return {name, optionkind::flag, help, [=](const std::string &) { *target = value; }, true};
}

// The options of every construction; the others (with their values) and
// --edge-fractions go to *rest in order.
std::vector<optionentry> commonoptions(common *options, const std::set<std::string> *given,
                                       std::vector<std::string> *rest) {
  auto seedconflict = [given] {
    if (given->count("--seed") && given->count("--state"))
      usageerror("construct", "give --state or --seed (the same), not both");
  };
  return {
      {"--state", optionkind::text,
       "  --state S      start state of the graph stream (the raw state, not the\n"
       "                 run seed that simulate --seed mixes into every frame;\n"
       "                 --seed S is the same as --state S, kept for scripts):\n"
       "                 W0,W1,W2 (three 16-bit\n"
       "                 words, word 0 least significant) or one integer\n"
       "                 0 <= S < 2^48 that is the 48-bit state itself\n"
       "                 (W0 = S mod 65536, W1 = S / 65536 mod 65536, W2 = S / 2^32);\n"
       "                 digits and commas only.\n"
       "                 Default 0,0,0, the state of a fresh process.\n",
       [options](const std::string &v) {
         if (!ldpc::parsestreamstate(v.c_str(), options->seed))
           usageerror(
               "construct",
               "--state takes W0,W1,W2 (each 0..65535) or an integer below 2^48, not '" + v + "'");
       },
       true, seedconflict},
      {"--seed", optionkind::text, "",
       [options](const std::string &v) { parseseed("construct", v, options->seed); }, true,
       seedconflict},
      {"--girth", optionkind::integer,
       "  --girth G      no cycle shorter than G (even, >= 4): irregular, proto and\n"
       "                 peg exchange check ends of edges after the construction,\n"
       "                 drawing from the graph stream after it; --circulant draws\n"
       "                 its shifts so. Status 1 when G is not reached.\n",
       [options](const std::string &v) { options->girth = parsegirth("construct", v); }, true},
      {"--no-parallel", optionkind::flag,
       "  --no-parallel  the same as --girth 4 (give one of them)\n",
       [options](const std::string &) { options->girth = 4; }, true},
      {"--progress", optionkind::flag,
       "  --progress     progress on standard error also when it is not a\n"
       "                 terminal (a line every 5 seconds)\n",
       [](const std::string &) { forceprogress(); }, true},
      flagentry("--verbose", "  --verbose      print the construction's report\n",
                &options->verbose),
      flagentry("--json",
                "  --json         print the report as one JSON object instead: seed, counts,\n"
                "                 fingerprint, output, and what the construction adds\n"
                "                 (distributions, girths, the shift matrix)\n",
                &options->json),
      flagentry("--alist", "  --alist        write an alist file instead (zero-padded lists)\n",
                &options->alist),
      flagentry("--unpadded", "  --unpadded     with --alist: lists without zero fillers\n",
                &options->padded, false),
      flagentry("--encoder",
                "  --encoder      also write the encoder information (gap and iphi of the\n"
                "                 approximate lower-triangular form); the graph written\n"
                "                 then has its nodes in the order of that form\n",
                &options->encoder),
      flagentry("--circulant", "", &options->circulant),
      {"--shifts", optionkind::text, "", [options](const std::string &v) { options->shifts = v; },
       true, nullptr, "--shifts needs a file"},
      {"--edge-fractions", optionkind::flag, "",
       [rest](const std::string &) { rest->push_back("--edge-fractions"); }, true},
  };
}

bool islongoption(const std::string &arg) { return arg.size() > 2 && arg.rfind("--", 0) == 0; }

std::string constructhelp() {
  common options;
  std::set<std::string> given;
  std::vector<std::string> rest;
  return helptext(constructhead, commonoptions(&options, &given, &rest), constructtail);
}

}  // namespace

std::vector<std::string> parsecommon(int argc, char **argv, common *options) {
  std::vector<std::string> rest;
  std::vector<std::string> positional;
  // Each option once, so that the command means the same in any order.
  std::set<std::string> given;
  std::vector<optionentry> table = commonoptions(options, &given, &rest);
  for (optionentry &entry : table)
    entry.named = [&given, name = std::string(entry.name), check = entry.named] {
      given.insert(name);
      if (check) check();
    };
  argumentrules rules;
  rules.isoption = islongoption;
  rules.positional = [&positional](const std::string &arg) { positional.push_back(arg); };
  rules.unknown = [&](const std::string &arg, const char *next) {
    if (!given.insert(arg).second) usageerror("construct", arg + " is given twice");
    if (next == nullptr) usageerror("construct", arg + " needs a value");
    rest.push_back(arg);
    rest.push_back(next);
    return 1;
  };
  applyoptions("construct", constructhelp().c_str(), table, argc, argv, rules);
  if (options->encoder && options->alist)
    usageerror("construct",
               "--encoder needs a code description file; an alist file has no room for it");
  if (options->json && options->verbose)
    usageerror("construct", "--json and --verbose exclude each other");
  if (given.count("--girth") != 0 && given.count("--no-parallel") != 0)
    usageerror("construct", "--no-parallel is --girth 4; give one of them");
  if (positional.empty()) usageerror("construct", "expects an output file");
  options->output = positional.back();
  positional.pop_back();
  rest.insert(rest.begin(), positional.begin(), positional.end());
  return rest;
}

void applyrest(const std::vector<std::string> &args, const std::vector<optionentry> &table,
               const std::function<void(const std::string &arg)> &positional,
               const std::function<int(const std::string &arg, const char *next)> &unknown) {
  std::vector<std::string> copies = args;
  std::vector<char *> argv;
  for (std::string &arg : copies) argv.push_back(arg.data());
  argumentrules rules;
  rules.isoption = [](const std::string &arg) { return arg.rfind("--", 0) == 0; };
  rules.positional = positional;
  rules.unknown = unknown;
  applyoptions("construct", constructhelp().c_str(), table, static_cast<int>(argv.size()),
               argv.data(), rules);
}

namespace {

// The requested fractions and those of the graph, per degree, in the same
// perspective (nodes or edges).
struct distributionrow {
  int degree;
  double requested, realised;
  std::int64_t nodes;
};

std::vector<distributionrow> distributionrows(const std::vector<int> &degrees,
                                              const std::vector<double> &fractions,
                                              const std::vector<ldpc::degreeshare> &realised,
                                              bool edgefractions) {
  std::map<int, std::pair<double, const ldpc::degreeshare *>> rows;
  for (std::size_t k = 0; k < degrees.size(); ++k) rows[degrees[k]].first += fractions[k];
  for (const ldpc::degreeshare &share : realised) rows[share.degree].second = &share;
  std::vector<distributionrow> table;
  for (const auto &[degree, row] : rows) {
    const ldpc::degreeshare *share = row.second;
    double got = share == nullptr ? 0.0 : edgefractions ? share->edgefraction : share->nodefraction;
    table.push_back({degree, row.first, got, share == nullptr ? 0 : share->nodes});
  }
  return table;
}

void jsonrows(ldpc::jsonwriter &json, const std::vector<distributionrow> &rows) {
  json.beginarray();
  for (const distributionrow &row : rows) {
    json.beginobject().key("degree").integer(row.degree);
    json.key("requested").real(row.requested, "%.10g");
    json.key("realised").real(row.realised, "%.10g");
    json.key("nodes").integer(row.nodes).endobject();
  }
  json.endarray();
}

// Both sides' rows as a text table each, or under "distributions" in JSON.
void reportdistributions(const common &options, ldpc::jsonwriter &json,
                         const std::vector<distributionrow> &vrows,
                         const std::vector<distributionrow> &crows, bool edgefractions) {
  const char *perspective = edgefractions ? "edges" : "nodes";
  if (options.json) {
    json.key("distributions").beginobject().key("fractions").string(perspective);
    jsonrows(json.key("variable"), vrows);
    jsonrows(json.key("check"), crows);
    json.endobject();
    return;
  }
  std::printf("\ndegree distributions (fractions of %s):\n", perspective);
  for (const auto &[side, rows] : {std::pair{"vdegree", &vrows}, std::pair{"cdegree", &crows}}) {
    std::printf("%-9s %12s %12s %12s\n", side, "requested", "realised", "nodes");
    for (const distributionrow &row : *rows)
      std::printf("%9d %12.6f %12.6f %12" PRId64 "\n", row.degree, row.requested, row.realised,
                  row.nodes);
  }
}

}  // namespace

void beginreport(const common &options, ldpc::jsonwriter &json) {
  if (options.json) json.beginobject();
}

void endreport(const common &options, ldpc::jsonwriter &json) {
  if (!options.json) return;
  json.endobject();
  std::printf("%s\n", json.text().c_str());
}

void writeandreport(ldpc::graphs *built, const common &options, ldpc::jsonwriter &json) {
  // With --encoder the graph written is the built one in the form's order.
  ldpc::encoders info{};
  info.gap = -1;
  ldpc::graphs *graph =
      options.encoder ? encoderinformation(built, &info, "the graph built") : built;
  writegraph(graph, options.output, options.alist, options.padded, &info);
  reportgraph(graph, options, json, info.gap);
  if (graph != built) {
    std::free(info.iphi);
    ldpc::freegraph(graph);
    std::free(graph);
  }
}

void reportgraph(const ldpc::graphs *graph, const common &options, ldpc::jsonwriter &json,
                 int encodergap) {
  endprogress();
  char fingerprint[17];
  std::snprintf(fingerprint, sizeof fingerprint, "%016" PRIx64, ldpc::fingerprint(graph));
  if (options.json) {
    json.key("variablenodes").integer(graph->vnodenum).key("checknodes").integer(graph->cnodenum);
    json.key("edges").integer(ldpc::countedges(graph)).key("fingerprint").string(fingerprint);
    json.key("output").string(options.output);
    if (options.encoder) json.key("encodergap").integer(encodergap);
  } else {
    std::printf("graph: %d variable nodes, %d check nodes, %" PRId64 " edges, fingerprint %s\n",
                graph->vnodenum, graph->cnodenum, ldpc::countedges(graph), fingerprint);
    std::printf("written to %s\n", options.output.c_str());
    if (options.encoder)
      std::printf("encoder information: gap %d (nodes in the order of the form)\n", encodergap);
  }
}

void startstream(const common &options, ldpc::jsonwriter &json) {
  for (int k = 0; k < 3; ++k) ldpc::graphsimrand[k] = options.seed[k];
  if (options.json) {
    json.key("seed").string(formatseed(options.seed));
    return;
  }
  std::printf("graph stream state: %s (build again with --seed %s)\n",
              formatseed(options.seed).c_str(), formatseed(options.seed).c_str());
  std::fflush(stdout);
}

namespace {

// Builds a graph of an ensemble (build draws it from the graph stream),
// rids it of short cycles as asked, writes it and reports it beside the
// distribution asked for.
void buildensemble(const common &options, const distributionargs &asked,
                   const std::function<void(ldpc::graphs *)> &build) {
  ldpc::jsonwriter json;
  beginreport(options, json);
  startstream(options, json);
  ldpc::graphs graph{};
  build(&graph);
  applygirth(&graph, options, json);
  writeandreport(&graph, options, json);
  const bool edges = asked.edgefractions;
  reportdistributions(
      options, json, distributionrows(asked.vdeg, asked.vfrac, ldpc::vdistribution(&graph), edges),
      distributionrows(asked.cdeg, asked.cfrac, ldpc::cdistribution(&graph), edges), edges);
  endreport(options, json);
  ldpc::freegraph(&graph);
}

int irregular(int argc, char **argv) {
  common options;
  std::vector<std::string> args = parsecommon(argc, argv, &options);
  distributionargs distribution;
  int length = -1;
  std::vector<optionentry> table = distributionoptions("construct", &distribution);
  table.push_back({"--length", optionkind::integer, "", [&length](const std::string &v) {
                     length = parseint("construct", "--length", v);
                   }});
  applyrest(args, table,
            [](const std::string &arg) { usageerror("construct", "unexpected argument " + arg); });
  if (options.circulant || !options.shifts.empty())
    usageerror("construct", "--circulant and --shifts apply to proto only");
  checkdistributionargs("construct", distribution, length);
  distributionargs &d = distribution;
  ldpc::simulations simulation =
      ldpc::irregularsimulation(length, d.vdeg, d.vfrac, d.cdeg, d.cfrac, d.edgefractions);
  simulation.verbose = options.verbose ? 1 : 0;

  // The construction refuses (or fails a condition of) what its balancing
  // cannot close; the same arithmetic is worked out here first.
  std::string refusal = ldpc::refuseirregular(simulation);
  if (!refusal.empty()) fail(refusal);
  checkwritable(options.output);
  buildensemble(options, distribution, [&simulation](ldpc::graphs *graph) {
    ldpc::constructirregulargraph(graph, &simulation);
  });
  return statusok;
}

int proto(int argc, char **argv) {
  common options;
  std::vector<std::string> args = parsecommon(argc, argv, &options);
  std::string protofile;
  int lift = 0;
  bool haslift = false;
  const std::vector<optionentry> table = {
      {"--lift", optionkind::integer, "", [&](const std::string &v) {
         lift = parsecount("construct", "--lift", v, 1);
         haslift = true;
       }}};
  applyrest(args, table, [&protofile](const std::string &arg) {
    if (!protofile.empty()) usageerror("construct", "unexpected argument " + arg);
    protofile = arg;
  });
  if (options.circulant || !options.shifts.empty())
    return circulantlift(protofile, lift, haslift, options);
  if (protofile.empty()) usageerror("construct", "expects PROTOFILE");
  if (!haslift) usageerror("construct", "--lift is required");
  checkdistinctfiles("construct", {{"the proto-file", protofile}},
                     {{"the output", options.output}});
  ldpc::graphs *protograph = loadprotograph(protofile, lift);
  checkwritable(options.output);

  ldpc::simulations simulation{};
  simulation.verbose = options.verbose ? 1 : 0;
  simulation.protograph = protograph;
  simulation.length = lift;
  simulation.ensemble = 1;
  // The protograph's own distribution is the one asked for.
  distributionargs asked;
  for (const ldpc::degreeshare &share : ldpc::vdistribution(protograph)) {
    asked.vdeg.push_back(share.degree);
    asked.vfrac.push_back(share.nodefraction);
  }
  for (const ldpc::degreeshare &share : ldpc::cdistribution(protograph)) {
    asked.cdeg.push_back(share.degree);
    asked.cfrac.push_back(share.nodefraction);
  }
  buildensemble(options, asked, [&simulation](ldpc::graphs *graph) {
    ldpc::constructprotograph(graph, &simulation);
  });
  ldpc::freegraph(protograph);
  std::free(protograph);
  return statusok;
}

}  // namespace

int constructcommand(int argc, char **argv) {
  if (argc < 1) usageerror("construct", "expects 'irregular', 'proto' or 'peg'");
  std::string ensemble = argv[0];
  if (ishelp(argv[0])) {
    std::fputs(constructhelp().c_str(), stdout);
    return statusok;
  }
  if (ensemble == "irregular") return irregular(argc - 1, argv + 1);
  if (ensemble == "proto") return proto(argc - 1, argv + 1);
  if (ensemble == "peg") return pegcommand(argc - 1, argv + 1);
  if (ensemble == "standard") return constructstandard(argc - 1, argv + 1);
  usageerror("construct", "unknown ensemble '" + ensemble +
                              "'; expects 'irregular', 'proto', 'peg' or 'standard'");
}

}  // namespace tanner
