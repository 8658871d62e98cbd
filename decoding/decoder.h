// Belief-propagation decoding of LDPC codes on a Tanner graph.
//
// A decoder is compiled from a graphs record into a layout of its own (edges
// numbered check by check, each variable's list of edge numbers); the record
// is only read, its value and message fields stay for callers' own decoders.
// Variable nodes are the code bits, numbered from 0 as in the graph.
//
// Contract:
// - Sign convention: an LLR is log P(bit = 0) / P(bit = 1), so a positive
//   value favours 0. The decision of a bit is 1 exactly when its posterior is
//   negative; a posterior of exactly 0 is undecided: it decides 0, is counted
//   in undecided, and leaves its checks unsatisfied. A frame is satisfied
//   when every posterior is non-zero and the decisions satisfy every check.
//   (This treats every codeword alike, which is what lets a simulation send
//   the all-zero codeword; see docs/decoding.md.)
// - Sum-product runs in float: check rule 2 atanh(prod tanh(t/2)) with the
//   product of the other edges formed forward and backward (no division),
//   the product clamped to |p| <= 1 - 2^-24, so a check message stays within
//   about +-17.3. NaN channel values are read as 0.
// - Sum-product's approximation (options.approximation): exact (the
//   default) takes Highway's exponential and logarithm, bit for bit, and
//   a division; fast takes cheaper steps with the same arithmetic around
//   them (kernel.h): exp(-a) as 2^y, y = -a log2(e), by a degree-4
//   polynomial of y - round(y) put on the exponent bits of round(y)
//   (relative error below 2e-5), the division as a product by a
//   reciprocal of two Newton steps (below 3e-4, the quotient taken at
//   least 1), and log(q) by the exponent of q and a degree-5 polynomial
//   of its mantissa taken to [sqrt(1/2), sqrt(2)) (below 1e-4): message
//   magnitudes within about 3e-4 of the exact rule's, the same FER
//   (docs/decoding.md). Its results equal the scalar model's of the same
//   float operations (options.scalar) bit for bit; targets with fused
//   multiply-add and those without (whose multiply-adds round twice)
//   differ in the last bits, each equal to the model of its own kind.
// - The min-sum family runs in 16-bit fixed point: one unit is 1/8 of an LLR.
//   A channel LLR x becomes clamp(floor(8 x + 0.5), -1023, 1023) (NaN as 0).
//   Check messages are clamped in magnitude to the bound
//   M = floor((32767 - 1023) / dvmax), dvmax the largest variable degree
//   (M = 32767 when no variable has an edge), so that a posterior, the
//   channel value plus its check messages, is always at most 32767 in
//   magnitude: every sum and difference is exact, and a posterior minus one
//   of its check messages is exactly the sum of the others (a saturated
//   posterior would break that, and layered decoding would then wreck
//   frames it had decoded). The constructor refuses variable degrees above
//   31744 (M would be 0). Normalised min-sum multiplies the clamped
//   magnitude by alpha as a Q15 factor a = floor(alpha * 32768 + 0.5) with
//   rounding (m * a + 16384) >> 15; offset min-sum subtracts
//   b = floor(8 beta + 0.5) and stops at 0. Posteriors are returned
//   divided by 8.
// - With quantization 8 the min-sum family runs in 8-bit fixed point, twice
//   the frames of 16 bits per batch: one unit is 1/2 of an LLR, and the
//   channel values and check messages are both clamped to B (a channel LLR
//   x becomes clamp(floor(2 x + 0.5), -B, B), NaN as 0). Up to dvmax 3
//   the posteriors are 8-bit too and B = floor(127 / (dvmax + 1)) (31,
//   15.5 LLRs, at dvmax 3), so that a posterior is at most 127 in
//   magnitude; from dvmax 4 the posteriors are kept in 16 bits beside the
//   8-bit messages and B = 127 (63.5 LLRs), a posterior being at most
//   127 (dvmax + 1). Either way every sum is exact as in 16 bits. The
//   constructor refuses variable degrees above 257. The corrections are
//   those of 16 bits on these units (the same Q15 factor;
//   b = min(floor(2 beta + 0.5), 127)). Posteriors are returned divided
//   by 2. Sum-product takes only 16 (it runs in float).
// - Schedules: flooding (every check from the previous iteration's
//   posteriors; the next posteriors gathered as the channel value plus each
//   new check message, in check order) and layered (checks in order 0..m-1,
//   each from the freshest posteriors and updating them at once: a
//   posterior becomes its edge's input plus the new message, or, at a check
//   that joins the variable more than once, the posterior plus each of its
//   edges' changes in socket order, so that parallel edges all count).
// - Early stop (on by default): the stopping rule is tested on the channel
//   values (iteration 0) and after every iteration; a frame that satisfies
//   it keeps the decision and posteriors of that moment, and its iteration
//   count is that iteration. Without early stop every frame runs all
//   iterations. A frame's result never depends on the other frames decoded
//   beside it, on the thread count or on the SIMD width (for sum-product: for
//   a given instruction set; the fixed-point results are the same on every
//   machine and equal the scalar model's).
//
// Error policy: the constructor throws std::invalid_argument with a message
// naming the fault (a graph record without a graph, a graph without
// variable nodes, a broken mirror entry, an option out of range, a variable
// degree beyond what the fixed point takes), before it
// allocates anything for a graph it refuses; decode never fails, except
// that working memory that cannot be had throws std::bad_alloc in the
// calling thread.
#ifndef LDPC_DECODER_H
#define LDPC_DECODER_H

#include <cstdint>
#include <string>
#include <vector>

#include "graphstruct.h"

namespace ldpc {

enum class decoderalgorithm { sumproduct, minsum, normalizedminsum, offsetminsum };
enum class decoderschedule { flooding, layered };
enum class spaapproximation { exact, fast };

struct decoderoptions {
  decoderalgorithm algorithm = decoderalgorithm::sumproduct;
  decoderschedule schedule = decoderschedule::flooding;
  // The defaults of tanner simulate and tanner threshold alike.
  double alpha = 0.8;   // normalised min-sum, 0 < alpha < 1
  double beta = 0.25;   // offset min-sum, in LLR units, 0 <= beta < 4096
  int iterations = 50;  // maximum iterations, >= 0
  bool earlystop = true;
  int quantization = 16;  // min-sum family: bits per message, 16 or 8
  bool scalar = false;    // run the plain scalar model instead of the SIMD
                          // code (fixed point: the same results; sum-product:
                          // double precision with the std library's tanh;
                          // fast sum-product: the same float operations,
                          // the same results)
  // Sum-product's exponential and logarithm (above); the min-sum family
  // takes exact only.
  spaapproximation approximation = spaapproximation::exact;
};

// Names as on the command line: "spa", "minsum", "nms", "oms"; "flooding",
// "layered"; "exact", "fast". The parsers return false on an unknown name.
const char *algorithmname(decoderalgorithm algorithm);
const char *schedulename(decoderschedule schedule);
const char *approximationname(spaapproximation approximation);
bool parsealgorithm(const std::string &name, decoderalgorithm *algorithm);
bool parseschedule(const std::string &name, decoderschedule *schedule);
bool parseapproximation(const std::string &name, spaapproximation *approximation);

// Why graph cannot be decoded at all, before anything is compiled: no graph
// in the record, or no variable nodes; "" when it can be compiled (which
// may still find broken entries).
std::string undecodable(const graphs *graph);

// True when socket s of variable node v names a check node and socket of
// graph that exist and whose entry names v and s back (its mirror entry).
bool hasmirror(const graphs *graph, int v, int s);

// Where decode puts its results; frames x n arrays are frame by frame.
// Pointers other than decisions may be null when not wanted.
struct decodeoutputs {
  std::uint8_t *decisions = nullptr;   // frames x n, 0 or 1
  std::uint8_t *satisfied = nullptr;   // frames: 1 when satisfied (above)
  std::int32_t *iterations = nullptr;  // frames: iterations used
  std::int32_t *undecided = nullptr;   // frames: posteriors exactly 0
  float *posteriors = nullptr;         // frames x n, LLR units
};

// The compiled graph: edge e of check c is e = checkstart[c] + k for its
// socket k, joining variable edgevar[e]; variable v's edges, in socket
// order, are varedge[varstart[v] .. varstart[v + 1] - 1]. repeats[c] is 1
// when check c joins some variable by more than one edge (parallel edges).
struct decoderlayout {
  int vnodenum = 0;
  int cnodenum = 0;
  int edges = 0;
  int cmaxdegree = 0;
  int vmaxdegree = 0;
  double rate = 0.0;  // the graph record's design rate
  std::vector<int> checkstart, edgevar, varstart, varedge;
  std::vector<std::uint8_t> repeats;
};

class decoder {
 public:
  // Compiles graph (which must hold a graph with at least one variable
  // node, whose mirror entries point back); keeps nothing that points into
  // it.
  decoder(const graphs *graph, const decoderoptions &options);

  // The lanes and the instruction set of a decoder of these options, known
  // without a graph.
  static int lanesfor(const decoderoptions &options);
  static std::string targetfor(const decoderoptions &options);

  const decoderlayout &layout() const { return layout_; }
  const decoderoptions &options() const { return options_; }
  int length() const { return layout_.vnodenum; }
  // Frames decoded side by side in one SIMD batch on this machine.
  int lanes() const;
  // Name of the instruction set that decode uses ("scalar model" with
  // options.scalar).
  std::string target() const;

  // Decodes frames frames of channel LLRs, llr[f * n + i] for bit i of
  // frame f, with up to threads threads (at least 1) taking batches of
  // lanes() frames as they become free.
  // Allocates its working memory per call: about (edges + 2 n) x lanes
  // messages per thread.
  void decode(const double *llr, int frames, const decodeoutputs &out, int threads = 1) const;

  // Decodes one frame and returns the number of unsatisfied checks (zero
  // posteriors counting as unsatisfying their checks) on the channel values
  // and after every iteration run; with early stop the list ends at the
  // first 0. The frame's decision equals decode's.
  std::vector<int> trace(const double *llr, const decodeoutputs &out) const;

 private:
  decoderlayout layout_;
  decoderoptions options_;
};

}  // namespace ldpc

#endif
