// The one-frame decoder of quasi-cyclic codes: checking the code and the
// options, the circulants in layer order, and the frames one by one.
#include "qcdecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "intrakernel.h"
#include "kernel.h"

namespace ldpc {

namespace {

// The checks of decoder's constructor that concern these options, and what
// this decoder takes beside them.
void checkoptions(const decoderoptions &o) {
  const std::string refusal = qcdecoder::unsupported(o);
  if (!refusal.empty()) throw std::invalid_argument("qcdecoder: " + refusal);
  if (o.iterations < 0)
    throw std::invalid_argument("qcdecoder: iterations must be 0 or more, not " +
                                std::to_string(o.iterations));
  if (o.algorithm == decoderalgorithm::normalizedminsum && !(o.alpha > 0 && o.alpha < 1))
    throw std::invalid_argument("qcdecoder: alpha must lie between 0 and 1 (exclusive), not " +
                                std::to_string(o.alpha));
  if (o.algorithm == decoderalgorithm::offsetminsum && !(o.beta >= 0 && o.beta < 4096))
    throw std::invalid_argument("qcdecoder: beta must lie in [0, 4096), not " +
                                std::to_string(o.beta));
}

qcmatrix checkedmatrix(const qcmatrix &qc) {
  if (qc.columns < 1 || qc.rows < 1 || qc.lift < 1)
    throw std::invalid_argument("qcdecoder: a base matrix of " + std::to_string(qc.rows) + " x " +
                                std::to_string(qc.columns) + " blocks of lifting size " +
                                std::to_string(qc.lift) + "; all three must be at least 1");
  if (static_cast<std::int64_t>(qc.columns) * qc.lift > INT32_MAX ||
      static_cast<std::int64_t>(qc.rows) * qc.lift > INT32_MAX)
    throw std::invalid_argument("qcdecoder: the expansion has more nodes than an int holds");
  if (qc.shifts.size() != static_cast<std::size_t>(qc.rows) * static_cast<std::size_t>(qc.columns))
    throw std::invalid_argument(
        "qcdecoder: the base matrix holds " + std::to_string(qc.shifts.size()) + " entries; " +
        std::to_string(qc.rows) + " x " + std::to_string(qc.columns) + " expected");
  for (int r = 0; r < qc.rows; ++r)
    for (int c = 0; c < qc.columns; ++c) {
      const int s = qcshift(qc, r, c);
      if (s < -1 || s >= qc.lift)
        throw std::invalid_argument(
            "qcdecoder: block row " + std::to_string(r) + ", block column " + std::to_string(c) +
            ": shift " + std::to_string(s) + " is outside -1.." + std::to_string(qc.lift - 1));
    }
  return qc;
}

qcmatrix matrixofgraph(const graphs *graph, int lift) {
  const std::string refusal = undecodable(graph);
  if (!refusal.empty()) throw std::invalid_argument("qcdecoder: " + refusal);
  qcmatrix qc;
  std::string why;
  if (!qcofgraph(graph, lift, &qc, &why))
    throw std::invalid_argument("qcdecoder: the graph is not a lifting of circulants by " +
                                std::to_string(lift) + ": " + why);
  return qc;
}

intra::params kernelparams(const qcmatrix &qc, const decoderoptions &o,
                           const std::vector<int> &rowstart, const std::vector<int> &column,
                           const std::vector<int> &shift, int maxrowdegree, int maxcoldegree) {
  intra::params p;
  p.lift = qc.lift;
  p.columns = qc.columns;
  p.rows = qc.rows;
  p.rowstart = rowstart.data();
  p.column = column.data();
  p.shift = shift.data();
  p.maxrowdegree = maxrowdegree;
  p.rule = static_cast<int>(o.algorithm);
  p.iterations = o.iterations;
  p.earlystop = o.earlystop;
  // The 16-bit constants exactly as the batched decoder forms them.
  p.alphaq15 = static_cast<std::int16_t>(std::min(std::floor(o.alpha * 32768 + 0.5), 32767.0));
  const double betaq = std::floor(o.beta * kernel::fixedscale + 0.5);
  p.betaq = static_cast<std::int16_t>(std::min(betaq, 1.0 * kernel::messagemax));
  p.bound = static_cast<std::int16_t>(kernel::messagebound(maxcoldegree, 16));
  p.channel = static_cast<std::int16_t>(kernel::channelbound(maxcoldegree, 16));
  return p;
}

}  // namespace

std::int16_t *qcdecoder::workspace::get(std::size_t size) {
  // 64-byte alignment inside the vector: 32 spare values.
  if (memory_.size() < size + 32) memory_.assign(size + 32, 0);
  const auto at = reinterpret_cast<std::uintptr_t>(memory_.data());
  return memory_.data() + ((64 - at % 64) % 64) / sizeof(std::int16_t);
}

std::string qcdecoder::unsupported(const decoderoptions &o) {
  if (o.algorithm == decoderalgorithm::sumproduct)
    return "sum-product is decoded by the batched decoder only; the one-frame decoder takes "
           "minsum, nms or oms";
  if (o.schedule != decoderschedule::layered)
    return "the one-frame decoder runs the layered schedule (a block row per layer); flooding is "
           "decoded by the batched decoder only";
  if (o.quantization != 16)
    return "the one-frame decoder runs in 16-bit fixed point, not " +
           std::to_string(o.quantization) + " bits";
  if (o.scalar) return "the scalar model is the batched decoder's";
  return "";
}

int qcdecoder::lanesfor() { return intra::lanes(); }
std::string qcdecoder::targetfor() { return intra::target(); }

qcdecoder::qcdecoder(const qcmatrix &qc, const decoderoptions &options)
    : qc_(checkedmatrix(qc)), options_(options) {
  checkoptions(options);
  compile();
}

qcdecoder::qcdecoder(const graphs *graph, int lift, const decoderoptions &options)
    : qc_(matrixofgraph(graph, lift)), options_(options) {
  checkoptions(options);
  compile();
}

void qcdecoder::compile() {
  qc_.transmitted.clear();
  rowstart_.assign(1, 0);
  std::vector<int> coldegree(static_cast<std::size_t>(qc_.columns), 0);
  for (int r = 0; r < qc_.rows; ++r) {
    for (int c = 0; c < qc_.columns; ++c) {
      const int s = qcshift(qc_, r, c);
      if (s < 0) continue;
      column_.push_back(c);
      shift_.push_back(s);
      ++coldegree[static_cast<std::size_t>(c)];
    }
    rowstart_.push_back(static_cast<int>(column_.size()));
    maxrowdegree_ = std::max(maxrowdegree_, rowstart_[r + 1] - rowstart_[r]);
  }
  maxcoldegree_ = *std::max_element(coldegree.begin(), coldegree.end());
  if (maxcoldegree_ > kernel::fixedmaxdegree)
    throw std::invalid_argument(
        "qcdecoder: a variable node of degree " + std::to_string(maxcoldegree_) +
        "; 16-bit fixed point takes degrees up to " + std::to_string(kernel::fixedmaxdegree));
}

void qcdecoder::decodeframe(const double *llr, const decodeoutputs &out, workspace *work) const {
  const intra::params p =
      kernelparams(qc_, options_, rowstart_, column_, shift_, maxrowdegree_, maxcoldegree_);
  intra::decodeframe(p, llr, out, work->get(intra::worksize(p)));
}

void qcdecoder::decode(const double *llr, int frames, const decodeoutputs &out) const {
  workspace work;
  const std::size_t n = static_cast<std::size_t>(length());
  for (int f = 0; f < frames; ++f) {
    decodeoutputs one;
    one.decisions = out.decisions + f * n;
    if (out.satisfied != nullptr) one.satisfied = out.satisfied + f;
    if (out.iterations != nullptr) one.iterations = out.iterations + f;
    if (out.undecided != nullptr) one.undecided = out.undecided + f;
    if (out.posteriors != nullptr) one.posteriors = out.posteriors + f * n;
    decodeframe(llr + f * n, one, &work);
  }
}

}  // namespace ldpc
