// Decoder throughput: every algorithm and schedule of the library's decoder,
// the min-sum family in 16-bit and 8-bit fixed point, at 50 fixed
// iterations and with early stop, on one and two threads (two threads decode
// four times the frames, so that each has several batches to take),
// against the straightforward double-precision flooding sum-product decoder
// of naivedecoder.h. Contenders alternate within each repeat; the table shows
// the best of the repeats and the spread (worst / best - 1).
//
// Four codes: a (3,6)-regular code of 10,000 bits and an irregular rate-1/2
// code of 50,000 (both drawn from the irregular ensemble), where every
// decoder runs; the 5G NR base graph 1 code at Z = 384 (K = 8448, rate 1/3
// sent, its first 2Z bits punctured and entering at LLR 0) and the DVB-S2
// normal frame of rate 1/2 (n = 64800), where layered normalised min-sum in
// 16 and 8 bits and sum-product flooding and layered run. Sum-product runs
// with both approximations: exact ("spa") and fast ("spa-fast"). --only K takes
// code K alone (0 to 3, in that order), --match TEXT the contenders whose
// name holds TEXT, --ebn0 X decodes every code at X dB instead of its own,
// --alpha A runs normalised min-sum with A instead of the code's own.
//
// --fer N counts, instead of timing, the errors of sum-product (exact and
// fast approximation, both schedules) on N frames of the two drawn codes.
//
//   decodebench [--repeats N] [--frames N] [--quick] [--only 0..3] [--match TEXT]
//               [--ebn0 X] [--alpha A] [--fer N]
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "channel.h"
#include "decoder.h"
#include "graphfile.h"
#include "simulation.h"
#include "standard.h"
#include "transmission.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

#include "benchsupport.h"
#include "naivedecoder.h"

namespace {

struct code {
  const char *name;
  double alpha;                     // normalised min-sum factor that suits the code
  double ebn0 = 2.0;                // of the frames decoded
  ldpc::standardrequest request{};  // a standard code when family is set
  ldpc::graphs own{};               // the drawn graph of the others
  ldpc::standardcode built{};
  ldpc::graphs *graph = nullptr;
  int counted = 0;    // bits per frame that Mb/s counts: the sent bits
  double rate = 0.0;  // information bits / sent bits, for sigma
};

struct contender {
  std::string name;
  ldpc::decoderoptions options;
  int threads;
  int frames = 0;  // frames decoded per run
  bool naive = false;
  double best = 0, worst = 1e300, iterations = 0;
  int errors = 0, decoded = 0;  // frame errors and frames of the last run
  double cpushare = 0;          // processor time / wall time in the best run
  double bestcpu = 0;           // Mb/s per second of processor time, best run: what a
                                // core does when the shared machine takes it away
};

using benchsupport::seconds;

// Processor time of the whole process, all threads.
double cpuseconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

std::string processor() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

std::string loadaverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// The processor, the decoder's instruction set and its lanes, and the load.
void printmachine() {
  ldpc::decoderoptions probe;
  const std::string target = ldpc::decoder::targetfor(probe);
  const int floatlanes = ldpc::decoder::lanesfor(probe);
  probe.algorithm = ldpc::decoderalgorithm::minsum;
  const int widelanes = ldpc::decoder::lanesfor(probe);
  probe.quantization = 8;
  std::printf(
      "processor: %s; instruction set %s: %d float lanes, %d int16 lanes, %d int8 "
      "lanes\n",
      processor().c_str(), target.c_str(), floatlanes, widelanes, ldpc::decoder::lanesfor(probe));
  std::printf("load average at start: %s (the machine is shared)\n", loadaverage().c_str());
}

// The straightforward decoder first, then every algorithm, width, schedule,
// stopping and thread count of the library's decoder whose name holds match
// (all of them when match is empty).
// A standard code runs only the decoders its rows are for: layered
// normalised min-sum in both widths, sum-product in both schedules.
std::vector<contender> contenders(const code &c, int frames, int most, bool quick,
                                  const std::string &match) {
  std::vector<contender> list;
  contender naive;
  naive.name = "straightforward spa flooding (double)";
  naive.naive = true;
  naive.threads = 1;
  list.push_back(naive);
  // a = 4: sum-product with the fast approximation ("spa-fast"), beside
  // the exact one.
  for (int a : {0, 4, 1, 2, 3})
    for (int bits : {16, 8})
      for (int sched = 0; sched < 2; ++sched)
        for (bool early : {false, true})
          for (int threads : {1, 2}) {
            if (quick && (early || threads == 2)) continue;
            const bool spa = a == 0 || a == 4;
            if (spa && bits == 8) continue;
            if (!c.request.family.empty() && !spa &&
                !(a == static_cast<int>(ldpc::decoderalgorithm::normalizedminsum) && sched == 1))
              continue;
            contender k;
            k.options.algorithm =
                spa ? ldpc::decoderalgorithm::sumproduct : static_cast<ldpc::decoderalgorithm>(a);
            if (a == 4) k.options.approximation = ldpc::spaapproximation::fast;
            k.options.schedule = static_cast<ldpc::decoderschedule>(sched);
            k.options.iterations = 50;
            k.options.alpha = c.alpha;
            k.options.earlystop = early;
            k.options.quantization = bits;
            k.threads = threads;
            k.frames = threads == 1 ? frames : most;
            k.name = std::string(ldpc::algorithmname(k.options.algorithm)) +
                     (a == 4      ? "-fast"
                      : a == 0    ? ""
                      : bits == 8 ? " 8-bit"
                                  : " 16-bit") +
                     " " + ldpc::schedulename(k.options.schedule) +
                     (early ? " early-stop" : " 50-iter") + " " + std::to_string(threads) + "T";
            if (match.empty() || k.name.find(match) != std::string::npos) list.push_back(k);
          }
  return list;
}

// The buffers the library's decoder writes.
struct outputs {
  std::vector<std::uint8_t> decisions, satisfied;
  std::vector<std::int32_t> iterations;
};

// One timed run of contender k on the frames of llr; keeps its best and
// worst throughput and the errors of the run.
void timerun(contender &k, code &c, const std::vector<double> &llr, outputs &o) {
  const int n = c.graph->vnodenum;
  double start = seconds(), cpustart = cpuseconds(), took, cpu;
  long long bits, its = 0;
  if (k.naive) {
    // Two frames at 50 iterations: enough to time, few enough to wait for.
    std::vector<int> decision;
    k.errors = 0;
    for (int f = 0; f < 2; ++f) {
      its += naivedecode(c.graph, llr.data() + static_cast<size_t>(f) * n, 50, false, &decision);
      k.errors += std::find(decision.begin(), decision.end(), 1) != decision.end();
    }
    took = seconds() - start;
    cpu = cpuseconds() - cpustart;
    bits = 2LL * c.counted;
    k.iterations = its / 2.0;
    k.decoded = 2;
  } else {
    ldpc::decoder dec(c.graph, k.options);
    start = seconds();
    cpustart = cpuseconds();
    ldpc::decodeoutputs out;
    out.decisions = o.decisions.data();
    out.satisfied = o.satisfied.data();
    out.iterations = o.iterations.data();
    dec.decode(llr.data(), k.frames, out, k.threads);
    took = seconds() - start;
    cpu = cpuseconds() - cpustart;
    bits = static_cast<long long>(k.frames) * c.counted;
    for (int f = 0; f < k.frames; ++f) its += o.iterations[f];
    k.iterations = static_cast<double>(its) / k.frames;
    k.decoded = k.frames;
    k.errors = 0;
    for (int f = 0; f < k.frames; ++f) {
      bool wrong = !o.satisfied[f];
      for (int v = 0; v < n && !wrong; ++v) wrong = o.decisions[static_cast<size_t>(f) * n + v];
      k.errors += wrong;
    }
  }
  const double mbps = bits / took / 1e6;
  if (mbps > k.best) k.cpushare = cpu / took;
  k.bestcpu = std::max(k.bestcpu, bits / cpu / 1e6);
  k.best = std::max(k.best, mbps);
  k.worst = std::min(k.worst, mbps);
}

void printtable(const code &c, const std::vector<contender> &list, int frames, int most,
                int repeats) {
  const int n = c.graph->vnodenum;
  int edges = 0;
  for (int v = 0; v < n; ++v) edges += c.graph->vnodelist[v].degree;
  std::printf(
      "\n== %s, %d edges, Eb/N0 %g dB, %d frames (%d on two threads), best of %d, "
      "nms alpha %g\n",
      c.name, edges, c.ebn0, frames, most, repeats, c.alpha);
  if (c.counted != n)
    std::printf("(%d of the %d bits punctured, at LLR 0; Mb/s counts the %d sent bits)\n",
                n - c.counted, n, c.counted);
  std::printf("%-42s %10s %8s %9s %8s %6s %10s %9s\n", "decoder", "Mb/s", "spread", "x naive",
              "iters", "cpu", "Mb/cpu-s", "FER");
  for (const contender &k : list)
    std::printf("%-42s %10.3f %7.0f%% %9.1f %8.2f %5.0f%% %10.3f %9s\n", k.name.c_str(), k.best,
                100 * (k.best / k.worst - 1), k.best / list[0].best, k.iterations, 100 * k.cpushare,
                k.bestcpu, (std::to_string(k.errors) + "/" + std::to_string(k.decoded)).c_str());
  std::printf(
      "(Mb/s: coded bits per second of wall clock, best run; spread: best / worst - 1;\n"
      " cpu: processor time / wall time of the best run, all threads, which shows\n"
      " how much of the processor the shared machine left to the run; Mb/cpu-s:\n"
      " coded bits per second of processor time, best run, all threads together;\n"
      " FER: frame errors / frames, a frame error being an unsatisfied check or a\n"
      " wrong bit)\n");
  // Two threads against one, row by row: in wall clock (what the machine
  // gave), and per second of processor time (1 when the second thread costs
  // nothing: two free cores would then give twice one thread).
  bool header = false;
  for (const contender &two : list) {
    if (two.threads != 2) continue;
    const std::string name = two.name.substr(0, two.name.size() - 2) + "1T";
    for (const contender &one : list)
      if (one.threads == 1 && one.name == name) {
        if (!header)
          std::printf("%-42s %10s %10s %8s\n", "two threads / one thread", "wall", "per cpu-s",
                      "2T cpu");
        header = true;
        std::printf("%-42s %9.2fx %9.2fx %7.0f%%\n", name.substr(0, name.size() - 3).c_str(),
                    two.best / one.best, two.bestcpu / one.bestcpu, 100 * two.cpushare);
      }
  }
  std::fflush(stdout);
}

// The frames of code c: BPSK over AWGN at its Eb/N0 (on its sent rate),
// drawn as tanner simulate draws them, punctured bits set to 0.
std::vector<double> channelframes(const code &c, int frames) {
  const int n = c.graph->vnodenum;
  std::vector<double> llr(static_cast<size_t>(n) * frames);
  const double sigma = ldpc::sigmafromebn0(c.ebn0, c.rate);
  for (int f = 0; f < frames; ++f) {
    double *frame = llr.data() + static_cast<size_t>(f) * n;
    ldpc::channelframe(ldpc::channeltype::awgn, sigma, ldpc::streamstate(1, 0, f), n, frame);
    if (!c.request.family.empty())
      for (int i = 0; i < n; ++i)
        if (c.built.pattern.state[i] == ldpc::bitstate::punctured) frame[i] = 0.0;
  }
  return llr;
}

// FER parity (--fer N): N frames of code c at its Eb/N0, drawn as above
// chunk by chunk, decoded by every sum-product contender of 50 iterations
// with early stop on two threads; frames, frame errors (undetected among
// them: every check satisfied, a bit wrong), bit errors and average
// iterations, for comparing the exact and the fast approximation on the
// same frames.
void ferparity(code &c, int frames, const std::string &match) {
  const int n = c.graph->vnodenum, chunk = 256;
  const double sigma = ldpc::sigmafromebn0(c.ebn0, c.rate);
  std::printf("\n== FER, %s, Eb/N0 %g dB, %d frames, 50 iterations, early stop, 2 threads\n",
              c.name, c.ebn0, frames);
  std::printf("%-32s %8s %8s %10s %12s %10s %8s\n", "decoder", "frames", "errors", "undetected",
              "bit errors", "FER", "iters");
  for (ldpc::spaapproximation a : {ldpc::spaapproximation::exact, ldpc::spaapproximation::fast})
    for (ldpc::decoderschedule schedule :
         {ldpc::decoderschedule::flooding, ldpc::decoderschedule::layered}) {
      const std::string name =
          std::string(a == ldpc::spaapproximation::fast ? "spa-fast " : "spa ") +
          ldpc::schedulename(schedule);
      if (!match.empty() && name.find(match) == std::string::npos) continue;
      ldpc::decoderoptions o;
      o.schedule = schedule;
      o.approximation = a;
      const ldpc::decoder dec(c.graph, o);
      std::vector<double> llr(static_cast<size_t>(chunk) * n);
      std::vector<std::uint8_t> decisions(llr.size()), satisfied(chunk);
      std::vector<std::int32_t> iterations(chunk);
      long long errors = 0, undetected = 0, biterrors = 0, its = 0;
      for (int first = 0; first < frames; first += chunk) {
        const int count = std::min(chunk, frames - first);
        for (int f = 0; f < count; ++f)
          ldpc::channelframe(ldpc::channeltype::awgn, sigma, ldpc::streamstate(1, 0, first + f), n,
                             llr.data() + static_cast<size_t>(f) * n);
        ldpc::decodeoutputs out;
        out.decisions = decisions.data();
        out.satisfied = satisfied.data();
        out.iterations = iterations.data();
        dec.decode(llr.data(), count, out, 2);
        for (int f = 0; f < count; ++f) {
          int wrong = 0;
          for (int v = 0; v < n; ++v) wrong += decisions[static_cast<size_t>(f) * n + v];
          biterrors += wrong;
          errors += wrong > 0 || !satisfied[f];
          undetected += wrong > 0 && satisfied[f];
          its += iterations[f];
        }
      }
      std::printf("%-32s %8d %8lld %10lld %12lld %10.3g %8.2f\n", name.c_str(), frames, errors,
                  undetected, biterrors, static_cast<double>(errors) / frames,
                  static_cast<double>(its) / frames);
      std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char **argv) {
  int repeats = 3, frames = 128, only = -1, fer = 0;
  bool quick = false;
  double ebn0 = 0;    // every code's own when 0
  double alpha = 0;   // every code's own when 0
  std::string match;  // only the contenders whose name holds this
  if (!benchsupport::arguments("usage: decodebench [--repeats N] [--frames N] [--quick] "
                               "[--only 0..3] [--match TEXT] [--ebn0 X] [--alpha A] [--fer N]")
           .number("--repeats", &repeats)
           .number("--frames", &frames)
           .flag("--quick", &quick)
           .number("--only", &only)
           .text("--match", &match)
           .real("--ebn0", &ebn0)
           .real("--alpha", &alpha)
           .number("--fer", &fer)
           .parse(argc, argv))
    return 2;
  // Normalised min-sum with 0.75 stalls on the irregular code (half its bits
  // of degree 2), where 0.875 decodes about as well as min-sum. The standard
  // codes take the library's default 0.8, at an Eb/N0 in their waterfall:
  // the 5G NR code at 1.25 dB (as intrabench), where sum-product and 16-bit
  // normalised min-sum decode every frame and 8 bits lose about a third; the
  // DVB-S2 code at 1.1 dB, where normalised min-sum loses about one in ten.
  code codes[4] = {
      {"(3,6)-regular, n = 10000", 0.75},
      {"irregular rate 1/2, n = 50000", 0.875},
      {"5G NR BG1, Z 384, K 8448, rate 1/3, n = 26112", 0.8, 1.25, {"nr-bg1", "", 0, 384, 0, 0, 0}},
      {"DVB-S2 normal frame, rate 1/2, n = 64800", 0.8, 1.1, {"dvbs2", "1/2", 64800, 0, 0, 0, 0}}};
  printmachine();

  for (code &c : codes) {
    if (only >= 0 && &c != &codes[only]) continue;
    if (fer > 0 && !c.request.family.empty()) continue;  // the drawn codes only
    if (ebn0 != 0) c.ebn0 = ebn0;
    if (alpha != 0) c.alpha = alpha;
    if (c.request.family.empty()) {
      if (&c == &codes[0])
        benchsupport::constructirregular(&c.own, 10000, {3}, {1.0}, {6}, {1.0});
      else
        benchsupport::constructirregular(&c.own, 50000, {2, 3, 6}, {0.5, 0.35, 0.15}, {5, 6},
                                         {0.1, 0.9});
      c.graph = &c.own;
      c.counted = c.own.vnodenum;
      c.rate = c.own.rate;
    } else {
      std::string error;
      if (!ldpc::buildstandard(c.request, &c.built, &error)) {
        std::fprintf(stderr, "decodebench: %s\n", error.c_str());
        return 1;
      }
      c.graph = c.built.graph;
      c.counted = ldpc::sentbits(c.built.pattern);
      c.rate = static_cast<double>(c.built.info) / c.counted;
    }
    if (fer > 0) {
      ferparity(c, fer, match);
      ldpc::freegraph(&c.own);
      c.graph = nullptr;
      continue;
    }
    const int most = 4 * frames;  // the frames of two threads
    const std::vector<double> llr = channelframes(c, most);

    std::vector<contender> list = contenders(c, frames, most, quick, match);
    outputs o{std::vector<std::uint8_t>(llr.size()), std::vector<std::uint8_t>(most),
              std::vector<std::int32_t>(most)};
    for (int r = 0; r < repeats; ++r)
      for (contender &k : list) timerun(k, c, llr, o);
    printtable(c, list, frames, most, repeats);
    if (c.request.family.empty())
      ldpc::freegraph(&c.own);
    else
      ldpc::freestandard(&c.built);
    c.graph = nullptr;
  }
  std::printf("\nload average at end: %s\n", loadaverage().c_str());
  return 0;
}
