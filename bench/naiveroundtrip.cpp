// naiveroundtrip: reads a code description file with one fscanf per number
// and writes it again with one fprintf per number, the straightforward way;
// the benchmark's reference for the library's readgraph and savegraph.
//
// usage: naiveroundtrip CODEFILE COPY
#include <cstdio>

#include "naivegraph.h"

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fputs("usage: naiveroundtrip CODEFILE COPY\n", stderr);
    return 2;
  }
  naive::graphs graph;
  naive::encoders encoder;
  naive::readgraph(&graph, &encoder, argv[1]);
  naive::savegraph(&graph, &encoder, argv[2]);
  return 0;
}
