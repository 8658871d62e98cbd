// The construction driver: the graph for each loop of a simulation.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "simulation.h"

namespace ldpc {

namespace {
constructionhook installedhook = nullptr;
}  // namespace

constructionhook setconstructionhook(constructionhook hook) {
  constructionhook previous = installedhook;
  installedhook = hook;
  return previous;
}

void constructgraph(simulations *simulation, graphs *graph, randomizes *randomize,
                    encoders *encoder, reruns *rerun, int loop, int l) {
  // The name field need not hold its terminating zero; never read past it.
  const std::string graphfile(simulation->graphfile,
                              strnlen(simulation->graphfile, sizeof simulation->graphfile));

  // A graph from a file is read once, on the first call that finds none.
  if (simulation->newgraph == 0) {
    if (graph->vnodenum == -1) readgraph(graph, encoder, graphfile.c_str(), simulation->verbose);
    return;
  }
  if (simulation->newgraph != 1) return;

  // First construction. The seed row is loop + 1 here and loop for a
  // re-construction; randomize records the state each construction starts
  // from, so that the run can be repeated from the recorded rows.
  if (graph->vnodenum == -1) {
    setgraphseeds(loop + 1, rerun);
    getgraphsimrand(randomize);
    switch (simulation->ensemble) {
      case 0:
        constructirregulargraph(graph, simulation);
        break;
      case 1:
        readprotograph(simulation);
        constructprotograph(graph, simulation);
        break;
      default:
        std::printf("\n this enemble has not yet been implemented!\n");
        std::exit(1);
    }
    if (installedhook != nullptr) installedhook(graph, simulation);
    encoder->gap = -1;
    if (simulation->constructgraphonce == 1)
      savegraph(graph, encoder, graphfile.c_str(), simulation->verbose);
  }

  // Re-construction: only when graphs are not kept, and then for l above 0,
  // or l 0 past the first loop.
  if (simulation->constructgraphonce != 0) return;
  if (!(l > 0 || (l == 0 && loop > 0))) return;
  setgraphseeds(loop, rerun);
  getgraphsimrand(randomize);
  freegraph(graph);
  switch (simulation->ensemble) {
    case 0:
      constructirregulargraph(graph, simulation);
      break;
    case 1:
      // the protograph read at the first construction serves every later one
      constructprotograph(graph, simulation);
      break;
    default:
      std::printf("\nensemble is not yet implemented\n");
      std::exit(1);
  }
  if (installedhook != nullptr) installedhook(graph, simulation);
}

}  // namespace ldpc
