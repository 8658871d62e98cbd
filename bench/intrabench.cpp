// Latency of one frame: the one-frame decoder of quasi-cyclic codes
// (qcdecoding/qcdecoder.h, the SIMD lanes over the Z rows of a block row)
// beside the batched decoder (decoder.h, frames side by side in the lanes),
// on one thread, layered normalised min-sum at fixed iterations (early stop
// off). The one-frame decoder is timed frame by frame (median and best over
// every frame of every repeat); the batched decoder per batch, its time per
// frame being the batch's time over its frames. Both decode the same AWGN
// frames of the all-zero word at an Eb/N0 where the code decodes, and the
// frame errors of the two are counted and compared (they must be equal).
//
//   intrabench [--frames N] [--repeats N] [--quick]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decoder.h"
#include "qcdecoder.h"
#include "standard.h"

namespace {

using clock_type = std::chrono::steady_clock;

double microseconds(clock_type::time_point a, clock_type::time_point b) {
  return std::chrono::duration<double, std::micro>(b - a).count();
}

struct benchcode {
  const char *label;
  ldpc::standardrequest request;
  double ebn0;
};

// Frame errors among the bits that count (sent or punctured; shortened
// bits are known): a wrong or undecided bit.
int frameerrors(const std::vector<std::uint8_t> &decisions, const std::vector<float> &posteriors,
                const ldpc::transmission &pattern, int n, int frames) {
  int errors = 0;
  for (int f = 0; f < frames; ++f) {
    bool wrong = false;
    for (int i = 0; i < n && !wrong; ++i) {
      const std::size_t at = static_cast<std::size_t>(f) * n + i;
      if (pattern.state[i] == ldpc::bitstate::shortened) continue;
      wrong = decisions[at] != 0 || posteriors[at] == 0.0f;
    }
    errors += wrong;
  }
  return errors;
}

}  // namespace

int main(int argc, char **argv) {
  int frames = 256, repeats = 3;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
      frames = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--repeats") && i + 1 < argc)
      repeats = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--quick"))
      quick = true;
    else {
      std::fprintf(stderr, "usage: intrabench [--frames N] [--repeats N] [--quick]\n");
      return 2;
    }
  }
  if (quick) frames = 64, repeats = 1;
  const benchcode codes[] = {
      {"5G NR BG1, K 8448, rate 1/3 (Z 384)", {"nr-bg1", "", 0, 384, 0, 0, 0}, 1.25},
      {"Wi-Fi 1944, rate 1/2 (Z 81)", {"wifi", "1/2", 1944, 0, 0, 0, 0}, 1.75},
  };
  std::printf("intra: %s, %d int16 lanes; batched: %s, %d frames per batch; one thread\n",
              ldpc::qcdecoder::targetfor().c_str(), ldpc::qcdecoder::lanesfor(),
              ldpc::decoder::targetfor({}).c_str(), ldpc::decoder::lanesfor([] {
                ldpc::decoderoptions o;
                o.algorithm = ldpc::decoderalgorithm::normalizedminsum;
                return o;
              }()));
  std::printf(
      "| code | Eb/N0 | iterations | intra median us | intra best us | intra Mb/s | "
      "batched us per frame | batched Mb/s | FER (frames) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const benchcode &c : codes) {
    ldpc::standardcode code;
    std::string error;
    if (!ldpc::buildstandard(c.request, &code, &error)) {
      std::fprintf(stderr, "intrabench: %s\n", error.c_str());
      return 1;
    }
    const int n = code.graph->vnodenum;
    const double rate = static_cast<double>(code.info) / ldpc::sentbits(code.pattern);
    const double sigma = std::sqrt(1.0 / (2 * rate * std::pow(10.0, c.ebn0 / 10)));
    std::mt19937_64 rng(12345);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<double> llr(static_cast<std::size_t>(n) * frames);
    for (int f = 0; f < frames; ++f)
      for (int i = 0; i < n; ++i) {
        double &x = llr[static_cast<std::size_t>(f) * n + i];
        switch (code.pattern.state[i]) {
          case ldpc::bitstate::sent:
            x = 2 * (1 + noise(rng)) / (sigma * sigma);
            break;
          case ldpc::bitstate::punctured:
            x = 0.0;
            break;
          case ldpc::bitstate::shortened:
            x = ldpc::shortenedllr;
            break;
        }
      }
    for (int iterations : {10, 50}) {
      ldpc::decoderoptions o;
      o.algorithm = ldpc::decoderalgorithm::normalizedminsum;
      o.schedule = ldpc::decoderschedule::layered;
      o.iterations = iterations;
      o.earlystop = false;
      const ldpc::qcdecoder intra(code.base, o);
      const ldpc::decoder batched(code.graph, o);
      std::vector<std::uint8_t> da(llr.size()), db(llr.size()), sa(frames), sb(frames);
      std::vector<float> pa(llr.size()), pb(llr.size());
      std::vector<std::int32_t> ia(frames), ib(frames);
      std::vector<double> each;
      double batchbest = 1e300;
      ldpc::qcdecoder::workspace work;
      {  // warm: memory touched, code paged in
        ldpc::decodeoutputs out{db.data(), sb.data(), ib.data(), nullptr, pb.data()};
        batched.decode(llr.data(), std::min(frames, batched.lanes()), out, 1);
        intra.decodeframe(llr.data(), out, &work);
      }
      for (int r = 0; r < repeats; ++r) {
        for (int f = 0; f < frames; ++f) {
          const std::size_t at = static_cast<std::size_t>(f) * n;
          ldpc::decodeoutputs out{da.data() + at, sa.data() + f, ia.data() + f, nullptr,
                                  pa.data() + at};
          const auto t0 = clock_type::now();
          intra.decodeframe(llr.data() + at, out, &work);
          each.push_back(microseconds(t0, clock_type::now()));
        }
        ldpc::decodeoutputs out{db.data(), sb.data(), ib.data(), nullptr, pb.data()};
        const auto t0 = clock_type::now();
        batched.decode(llr.data(), frames, out, 1);
        batchbest = std::min(batchbest, microseconds(t0, clock_type::now()) / frames);
      }
      if (da != db || sa != sb || ia != ib || pa != pb) {
        std::fprintf(stderr, "intrabench: %s: the two decoders differ\n", c.label);
        return 1;
      }
      std::sort(each.begin(), each.end());
      const double median = each[each.size() / 2], best = each.front();
      const int errors = frameerrors(da, pa, code.pattern, n, frames);
      std::printf("| %s | %.2f dB | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.3f (%d of %d) |\n",
                  c.label, c.ebn0, iterations, median, best, n / median, batchbest, n / batchbest,
                  static_cast<double>(errors) / frames, errors, frames);
      std::fflush(stdout);
    }
    ldpc::freestandard(&code);
  }
  return 0;
}
