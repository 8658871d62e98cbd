#include "naivegraph.h"

#include <cstdlib>

namespace naive {

void *allocate(long n) {
  void *block = n >= 0 ? std::malloc(n > 0 ? static_cast<std::size_t>(n) : 1) : nullptr;
  if (block == nullptr) {
    std::fputs("naive: not sufficient memory\n", stdout);
    std::exit(1);
  }
  return block;
}

void allocatenodelists(graphs *graph) {
  graph->vnodelist =
      static_cast<vnode *>(allocate(graph->vnodenum * static_cast<long>(sizeof(vnode))));
  graph->cnodelist =
      static_cast<cnode *>(allocate(graph->cnodenum * static_cast<long>(sizeof(cnode))));
}

void allocatedegreetables(graphs *graph) {
  graph->vdegreelist = static_cast<degreelist *>(allocate(sizeof(degreelist)));
  graph->cdegreelist = static_cast<degreelist *>(allocate(sizeof(degreelist)));
}

edge *allocateedges(int degree) {
  return static_cast<edge *>(allocate(degree * static_cast<long>(sizeof(edge))));
}

void fillchecksides(graphs *graph) {
  for (int c = 0; c < graph->cnodenum; ++c)
    graph->cnodelist[c].edgelist = allocateedges(graph->cnodelist[c].degree);
  for (int v = 0; v < graph->vnodenum; ++v)
    for (int s = 0; s < graph->vnodelist[v].degree; ++s) {
      const edge *e = &graph->vnodelist[v].edgelist[s];
      graph->cnodelist[e->dest].edgelist[e->socket].dest = v;
      graph->cnodelist[e->dest].edgelist[e->socket].socket = s;
    }
}

void skip(FILE *fp) {
  int previous = ' ';
  int c;
  while ((c = std::getc(fp)) != EOF) {
    if (c == '/' && previous == '*') {
      int next = std::getc(fp);
      if (next != '\n' && next != EOF) std::ungetc(next, fp);
      return;
    }
    previous = c;
  }
}

namespace {

void writenode(FILE *fp, int degree, const edge *edgelist) {
  std::fprintf(fp, "%3d ", degree);
  for (int s = 0; s < degree; ++s) {
    if (s > 0 && s % 3 == 0) std::fprintf(fp, "\n    ");
    std::fprintf(fp, "%7d ", edgelist[s].dest);
    std::fprintf(fp, "%7d  ", edgelist[s].socket);
  }
  std::fprintf(fp, "\n");
}

// A degree table under its comment, and a blank line.
void writetable(FILE *fp, const char *side, int count, const degreelist *table) {
  std::fprintf(fp, "/* list of %s degrees */\n", side);
  for (int k = 0; k < count; ++k)
    std::fprintf(fp, "%3d %3d\n", table->degree[k], table->numofnodes[k]);
  std::fprintf(fp, "\n");
}

// The nodes of a side under their comment.
template <class node>
void writenodes(FILE *fp, const char *side, int count, const node *list) {
  std::fprintf(fp, "/*description of %ss *\n", side);
  std::fprintf(fp, "* in the following format *\n");
  std::fprintf(fp, "* %sdegree          *\n", side);
  std::fprintf(fp, "* tonode tosocket...  */\n");
  for (int k = 0; k < count; ++k) writenode(fp, list[k].degree, list[k].edgelist);
}

void readnode(FILE *fp, int *degree, edge **edgelist) {
  std::fscanf(fp, "%d", degree);
  *edgelist = static_cast<edge *>(allocate(static_cast<long>(*degree) * sizeof(edge)));
  for (int s = 0; s < *degree; ++s) {
    std::fscanf(fp, "%d", &(*edgelist)[s].dest);
    std::fscanf(fp, "%d", &(*edgelist)[s].socket);
  }
}

}  // namespace

void savegraph(const graphs *graph, const encoders *encoder, const char *path) {
  FILE *fp = std::fopen(path, "w");
  if (fp == nullptr) {
    std::fprintf(stderr, "I can't open the indicated file.\n");
    std::exit(1);
  }
  std::fprintf(fp, "/****************************\n");
  std::fprintf(fp, "*Description File of a Code *\n");
  std::fprintf(fp, "******************************/\n");
  std::fprintf(fp, "\n");
  std::fprintf(fp, "/*vnodednum and cnodenum*/\n");
  std::fprintf(fp, "%7d %7d\n", graph->vnodenum, graph->cnodenum);
  std::fprintf(fp, "\n");
  std::fprintf(fp, "/* vdegreesnum and cdegreesnum */\n");
  std::fprintf(fp, "%7d %7d\n", graph->vdegreesnum, graph->cdegreesnum);
  std::fprintf(fp, "\n");
  std::fprintf(fp, "/* vmaxdegree and cmaxdegree */\n");
  std::fprintf(fp, "%7d %7d\n", graph->vmaxdegree, graph->cmaxdegree);
  std::fprintf(fp, "\n");
  writetable(fp, "vnode", graph->vdegreesnum, graph->vdegreelist);
  writetable(fp, "cnode", graph->cdegreesnum, graph->cdegreelist);
  writenodes(fp, "vnode", graph->vnodenum, graph->vnodelist);
  std::fprintf(fp, "\n");
  writenodes(fp, "cnode", graph->cnodenum, graph->cnodelist);
  std::fprintf(fp, "\n\n-1\n\n");
  std::fprintf(fp, "/* information for encoder *\n");
  std::fprintf(fp, "* gap [-1 indicates no info] *\n");
  std::fprintf(fp, "* inverse of phi row by row */\n");
  if (encoder->gap >= 0) {
    std::fprintf(fp, "%d\n", encoder->gap);
    for (int r = 0; r < encoder->gap; ++r) {
      for (int c = 0; c < encoder->gap; ++c)
        std::fprintf(fp, "%d ", encoder->iphi[r * encoder->gap + c]);
      std::fprintf(fp, "\n");
    }
    std::fprintf(fp, "\n");
  }
  std::fprintf(fp, "-1\n");
  std::fclose(fp);
}

void readgraph(graphs *graph, encoders *encoder, const char *path) {
  FILE *fp = std::fopen(path, "r");
  if (fp == nullptr) {
    std::fprintf(stderr, "I can't open the indicated graph file.\n");
    std::exit(1);
  }
  skip(fp);
  skip(fp);
  std::fscanf(fp, "%d", &graph->vnodenum);
  std::fscanf(fp, "%d", &graph->cnodenum);
  graph->rate = 1.0 - static_cast<double>(graph->cnodenum) / graph->vnodenum;
  skip(fp);
  std::fscanf(fp, "%d", &graph->vdegreesnum);
  std::fscanf(fp, "%d", &graph->cdegreesnum);
  skip(fp);
  std::fscanf(fp, "\n%d", &graph->vmaxdegree);
  std::fscanf(fp, "%d", &graph->cmaxdegree);
  allocatenodelists(graph);
  allocatedegreetables(graph);
  skip(fp);
  for (int k = 0; k < graph->vdegreesnum; ++k) {
    std::fscanf(fp, "%d", &graph->vdegreelist->degree[k]);
    std::fscanf(fp, "%d", &graph->vdegreelist->numofnodes[k]);
  }
  skip(fp);
  for (int k = 0; k < graph->cdegreesnum; ++k) {
    std::fscanf(fp, "%d", &graph->cdegreelist->degree[k]);
    std::fscanf(fp, "%d", &graph->cdegreelist->numofnodes[k]);
  }
  skip(fp);
  for (int v = 0; v < graph->vnodenum; ++v)
    readnode(fp, &graph->vnodelist[v].degree, &graph->vnodelist[v].edgelist);
  skip(fp);
  for (int c = 0; c < graph->cnodenum; ++c)
    readnode(fp, &graph->cnodelist[c].degree, &graph->cnodelist[c].edgelist);
  skip(fp);
  std::fscanf(fp, "%d", &encoder->gap);
  if (encoder->gap >= 0) {
    encoder->iphi =
        static_cast<int *>(allocate(static_cast<long>(encoder->gap) * encoder->gap * sizeof(int)));
    for (int k = 0; k < encoder->gap * encoder->gap; ++k) std::fscanf(fp, "%d", &encoder->iphi[k]);
  }
  std::fclose(fp);
}

graphs *readprotograph(const char *path) {
  FILE *fp = std::fopen(path, "r");
  if (fp == nullptr) {
    std::fprintf(stderr, "I can't open the indicated proto-file.\n");
    std::exit(1);
  }
  graphs *proto = static_cast<graphs *>(allocate(sizeof(graphs)));
  skip(fp);
  skip(fp);
  std::fscanf(fp, "%d", &proto->vnodenum);
  std::fscanf(fp, "%d", &proto->cnodenum);
  allocatenodelists(proto);
  for (int c = 0; c < proto->cnodenum; ++c) proto->cnodelist[c].degree = 0;
  skip(fp);
  for (int v = 0; v < proto->vnodenum; ++v) {
    vnode *node = &proto->vnodelist[v];
    std::fscanf(fp, "%d", &node->degree);
    node->edgelist = allocateedges(node->degree);
    for (int s = 0; s < node->degree; ++s) {
      std::fscanf(fp, "%d", &node->edgelist[s].dest);
      std::fscanf(fp, "%d", &node->edgelist[s].socket);
      ++proto->cnodelist[node->edgelist[s].dest].degree;
    }
  }
  fillchecksides(proto);
  std::fclose(fp);
  return proto;
}

void graphrandompermutation(unsigned short state[3], int *perm, int *iperm, int n) {
  for (int i = 0; i < n; ++i) iperm[i] = i;
  for (int m = n, k = 0; m >= 1; --m, ++k) {
    int j = static_cast<int>(erand48(state) * m);
    perm[n - 1 - k] = iperm[j];
    iperm[j] = iperm[m - 1];
  }
  for (int i = 0; i < n; ++i) iperm[perm[i]] = i;
}

}  // namespace naive
