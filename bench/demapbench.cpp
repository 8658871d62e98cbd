// Demapper throughput: exact and max-log demapping of 256-QAM (and 16-QAM)
// symbols, SIMD against the scalar model, alternating within each repeat.
// The table shows the best symbols per second of processor time over the
// repeats, the spread (worst / best - 1), bit LLRs per second, and the bit
// error rate of the sign decisions at the Es/N0 of the run, so that the
// figure stands beside a check that the LLRs are right.
//
//   demapbench [--repeats N] [--symbols S] [--esn0 DB]
#include <algorithm>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "constellation.h"
#include "demapper.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

double cpuseconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

struct contender {
  ldpc::modulationkind kind;
  ldpc::demapperkind demapper;
  bool simd;
  double best = 0, worst = 1e300, ber = 0;
};

}  // namespace

int main(int argc, char **argv) {
  int repeats = 5, symbols = 1 << 18;
  double esn0 = 20;
  if (!benchsupport::arguments("usage: demapbench [--repeats N] [--symbols S] [--esn0 DB]")
           .number("--repeats", &repeats)
           .number("--symbols", &symbols)
           .real("--esn0", &esn0)
           .parse(argc, argv))
    return 2;
  std::vector<contender> all;
  for (auto kind : {ldpc::modulationkind::qam256, ldpc::modulationkind::qam16})
    for (auto demapper : {ldpc::demapperkind::exact, ldpc::demapperkind::maxlog})
      for (bool simd : {true, false}) all.push_back({kind, demapper, simd});
  const double n0 = ldpc::n0fromesn0(esn0);
  std::mt19937_64 rng(1);
  std::normal_distribution<double> normal;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(symbols) * 8);
  for (auto &b : bits) b = rng() & 1;
  std::vector<std::complex<double>> y(symbols);
  std::vector<double> llr(bits.size());
  for (int r = 0; r < repeats; ++r)
    for (contender &c : all) {
      const int q = ldpc::bitspersymbol(c.kind);
      std::string error;
      ldpc::modulate(c.kind, bits.data(), symbols * q, y.data(), &error);
      for (auto &s : y) s += std::sqrt(n0 / 2) * std::complex<double>(normal(rng), normal(rng));
      const double start = cpuseconds();
      (c.simd ? ldpc::demodulate : ldpc::demodulatescalar)(c.kind, c.demapper, y.data(), nullptr,
                                                           symbols, n0, llr.data());
      const double rate = symbols / std::max(1e-9, cpuseconds() - start);
      c.best = std::max(c.best, rate);
      c.worst = std::min(c.worst, rate);
      std::int64_t errors = 0;
      for (std::size_t i = 0; i < static_cast<std::size_t>(symbols) * q; ++i)
        errors += (llr[i] < 0) != (bits[i] != 0);
      c.ber = static_cast<double>(errors) / (static_cast<double>(symbols) * q);
    }
  std::printf("# demapper, %d symbols, Es/N0 %.1f dB, %d repeats; SIMD target %s\n", symbols, esn0,
              repeats, ldpc::demappertarget());
  std::printf("%-8s %-7s %-7s %14s %8s %14s %10s\n", "constel", "demap", "code", "Msymbols/s",
              "spread", "MLLR/s", "BER");
  for (const contender &c : all)
    std::printf("%-8s %-7s %-7s %14.2f %7.0f%% %14.1f %10.3e\n", ldpc::modulationname(c.kind),
                ldpc::demappername(c.demapper), c.simd ? "simd" : "scalar", c.best / 1e6,
                100 * (c.best / c.worst - 1), c.best / 1e6 * ldpc::bitspersymbol(c.kind), c.ber);
  return 0;
}
