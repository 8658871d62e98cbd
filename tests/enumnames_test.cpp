// Every enumeration the options name: the names users type, in the order of
// the enumerators, read back to their enumerator and printed as typed; a
// name that is none of them (another case, a prefix, empty) is refused and
// leaves the value as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "channel.h"
#include "constellation.h"
#include "decoder.h"
#include "demapper.h"
#include "enumnames.h"
#include "montecarlo.h"
#include "simulationcheck.h"
#include "stoppingrule.h"
#include "transmitchain.h"

namespace {

template <class E>
void checknames(const std::vector<std::string> &names, bool (*parse)(const std::string &, E *),
                const char *(*name)(E)) {
  for (std::size_t k = 0; k < names.size(); ++k) {
    E value = static_cast<E>(names.size() - 1 - k);
    ASSERT_TRUE(parse(names[k], &value)) << names[k];
    EXPECT_EQ(static_cast<std::size_t>(value), k) << names[k];
    EXPECT_EQ(std::string(name(value)), names[k]);
    std::string upper = names[k];
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string &wrong :
         {upper, names[k].substr(0, names[k].size() - 1), names[k] + " ", std::string()}) {
      E kept = static_cast<E>(k);
      EXPECT_FALSE(parse(wrong, &kept)) << "'" << wrong << "'";
      EXPECT_EQ(static_cast<std::size_t>(kept), k);
    }
  }
}

TEST(enumnames, each_option_value_reads_back_to_its_enumerator) {
  checknames<ldpc::channeltype>({"awgn", "bec", "bsc"}, ldpc::parsechannel, ldpc::channelname);
  checknames<ldpc::pointkind>({"ebn0", "sigma", "erasure", "crossover"}, ldpc::parsepointkind,
                              ldpc::pointkindname);
  checknames<ldpc::modulationkind>({"bpsk", "qpsk", "16qam", "64qam", "256qam"},
                                   ldpc::parsemodulation, ldpc::modulationname);
  checknames<ldpc::demapperkind>({"exact", "maxlog"}, ldpc::parsedemapper, ldpc::demappername);
  checknames<ldpc::codewordkind>({"zero", "random"}, ldpc::parsecodeword, ldpc::codewordname);
  checknames<ldpc::decoderalgorithm>({"spa", "minsum", "nms", "oms"}, ldpc::parsealgorithm,
                                     ldpc::algorithmname);
  checknames<ldpc::decoderschedule>({"flooding", "layered"}, ldpc::parseschedule,
                                    ldpc::schedulename);
}

// The names only printed: each enumerator's, and past the last one (a value
// no enumerator has) the fallback.
template <class E>
void checkprinted(const std::vector<std::string> &names, const char *(*name)(E),
                  const std::string &otherwise) {
  for (std::size_t k = 0; k <= names.size(); ++k)
    EXPECT_EQ(std::string(name(static_cast<E>(k))), k < names.size() ? names[k] : otherwise);
  EXPECT_EQ(std::string(name(static_cast<E>(-1))), otherwise);
}

TEST(enumnames, each_printed_value_has_its_name_and_an_unknown_one_the_fallback) {
  checkprinted<ldpc::pointend>({"running", "maxerrors", "maxframes", "givenup"}, ldpc::pointendname,
                               "running");
  checkprinted<ldpc::pointstop>({"errors", "frames", "time"}, ldpc::pointstopname, "");
}

TEST(enumnames, the_template_takes_the_first_of_equal_names) {
  const char *const names[] = {"a", "b", "a"};
  int value = -1;
  EXPECT_TRUE(ldpc::parseenumname(names, "a", &value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(ldpc::parseenumname(names, "b", &value));
  EXPECT_EQ(value, 1);
}

}  // namespace
