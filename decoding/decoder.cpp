// The decoder object: compiling a graph into the decoder's layout, checking
// options, and spreading frames over threads.
#include "decoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>

#include "enumnames.h"
#include "kernel.h"

namespace ldpc {

namespace {

const char *const algorithmnames[] = {"spa", "minsum", "nms", "oms"};
const char *const schedulenames[] = {"flooding", "layered"};
const char *const approximationnames[] = {"exact", "fast"};

decoderlayout compile(const graphs *graph) {
  const std::string refusal = undecodable(graph);
  if (!refusal.empty()) throw std::invalid_argument("decoder: " + refusal);
  decoderlayout g;
  g.vnodenum = graph->vnodenum;
  g.cnodenum = graph->cnodenum;
  g.rate = graph->rate;
  // Edges check by check, each named by its variable.
  g.checkstart.assign(g.cnodenum + 1, 0);
  for (int c = 0; c < g.cnodenum; ++c) {
    const cnode &node = graph->cnodelist[c];
    g.checkstart[c + 1] = g.checkstart[c] + node.degree;
    g.cmaxdegree = std::max(g.cmaxdegree, node.degree);
  }
  g.edges = g.checkstart[g.cnodenum];
  g.edgevar.resize(g.edges);
  g.repeats.assign(g.cnodenum, 0);
  std::vector<int> seenat(g.vnodenum, -1);  // the last check that named each variable
  for (int c = 0; c < g.cnodenum; ++c) {
    const cnode &node = graph->cnodelist[c];
    for (int t = 0; t < node.degree; ++t) {
      const edge &e = node.edgelist[t];
      if (e.dest < 0 || e.dest >= g.vnodenum)
        throw std::invalid_argument("decoder: check node " + std::to_string(c) + ", socket " +
                                    std::to_string(t) + " names variable node " +
                                    std::to_string(e.dest) + " outside 0.." +
                                    std::to_string(g.vnodenum - 1));
      g.edgevar[g.checkstart[c] + t] = e.dest;
      if (seenat[e.dest] == c) g.repeats[c] = 1;
      seenat[e.dest] = c;
    }
  }
  // Each variable's edges in socket order, found through the mirror entries.
  g.varstart.assign(g.vnodenum + 1, 0);
  for (int v = 0; v < g.vnodenum; ++v) {
    g.varstart[v + 1] = g.varstart[v] + graph->vnodelist[v].degree;
    g.vmaxdegree = std::max(g.vmaxdegree, graph->vnodelist[v].degree);
  }
  if (g.varstart[g.vnodenum] != g.edges)
    throw std::invalid_argument("decoder: the variable nodes hold " +
                                std::to_string(g.varstart[g.vnodenum]) +
                                " edge entries, the check nodes " + std::to_string(g.edges));
  g.varedge.resize(g.edges);
  for (int v = 0; v < g.vnodenum; ++v) {
    const vnode &node = graph->vnodelist[v];
    for (int s = 0; s < node.degree; ++s) {
      const edge &e = node.edgelist[s];
      if (!hasmirror(graph, v, s))
        throw std::invalid_argument("decoder: variable node " + std::to_string(v) + ", socket " +
                                    std::to_string(s) + " has no mirror entry at check node " +
                                    std::to_string(e.dest) + ", socket " +
                                    std::to_string(e.socket));
      g.varedge[g.varstart[v] + s] = g.checkstart[e.dest] + e.socket;
    }
  }
  return g;
}

kernel::params kernelparams(const decoderlayout &layout, const decoderoptions &o) {
  kernel::params p;
  p.layout = &layout;
  p.rule = static_cast<int>(o.algorithm);
  if (o.algorithm == decoderalgorithm::sumproduct && o.approximation == spaapproximation::fast)
    p.rule = kernel::rulespafast;
  p.layered = o.schedule == decoderschedule::layered;
  p.iterations = o.iterations;
  p.earlystop = o.earlystop;
  p.bits = o.quantization;
  p.wide = kernel::widenarrow(layout.vmaxdegree, p.bits);
  p.alphaq15 = static_cast<std::int16_t>(std::min(std::floor(o.alpha * 32768 + 0.5), 32767.0));
  // An offset at or above the bound sends every magnitude to 0 alike.
  const double betaq = std::floor(o.beta * kernel::scaleof(p.bits) + 0.5);
  p.betaq = static_cast<std::int16_t>(std::min(betaq, 1.0 * kernel::largestof(p.bits, false)));
  p.bound = static_cast<std::int16_t>(kernel::messagebound(layout.vmaxdegree, p.bits));
  p.channel = static_cast<std::int16_t>(kernel::channelbound(layout.vmaxdegree, p.bits));
  return p;
}

}  // namespace

std::string undecodable(const graphs *graph) {
  if (graph == nullptr || graph->vnodenum < 0) return "the graph record holds no graph";
  if (graph->vnodenum == 0)
    return "the graph has no variable nodes (" + std::to_string(graph->cnodenum) +
           " check nodes): there is nothing to decode";
  return "";
}

bool hasmirror(const graphs *graph, int v, int s) {
  const edge &e = graph->vnodelist[v].edgelist[s];
  if (e.dest < 0 || e.dest >= graph->cnodenum || e.socket < 0 ||
      e.socket >= graph->cnodelist[e.dest].degree)
    return false;
  const edge &back = graph->cnodelist[e.dest].edgelist[e.socket];
  return back.dest == v && back.socket == s;
}

const char *algorithmname(decoderalgorithm algorithm) {
  return algorithmnames[static_cast<int>(algorithm)];
}
const char *schedulename(decoderschedule schedule) {
  return schedulenames[static_cast<int>(schedule)];
}

const char *approximationname(spaapproximation approximation) {
  return approximationnames[static_cast<int>(approximation)];
}

bool parsealgorithm(const std::string &name, decoderalgorithm *algorithm) {
  return parseenumname(algorithmnames, name, algorithm);
}

bool parseschedule(const std::string &name, decoderschedule *schedule) {
  return parseenumname(schedulenames, name, schedule);
}

bool parseapproximation(const std::string &name, spaapproximation *approximation) {
  return parseenumname(approximationnames, name, approximation);
}

decoder::decoder(const graphs *graph, const decoderoptions &options)
    : layout_(compile(graph)), options_(options) {
  if (options.iterations < 0)
    throw std::invalid_argument("decoder: iterations must be 0 or more, not " +
                                std::to_string(options.iterations));
  if (options.algorithm == decoderalgorithm::normalizedminsum &&
      !(options.alpha > 0 && options.alpha < 1))
    throw std::invalid_argument("decoder: alpha must lie between 0 and 1 (exclusive), not " +
                                std::to_string(options.alpha));
  if (options.algorithm == decoderalgorithm::offsetminsum &&
      !(options.beta >= 0 && options.beta < 4096))
    throw std::invalid_argument("decoder: beta must lie in [0, 4096), not " +
                                std::to_string(options.beta));
  if (options.quantization != 8 && options.quantization != 16)
    throw std::invalid_argument("decoder: quantization must be 8 or 16 bits, not " +
                                std::to_string(options.quantization));
  if (options.algorithm == decoderalgorithm::sumproduct && options.quantization != 16)
    throw std::invalid_argument(
        "decoder: sum-product runs in float; 8-bit messages are for "
        "the min-sum family");
  if (options.approximation != spaapproximation::exact &&
      options.approximation != spaapproximation::fast)
    throw std::invalid_argument("decoder: sum-product's approximation must be exact or fast, not " +
                                std::to_string(static_cast<int>(options.approximation)));
  if (options.approximation == spaapproximation::fast &&
      options.algorithm != decoderalgorithm::sumproduct)
    throw std::invalid_argument(
        "decoder: the fast approximation is sum-product's; the min-sum family takes exact");
  const int maxdegree =
      options.quantization == 8 ? kernel::narrowmaxdegree : kernel::fixedmaxdegree;
  if (options.algorithm != decoderalgorithm::sumproduct && layout_.vmaxdegree > maxdegree)
    throw std::invalid_argument(
        "decoder: a variable node of degree " + std::to_string(layout_.vmaxdegree) + "; " +
        std::to_string(options.quantization) + "-bit fixed point takes degrees up to " +
        std::to_string(maxdegree));
}

int decoder::lanesfor(const decoderoptions &options) {
  if (options.scalar) return 1;
  return kernel::simdlanes(
      options.algorithm == decoderalgorithm::sumproduct ? 0 : options.quantization);
}

std::string decoder::targetfor(const decoderoptions &options) {
  return options.scalar ? "scalar model" : kernel::simdtarget();
}

int decoder::lanes() const { return lanesfor(options_); }

std::string decoder::target() const { return targetfor(options_); }

void decoder::decode(const double *llr, int frames, const decodeoutputs &out, int threads) const {
  if (frames <= 0) return;
  const kernel::params p = kernelparams(layout_, options_);
  auto work = options_.scalar ? kernel::decodescalar : kernel::decodesimd;
  // Whole batches, handed out one at a time to whichever thread is free:
  // no thread runs a half-empty batch that another could have filled, and
  // a thread that the machine slows down takes fewer batches.
  const int lanes = this->lanes();
  const int batches = (frames + lanes - 1) / lanes;
  threads = std::max(1, std::min(threads, batches));
  if (threads == 1) {
    work(p, llr, frames, out, nullptr, nullptr);
    return;
  }
  // A worker's fault (memory that cannot be had) is rethrown here once every
  // worker has stopped, never left to end the process.
  std::atomic<int> next{0};
  std::vector<std::exception_ptr> faults(threads);
  auto guarded = [&](int t) {
    try {
      work(p, llr, frames, out, nullptr, &next);
    } catch (...) {
      faults[t] = std::current_exception();
      next = batches;  // the others stop after their batch in flight
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(guarded, t);
  for (std::thread &thread : pool) thread.join();
  for (const std::exception_ptr &fault : faults)
    if (fault) std::rethrow_exception(fault);
}

std::vector<int> decoder::trace(const double *llr, const decodeoutputs &out) const {
  const kernel::params p = kernelparams(layout_, options_);
  std::vector<int> counts;
  (options_.scalar ? kernel::decodescalar : kernel::decodesimd)(p, llr, 1, out, &counts, nullptr);
  return counts;
}

}  // namespace ldpc
