// The configuration of a Monte-Carlo run for its ledger, and the loop's
// block hooks over a ledger writer.
#include "simulationledger.h"

#include <algorithm>
#include <utility>

#include "decoder.h"
#include "fnv1a.h"

namespace ldpc {

namespace {

blockcounts tocounts(const blocktally &t) {
  return {t.frames,     t.frameerrors, t.biterrors,    t.undetected,
          t.iterations, t.seconds,     t.infobiterrors};
}

}  // namespace

ledgersubject codesubject(const graphs *graph, const decoderoptions &options) {
  ledgersubject subject;
  subject.length = graph->vnodenum;
  subject.target = decoder::targetfor(options);
  subject.code.push_back({"code", hex16(fingerprint(graph))});
  return subject;
}

runconfig ledgerconfig(const simulationsettings &run, const ledgersubject &subject) {
  runconfig c;
  c.seed = run.seed;
  c.points = run.parameters;
  c.length = subject.length;
  c.iterations = run.decoder.iterations;
  c.rule.maxerrors = run.maxerrors;
  c.rule.maxframes = run.maxframes;
  c.rule.minfer = run.minfer;
  c.rule.graphframes = subject.ensemble ? std::max(1, run.framespergraph) : 0;
  c.rule.blockframes = blockframes;
  c.settings = subject.code;
  const decoderoptions &o = run.decoder;
  auto add = [&](const char *key, configvalue value) {
    c.settings.push_back({key, std::move(value)});
  };
  add("channel", std::string(channelname(run.channel)));
  add("decoder", std::string(algorithmname(o.algorithm)));
  add("schedule", std::string(schedulename(o.schedule)));
  if (o.algorithm == decoderalgorithm::normalizedminsum) add("alpha", o.alpha);
  if (o.algorithm == decoderalgorithm::offsetminsum) add("beta", o.beta);
  add("earlystop", o.earlystop);
  // 8-bit messages give other counts; 16 bits, the default, add no key so
  // that earlier ledgers still resume.
  if (o.algorithm != decoderalgorithm::sumproduct && o.quantization != 16)
    add("quantization", static_cast<std::int64_t>(o.quantization));
  // Sum-product decodes in float, whose results depend on the vector width.
  if (o.algorithm == decoderalgorithm::sumproduct) add("target", subject.target);
  // The fast approximation gives other counts; exact adds no key, as before.
  if (o.approximation != spaapproximation::exact)
    add("approximation", std::string(approximationname(o.approximation)));
  add("allpoints", !run.stopwithouterrors);
  // The transmit chain last, and only where there is one: a run of the
  // all-zero word over BPSK keeps the configuration it always had.
  c.settings.insert(c.settings.end(), subject.chain.begin(), subject.chain.end());
  c.infobits = static_cast<std::int64_t>(run.infopositions.size());
  return c;
}

std::vector<configsetting> chainsettings(const transmitchain &chain) {
  std::vector<configsetting> settings;
  auto add = [&](const char *key, configvalue value) {
    settings.push_back({key, std::move(value)});
  };
  add("codeword", std::string(codewordname(chain.codeword)));
  if (chain.channel == channeltype::awgn) {
    const channelsetup &setup = chain.setup;
    add("modulation", std::string(modulationname(setup.modulation)));
    add("demapper", std::string(demappername(setup.demapper)));
    add("fading", std::string(fadingname(setup.fading)));
    if (setup.fading == fadingkind::block)
      add("fadingblock", static_cast<std::int64_t>(setup.blocklength));
    add("interleave", std::string(interleavingname(setup.interleave)));
  }
  // The words drawn: K bits put on the encoder's information positions
  // (the codeword is the one with those bits there).
  if (chain.codeword == codewordkind::random) {
    std::string positions;
    for (int i : chain.enc.positions) positions += std::to_string(i) + ",";
    add("infoset", hex16(fnv1a(positions)));
  }
  return settings;
}

void ledgerfault::note(const std::string &fault) {
  if (fault.empty()) return;
  std::lock_guard<std::mutex> hold(lock);
  if (text.empty()) text = fault;
  failed = true;
}

std::string ledgerfault::first() {
  std::lock_guard<std::mutex> hold(lock);
  return text;
}

void hookledger(ledgerwriter *writer, const ledgercontents *resumed, const ledgershard &shard,
                ledgerfault *fault, simulationcallbacks *callbacks) {
  blockhooks &hooks = callbacks->blocks;
  hooks.lookup = [resumed](int point, std::int64_t block, blockcounts *counts) {
    const blocktally *t = findblock(*resumed, point, block);
    if (t == nullptr) return blockorigin::decode;
    *counts = tocounts(*t);
    return blockorigin::known;
  };
  hooks.givenup = [resumed](int point, std::int64_t block) {
    return givenupin(*resumed, point, block);
  };
  hooks.decoded = [writer, fault](int point, std::int64_t block, const blockcounts &c) {
    fault->note(writer->writeblock(point, block,
                                   {c.frames, c.frameerrors, c.biterrors, c.undetected,
                                    c.iterations, c.seconds, c.infobiterrors}));
  };
  hooks.timedout = [writer, fault](int point, std::int64_t block) {
    fault->note(writer->writegiveup(point, block, "max seconds"));
  };
  if (shard.count > 1) hooks.owns = [shard](std::int64_t block) { return ownsblock(shard, block); };
  std::function<bool()> cancelled = callbacks->cancelled;
  callbacks->cancelled = [fault, cancelled] {
    return fault->failed.load() || (cancelled && cancelled());
  };
}

}  // namespace ldpc
