// 5G NR base graph choice, lifting size, filler bits and rate matching.
#include "nrratematch.h"

#include <algorithm>

namespace ldpc {

const std::vector<int> &nrliftsizes() {
  // Table 5.3.2-1: a * 2^j for a in {2, 3, 5, 7, 9, 11, 13, 15} up to 384
  static const std::vector<int> sizes = [] {
    std::vector<int> z;
    for (int a : {2, 3, 5, 7, 9, 11, 13, 15})
      for (int s = a; s <= 384; s *= 2) z.push_back(s);
    std::sort(z.begin(), z.end());
    return z;
  }();
  return sizes;
}

int nrsetindex(int z) {
  static const int base[8] = {2, 3, 5, 7, 9, 11, 13, 15};
  for (int i = 0; i < 8; ++i)
    for (int s = base[i]; s <= 384; s *= 2)
      if (s == z) return i;
  return -1;
}

int nrbasegraph(std::int64_t a, double r) {
  return (a <= 292 || (a <= 3824 && r <= 0.67) || r <= 0.25) ? 2 : 1;
}

int nrmaxinfo(int basegraph) { return basegraph == 1 ? 8448 : 3840; }

namespace {

void shape(int basegraph, int z, nrcode *code) {
  code->basegraph = basegraph;
  code->lift = z;
  code->setindex = nrsetindex(z);
  code->columns = basegraph == 1 ? 68 : 52;
  code->rows = basegraph == 1 ? 46 : 42;
  code->systematic = (basegraph == 1 ? 22 : 10) * z;
  code->buffer = (code->columns - 2) * z;
}

}  // namespace

bool nrcodeforinfo(int basegraph, int info, nrcode *code, std::string *error) {
  if (basegraph != 1 && basegraph != 2) {
    *error = "base graph " + std::to_string(basegraph) + "; there are base graphs 1 and 2";
    return false;
  }
  if (info < 1 || info > nrmaxinfo(basegraph)) {
    *error = "code block of " + std::to_string(info) + " bits; base graph " +
             std::to_string(basegraph) + " takes 1.." + std::to_string(nrmaxinfo(basegraph)) +
             " bits without segmentation";
    return false;
  }
  const int kb = basegraph == 1 ? 22 : info > 640 ? 10 : info > 560 ? 9 : info > 192 ? 8 : 6;
  int z = 0;
  for (int s : nrliftsizes())
    if (kb * s >= info) {
      z = s;
      break;
    }
  shape(basegraph, z, code);
  code->info = info;
  code->fillers = code->systematic - info;
  return true;
}

bool nrcodeforlift(int basegraph, int z, nrcode *code, std::string *error) {
  if (basegraph != 1 && basegraph != 2) {
    *error = "base graph " + std::to_string(basegraph) + "; there are base graphs 1 and 2";
    return false;
  }
  if (nrsetindex(z) < 0) {
    *error = "lifting size " + std::to_string(z) + " is none of the 51 of TS 38.212 Table 5.3.2-1";
    return false;
  }
  shape(basegraph, z, code);
  code->info = code->systematic;
  code->fillers = 0;
  return true;
}

std::int64_t nrbufferlength(const nrcode &code, std::int64_t tbslbrm) {
  if (tbslbrm <= 0) return code.buffer;
  // floor(TBS_LBRM / (C * 2/3)) with C = 1
  const std::int64_t nref = tbslbrm * 3 / 2;
  return std::min<std::int64_t>(code.buffer, nref);
}

std::int64_t nrstart(const nrcode &code, int rv, std::int64_t ncb) {
  static const int bg1[4] = {0, 17, 33, 56};
  static const int bg2[4] = {0, 13, 25, 43};
  const std::int64_t z = code.lift;
  const int numerator = code.basegraph == 1 ? bg1[rv] : bg2[rv];
  const std::int64_t denominator = (code.basegraph == 1 ? 66 : 50) * z;
  return numerator * ncb / denominator * z;
}

transmission nrmothercode(const nrcode &code) {
  std::vector<bitstate> state(
      static_cast<std::size_t>(code.columns) * static_cast<std::size_t>(code.lift), bitstate::sent);
  for (int v = 0; v < 2 * code.lift; ++v) state[static_cast<std::size_t>(v)] = bitstate::punctured;
  for (int v = code.info; v < code.systematic; ++v)
    state[static_cast<std::size_t>(v)] = bitstate::shortened;
  return patternofstates(std::move(state));
}

bool nrratematch(const nrcode &code, std::int64_t e, int rv, std::int64_t ncb,
                 transmission *pattern, std::string *error) {
  if (e < 1 || e > 100000000) {
    *error = "E = " + std::to_string(e) + " sent bits; E must lie in 1..100000000";
    return false;
  }
  if (rv < 0 || rv > 3) {
    *error = "redundancy version " + std::to_string(rv) + "; it must be 0, 1, 2 or 3";
    return false;
  }
  if (ncb < 1 || ncb > code.buffer) {
    *error = "circular buffer of " + std::to_string(ncb) + " bits; it must hold 1.." +
             std::to_string(code.buffer) + " bits";
    return false;
  }
  const std::int64_t twoz = 2 * static_cast<std::int64_t>(code.lift);
  auto filler = [&](std::int64_t node) { return node >= code.info && node < code.systematic; };
  std::int64_t usable = 0;
  for (std::int64_t i = 0; i < ncb; ++i) usable += !filler(i + twoz);
  if (usable == 0) {
    *error = "the circular buffer of " + std::to_string(ncb) + " bits holds only filler bits";
    return false;
  }

  // Bit selection: e_k = d_((k0 + j) mod Ncb), passing over filler bits.
  transmission result;
  result.state.assign(static_cast<std::size_t>(code.columns) * static_cast<std::size_t>(code.lift),
                      bitstate::punctured);
  for (int v = code.info; v < code.systematic; ++v)
    result.state[static_cast<std::size_t>(v)] = bitstate::shortened;
  result.order.reserve(static_cast<std::size_t>(e));
  const std::int64_t k0 = nrstart(code, rv, ncb);
  for (std::int64_t j = 0; static_cast<std::int64_t>(result.order.size()) < e; ++j) {
    const std::int64_t node = (k0 + j) % ncb + twoz;
    if (filler(node)) continue;
    result.order.push_back(static_cast<int>(node));
    result.state[static_cast<std::size_t>(node)] = bitstate::sent;
  }
  *pattern = std::move(result);
  return true;
}

}  // namespace ldpc
