// Low-latency decoding of quasi-cyclic codes, one frame at a time.
//
// A code that is a lifting of circulants (codes/qcfile.h: every Z x Z block
// of its matrix empty or one shifted identity) is decoded with the SIMD
// lanes over the Z checks of a block row rather than over frames side by
// side: layered min-sum (plain, normalised or offset), one block row per
// layer. The Z checks of a block row join disjoint variables (one circulant
// per block column), so updating them at once is exactly the sequential
// layered schedule of decoder.h over checks r Z .. r Z + Z - 1, and block
// rows run in order 0 .. rows - 1 as the checks of the expanded graph do.
//
// Contract:
// - The arithmetic is decoder.h's 16-bit fixed point for the min-sum
//   family: the channel quantisation clamp(floor(8 x + 0.5), -1023, 1023)
//   (NaN as 0), check messages clamped to M = floor((32767 - 1023) / dvmax)
//   (dvmax the largest variable degree, the number of circulants in a
//   block column; M = 32767 up to dvmax 1), the Q15 normalisation with rounding and the offset
//   stopping at 0, the early-stop rule on the channel values and after each
//   iteration, a posterior of exactly 0 decided 0 and failing its checks
//   (every variable's, also one without edges). So the decisions,
//   satisfied flags, iteration counts, undecided counts and posteriors of a
//   frame equal bit for bit those of decoder (layered schedule, same
//   options) on the expanded graph, on every machine.
// - Variable c Z + j is bit j of block column c, check r Z + i row i of
//   block row r; a shift s joins check r Z + i to variable c Z + (i + s)
//   mod Z (qcfile.h's numbering).
// - Options: algorithm minsum, nms or oms, schedule layered, quantization
//   16, scalar off; iterations, alpha and beta in decoder.h's ranges.
//   unsupported() names what is not so.
// - The SIMD code is compiled for every x86-64 instruction set Highway
//   knows and chosen at run time; the circulant shifts are rotations of
//   each block column's Z posteriors into the block row's check order and
//   back (two contiguous copies each), the check rule runs over those
//   rows in vectors of lanes() 16-bit values, Z rounded up to a multiple
//   of lanes() (the extra lanes compute values never read).
//
// Error policy: the constructors throw std::invalid_argument with a
// message naming the fault (options out of range or not supported, a graph
// that is not a lifting by Z and the first block that is not a circulant,
// a matrix out of shape), before they allocate working memory; decode
// never fails, except that memory that cannot be had throws std::bad_alloc.
// decode is const and may be called from several threads at once, each
// with its own workspace.
#ifndef LDPC_QCDECODER_H
#define LDPC_QCDECODER_H

#include <cstdint>
#include <string>
#include <vector>

#include "decoder.h"
#include "graphstruct.h"
#include "qcfile.h"

namespace ldpc {

class qcdecoder {
 public:
  // Working memory of one frame's decoding; reused from frame to frame
  // (sized at the first use), one per thread.
  class workspace {
   public:
    std::int16_t *get(std::size_t size);

   private:
    std::vector<std::int16_t> memory_;
  };

  // The code of base matrix qc (its flag line is not used: punctured bits
  // are bits whose channel value is 0).
  qcdecoder(const qcmatrix &qc, const decoderoptions &options);
  // graph as the lifting by lift that qcofgraph finds.
  qcdecoder(const graphs *graph, int lift, const decoderoptions &options);

  // Why these options cannot be had with this decoder, "" when they can.
  static std::string unsupported(const decoderoptions &options);
  // Int16 lanes and instruction set of the SIMD code on this machine.
  static int lanesfor();
  static std::string targetfor();

  const qcmatrix &matrix() const { return qc_; }
  const decoderoptions &options() const { return options_; }
  int length() const { return qc_.columns * qc_.lift; }
  int lift() const { return qc_.lift; }
  int lanes() const { return lanesfor(); }
  std::string target() const { return targetfor(); }

  // Decodes frames frames of llr (llr[f * n + i], n = length()), one after
  // another on the calling thread; out as decoder::decode fills it.
  void decode(const double *llr, int frames, const decodeoutputs &out) const;
  // One frame, into out's first entries, with the memory of work.
  void decodeframe(const double *llr, const decodeoutputs &out, workspace *work) const;

 private:
  void compile();

  qcmatrix qc_;
  decoderoptions options_;
  // The circulants block row by block row: circulant k of block row r is
  // at rowstart[r] + k, in block column column[], shift shift[].
  std::vector<int> rowstart_, column_, shift_;
  int maxrowdegree_ = 0, maxcoldegree_ = 0;
};

}  // namespace ldpc

#endif
