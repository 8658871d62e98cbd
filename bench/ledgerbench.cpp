// The ledger's cost per block beside the decoding of that block, on a short
// code (a (3,6) graph of 576 bits) where it weighs most: decoding a block of
// 64 frames (noise drawn, decoded, counted, as the Monte-Carlo loop does, one
// thread) against writing its ledger line (checked, formatted, written
// whole, the data flushed to the device every 5 s), the two alternating in
// each repeat; best of the repeats and the spread (worst / best - 1). Then
// a line flushed to the device every time, for comparison, and reading a
// ledger back (lines per second), which a resume and a merge pay once.
//
//   ledgerbench [--blocks N] [--repeats R] [--dir DIR]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "blockoracle.h"
#include "graphfile.h"
#include "ledger.h"
#include "randomstream.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct spread {
  double best = 1e300, worst = 0;
  void add(double x) {
    best = std::min(best, x);
    worst = std::max(worst, x);
  }
  double ratio() const { return best > 0 ? worst / best - 1 : 0; }
};

struct setting {
  const char *name;
  ldpc::decoderalgorithm algorithm;
  ldpc::decoderschedule schedule;
  double ebn0;
};

ldpc::runconfig configof(int blocks) {
  ldpc::runconfig c;
  c.points = {0.0};
  c.length = 576;
  c.iterations = 50;
  c.rule.maxerrors = 1LL << 40;
  c.rule.maxframes = 64LL * blocks * 1000;
  c.settings = {{"code", std::string("bench")}};
  return c;
}

// Seconds to write blocks ledger lines of these tallies into a new ledger.
double writeledger(const std::string &path, const std::vector<ldpc::blocktally> &tallies, int round,
                   double syncseconds) {
  ::unlink(path.c_str());
  ldpc::ledgerwriter writer;
  writer.syncseconds = syncseconds;
  const int blocks = static_cast<int>(tallies.size());
  if (std::string fault = writer.open(path, configof(blocks), {}, ldpc::ledgermode::create);
      !fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::exit(1);
  }
  const double start = now();
  for (int b = 0; b < blocks; ++b)
    if (std::string fault =
            writer.writeblock(0, static_cast<std::int64_t>(round) * blocks + b, tallies[b]);
        !fault.empty()) {
      std::fprintf(stderr, "%s\n", fault.c_str());
      std::exit(1);
    }
  const double seconds = now() - start;
  writer.close();
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  int blocks = 400, repeats = 5;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--blocks") == 0) blocks = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
  }
  const std::string path = dir + "/ledgerbench." + std::to_string(getpid()) + ".ledger";
  testsupport::regular36 code(576);
  const ldpc::graphs &graph = *code.build(1);
  const setting settings[] = {
      {"spa flooding", ldpc::decoderalgorithm::sumproduct, ldpc::decoderschedule::flooding, 2.0},
      {"spa flooding", ldpc::decoderalgorithm::sumproduct, ldpc::decoderschedule::flooding, 4.0},
      {"nms layered", ldpc::decoderalgorithm::normalizedminsum, ldpc::decoderschedule::layered,
       2.0},
      {"nms layered", ldpc::decoderalgorithm::normalizedminsum, ldpc::decoderschedule::layered,
       4.0},
  };
  std::printf(
      "(3,6) graph of 576 bits, blocks of 64 frames, 50 iterations with early stop, one thread;\n"
      "%d blocks per repeat, best of %d (spread worst/best - 1); ledger in %s\n\n",
      blocks, repeats, dir.c_str());
  std::printf("%-13s %6s %9s %14s %14s %10s\n", "decoder", "Eb/N0", "FER", "decode us/blk",
              "ledger us/blk", "overhead");
  std::vector<ldpc::blocktally> tallies(blocks);
  for (const setting &st : settings) {
    ldpc::simulationsettings s;
    s.decoder.algorithm = st.algorithm;
    s.decoder.schedule = st.schedule;
    s.parameters = {ldpc::sigmafromebn0(st.ebn0, 0.5)};
    const ldpc::decoder dec(&graph, s.decoder);
    spread decode, ledger;
    std::int64_t frames = 0, errors = 0;
    for (int r = 0; r < repeats; ++r) {
      double start = now();
      for (int b = 0; b < blocks; ++b)
        tallies[b] = testsupport::decodeframes(
            s, dec, 0, 64LL * (static_cast<std::int64_t>(r) * blocks + b), 64);
      decode.add((now() - start) / blocks);
      ledger.add(writeledger(path, tallies, r, 5.0) / blocks);
      for (const auto &t : tallies) {
        frames += t.frames;
        errors += t.frameerrors;
      }
    }
    char ratio[64];
    std::snprintf(ratio, sizeof ratio, "%.2f%%", 100 * ledger.best / decode.best);
    std::printf("%-13s %6.1f %9.2e %8.1f (%3.0f%%) %8.2f (%3.0f%%) %10s\n", st.name, st.ebn0,
                static_cast<double>(errors) / static_cast<double>(frames), 1e6 * decode.best,
                100 * decode.ratio(), 1e6 * ledger.best, 100 * ledger.ratio(), ratio);
  }
  // Every line flushed to the device; and reading back.
  spread synced, reading;
  std::string text;
  for (int r = 0; r < repeats; ++r) synced.add(writeledger(path, tallies, r, 0.0) / blocks);
  const int many = 100000;
  {
    ::unlink(path.c_str());
    ldpc::ledgerwriter writer;
    writer.syncseconds = -1;
    writer.open(path, configof(many / 1000 + 1), {}, ldpc::ledgermode::create);
    for (int b = 0; b < many; ++b) writer.writeblock(0, b, tallies[b % blocks]);
    writer.close();
    ldpc::ledgercontents read;
    for (int r = 0; r < repeats; ++r) {
      const double start = now();
      if (std::string fault = ldpc::readledger(path, &read); !fault.empty())
        std::fprintf(stderr, "%s\n", fault.c_str());
      reading.add(now() - start);
    }
  }
  FILE *f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const long bytes = std::ftell(f);
  std::fclose(f);
  ::unlink(path.c_str());
  std::printf("\nledger line flushed to the device every time: %.1f us/blk (%.0f%%)\n",
              1e6 * synced.best, 100 * synced.ratio());
  std::printf("reading %d block lines (%.1f bytes a line): %.2f s, %.2f M lines/s (%.0f%%)\n", many,
              static_cast<double>(bytes) / (many + 1), reading.best, many / reading.best / 1e6,
              100 * reading.ratio());
  return 0;
}
