// naiveroundtrip: reads a code description file with one fscanf per number
// and writes it again with one fprintf per number, the straightforward way;
// the benchmark's reference for the library's readgraph and savegraph.
//
// usage: naiveroundtrip CODEFILE COPY
#include "naivegraph.h"
#include "roundtrip.h"

int main(int argc, char **argv) {
  return roundtrip(argc, argv, "naiveroundtrip", [](const char *codefile, const char *copy) {
    naive::graphs graph;
    naive::encoders encoder;
    naive::readgraph(&graph, &encoder, codefile);
    naive::savegraph(&graph, &encoder, copy);
  });
}
