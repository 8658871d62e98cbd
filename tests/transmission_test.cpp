// Transmission patterns: node lists, marking, the decoder's input from the
// sent bits (repeats add), the bits counted as errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transmission.h"

namespace {

using ldpc::bitstate;

}  // namespace

TEST(transmission, parses_node_lists) {
  struct listcase {
    std::string text;
    int n;
    std::vector<int> nodes;
  };
  const std::vector<listcase> cases = {
      {"0", 1, {0}},
      {"0-3,7", 8, {0, 1, 2, 3, 7}},
      {"5,2-2,0-1", 6, {5, 2, 0, 1}},
      {"0-767,9000", 9001,
       [] {
         std::vector<int> v;
         for (int i = 0; i <= 767; ++i) v.push_back(i);
         v.push_back(9000);
         return v;
       }()},
  };
  for (const listcase &c : cases) {
    std::vector<int> nodes;
    std::string error;
    EXPECT_TRUE(ldpc::parsenodelist(c.text, c.n, &nodes, &error)) << error;
    EXPECT_EQ(nodes, c.nodes) << c.text;
  }
}

TEST(transmission, names_every_fault_of_a_node_list) {
  struct faultcase {
    std::string text;
    int n;
    std::string message;
  };
  const std::vector<faultcase> cases = {
      {"", 10, "item 1 is empty; expected a node or a range A-B"},
      {"1,,2", 10, "item 2 is empty; expected a node or a range A-B"},
      {"1,", 10, "item 2 is empty; expected a node or a range A-B"},
      {"x", 10, "item 1, \"x\": not a node number or a range A-B"},
      {"-1", 10, "item 1, \"-1\": not a node number or a range A-B"},
      {"3-", 10, "item 1, \"3-\": not a node number or a range A-B"},
      {"1-2-3", 10, "item 1, \"1-2-3\": not a node number or a range A-B"},
      {"0, 1", 10, "item 2, \" 1\": not a node number or a range A-B"},
      {"99999999999", 10, "item 1, \"99999999999\": not a node number or a range A-B"},
      {"0,900-100", 1000,
       "item 2, \"900-100\": the range runs backwards; write the smaller node first"},
      {"0-100", 50, "item 1, \"0-100\": node 100 is outside 0..49"},
      {"50", 50, "item 1, \"50\": node 50 is outside 0..49"},
  };
  for (const faultcase &c : cases) {
    std::vector<int> nodes;
    std::string error;
    EXPECT_FALSE(ldpc::parsenodelist(c.text, c.n, &nodes, &error)) << c.text;
    EXPECT_EQ(error, c.message);
  }
}

TEST(transmission, marks_punctured_and_shortened_nodes) {
  ldpc::transmission p = ldpc::sendall(6);
  std::string error;
  ASSERT_TRUE(ldpc::markpattern(&p, {0, 1}, {5}, &error)) << error;
  EXPECT_EQ(p.state,
            (std::vector<bitstate>{bitstate::punctured, bitstate::punctured, bitstate::sent,
                                   bitstate::sent, bitstate::sent, bitstate::shortened}));
  EXPECT_EQ(p.order, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(ldpc::patternfault(p, 6), "");
  EXPECT_EQ(ldpc::countstate(p, bitstate::punctured), 2);
  EXPECT_EQ(ldpc::sentbits(p), 3);
  EXPECT_EQ(ldpc::countedbits(p), (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 0}));
  ldpc::transmission q = ldpc::sendall(4);
  EXPECT_FALSE(ldpc::markpattern(&q, {1, 2}, {2}, &error));
  EXPECT_EQ(error, "node 2 is both punctured and shortened");
  EXPECT_EQ(q.order, (std::vector<int>{0, 1, 2, 3}));  // left as it was
}

TEST(transmission, finds_broken_patterns) {
  ldpc::transmission p = ldpc::sendall(3);
  EXPECT_EQ(ldpc::patternfault(p, 4), "the pattern has 3 states for 4 nodes");
  p.order = {0, 1, 3};
  EXPECT_EQ(ldpc::patternfault(p, 3), "transmission 2 names node 3, outside 0..2");
  p.order = {0, 1};
  EXPECT_EQ(ldpc::patternfault(p, 3), "node 2 is in the sent state but never sent");
  p.state[1] = bitstate::punctured;
  EXPECT_EQ(ldpc::patternfault(p, 3),
            "transmission 1 sends node 1, which is not in the sent state");
}

// The decoder's input: sums over copies, 0 for punctured, the given value
// for shortened nodes; with every node sent once the frame passes unchanged.
TEST(transmission, turns_a_frame_into_the_decoder_input) {
  ldpc::transmission p;
  p.state = {bitstate::sent, bitstate::punctured, bitstate::sent, bitstate::shortened};
  p.order = {2, 0, 2, 2};
  const double frame[4] = {1.5, -2.0, 0.25, -4.0};
  double llr[4] = {9, 9, 9, 9};
  ldpc::channeltodecoder(p, frame, llr, 100.0);
  EXPECT_EQ(llr[0], -2.0);
  EXPECT_EQ(llr[1], 0.0);
  EXPECT_EQ(llr[2], 1.5 + 0.25 - 4.0);
  EXPECT_EQ(llr[3], 100.0);
  ldpc::channeltodecoder(p, frame, llr);
  EXPECT_EQ(llr[3], 1023.0 / 8.0);

  ldpc::transmission all = ldpc::sendall(4);
  ldpc::channeltodecoder(all, frame, llr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(llr[i], frame[i]);
}

TEST(transmission, follows_the_flags_of_a_base_matrix) {
  ldpc::qcmatrix qc;
  qc.columns = 3;
  qc.rows = 1;
  qc.lift = 2;
  qc.shifts = {0, 0, 0};
  EXPECT_EQ(ldpc::qcpattern(qc).order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  qc.transmitted = {1, 0, 1};
  ldpc::transmission p = ldpc::qcpattern(qc);
  EXPECT_EQ(p.order, (std::vector<int>{0, 1, 4, 5}));
  EXPECT_EQ(ldpc::countstate(p, bitstate::punctured), 2);
  EXPECT_EQ(p.state[2], bitstate::punctured);
  EXPECT_EQ(p.state[3], bitstate::punctured);
}
