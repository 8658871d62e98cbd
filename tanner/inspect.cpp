// tanner dump, check and stats: looking at a graph.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "graphstats.h"

namespace tanner {

namespace {

const char dumphelp[] =
    "usage: tanner dump [--what N] IN.code\n"
    "\n"
    "Prints the graph of a code description file. N selects sections by its\n"
    "bits: 1 summary and degree tables, 2 neighbour lists of both sides,\n"
    "4 messages on the edges. Default 3. IN.code may be an alist file.\n";

const char checkhelp[] =
    "usage: tanner check IN.code\n"
    "\n"
    "Verifies every invariant of the graph and lists each violation: edge\n"
    "entries out of range, entries whose mirror entry does not point back,\n"
    "degree sums that differ, degree tables that do not match the node\n"
    "degrees. Maxima that differ from the true ones are reported as notes\n"
    "only (converted files keep the values of their alist header), and so are\n"
    "parallel edges and 4-cycles, with their numbers, when the invariants hold.\n"
    "Prints the graph's fingerprint. Exit status 1 when any violation is found.\n"
    "IN.code may be an alist file (told apart by its content).\n";

const char statshelp[] =
    "usage: tanner stats [--json] IN.code\n"
    "\n"
    "Prints node and edge counts, the design rate 1 - M/N, the degree\n"
    "distributions from the node and from the edge perspective (the edge\n"
    "fractions are the coefficients lambda_d and rho_d), the number of\n"
    "parallel edges (edges beyond the first between one pair of nodes), the\n"
    "number of 4-cycles, the girth and a fingerprint.\n"
    "\n"
    "  --json   the same figures as one JSON object\n"
    "\n"
    "IN.code may be an alist file (told apart by its content).\n"
    "\n"
    "Algorithms: 4-cycles are counted from the highest-ranked node of each\n"
    "(nodes ranked by degree), in time about the sum over edges of the smaller\n"
    "degree of their ends; the count is exact (128 bits). The girth is 2 when\n"
    "an edge is doubled; otherwise trees are peeled off, chains of degree-2\n"
    "nodes contracted, and a shortest-path search runs from every node of\n"
    "degree 3 or more, stopping at half the shortest cycle found so far.\n"
    "The fingerprint is a 64-bit hash of the multiset of edges {variable,\n"
    "check} and the node counts, independent of socket order: two files with\n"
    "the same fingerprint hold the same graph up to socket numbering.\n";

struct options {
  std::vector<std::string> files;
  int what = 3;
  bool json = false;
};

options parseoptions(const char *command, const char *help, int argc, char **argv,
                     bool takeswhat, bool takesjson) {
  options parsed;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (ishelp(argv[i])) {
      std::fputs(help, stdout);
      finish(statusok);
    }
    if (takeswhat && arg == "--what") {
      if (i + 1 >= argc) usageerror(command, "--what needs a value");
      parsed.what = parsecount(command, "--what", argv[++i], 0);
      if (parsed.what > 7) usageerror(command, "--what takes bits 1, 2 and 4: 0 to 7");
    } else if (takesjson && arg == "--json") {
      parsed.json = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      usageerror(command, "unknown option " + arg);
    } else {
      parsed.files.push_back(arg);
    }
  }
  if (parsed.files.size() != 1)
    usageerror(command, "expects one graph file (code description or alist)");
  return parsed;
}

std::string hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

void printdistribution(const char *title, const char *coefficient,
                       const std::vector<ldpc::degreeshare> &shares) {
  std::printf("%-9s %12s %12s %12s\n", title, "nodes", "fraction", coefficient);
  for (const ldpc::degreeshare &share : shares)
    std::printf("%9d %12" PRId64 " %12.6f %12.6f\n", share.degree, share.nodes,
                share.nodefraction, share.edgefraction);
}

std::string jsondistribution(const std::vector<ldpc::degreeshare> &shares) {
  std::string text = "[";
  for (std::size_t i = 0; i < shares.size(); ++i) {
    char entry[160];
    std::snprintf(entry, sizeof entry,
                  "%s{\"degree\": %d, \"nodes\": %" PRId64
                  ", \"nodefraction\": %.10g, \"edgefraction\": %.10g}",
                  i > 0 ? ", " : "", shares[i].degree, shares[i].nodes,
                  shares[i].nodefraction, shares[i].edgefraction);
    text += entry;
  }
  return text + "]";
}

void release(ldpc::graphs *graph) {
  ldpc::freegraph(graph);
  std::free(graph);
}

}  // namespace

int dumpcommand(int argc, char **argv) {
  options parsed = parseoptions("dump", dumphelp, argc, argv, true, false);
  ldpc::graphs *graph = loadcodefile(parsed.files[0]);
  ldpc::printgraph(graph, parsed.what);
  release(graph);
  return statusok;
}

int checkcommand(int argc, char **argv) {
  options parsed = parseoptions("check", checkhelp, argc, argv, false, false);
  const std::string &file = parsed.files[0];
  ldpc::graphs *graph = loadcodefile(file, false);
  std::vector<std::string> notes;
  std::vector<std::string> faults = ldpc::checkinvariants(graph, &notes);
  if (faults.empty()) {
    // Valid, but short cycles spoil iterative decoding: say so.
    const std::int64_t parallel = ldpc::countparalleledges(graph);
    const ldpc::widecount fourcycles = ldpc::countfourcycles(graph, showprogress);
    if (parallel > 0)
      notes.push_back(std::to_string(parallel) + " parallel edge" + (parallel == 1 ? "" : "s") +
                      " (girth 2)");
    if (fourcycles > 0)
      notes.push_back(ldpc::decimal(fourcycles) + " 4-cycle" + (fourcycles == 1 ? "" : "s"));
  }
  endprogress();
  for (const std::string &fault : faults) std::printf("violation: %s\n", fault.c_str());
  for (const std::string &note : notes) std::printf("note: %s\n", note.c_str());
  // The fingerprint follows the variable side, which is meaningful as long
  // as its entries are in range.
  bool inrange = true;
  for (int v = 0; v < graph->vnodenum && inrange; ++v)
    for (int s = 0; s < graph->vnodelist[v].degree; ++s)
      if (graph->vnodelist[v].edgelist[s].dest < 0 ||
          graph->vnodelist[v].edgelist[s].dest >= graph->cnodenum)
        inrange = false;
  if (inrange) std::printf("fingerprint: %s\n", hex(ldpc::fingerprint(graph)).c_str());
  if (faults.empty())
    std::printf("%s: every invariant holds\n", file.c_str());
  else
    std::printf("%s: %zu violation%s\n", file.c_str(), faults.size(),
                faults.size() == 1 ? "" : "s");
  release(graph);
  return faults.empty() ? statusok : statusfailed;
}

int statscommand(int argc, char **argv) {
  options parsed = parseoptions("stats", statshelp, argc, argv, false, true);
  const std::string &file = parsed.files[0];
  ldpc::graphs *graph = loadcodefile(file);
  std::int64_t edges = ldpc::countedges(graph);
  std::vector<ldpc::degreeshare> vshares = ldpc::vdistribution(graph);
  std::vector<ldpc::degreeshare> cshares = ldpc::cdistribution(graph);
  std::int64_t parallel = ldpc::countparalleledges(graph);
  std::string fourcycles = ldpc::decimal(ldpc::countfourcycles(graph, showprogress));
  std::int64_t girth = ldpc::girth(graph, showprogress);
  endprogress();
  std::uint64_t print = ldpc::fingerprint(graph);
  bool hasrate = graph->vnodenum > 0;
  double rate = hasrate ? 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum : 0.0;

  if (parsed.json) {
    std::printf("{\"file\": %s, \"vnodenum\": %d, \"cnodenum\": %d, \"edges\": %" PRId64
                ", ",
                jsonstring(file).c_str(), graph->vnodenum, graph->cnodenum, edges);
    if (hasrate)
      std::printf("\"rate\": %.10g, ", rate);
    else
      std::printf("\"rate\": null, ");
    std::printf("\"paralleledges\": %" PRId64 ", \"fourcycles\": %s, ", parallel,
                fourcycles.c_str());
    if (girth > 0)
      std::printf("\"girth\": %" PRId64 ", ", girth);
    else
      std::printf("\"girth\": null, ");
    std::printf("\"fingerprint\": \"%s\", \"vdegrees\": %s, \"cdegrees\": %s}\n",
                hex(print).c_str(), jsondistribution(vshares).c_str(),
                jsondistribution(cshares).c_str());
  } else {
    std::printf("file            %s\n", file.c_str());
    std::printf("variable nodes  %d\n", graph->vnodenum);
    std::printf("check nodes     %d\n", graph->cnodenum);
    std::printf("edges           %" PRId64 "\n", edges);
    if (hasrate)
      std::printf("design rate     %.6f\n", rate);
    else
      std::printf("design rate     undefined (no variable nodes)\n");
    std::printf("parallel edges  %" PRId64 "\n", parallel);
    std::printf("4-cycles        %s\n", fourcycles.c_str());
    if (girth > 0)
      std::printf("girth           %" PRId64 "\n", girth);
    else
      std::printf("girth           none (no cycle)\n");
    std::printf("fingerprint     %s\n\n", hex(print).c_str());
    printdistribution("vdegree", "lambda", vshares);
    std::printf("\n");
    printdistribution("cdegree", "rho", cshares);
  }
  release(graph);
  return statusok;
}

}  // namespace tanner
