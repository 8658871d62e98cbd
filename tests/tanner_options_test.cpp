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

// The messages of the table's parser where options repeat or lack their
// values: a once-only option is refused at its second name, before its
// value; a file option of merge once its second value is read.
TEST(tanneroptions, repeated_and_valueless_options_are_named) {
  const std::string code = examples + "/hamming7.alist";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"encode", code, "--random"}, "--random needs a value"},
      {{"encode", code, "--random", "2", "--random"}, "--random is given twice"},
      {{"encode", code, "--positions", "--positions"}, "--positions is given twice"},
      {{"encode", code, "--positions", "--seed"}, "--seed needs a value"},
      {{"encode", code, "--seed", "3", "--positions"}, "--seed applies to --random only"},
      {{"encode", code, "--memory", "0", "--positions"}, "--memory"},
      {{"encode", "--bogus"}, "unknown option --bogus"},
      {{"merge", "a", "--json", "x", "--json", "y"}, "--json is given twice"},
      {{"merge", "a", "--csv", "x", "--csv"}, "--csv needs a value"},
      {{"merge", "--jsn"}, "unknown option --jsn"},
      {{"merge"}, "expects one ledger at least"},
      {{"export", code, "--lift"}, "--lift needs a value"},
      {{"export", "-x"}, "unknown option -x"},
      {{"export", "--qc", "--unpadded", code, "out.qc"}, "--unpadded applies to alist output"},
  };
  for (const auto &c : cases) {
    runresult r = run(tanner, c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.message;
    EXPECT_NE(r.err.find("tanner " + c.args[0] + ": " + c.message), std::string::npos) << r.err;
  }
  // the help texts are built from the tables: every option line in order
  const runresult encodehelp = run(tanner, {"encode", "--help"});
  std::size_t at = 0;
  for (const char *line :
       {"  --random N", "  --seed S", "  --positions", "  --memory MIB", "  --verbose"}) {
    at = encodehelp.out.find(line, at);
    EXPECT_NE(at, std::string::npos) << line;
  }
  EXPECT_NE(run(tanner, {"merge", "-h"}).out.find("  --json FILE   as tanner simulate --json"),
            std::string::npos);
}

}  // namespace
