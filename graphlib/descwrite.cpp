// Writer of code description files.
#include <cstdlib>
#include <cstring>

#include "descfile.h"
#include "outputfile.h"

namespace ldpc {

void formatdegree(textwriter *out, int degree) {
  // the real width: a degree of 10^7 or more takes more than the three
  // characters of the field
  char *q = writespace(out, intwidth(degree, 3) + 1);
  if (q == nullptr) return;
  q = formatint(q, degree, 3);
  *q++ = ' ';
  writeadvance(out, q);
}

void formatnode(textwriter *out, int degree, const edge *edgelist) {
  // Each pair takes at most 5 + 11 + 1 + 11 + 2 characters, numbers of any
  // width included; room is made for up to 64 pairs at a time, fewer when
  // the buffer is smaller.
  constexpr std::size_t pairroom = 32;
  formatdegree(out, degree);
  char *q;
  std::size_t fit = out->capacity / pairroom;
  const int pairsperstep = fit >= 64 ? 64 : fit < 1 ? 1 : static_cast<int>(fit);
  for (int s = 0; s < degree;) {
    int stop = degree - s < pairsperstep ? degree : s + pairsperstep;
    q = writespace(out, static_cast<std::size_t>(stop - s) * pairroom);
    if (q == nullptr) return;
    for (; s < stop; ++s) {
      if (s > 0 && s % 3 == 0) {
        std::memcpy(q, "\n    ", 5);
        q += 5;
      }
      q = formatint(q, edgelist[s].dest, 7);
      *q++ = ' ';
      q = formatint(q, edgelist[s].socket, 7);
      *q++ = ' ';
      *q++ = ' ';
    }
    writeadvance(out, q);
  }
  writechar(out, '\n');
}

namespace {

void formatpair(textwriter *out, int a, int b, int width) {
  writeint(out, a, width);
  writechar(out, ' ');
  writeint(out, b, width);
  writechar(out, '\n');
}

void formattable(textwriter *out, const degreelist *table, int entries) {
  for (int k = 0; k < entries; ++k) formatpair(out, table->degree[k], table->numofnodes[k], 3);
  writechar(out, '\n');
}

}  // namespace

void formatgraph(textwriter *out, const graphs *graph, const encoders *encoder) {
  writetext(out,
            "/****************************\n"
            "*Description File of a Code *\n"
            "******************************/\n"
            "\n"
            "/*vnodednum and cnodenum*/\n");
  formatpair(out, graph->vnodenum, graph->cnodenum, 7);
  writetext(out, "\n/* vdegreesnum and cdegreesnum */\n");
  formatpair(out, graph->vdegreesnum, graph->cdegreesnum, 7);
  writetext(out, "\n/* vmaxdegree and cmaxdegree */\n");
  formatpair(out, graph->vmaxdegree, graph->cmaxdegree, 7);
  writetext(out, "\n/* list of vnode degrees */\n");
  formattable(out, graph->vdegreelist, graph->vdegreesnum);
  writetext(out, "/* list of cnode degrees */\n");
  formattable(out, graph->cdegreelist, graph->cdegreesnum);

  writetext(out,
            "/*description of vnodes *\n"
            "* in the following format *\n"
            "* vnodedegree          *\n"
            "* tonode tosocket...  */\n");
  for (int v = 0; v < graph->vnodenum; ++v)
    formatnode(out, graph->vnodelist[v].degree, graph->vnodelist[v].edgelist);
  writetext(out,
            "\n"
            "/*description of cnodes *\n"
            "* in the following format *\n"
            "* cnodedegree          *\n"
            "* tonode tosocket...  */\n");
  for (int c = 0; c < graph->cnodenum; ++c)
    formatnode(out, graph->cnodelist[c].degree, graph->cnodelist[c].edgelist);

  writetext(out,
            "\n\n-1\n\n"
            "/* information for encoder *\n"
            "* gap [-1 indicates no info] *\n"
            "* inverse of phi row by row */\n");
  // A negative gap means no encoder information: then the closing "-1" is
  // what a reader takes as the gap.
  if (encoder->gap >= 0) {
    int g = encoder->gap;
    writeint(out, g, 0);
    writechar(out, '\n');
    for (int r = 0; r < g; ++r) {
      for (int c = 0; c < g; ++c) {
        writeint(out, encoder->iphi[static_cast<std::int64_t>(r) * g + c], 0);
        writechar(out, ' ');
      }
      writechar(out, '\n');
    }
    writechar(out, '\n');
  }
  writetext(out, "-1\n");
}

writeoutcome writegraphfile(const graphs *graph, const encoders *encoder, const char *path,
                            std::string *error) {
  return writewhole(
      path, [&](textwriter *out) { formatgraph(out, graph, encoder); }, error);
}

void savegraph(graphs *graph, encoders *encoder, const char *graphfile, int) {
  std::string error;
  switch (writegraphfile(graph, encoder, graphfile, &error)) {
    case writeok:
      return;
    case writeopenfailed:
      std::fflush(stdout);
      std::fputs("I can't open the indicated file.\n", stderr);
      std::exit(1);
    case writefailed:
      std::fflush(stdout);
      std::fprintf(stderr, "I can't write the indicated file: %s\n", error.c_str());
      std::exit(1);
  }
}

}  // namespace ldpc
