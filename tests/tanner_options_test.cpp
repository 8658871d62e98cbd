// The subcommands read from one option table: every option their --help
// names is taken (with the value of its kind), every other is refused with
// the table's message, and a missing value is named.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

// The --options a help text names (not --help itself).
std::set<std::string> namedoptions(const std::string &help) {
  std::set<std::string> names;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it)
    if (it->str() != "--help") names.insert(it->str());
  return names;
}

TEST(tanneroptions, each_option_of_the_help_is_taken_and_no_other) {
  const std::string code = examples + "/hamming7.alist";
  const struct {
    std::string command;
    std::set<std::string> options;    // as the help names them
    std::vector<std::string> values;  // a valid value per option, in order ("" flag)
  } cases[] = {
      {"dump", {"--what"}, {"1"}},
      {"check", {}, {}},
      {"stats", {"--json"}, {""}},
  };
  for (const auto &c : cases) {
    runresult help = run(tanner, {c.command, "--help"});
    ASSERT_EQ(help.status, 0) << c.command;
    EXPECT_EQ(run(tanner, {c.command, "-h"}).out, help.out);
    EXPECT_EQ(namedoptions(help.out), c.options) << c.command;
    std::size_t k = 0;
    for (const std::string &option : c.options) {
      std::vector<std::string> args = {c.command, option};
      if (!c.values[k].empty()) args.push_back(c.values[k]);
      args.push_back(code);
      runresult taken = run(tanner, args);
      EXPECT_EQ(taken.status, 0) << c.command << " " << option << ": " << taken.err;
      if (!c.values[k].empty()) {
        runresult bare = run(tanner, {c.command, code, option});
        EXPECT_EQ(bare.status, 2);
        EXPECT_NE(bare.err.find("tanner " + c.command + ": " + option + " needs a value"),
                  std::string::npos)
            << bare.err;
      }
      ++k;
    }
    // an option of another subcommand, and a misspelt one
    for (const char *other : {"--lift", "--jsn", "-x"}) {
      runresult refused = run(tanner, {c.command, other, code});
      EXPECT_EQ(refused.status, 2) << c.command << " " << other;
      EXPECT_NE(refused.err.find("tanner " + c.command + ": unknown option " + std::string(other)),
                std::string::npos)
          << refused.err;
    }
    // --help wins wherever it comes, before any fault of the others
    EXPECT_EQ(run(tanner, {c.command, "--bogus", "--help"}).status, 2);
    EXPECT_EQ(run(tanner, {c.command, code, "--help"}).out, help.out);
  }
}

}  // namespace
