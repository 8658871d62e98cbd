// tanner dump, check and stats: looking at a graph.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "graphstats.h"
#include "optiontable.h"

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

// The options of dump (--what) and stats (--json); check takes none.
std::vector<optionentry> optiontable(const char *command, options *parsed, bool takeswhat,
                                     bool takesjson) {
  std::vector<optionentry> table;
  if (takeswhat)
    table.push_back({"--what", optionkind::integer, "usage: tanner dump [--what N] IN.code",
                     [=](const std::string &value) {
                       parsed->what = parsecount(command, "--what", value, 0);
                       if (parsed->what > 7)
                         usageerror(command, "--what takes bits 1, 2 and 4: 0 to 7");
                     }});
  if (takesjson)
    table.push_back({"--json", optionkind::flag, "  --json   the same figures as one JSON object",
                     [=](const std::string &) { parsed->json = true; }});
  return table;
}

options parseoptions(const char *command, const char *help, int argc, char **argv, bool takeswhat,
                     bool takesjson) {
  options parsed;
  applyoptions(command, help, optiontable(command, &parsed, takeswhat, takesjson), argc, argv,
               &parsed.files);
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
    std::printf("%9d %12" PRId64 " %12.6f %12.6f\n", share.degree, share.nodes, share.nodefraction,
                share.edgefraction);
}

void jsondistribution(ldpc::jsonwriter &json, const std::vector<ldpc::degreeshare> &shares) {
  json.beginarray();
  for (const ldpc::degreeshare &share : shares)
    json.beginobject()
        .key("degree")
        .integer(share.degree)
        .key("nodes")
        .integer(share.nodes)
        .key("nodefraction")
        .real(share.nodefraction, "%.10g")
        .key("edgefraction")
        .real(share.edgefraction, "%.10g")
        .endobject();
  json.endarray();
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

namespace {

// What tanner stats reports about one graph, measured once for either printer.
struct statsfigures {
  std::string file;
  int vnodenum, cnodenum;
  std::int64_t edges;
  bool hasrate;  // false without variable nodes
  double rate;
  std::int64_t parallel;
  std::string fourcycles;  // decimal: the count may pass 64 bits
  std::int64_t girth;      // 0 when the graph has no cycle
  std::uint64_t fingerprint;
  std::vector<ldpc::degreeshare> vshares, cshares;
};

statsfigures measurestats(const std::string &file, const ldpc::graphs *graph) {
  statsfigures f;
  f.file = file;
  f.vnodenum = graph->vnodenum;
  f.cnodenum = graph->cnodenum;
  f.edges = ldpc::countedges(graph);
  f.vshares = ldpc::vdistribution(graph);
  f.cshares = ldpc::cdistribution(graph);
  f.parallel = ldpc::countparalleledges(graph);
  f.fourcycles = ldpc::decimal(ldpc::countfourcycles(graph, showprogress));
  f.girth = ldpc::girth(graph, showprogress);
  endprogress();
  f.fingerprint = ldpc::fingerprint(graph);
  f.hasrate = graph->vnodenum > 0;
  f.rate = f.hasrate ? 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum : 0.0;
  return f;
}

void printstatsjson(const statsfigures &f) {
  ldpc::jsonwriter json;
  json.beginobject().key("file").string(f.file).key("vnodenum").integer(f.vnodenum);
  json.key("cnodenum").integer(f.cnodenum).key("edges").integer(f.edges).key("rate");
  if (f.hasrate)
    json.real(f.rate, "%.10g");
  else
    json.null();
  json.key("paralleledges").integer(f.parallel).key("fourcycles").raw(f.fourcycles).key("girth");
  if (f.girth > 0)
    json.integer(f.girth);
  else
    json.null();
  json.key("fingerprint").string(hex(f.fingerprint));
  jsondistribution(json.key("vdegrees"), f.vshares);
  jsondistribution(json.key("cdegrees"), f.cshares);
  std::printf("%s\n", json.endobject().text().c_str());
}

void printstatstext(const statsfigures &f) {
  std::printf("file            %s\n", f.file.c_str());
  std::printf("variable nodes  %d\n", f.vnodenum);
  std::printf("check nodes     %d\n", f.cnodenum);
  std::printf("edges           %" PRId64 "\n", f.edges);
  if (f.hasrate)
    std::printf("design rate     %.6f\n", f.rate);
  else
    std::printf("design rate     undefined (no variable nodes)\n");
  std::printf("parallel edges  %" PRId64 "\n", f.parallel);
  std::printf("4-cycles        %s\n", f.fourcycles.c_str());
  if (f.girth > 0)
    std::printf("girth           %" PRId64 "\n", f.girth);
  else
    std::printf("girth           none (no cycle)\n");
  std::printf("fingerprint     %s\n\n", hex(f.fingerprint).c_str());
  printdistribution("vdegree", "lambda", f.vshares);
  std::printf("\n");
  printdistribution("cdegree", "rho", f.cshares);
}

}  // namespace

int statscommand(int argc, char **argv) {
  options parsed = parseoptions("stats", statshelp, argc, argv, false, true);
  ldpc::graphs *graph = loadcodefile(parsed.files[0]);
  const statsfigures figures = measurestats(parsed.files[0], graph);
  if (parsed.json)
    printstatsjson(figures);
  else
    printstatstext(figures);
  release(graph);
  return statusok;
}

}  // namespace tanner
