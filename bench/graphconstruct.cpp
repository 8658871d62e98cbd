// graphconstruct: builds a random graph with the library's irregular
// construction or protograph lifting, for the benchmark.
//
// usage: graphconstruct irregular LENGTH SEED [--hash]
//        graphconstruct proto PROTOFILE FACTOR SEED [--hash]
//
// PROTOFILE is a name of at most 24 characters (the limit of the
// configuration record). Prints the node and edge counts, and with --hash a
// hash of the graph.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "construction.h"
#include "simulation.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

int main(int argc, char **argv) {
  bool irregular = false;
  if (!benchconstruction::readmode(argc, argv, "graphconstruct", 25, &irregular)) return 2;
  ldpc::simulations simulation = {};
  ldpc::graphs graph;
  graph.vnodenum = -1;
  simulation.verbose = 0;
  if (irregular) {
    benchconstruction::seedwords(argv[3], ldpc::graphsimrand);
    simulation.ensemble = 0;
    simulation.length = std::atoi(argv[2]);
    simulation.vdegreesnum = 3;
    simulation.vdegreelist = benchconstruction::vdegrees;
    simulation.vpercentagelist = benchconstruction::vfractions;
    simulation.cdegreesnum = 2;
    simulation.cdegreelist = benchconstruction::cdegrees;
    simulation.cpercentagelist = benchconstruction::cfractions;
    simulation.typedist = 0;
    ldpc::constructirregulargraph(&graph, &simulation);
  } else {
    benchconstruction::seedwords(argv[4], ldpc::graphsimrand);
    simulation.ensemble = 1;
    std::strcpy(simulation.protofile, argv[2]);
    simulation.length = std::atoi(argv[3]);
    ldpc::readprotograph(&simulation);
    ldpc::constructprotograph(&graph, &simulation);
  }
  benchconstruction::printgraph(&graph, argc, argv);
  return 0;
}
