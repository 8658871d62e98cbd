// The alist converter's run, shared by the programs that offer it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "alist.h"
#include "outputfile.h"
#include "simulation.h"

namespace ldpc {

namespace {
graphs *keptgraph;
encoders *keptencoder;
}  // namespace

int convertalist(const char *inputpath, const char *outputpath, const char *program) {
  encoders *encoder = allocatearray<encoders>(1);
  encoder->gap = -1;

  int fd = openforreading(inputpath);
  if (fd < 0) {
    std::free(encoder);
    std::fputs("I can't open the indicated input file.\n", stderr);
    return 1;
  }
  // Tested without creating or emptying the file: it is written only once
  // the conversion has succeeded.
  if (!outputwritable(outputpath)) {
    close(fd);
    std::free(encoder);
    std::fputs("I can't open the indicated output file.\n", stderr);
    return 1;
  }

  graphs *graph = allocatearray<graphs>(1);
  textscanner in;
  scanfromfd(&in, fd);
  std::string error;
  bool ok = readalist(&in, graph, &error);
  scanclose(&in);
  close(fd);
  if (!ok) {
    std::free(graph);
    std::free(encoder);
    std::fprintf(stderr, "%s: %s: %s\n", program, inputpath, error.c_str());
    return 1;
  }

  savegraph(graph, encoder, outputpath, 0);
  // The graph lives until the process ends: releasing a million edge lists
  // one by one only costs time at the end of a run. Kept where a leak
  // checker sees it.
  keptgraph = graph;
  keptencoder = encoder;
  return 0;
}

}  // namespace ldpc
