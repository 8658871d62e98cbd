// The run ledger: the canonical configuration text and its hash (against
// the published FNV-1a vectors and an independent JSON reading), block
// checks, reading every kind of fault with file and line, torn lines, the
// writer's lock, its resume and its behaviour on a full disk.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <regex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "blockoracle.h"
#include "ledger.h"
#include "support.h"

using namespace testsupport;

namespace {

// FNV-1a 64 written out from its definition.
std::uint64_t fnv(const std::string &text) {
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return h;
}

ldpc::runconfig sampleconfig() {
  ldpc::runconfig c;
  c.software = "ldpcgraph 9.9.9";
  c.seed = 1234567;
  c.points = {0.5, 0.75, 1.25};
  c.length = 96;
  c.iterations = 20;
  c.rule.maxerrors = 30;
  c.rule.maxframes = 1000;  // 16 blocks, the last of 40 frames
  c.rule.minfer = 1e-3;
  c.settings = {{"code", std::string("fingerprint 0123abcd")},
                {"decoder", std::string("nms")},
                {"alpha", 0.75},
                {"earlystop", true},
                {"ebn0", std::vector<double>{1.0, 2.5}},
                {"lift", std::int64_t{-3}}};
  return c;
}

ldpc::blocktally tally(std::int64_t frames, std::int64_t errors, std::int64_t bits,
                       std::int64_t undetected, std::int64_t iterations, double seconds = 0.001) {
  return {.frames = frames,
          .frameerrors = errors,
          .biterrors = bits,
          .undetected = undetected,
          .iterations = iterations,
          .seconds = seconds};
}

std::string header(const ldpc::runconfig &c = sampleconfig(), ldpc::ledgershard shard = {}) {
  return ldpc::headerline(c, shard, {});
}

// Reads text as a ledger named "L" and returns the fault ("" when read).
std::string parse(const std::string &text, ldpc::ledgercontents *out = nullptr) {
  ldpc::ledgercontents ledger;
  std::string fault = ldpc::parseledger(text, "L", &ledger);
  if (out != nullptr) *out = ledger;
  return fault;
}

}  // namespace

TEST(ledger, canonical_text_reads_back_and_hashes_as_fnv1a) {
  // The published vectors of FNV-1a 64, so that the oracle is the function.
  EXPECT_EQ(fnv(""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(fnv("foobar"), 0x85944171f73967e8ULL);
  const ldpc::runconfig c = sampleconfig();
  const std::string text = ldpc::configtext(c);
  EXPECT_EQ(
      text,
      "{\"software\":\"ldpcgraph 9.9.9\",\"seed\":1234567,\"points\":[0.5,0.75,1.25],\"length\":96,"
      "\"iterations\":20,\"maxerrors\":30,\"maxframes\":1000,\"minfer\":0.001,\"graphframes\":0,"
      "\"blockframes\":64,\"code\":\"fingerprint 0123abcd\",\"decoder\":\"nms\",\"alpha\":0.75,"
      "\"earlystop\":true,\"ebn0\":[1.0,2.5],\"lift\":-3}");
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv(text)));
  EXPECT_EQ(ldpc::confighash(c), hex);
  // Reals: the shortest text that reads back, always a real in JSON.
  const struct {
    double x;
    const char *text;
  } reals[] = {{0.1, "0.1"},
               {1.0, "1.0"},
               {-0.0, "-0.0"},
               {1e-7, "1e-07"},
               {123456789.0, "123456789.0"},
               {1e300, "1e+300"},
               {5e-324, "5e-324"},
               {0.30000000000000004, "0.30000000000000004"},
               {std::nextafter(1.0, 2.0), "1.0000000000000002"},
               {2.5e21, "2.5e+21"}};
  for (const auto &r : reals) {
    ldpc::runconfig one = c;
    one.settings = {{"x", r.x}};
    const std::string t = ldpc::configtext(one);
    EXPECT_NE(t.find(std::string("\"x\":") + r.text + "}"), std::string::npos) << t;
    // An independent reader gives the same double, and a ledger reads it back
    // to the same text.
    const auto parsed = nlohmann::json::parse(t);
    EXPECT_TRUE(parsed["x"].is_number_float()) << r.text;
    EXPECT_EQ(parsed["x"].get<double>(), r.x) << r.text;
    ldpc::ledgercontents read;
    ASSERT_EQ(parse(header(one), &read), "") << r.text;
    EXPECT_EQ(ldpc::configtext(read.config), t);
  }
  // Strings: escapes, control characters, UTF-8 kept, bytes that are not
  // UTF-8 replaced.
  const struct {
    std::string raw, expected;  // expected: as an independent reader decodes it
  } strings[] = {
      {"plain", "plain"},
      {"quote \" and \\ back", "quote \" and \\ back"},
      {"tab\tline\nret\r\b\f", "tab\tline\nret\r\b\f"},
      {std::string("nul\0x\x01\x1f\x7f", 8), std::string("nul\0x\x01\x1f\x7f", 8)},
      {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"bad \xff byte", "bad \xef\xbf\xbd byte"},
      {"overlong \xc0\xaf", "overlong \xef\xbf\xbd\xef\xbf\xbd"},
      {"surrogate \xed\xa0\x80", "surrogate \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"cut \xe2\x82", "cut \xef\xbf\xbd\xef\xbf\xbd"},
      {"past \xf4\x90\x80\x80", "past \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"}};
  for (const auto &s : strings) {
    ldpc::runconfig one = c;
    one.settings = {{"s", s.raw}};
    const auto parsed = nlohmann::json::parse(ldpc::configtext(one));
    EXPECT_EQ(parsed["s"].get<std::string>(), s.expected) << s.raw;
    ldpc::ledgercontents read;
    ASSERT_EQ(parse(header(one), &read), "") << s.raw;
    EXPECT_EQ(ldpc::configtext(read.config), ldpc::configtext(one));
  }
  // The typed part and every kind of setting read back alike; the seed in
  // its whole 64-bit range.
  ldpc::runconfig wide = c;
  wide.seed = std::numeric_limits<std::uint64_t>::max();
  wide.rule.graphframes = 90;
  wide.rule.blockframes = 7;
  wide.rule.maxframes = std::numeric_limits<std::int64_t>::max();
  ldpc::ledgercontents read;
  ASSERT_EQ(parse(ldpc::headerline(wide, {2, 5}, {{"host", "node17"}, {"command", "tanner \"x\""}}),
                  &read),
            "");
  EXPECT_EQ(ldpc::configdifference(read.config, "read", wide, "written"), "");
  EXPECT_EQ(read.hash, ldpc::confighash(wide));
  EXPECT_EQ(read.shard.index, 2);
  EXPECT_EQ(read.shard.count, 5);
  ASSERT_EQ(read.info.size(), 2u);
  EXPECT_EQ(read.info[1].second, "tanner \"x\"");
  EXPECT_NE(ldpc::confighash(wide), ldpc::confighash(c));
}

TEST(ledger, configurations_are_compared_setting_by_setting) {
  const ldpc::runconfig base = sampleconfig();
  const struct {
    void (*change)(ldpc::runconfig *);
    std::string difference;
  } cases[] = {
      {[](ldpc::runconfig *c) { c->seed = 2; }, "seed is 2 in A and 1234567 in B"},
      {[](ldpc::runconfig *c) { c->points[1] = 0.7; },
       "points is [0.5,0.7,1.25] in A and [0.5,0.75,1.25] in B"},
      {[](ldpc::runconfig *c) { c->rule.maxerrors = 31; }, "maxerrors is 31 in A and 30 in B"},
      {[](ldpc::runconfig *c) { c->software = "ldpcgraph 1.0.0"; },
       "software is \"ldpcgraph 1.0.0\" in A"},
      {[](ldpc::runconfig *c) { c->settings[2].value = 0.8; }, "alpha is 0.8 in A and 0.75 in B"},
      {[](ldpc::runconfig *c) { c->settings[2].value = std::int64_t{1}; },
       "alpha is 1 in A and 0.75 in B"},
      {[](ldpc::runconfig *c) { c->settings.pop_back(); }, "lift is set in B and not in A"},
      {[](ldpc::runconfig *c) {
         c->settings.push_back({"extra", false});
       },
       "extra is set in A and not in B"},
      {[](ldpc::runconfig *c) { std::swap(c->settings[0], c->settings[1]); }, "another order"},
      {[](ldpc::runconfig *c) { c->settings[0].value = std::string(100, 'x'); }, "is \"xxxxxxxx"},
  };
  for (const auto &k : cases) {
    ldpc::runconfig changed = base;
    k.change(&changed);
    const std::string d = ldpc::configdifference(changed, "A", base, "B");
    EXPECT_NE(d.find(k.difference), std::string::npos) << d;
    EXPECT_LT(d.size(), 160u) << d;
    EXPECT_NE(ldpc::confighash(changed), ldpc::confighash(base)) << d;
  }
  EXPECT_EQ(ldpc::configdifference(base, "A", base, "B"), "");
  // What cannot go into a ledger.
  const struct {
    void (*change)(ldpc::runconfig *);
    const char *fault;
  } faults[] = {
      {[](ldpc::runconfig *c) { c->points.clear(); }, "no points"},
      {[](ldpc::runconfig *c) { c->points[0] = NAN; }, "point 0 is not a finite"},
      {[](ldpc::runconfig *c) { c->length = 0; }, "frame length 0"},
      {[](ldpc::runconfig *c) { c->iterations = -1; }, "iterations -1"},
      {[](ldpc::runconfig *c) { c->rule.maxerrors = 0; }, "maxerrors 0"},
      {[](ldpc::runconfig *c) { c->rule.maxframes = 0; }, "maxframes 0"},
      {[](ldpc::runconfig *c) { c->rule.blockframes = 0; }, "blockframes 0"},
      {[](ldpc::runconfig *c) { c->rule.graphframes = -5; }, "graphframes -5"},
      {[](ldpc::runconfig *c) { c->rule.minfer = INFINITY; }, "minfer"},
      {[](ldpc::runconfig *c) { c->software.clear(); }, "software version is empty"},
  };
  for (const auto &f : faults) {
    ldpc::runconfig bad = base;
    f.change(&bad);
    EXPECT_NE(ldpc::configfault(bad).find(f.fault), std::string::npos) << ldpc::configfault(bad);
  }
  // Settings that cannot be added: a reserved or repeated name, an empty
  // one, a value that is not finite.
  const struct {
    ldpc::configsetting added;
    const char *fault;
  } settings[] = {
      {{"seed", true}, "'seed' is given twice or takes a reserved"},
      {{"code", true}, "'code' is given twice"},
      {{"", true}, "empty name"},
      {{"x", NAN}, "'x' is not a finite"},
      {{"x", std::vector<double>{1, INFINITY}}, "'x' holds"},
  };
  for (const auto &f : settings) {
    ldpc::runconfig bad = base;
    bad.settings.push_back(f.added);
    EXPECT_NE(ldpc::configfault(bad).find(f.fault), std::string::npos) << ldpc::configfault(bad);
  }
  EXPECT_EQ(ldpc::configfault(base), "");
}

TEST(ledger, blocks_that_cannot_be_are_refused) {
  const ldpc::runconfig c = sampleconfig();  // 3 points, 16 blocks, 96 bits, 20 iterations
  const struct {
    ldpc::ledgershard shard;
    int point;
    std::int64_t block;
    ldpc::blocktally t;
    const char *fault;  // "" when accepted
  } cases[] = {
      {{}, 0, 0, tally(64, 0, 0, 0, 64), ""},
      {{}, 2, 15, tally(40, 40, 40 * 96, 40, 800), ""},  // the last, short block, all wrong
      {{}, 1, 3, tally(64, 3, 7, 1, 1280), ""},
      {{}, 3, 0, tally(64, 0, 0, 0, 0), "point 3 is out of range: the sweep has points 0..2"},
      {{}, -1, 0, tally(64, 0, 0, 0, 0), "point -1 is out of range"},
      {{},
       0,
       16,
       tally(64, 0, 0, 0, 0),
       "block 16 of point 0 is out of range: a point has blocks 0..15"},
      {{}, 0, -1, tally(64, 0, 0, 0, 0), "block -1 of point 0 is out of range"},
      {{}, 0, 15, tally(64, 0, 0, 0, 0), "has 64 frames; the layout gives it 40"},
      {{}, 0, 0, tally(63, 0, 0, 0, 0), "has 63 frames"},
      {{}, 0, 0, tally(64, 65, 65, 0, 0), "frame errors 65 outside 0..64"},
      {{}, 0, 0, tally(64, 2, 5, 3, 0), "undetected errors 3 outside 0..2"},
      {{}, 0, 0, tally(64, 2, 1, 0, 0), "bit errors 1 outside 2.."},
      {{}, 0, 0, tally(64, 0, 1, 0, 0), "bit errors 1 outside 0..0"},
      {{}, 0, 0, tally(64, 1, 64 * 96 + 1, 0, 0), "bit errors 6145 outside 1..6144"},
      {{}, 0, 0, tally(64, 0, 0, 0, 1281), "iterations 1281 outside 0..1280"},
      {{}, 0, 0, tally(64, 0, 0, 0, -1), "iterations -1"},
      {{}, 0, 0, tally(64, 0, 0, 0, 0, -1.0), "seconds must be"},
      {{}, 0, 0, tally(64, 0, 0, 0, 0, NAN), "seconds must be"},
      {{2, 3}, 0, 1, tally(64, 0, 0, 0, 0), ""},
      {{2, 3}, 0, 13, tally(64, 0, 0, 0, 0), ""},
      {{2, 3}, 0, 2, tally(64, 0, 0, 0, 0), "block 2 of point 0 belongs to shard 3/3, not 2/3"},
      {{1, 4}, 1, 6, tally(64, 0, 0, 0, 0), "belongs to shard 3/4, not 1/4"},
  };
  for (const auto &k : cases) {
    const std::string fault = ldpc::blockfault(c, k.shard, k.point, k.block, k.t);
    if (*k.fault == '\0')
      EXPECT_EQ(fault, "") << k.point << "/" << k.block;
    else
      EXPECT_NE(fault.find(k.fault), std::string::npos) << fault;
  }
  EXPECT_TRUE(ldpc::ownsblock({3, 3}, 5));
  EXPECT_FALSE(ldpc::ownsblock({3, 3}, 4));
  EXPECT_TRUE(ldpc::ownsblock({1, 1}, 12345));
  EXPECT_EQ(ldpc::shardname({2, 7}), "2/7");
}

TEST(ledger, reader_refuses_what_is_no_ledger_with_file_and_line) {
  const std::string h = header();
  const std::string b0 = ldpc::blockline(0, 0, tally(64, 2, 3, 0, 200));
  const std::string b1 = ldpc::blockline(0, 1, tally(64, 0, 0, 0, 100));
  std::string edited = h;
  edited.replace(edited.find("\"seed\":1234567"), 14, "\"seed\":1234568");
  std::string otherformat = h;
  otherformat.replace(0, 11, "{\"ledger\":2");
  const struct {
    std::string text;
    const char *fault;
  } cases[] = {
      {"", "L: empty: not a ledger"},
      {"{\"ledger\":1", "L: no complete first line"},
      {"hello\n", "L:1: not a ledger: the first line does not parse as JSON"},
      {"[1,2]\n", "L:1: not a ledger: the first line is not a JSON object"},
      {"{\"point\":0}\n", "L:1: not a ledger: the first line has no \"ledger\""},
      {otherformat, "L:1: ledger format 2; this program reads format 1"},
      {edited, "L:1: the header's hash"},
      {"{\"ledger\":1,\"hash\":\"00\",\"shard\":[1,1],\"config\":{}}\n",
       "L:1: the header's \"hash\" is not 16 hex"},
      {"{\"ledger\":1,\"hash\":\"0000000000000000\",\"shard\":[3,2],\"config\":{}}\n",
       "L:1: the header's \"shard\" is not [K,N]"},
      {"{\"ledger\":1,\"hash\":\"0000000000000000\",\"shard\":[1,1],\"config\":{}}\n",
       "L:1: the configuration has no \"software\""},
      {"{\"ledger\":1,\"hash\":\"0000000000000000\",\"shard\":[1,1]}\n",
       "L:1: the header has no \"config\""},
      {"{\"ledger\":1,\"hash\":\"0000000000000000\",\"shard\":[1,1],\"more\":0}\n",
       "L:1: the header has an unknown key \"more\""},
      {h + "\n" + b0, "L:2: an empty line"},
      {h + b0 + "{\"point\":0,\n" + b1, "L:3: the line does not parse as JSON"},
      {h + b0 + "{\"point\":0,\"block\":1}\n", "L:3: the line has no \"frames\""},
      {h + "{\"point\":0,\"block\":1,\"frames\":64,\"frameerrors\":0,\"biterrors\":0,"
           "\"undetected\":0,"
           "\"iterations\":0,\"seconds\":0,\"rank\":3}\n",
       "L:2: the line has an unknown key \"rank\""},
      {h + "{\"point\":0,\"block\":1.5,\"frames\":64,\"frameerrors\":0,\"biterrors\":0,"
           "\"undetected\":0,"
           "\"iterations\":0,\"seconds\":0}\n",
       "L:2: the line has a \"block\" that is not an integer"},
      {h + "{\"point\":0,\"block\":1,\"frames\":64,\"frameerrors\":0,\"biterrors\":0,"
           "\"undetected\":0,"
           "\"iterations\":0,\"seconds\":\"x\"}\n",
       "L:2: the line has \"seconds\" that are not a number"},
      {h + "{\"point\":0,\"block\":99999999999999999999,\"frames\":64,\"frameerrors\":0,"
           "\"biterrors\":0,"
           "\"undetected\":0,\"iterations\":0,\"seconds\":0}\n",
       "L:2: the line has a \"block\" that is not an integer"},
      {h + b0 + ldpc::blockline(5, 0, tally(64, 0, 0, 0, 0)), "L:3: point 5 is out of range"},
      {h + ldpc::blockline(1, 16, tally(64, 0, 0, 0, 0)),
       "L:2: block 16 of point 1 is out of range"},
      {h + ldpc::blockline(1, 2, tally(64, 70, 70, 0, 0)),
       "L:2: block 2 of point 1: frame errors 70"},
      {h + b0 + b1 + ldpc::blockline(0, 0, tally(64, 3, 3, 0, 200)),
       "L:4: block 0 of point 0 again, with other counts than on line 2"},
      {h + ldpc::giveupline(3, 0, "time"), "L:2: gives up point 3"},
      {h + ldpc::giveupline(0, 16, "time"), "L:2: gives up point 0 at block 16, out of range"},
      {h + "{\"point\":0,\"giveup\":1,\"reason\":7}\n",
       "L:2: the line has a \"reason\" that is not a string"},
      {header(sampleconfig(), {1, 2}) + ldpc::blockline(0, 1, tally(64, 0, 0, 0, 0)),
       "L:2: block 1 of point 0 belongs to shard 2/2, not 1/2"},
  };
  for (const auto &k : cases) {
    const std::string fault = parse(k.text);
    EXPECT_EQ(fault.find(k.fault), 0u) << "got: " << fault << "\nwanted: " << k.fault;
  }
}

TEST(ledger, torn_last_lines_and_repeated_blocks_are_read_as_written) {
  const std::string h = header();
  const std::string b0 = ldpc::blockline(0, 0, tally(64, 2, 3, 0, 200, 0.5));
  const std::string b7 = ldpc::blockline(0, 7, tally(64, 0, 0, 0, 100));
  const std::string b2 = ldpc::blockline(2, 15, tally(40, 1, 1, 1, 80));
  // Every cut of a complete ledger reads as the lines that are whole.
  const std::string full = h + b7 + b0 + b2 + ldpc::giveupline(1, 4, "max seconds") + b0;
  std::vector<std::size_t> ends;
  for (std::size_t k = 0; k < full.size(); ++k)
    if (full[k] == '\n') ends.push_back(k + 1);
  for (std::size_t cut = ends[0]; cut <= full.size(); ++cut) {
    ldpc::ledgercontents read;
    ASSERT_EQ(parse(full.substr(0, cut), &read), "") << "cut at " << cut;
    const std::size_t whole = std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin();
    EXPECT_EQ(read.lines, static_cast<std::int64_t>(whole));
    EXPECT_EQ(read.usedbytes, static_cast<std::int64_t>(ends[whole - 1]));
    EXPECT_EQ(read.torn, cut != ends[whole - 1]);
    // Lines 2.., as read: block 7, block 0, block 15 of point 2, give-up, block 0 again.
    EXPECT_EQ(read.blocks[0].size(), whole >= 3 ? 2u : whole >= 2 ? 1u : 0u) << cut;
    EXPECT_EQ(read.blocks[2].size(), whole >= 4 ? 1u : 0u);
    EXPECT_EQ(read.giveup[1], whole >= 5 ? 4 : -1);
  }
  ldpc::ledgercontents read;
  ASSERT_EQ(parse(full, &read), "");
  ASSERT_EQ(read.blocks[0].size(), 2u);  // sorted, block 0 taken once
  EXPECT_EQ(read.blocks[0][0].block, 0);
  EXPECT_EQ(read.blocks[0][1].block, 7);
  EXPECT_EQ(read.blocks[0][0].tally.seconds, 0.5);
  EXPECT_TRUE(ldpc::samecounts(*ldpc::findblock(read, 0, 0), tally(64, 2, 3, 0, 200)));
  EXPECT_EQ(ldpc::findblock(read, 0, 1), nullptr);
  EXPECT_EQ(ldpc::findblock(read, 9, 0), nullptr);
  EXPECT_FALSE(ldpc::givenupin(read, 1, 3));
  EXPECT_TRUE(ldpc::givenupin(read, 1, 4));
  EXPECT_TRUE(ldpc::givenupin(read, 1, 15));
  EXPECT_FALSE(ldpc::givenupin(read, 0, 15));
  // Its verdict: point 0 waits for block 1.
  const ldpc::sweepverdict v = ldpc::ledgerverdict(read);
  EXPECT_FALSE(v.complete);
  ASSERT_EQ(v.points.size(), 1u);
  EXPECT_EQ(v.points[0].needed, 1);
  // Lines of another writer's spacing and key order read alike.
  ldpc::ledgercontents spaced;
  ASSERT_EQ(
      parse(h + "{ \"seconds\": 1e-3, \"iterations\": 200, \"undetected\": 0, \"biterrors\": 3,"
                " \"frameerrors\": 2, \"frames\": 64, \"block\": 0, \"point\": 0 }\r\n",
            &spaced),
      "");
  EXPECT_TRUE(ldpc::samecounts(spaced.blocks[0][0].tally, tally(64, 2, 3, 0, 200)));
  // A block line as written, key for key.
  EXPECT_EQ(
      ldpc::blockline(1, 2, tally(64, 3, 9, 1, 321, 0.0123456789)),
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.012346}\n");
  EXPECT_EQ(ldpc::giveupline(0, 5, "a \"b\""),
            "{\"point\":0,\"giveup\":5,\"reason\":\"a \\\"b\\\"\"}\n");
}

namespace {

// A ledger file of the sample configuration, shard 1/1, under dir.
struct writerfixture {
  tempdir dir;
  std::string path = dir.file("run.ledger");
  ldpc::runconfig config = sampleconfig();
};

std::string openwriter(ldpc::ledgerwriter *w, const writerfixture &f, ldpc::ledgermode mode,
                       ldpc::ledgercontents *resumed = nullptr, ldpc::ledgershard shard = {}) {
  return w->open(f.path, f.config, shard, mode, resumed);
}

}  // namespace

TEST(ledger, writer_appends_whole_lines_and_resumes_where_it_stood) {
  writerfixture f;
  {
    ldpc::ledgerwriter w;
    ASSERT_EQ(openwriter(&w, f, ldpc::ledgermode::create), "");
    EXPECT_EQ(w.lockwarning(), "");
    EXPECT_EQ(w.writeblock(0, 0, tally(64, 2, 3, 0, 200)), "");
    EXPECT_EQ(w.writeblock(0, 2, tally(64, 0, 0, 0, 64)), "");
    EXPECT_EQ(w.writegiveup(2, 3, "max seconds"), "");
    // Refused lines leave nothing behind.
    EXPECT_NE(w.writeblock(0, 99, tally(64, 0, 0, 0, 0)).find("refused: block 99"),
              std::string::npos);
    EXPECT_NE(w.writegiveup(0, 16, "x").find("refused"), std::string::npos);
    EXPECT_NE(w.writegiveup(0, 1, "").find("without a reason"), std::string::npos);
    EXPECT_EQ(w.close(), "");
    EXPECT_FALSE(w.isopen());
  }
  EXPECT_EQ(readfile(f.path), header() + ldpc::blockline(0, 0, tally(64, 2, 3, 0, 200)) +
                                  ldpc::blockline(0, 2, tally(64, 0, 0, 0, 64)) +
                                  ldpc::giveupline(2, 3, "max seconds"));
  // create refuses what is there; resume reads it and goes on.
  {
    ldpc::ledgerwriter w;
    EXPECT_NE(openwriter(&w, f, ldpc::ledgermode::create).find("exists and is not empty"),
              std::string::npos);
    EXPECT_FALSE(w.isopen());
    ldpc::ledgercontents resumed;
    ASSERT_EQ(openwriter(&w, f, ldpc::ledgermode::resume, &resumed), "");
    EXPECT_EQ(resumed.blocks[0].size(), 2u);
    EXPECT_EQ(resumed.giveup[2], 3);
    EXPECT_EQ(w.writeblock(0, 1, tally(64, 1, 1, 0, 100)), "");
    EXPECT_EQ(w.close(), "");
  }
  ldpc::ledgercontents read;
  ASSERT_EQ(ldpc::readledger(f.path, &read), "");
  EXPECT_EQ(read.blocks[0].size(), 3u);
  EXPECT_FALSE(read.torn);
  // A torn last line is cut before the next line goes in.
  const std::string before = readfile(f.path);
  writefile(f.path, before + "{\"point\":0,\"blo");
  {
    ldpc::ledgerwriter w;
    ldpc::ledgercontents resumed;
    ASSERT_EQ(openwriter(&w, f, ldpc::ledgermode::resume, &resumed), "");
    EXPECT_TRUE(resumed.torn);
    EXPECT_EQ(w.writeblock(1, 0, tally(64, 0, 0, 0, 64)), "");
    EXPECT_EQ(w.close(), "");
  }
  EXPECT_EQ(readfile(f.path), before + ldpc::blockline(1, 0, tally(64, 0, 0, 0, 64)));
  // Another configuration or shard is refused, and the file stays as it was.
  const std::string kept = readfile(f.path);
  {
    ldpc::ledgerwriter w;
    f.config.seed = 99;
    const std::string fault = openwriter(&w, f, ldpc::ledgermode::resume);
    EXPECT_NE(fault.find("the ledger is of another configuration: seed is 1234567 in " + f.path +
                         " and 99 in this run"),
              std::string::npos)
        << fault;
    f.config.seed = 1234567;
    EXPECT_NE(openwriter(&w, f, ldpc::ledgermode::resume, nullptr, {1, 2})
                  .find("is of shard 1/1, this run is 1/2"),
              std::string::npos);
    EXPECT_NE(openwriter(&w, f, ldpc::ledgermode::resume, nullptr, {3, 2}).find("is not K/N"),
              std::string::npos);
    EXPECT_FALSE(w.isopen());
  }
  EXPECT_EQ(readfile(f.path), kept);
}

TEST(ledger, writer_starts_fresh_where_there_is_nothing_to_resume) {
  writerfixture f;
  const std::string h = header();
  // Missing, empty, or holding only a torn first line of this header: a
  // fresh ledger. A torn line of another header, or anything else: refused.
  const struct {
    bool exists;
    std::string contents;
    const char *fault;  // "" when started
  } cases[] = {
      {false, "", ""},
      {true, "", ""},
      {true, h.substr(0, 1), ""},
      {true, h.substr(0, h.size() - 1), ""},
      {true, header(sampleconfig(), {1, 2}).substr(0, 52), "no complete first line"},
      {true, "garbage", "no complete first line"},
      {true, "garbage\n", "not a ledger"},
  };
  for (const auto &k : cases) {
    ::unlink(f.path.c_str());
    if (k.exists) writefile(f.path, k.contents);
    ldpc::ledgerwriter w;
    ldpc::ledgercontents resumed;
    const std::string fault = openwriter(&w, f, ldpc::ledgermode::resume, &resumed);
    if (*k.fault == '\0') {
      ASSERT_EQ(fault, "") << k.contents;
      EXPECT_EQ(resumed.lines, 1);
      EXPECT_EQ(resumed.blocks.size(), 3u);
      EXPECT_EQ(w.close(), "");
      EXPECT_EQ(readfile(f.path), h);
    } else {
      EXPECT_NE(fault.find(k.fault), std::string::npos) << fault;
      EXPECT_EQ(readfile(f.path), k.contents);
    }
  }
  // A directory is no ledger; a ledger in a missing directory cannot be
  // made; a failed create leaves no file behind.
  ldpc::ledgerwriter w;
  EXPECT_NE(w.open(f.dir.path, f.config, {}, ldpc::ledgermode::resume).find(f.dir.path + ": "),
            std::string::npos);
  EXPECT_NE(
      w.open(f.dir.file("no/such"), f.config, {}, ldpc::ledgermode::create).find("cannot open"),
      std::string::npos);
  ldpc::runconfig bad = f.config;
  bad.points.clear();
  EXPECT_NE(
      w.open(f.dir.file("new"), bad, {}, ldpc::ledgermode::create).find("cannot go into a ledger"),
      std::string::npos);
  EXPECT_FALSE(fileexists(f.dir.file("new")));
  EXPECT_EQ(w.writeblock(0, 0, tally(64, 0, 0, 0, 0)), "no ledger is open");
}

TEST(ledger, a_second_writer_is_refused_while_the_first_holds_the_lock) {
  writerfixture f;
  ldpc::ledgerwriter first;
  ASSERT_EQ(openwriter(&first, f, ldpc::ledgermode::create), "");
  // In this process (another open file) and in another process.
  ldpc::ledgerwriter second;
  EXPECT_NE(
      openwriter(&second, f, ldpc::ledgermode::resume).find("another run is writing this ledger"),
      std::string::npos);
  const pid_t child = fork();
  if (child == 0) {
    ldpc::ledgerwriter other;
    const std::string fault = openwriter(&other, f, ldpc::ledgermode::resume);
    _exit(fault.find("locked") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Reading is never locked out; the lock goes with the close.
  ldpc::ledgercontents read;
  EXPECT_EQ(ldpc::readledger(f.path, &read), "");
  EXPECT_EQ(first.close(), "");
  EXPECT_EQ(openwriter(&second, f, ldpc::ledgermode::resume), "");
  EXPECT_EQ(second.close(), "");
}

TEST(ledger, lines_from_many_threads_arrive_whole) {
  writerfixture f;
  f.config.rule.maxframes = 64 * 4000;
  f.config.points = {1.0, 2.0, 3.0, 4.0};
  ldpc::ledgerwriter w;
  w.syncseconds = 0.01;
  ASSERT_EQ(openwriter(&w, f, ldpc::ledgermode::create), "");
  std::vector<std::thread> threads;
  for (int point = 0; point < 4; ++point)
    threads.emplace_back([&, point] {
      for (std::int64_t b = 0; b < 4000; ++b)
        ASSERT_EQ(w.writeblock(point, b, madeupblock(f.config.rule, 5, point, b, 0.1)), "");
    });
  for (std::thread &t : threads) t.join();
  ASSERT_EQ(w.close(), "");
  ldpc::ledgercontents read;
  ASSERT_EQ(ldpc::readledger(f.path, &read), "");
  EXPECT_EQ(read.lines, 1 + 4 * 4000);
  for (int point = 0; point < 4; ++point) {
    ASSERT_EQ(read.blocks[point].size(), 4000u);
    for (std::int64_t b = 0; b < 4000; b += 397)
      EXPECT_TRUE(ldpc::samecounts(read.blocks[point][b].tally,
                                   madeupblock(f.config.rule, 5, point, b, 0.1)));
  }
}

TEST(ledger, a_full_disk_ends_the_writer_without_a_torn_line) {
  // In a child whose file size limit falls inside the tenth block line.
  writerfixture f;
  const std::string h = header();
  const std::size_t line = ldpc::blockline(0, 0, tally(64, 0, 0, 0, 64)).size();
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = h.size() + 9 * line + line / 2;
    setrlimit(RLIMIT_FSIZE, &limit);
    ldpc::ledgerwriter w;
    if (openwriter(&w, f, ldpc::ledgermode::create) != "") _exit(2);
    int written = 0;
    for (std::int64_t b = 0; b < 16; ++b) {
      const std::string fault = w.writeblock(0, b, tally(b == 15 ? 40 : 64, 0, 0, 0, 10));
      if (!fault.empty()) {
        // The fault names the file and the reason; no line is taken after it.
        if (fault.find("cannot write: File too large") == std::string::npos) _exit(3);
        if (w.writeblock(1, 0, tally(64, 0, 0, 0, 0)).find("no more lines") == std::string::npos)
          _exit(4);
        break;
      }
      ++written;
    }
    _exit(written == 9 && w.close() != "" ? 0 : 5);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ldpc::ledgercontents read;
  ASSERT_EQ(ldpc::readledger(f.path, &read), "");
  EXPECT_FALSE(read.torn);
  EXPECT_EQ(read.blocks[0].size(), 9u);
}

TEST(ledger, lines_read_alike_in_the_written_form_and_as_any_json) {
  // Each line read inside a ledger against an independent JSON reading of
  // it: accepted exactly when that reading gives integers (and a number of
  // seconds) that form a possible block, with the same values.
  const std::string lines[] = {
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.012346}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":12.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":1e-3}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":5.}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":00.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":inf}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.5} ",
      "{\"point\":1,\"block\":02,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.5}",
      "{\"point\":1,\"block\":-0,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.5}",
      "{\"point\":+1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"seconds\":0.5}}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":3.0,\"seconds\":0.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":1e2,\"seconds\":0.5}",
      "{\"point\":1,\"block\":9223372036854775808,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,"
      "\"undetected\":1,\"iterations\":3,\"seconds\":0.5}",
      "{\"point\":4294967297,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,"
      "\"undetected\":1,\"iterations\":3,\"seconds\":0.5}",
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":3,\"seconds\":0.5,\"point\":2}",
      "{\"block\":2,\"point\":1,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":3,\"seconds\":0.5}",
  };
  const std::string h = header();
  for (const std::string &line : lines) {
    ldpc::ledgercontents read;
    const std::string fault = parse(h + line + "\n", &read);
    const auto json = nlohmann::json::parse(line, nullptr, false);
    bool valid = !json.is_discarded() && json.is_object() && json.size() == 8;
    for (const char *key :
         {"point", "block", "frames", "frameerrors", "biterrors", "undetected", "iterations"})
      valid = valid && json.contains(key) && json[key].is_number_integer() &&
              !(json[key].is_number_unsigned() && json[key].get<std::uint64_t>() > (1ULL << 62));
    valid = valid && json.contains("seconds") && json["seconds"].is_number() &&
            json["point"].get<std::int64_t>() < 3;
    EXPECT_EQ(fault.empty(), valid) << line << "\n" << fault;
    if (!valid || !fault.empty()) continue;
    const int point = json["point"].get<int>();
    ASSERT_EQ(read.blocks[point].size(), 1u) << line;
    const ldpc::numberedblock &b = read.blocks[point][0];
    EXPECT_EQ(b.block, json["block"].get<std::int64_t>()) << line;
    EXPECT_EQ(b.tally.iterations, json["iterations"].get<std::int64_t>()) << line;
    EXPECT_EQ(b.tally.seconds, json["seconds"].get<double>()) << line;
  }
}

// A run that counts information bits: "infobits" closes the canonical text
// (a run that counts none has no such key, so its text is as before), the
// block lines carry "infobiterrors" before "seconds", read alike in the
// written form and as any JSON, and what cannot be is refused with its line.
TEST(ledger, information_bit_errors_are_read_where_the_run_counts_them) {
  ldpc::runconfig c = sampleconfig();
  const std::string plain = ldpc::configtext(c);
  c.infobits = 48;
  const std::string text = ldpc::configtext(c);
  EXPECT_EQ(text, plain.substr(0, plain.size() - 1) + ",\"infobits\":48}");
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv(text)));
  EXPECT_EQ(ldpc::confighash(c), hex);
  ldpc::runconfig fewer = c, none = c;
  fewer.infobits = 40;
  none.infobits = 0;
  EXPECT_NE(ldpc::configdifference(c, "A", fewer, "B").find("infobits is 48 in A and 40 in B"),
            std::string::npos);
  EXPECT_NE(ldpc::configdifference(c, "A", none, "B").find("infobits is set in A and not in B"),
            std::string::npos);
  ldpc::runconfig reserved = none;
  reserved.settings.push_back({"infobits", std::int64_t{5}});
  EXPECT_NE(ldpc::configfault(reserved).find("'infobits' is given twice or takes a reserved"),
            std::string::npos);
  none.infobits = -1;
  EXPECT_NE(ldpc::configfault(none).find("information bits -1"), std::string::npos);

  ldpc::blocktally t = tally(64, 3, 9, 1, 321, 0.5);
  t.infobiterrors = 4;
  const std::string written = ldpc::blockline(1, 2, t, true);
  EXPECT_EQ(
      written,
      "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,"
      "\"iterations\":321,\"infobiterrors\":4,\"seconds\":0.500000}\n");
  EXPECT_EQ(ldpc::blockline(1, 2, t, false).find("infobiterrors"), std::string::npos);
  const std::string h = header(c), hplain = header();
  const std::string tail =
      "\"frames\":64,\"frameerrors\":3,\"biterrors\":9,\"undetected\":1,\"iterations\":321,";
  const struct {
    std::string ledger;
    std::int64_t infobiterrors;  // as read; -1: refused
    const char *fault;
  } cases[] = {
      {h + written, 4, ""},
      // Any JSON form: keys in another order, spaces.
      {h + "{\"infobiterrors\": 4, \"seconds\": 0.5, \"point\":1,\"block\":2," +
           tail.substr(0, tail.size() - 1) + "}\n",
       4, ""},
      {h + "{\"point\":1,\"block\":2," + tail + "\"infobiterrors\":0,\"seconds\":0.5}\n", 0, ""},
      {h + "{\"point\":1,\"block\":2," + tail + "\"infobiterrors\":9,\"seconds\":0.5}\n", 9, ""},
      {h + "{\"point\":1,\"block\":2," + tail + "\"infobiterrors\":10,\"seconds\":0.5}\n", -1,
       "L:2: block 2 of point 1: information-bit errors 10 outside 0..9"},
      {h + "{\"point\":1,\"block\":2,\"frames\":64,\"frameerrors\":0,\"biterrors\":0,"
           "\"undetected\":0,"
           "\"iterations\":321,\"infobiterrors\":1,\"seconds\":0.5}\n",
       -1, "information-bit errors 1 outside 0..0"},
      {h + "{\"point\":1,\"block\":2," + tail + "\"infobiterrors\":-1,\"seconds\":0.5}\n", -1,
       "information-bit errors -1 outside"},
      {h + "{\"point\":1,\"block\":2," + tail + "\"infobiterrors\":1.5,\"seconds\":0.5}\n", -1,
       "L:2: the line has an \"infobiterrors\" that is not an integer"},
      {h + "{\"point\":1,\"block\":2," + tail + "\"seconds\":0.5}\n", -1,
       "L:2: the block has no \"infobiterrors\", and the run counts information bits"},
      {hplain + written, -1,
       "L:2: the block gives information-bit errors, and the run counts none"},
      {hplain + "{\"point\":1,\"giveup\":2,\"reason\":\"x\",\"infobiterrors\":0}\n", -1,
       "L:2: the line has an unknown key \"infobiterrors\""},
      // One block twice, with other information-bit errors.
      {h + written +
           ldpc::blockline(
               1, 2,
               [&] {
                 auto u = t;
                 u.infobiterrors = 5;
                 return u;
               }(),
               true),
       -1, "L:3: block 2 of point 1 again, with other counts than on line 2"},
      {h + written + written, 4, ""},
  };
  for (const auto &k : cases) {
    ldpc::ledgercontents read;
    const std::string fault = parse(k.ledger, &read);
    if (k.infobiterrors < 0) {
      EXPECT_NE(fault.find(k.fault), std::string::npos) << k.ledger << "\n" << fault;
      continue;
    }
    ASSERT_EQ(fault, "") << k.ledger;
    EXPECT_EQ(read.config.infobits, 48);
    ASSERT_EQ(read.blocks[1].size(), 1u);
    EXPECT_EQ(read.blocks[1][0].tally.infobiterrors, k.infobiterrors) << k.ledger;
    EXPECT_EQ(read.blocks[1][0].tally.iterations, 321);
  }
  // A header whose "infobits" is not a count of at least 1.
  for (const char *bad : {"0", "-2", "1.5", "\"48\""}) {
    std::string edited =
        std::regex_replace(h, std::regex("\"infobits\":48"), std::string("\"infobits\":") + bad);
    EXPECT_NE(
        parse(edited).find("L:1: the configuration's \"infobits\" is not an integer of at least 1"),
        std::string::npos)
        << bad << ": " << parse(edited);
  }
  // The writer writes the field where the configuration counts information
  // bits, and refuses errors where it counts none.
  tempdir dir;
  for (const bool counting : {true, false}) {
    const std::string path = dir.file(counting ? "i.ledger" : "p.ledger");
    ldpc::ledgerwriter w;
    ASSERT_EQ(w.open(path, counting ? c : sampleconfig(), {}, ldpc::ledgermode::create), "");
    ldpc::blocktally plainblock = t;
    plainblock.infobiterrors = 0;
    EXPECT_EQ(w.writeblock(1, 2, counting ? t : plainblock), "");
    EXPECT_NE(w.writeblock(1, 3, t).find(counting ? "" : "information-bit errors 4 outside 0..0"),
              std::string::npos);
    EXPECT_EQ(w.close(), "");
    ldpc::ledgercontents read;
    ASSERT_EQ(ldpc::readledger(path, &read), "");
    EXPECT_EQ(read.blocks[1][0].tally.infobiterrors, counting ? 4 : 0);
    EXPECT_EQ(readfile(path).find("infobiterrors") != std::string::npos, counting);
  }
}
