// descroundtrip: reads a code description file with the library's readgraph
// and writes it again with savegraph.
//
// usage: descroundtrip CODEFILE COPY
#include <cstdio>

#include "simulation.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fputs("usage: descroundtrip CODEFILE COPY\n", stderr);
    return 2;
  }
  ldpc::graphs graph;
  ldpc::encoders encoder;
  graph.vnodenum = -1;
  ldpc::readgraph(&graph, &encoder, argv[1], 0);
  ldpc::savegraph(&graph, &encoder, argv[2], 0);
  return 0;
}
