// The transmit chain: frames of real codewords against the matrix and
// against the all-zero word's channel, and tanner simulate with codewords,
// modulation and fading through the program (its JSON read back).
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "channel.h"
#include "encoder.h"
#include "graphfile.h"
#include "paritycheck.h"
#include "support.h"
#include "transmitchain.h"

using namespace testsupport;

namespace {

// A (3,6)-regular code of n bits built by the program, its file's path.
std::string regularcode(const tempdir &dir, int n, const std::string &name, bool encoder = false) {
  const std::string path = dir.file(name);
  std::vector<std::string> args = {"construct", "irregular", "--vdeg",   "3",
                                   "--vfrac",   "1",         "--cdeg",   "6",
                                   "--cfrac",   "1",         "--length", std::to_string(n)};
  if (encoder) args.push_back("--encoder");
  args.push_back(path);
  const runresult r = run(tanner, args);
  EXPECT_EQ(r.status, 0) << r.err;
  return path;
}

nlohmann::json simulatejson(const tempdir &dir, std::vector<std::string> args) {
  args.insert(args.begin(), "simulate");
  for (const char *option : {"--json", "--threads"}) args.push_back(option);
  args.insert(args.end() - 1, dir.file("run.json"));
  args.push_back("2");
  const runresult r = run(tanner, args);
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(readfile(dir.file("run.json")));
}

struct ownedencoders : ldpc::encoders {
  ownedencoders() : ldpc::encoders{0, -1, nullptr, nullptr} {}
  ~ownedencoders() {
    if (gap >= 0) std::free(iphi);
  }
};

}  // namespace

TEST(transmitchain, frames_send_codewords_and_keep_the_channels_law) {
  tempdir dir;
  ownedrecord g;
  ownedencoders info;
  std::string error;
  ASSERT_EQ(ldpc::readgraphfile(regularcode(dir, 240, "c.code").c_str(), &g, &info, &error),
            ldpc::readok);
  ldpc::sparsechecks checks;
  ASSERT_TRUE(ldpc::readchecks(&g, &checks, &error));
  const struct {
    ldpc::channeltype channel;
    double parameter;
    ldpc::modulationkind modulation;
  } rows[] = {
      {ldpc::channeltype::awgn, 0.7, ldpc::modulationkind::bpsk},
      {ldpc::channeltype::awgn, 0.5, ldpc::modulationkind::qam64},
      {ldpc::channeltype::bec, 0.3, ldpc::modulationkind::bpsk},
      {ldpc::channeltype::bsc, 0.05, ldpc::modulationkind::bpsk},
  };
  for (const auto &r : rows) {
    ldpc::transmitchain chain;
    chain.codeword = ldpc::codewordkind::random;
    ASSERT_TRUE(ldpc::makeencoder(&g, &info, &chain.enc, &error)) << error;
    chain.channel = r.channel;
    chain.setup.modulation = r.modulation;
    chain.parameters = {r.parameter};
    chain.n = g.vnodenum;
    ASSERT_EQ(ldpc::transmitfault(chain), "");
    const int n = chain.n;
    ldpc::framescratch scratch;
    std::vector<double> llr(n), zero(n);
    std::vector<std::uint8_t> sent(n), word(chain.enc.k);
    for (int f = 0; f < 20; ++f) {
      const std::uint64_t state = ldpc::streamstate(3, 0, f);
      ldpc::transmitchainframe(chain, 0, state, llr.data(), sent.data(), &scratch);
      ASSERT_TRUE(ldpc::iscodeword(checks, sent.data()));
      // the information bits are the frame's first draws
      std::uint64_t again = state;
      ldpc::drawword(&again, chain.enc.k, word.data());
      for (int i = 0; i < chain.enc.k; ++i) ASSERT_EQ(sent[chain.enc.positions[i]], word[i]);
      if (r.modulation != ldpc::modulationkind::bpsk) continue;
      // BPSK, BEC and BSC: the all-zero word's noise from the state the
      // word left, each LLR of a 1 mirrored (BPSK: shifted by 2 / sigma^2
      // twice, the signal's sign).
      ldpc::channelframe(r.channel, r.parameter, again, n, zero.data());
      for (int i = 0; i < n; ++i) {
        double want = sent[i] ? -zero[i] : zero[i];
        if (r.channel == ldpc::channeltype::awgn && sent[i])
          want = zero[i] - 4.0 / (r.parameter * r.parameter);
        ASSERT_NEAR(llr[i], want, 1e-9 * (1 + std::abs(want))) << i;
      }
    }
  }
  ldpc::transmitchain broken;
  broken.codeword = ldpc::codewordkind::random;
  broken.n = 10;
  EXPECT_EQ(ldpc::transmitfault(broken), "random codewords need the code's encoder");
  broken.codeword = ldpc::codewordkind::zero;
  broken.channel = ldpc::channeltype::bsc;
  broken.setup.fading = ldpc::fadingkind::fast;
  EXPECT_EQ(ldpc::transmitfault(broken),
            "modulation, fading and interleaving need an AWGN channel, not bsc");
  EXPECT_TRUE(ldpc::zerowordsymmetric({ldpc::modulationkind::qpsk}));
  EXPECT_FALSE(ldpc::zerowordsymmetric({ldpc::modulationkind::qam16}));
}

TEST(tanner_transmit, bpsk_random_codewords_give_the_fer_of_the_zero_word) {
  tempdir dir;
  const std::string code = regularcode(dir, 400, "c.code");
  const std::vector<std::string> common = {
      code,           "--ebn0", "2,2.5",        "--max-frames",  "3000",
      "--max-errors", "100000", "--all-points", "--max-seconds", "0"};
  std::vector<std::string> args = common;
  const nlohmann::json zero = simulatejson(dir, args);
  args.insert(args.end(), {"--codeword", "zero"});
  const nlohmann::json explicitzero = simulatejson(dir, args);
  args = common;
  args.insert(args.end(), {"--codeword", "random"});
  const nlohmann::json random = simulatejson(dir, args);
  args.insert(args.end(), {"--threads", "1"});
  ASSERT_EQ(zero["points"].size(), 2u);
  for (int p = 0; p < 2; ++p) {
    const auto &z = zero["points"][p], r = random["points"][p], e = explicitzero["points"][p];
    // --codeword zero is the run without it, key for key
    for (const char *key : {"frames", "frameerrors", "biterrors", "undetected", "iterations"})
      EXPECT_EQ(e[key], z[key]) << key;
    EXPECT_FALSE(z.contains("infobiterrors"));
    EXPECT_EQ(r["frames"], z["frames"]);
    // each FER inside the other's interval
    EXPECT_GE(r["fer"].get<double>(), z["ferlow"].get<double>()) << p;
    EXPECT_LE(r["fer"].get<double>(), z["ferhigh"].get<double>()) << p;
    EXPECT_GE(z["fer"].get<double>(), r["ferlow"].get<double>()) << p;
    EXPECT_LE(z["fer"].get<double>(), r["ferhigh"].get<double>()) << p;
    EXPECT_GT(r["frameerrors"].get<int>(), 0);
    EXPECT_LE(r["infobiterrors"].get<std::int64_t>(), r["biterrors"].get<std::int64_t>());
    EXPECT_NEAR(r["infober"].get<double>(),
                r["infobiterrors"].get<double>() / (r["frames"].get<double>() * 200), 1e-12);
  }
  EXPECT_FALSE(zero["config"].contains("modulation"));
  EXPECT_EQ(random["config"]["codeword"], "random");
}

TEST(tanner_transmit, higher_order_modulation_and_fading_run_with_random_words_by_default) {
  tempdir dir;
  const std::string code = regularcode(dir, 240, "c.code", true);
  const struct {
    std::vector<std::string> options;
    const char *points;
    const char *codeword;
  } rows[] = {
      {{"--modulation", "16qam"}, "4,9", "random"},
      {{"--modulation", "64qam", "--demapper", "maxlog", "--interleave"}, "7,13", "random"},
      {{"--modulation", "qpsk", "--fading", "fast"}, "4,12", "random"},
      {{"--modulation", "qpsk", "--fading", "block:6", "--codeword", "zero"}, "4,14", "zero"},
      {{"--modulation", "256qam"}, "10,16", "random"},
  };
  for (const auto &row : rows) {
    std::vector<std::string> args = {code,           "--ebn0", row.points,
                                     "--max-frames", "640",    "--all-points"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const nlohmann::json j = simulatejson(dir, args);
    EXPECT_EQ(j["config"]["codeword"], row.codeword) << row.options[1];
    ASSERT_EQ(j["points"].size(), 2u);
    // a curve that falls: many frames lost at the first point, few at the second
    EXPECT_GT(j["points"][0]["fer"].get<double>(), 0.1) << row.options[1];
    EXPECT_LT(j["points"][1]["fer"].get<double>(), 0.05) << row.options[1];
  }
  // Threads change nothing, and the table has the information columns.
  std::vector<std::string> args = {"simulate", code,           "--ebn0", "6",        "--modulation",
                                   "16qam",    "--max-frames", "256",    "--threads"};
  args.push_back("1");
  const runresult one = run(tanner, args);
  args.pop_back();  // (assigning a literal trips a false -Wrestrict of GCC 12)
  args.push_back("2");
  const runresult two = run(tanner, args);
  auto counts = [](const std::string &out) {
    const std::size_t row = out.rfind("\n  6.000");
    return row == std::string::npos ? std::string() : out.substr(row + 1, 95);
  };
  EXPECT_FALSE(counts(one.out).empty()) << one.out;
  EXPECT_EQ(counts(one.out), counts(two.out));
  EXPECT_NE(one.out.find("info errors   info BER"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("# codeword random, 16qam, exact demapper; triangular encoder, K 120"),
            std::string::npos)
      << one.out;
  // A frame replayed sees the same chain.
  const runresult replay =
      run(tanner, {"simulate", code, "--ebn0", "14", "--modulation", "16qam", "--replay", "0:5"});
  EXPECT_NE(replay.out.find("decision: satisfies every check, 0 iterations, 0 bit errors"),
            std::string::npos)
      << replay.out;
}

TEST(tanner_transmit, options_that_cannot_apply_are_refused) {
  tempdir dir;
  const std::string code = regularcode(dir, 48, "c.code");
  const struct {
    std::vector<std::string> args;
    int status;
    const char *message;
  } rows[] = {
      {{code, "--ebn0", "3", "--modulation", "16qam", "--codeword", "zero"},
       2,
       "--codeword zero: the zero codeword with 16qam gives a wrong curve"},
      {{code, "--ebn0", "3", "--modulation", "8psk"}, 2, "--modulation takes bpsk, qpsk"},
      {{code, "--ebn0", "3", "--demapper", "max"}, 2, "--demapper takes exact or maxlog"},
      {{code, "--ebn0", "3", "--fading", "slow"}, 2, "--fading takes fast or block:L"},
      {{code, "--ebn0", "3", "--fading", "block:0"}, 2, "--fading block:L"},
      {{code, "--ebn0", "3", "--codeword", "ones"}, 2, "--codeword takes zero or random"},
      {{code, "--ebn0", "3", "--modulation", "qpsk", "--modulation", "qpsk"}, 2, "given twice"},
      {{"irregular", "--vdeg", "3", "--vfrac", "1", "--cdeg", "6", "--cfrac", "1", "--length", "48",
        "--ebn0", "3", "--codeword", "random"},
       2,
       "--codeword applies to a code, not to an ensemble"},
      {{code, "--erasure", "0.3", "--modulation", "qpsk"}, 1, "need an AWGN channel, not bec"},
  };
  for (const auto &row : rows) {
    std::vector<std::string> args = row.args;
    args.insert(args.begin(), "simulate");
    const runresult r = run(tanner, args);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
  }
}

// A rate-matched code (filler bits shortened, two block columns punctured,
// bits selected from a circular buffer) through the chain: random words
// keep their shortened information bits at 0, so at a high SNR no frame is
// lost; at a working point random words and the all-zero word over BPSK
// lose frames alike; the information BER counts K bits, not the fillers.
// A shortened parity bit cannot carry random words. The chain goes into a
// ledger: its configuration names the modulation and the information bits
// counted, its blocks their errors, and its merge gives the run's points.
TEST(tanner_transmit, rate_matched_codes_take_the_chain) {
  tempdir dir;
  const std::vector<std::string> nr = {"standard", "nr", "--info", "40", "--length", "100"};
  auto runnr = [&](std::vector<std::string> more) {
    std::vector<std::string> args = nr;
    args.insert(args.end(), more.begin(), more.end());
    return simulatejson(dir, args);
  };
  for (const char *modulation : {"bpsk", "16qam", "256qam"}) {
    const nlohmann::json clean = runnr({"--ebn0", "30", "--modulation", modulation, "--codeword",
                                        "random", "--max-frames", "640"});
    EXPECT_EQ(clean["points"][0]["frameerrors"], 0) << modulation;
  }
  // --interleave on a rate-matched NR code block is the standard's
  // interleaver: nothing lost where the channel is clean, and a curve of
  // its own beside the random interleaver's at a working point.
  const nlohmann::json nrclean =
      runnr({"--ebn0", "30", "--modulation", "16qam", "--interleave", "--max-frames", "640"});
  EXPECT_EQ(nrclean["points"][0]["frameerrors"], 0);
  const runresult header =
      run(tanner, {"simulate", "standard", "nr", "--info", "40", "--length", "100", "--ebn0", "4",
                   "--modulation", "16qam", "--interleave", "--max-frames", "640"});
  ASSERT_EQ(header.status, 0) << header.err;
  EXPECT_NE(header.out.find("5G NR bit interleaver (TS 38.212 clause 5.4.2.2)"), std::string::npos)
      << header.out;
  const std::vector<std::string> point = {"--ebn0",       "3",  "--max-frames", "6400",
                                          "--max-errors", "400"};
  std::vector<std::string> random = point;
  random.insert(random.end(), {"--codeword", "random"});
  const nlohmann::json zero = runnr(point), words = runnr(random);
  const double fz = zero["points"][0]["fer"], fw = words["points"][0]["fer"];
  EXPECT_GT(fz, 0.01);
  EXPECT_LT(std::abs(fz - fw), 0.3 * fz) << fz << " " << fw;
  const nlohmann::json &p = words["points"][0];
  const double frames = p["frames"];
  EXPECT_GE(p["infober"].get<double>() * frames * 40, p["infobiterrors"].get<double>() - 0.5);
  EXPECT_LE(p["infober"].get<double>() * frames * 40, p["infobiterrors"].get<double>() + 0.5);

  const std::string code = regularcode(dir, 48, "c.code");
  const runresult positions = run(tanner, {"encode", code, "--positions"});
  ASSERT_EQ(positions.status, 0) << positions.err;
  std::set<int> info;
  std::istringstream in(positions.out);
  for (int v; in >> v;) info.insert(v);
  int parity = 0;
  while (info.count(parity) != 0) ++parity;
  const runresult refused = run(tanner, {"simulate", code, "--ebn0", "3", "--codeword", "random",
                                         "--shortened", std::to_string(parity)});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("is shortened but is a parity bit"), std::string::npos) << refused.err;
  const nlohmann::json logged = runnr({"--ebn0", "3", "--modulation", "16qam", "--max-frames",
                                       "640", "--ledger", dir.file("run.ledger")});
  const std::string ledger = readfile(dir.file("run.ledger"));
  for (const char *key : {"\"modulation\":\"16qam\"", "\"codeword\":\"random\"", "\"infobits\":40}",
                          "\"infobiterrors\":"})
    EXPECT_NE(ledger.find(key), std::string::npos) << key << "\n" << ledger.substr(0, 1200);
  const runresult merged =
      run(tanner, {"merge", dir.file("run.ledger"), "--json", dir.file("merged.json")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  nlohmann::json fromledger = nlohmann::json::parse(readfile(dir.file("merged.json")))["points"];
  nlohmann::json points = logged["points"];
  ASSERT_EQ(points.size(), fromledger.size());
  for (std::size_t k = 0; k < points.size(); ++k) {
    points[k].erase("mbps");
    fromledger[k].erase("mbps");
    EXPECT_GT(points[k]["infobiterrors"].get<int>(), 0);
  }
  EXPECT_EQ(points, fromledger);
}
