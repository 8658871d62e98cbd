// descroundtrip: reads a code description file with the library's readgraph
// and writes it again with savegraph.
//
// usage: descroundtrip CODEFILE COPY
#include "roundtrip.h"
#include "simulation.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

int main(int argc, char **argv) {
  return roundtrip(argc, argv, "descroundtrip", [](const char *codefile, const char *copy) {
    ldpc::graphs graph;
    ldpc::encoders encoder;
    graph.vnodenum = -1;
    ldpc::readgraph(&graph, &encoder, codefile, 0);
    ldpc::savegraph(&graph, &encoder, copy, 0);
  });
}
