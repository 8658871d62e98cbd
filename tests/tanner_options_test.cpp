// The subcommands read from one option table: every option their --help
// names is taken (with the value of its kind), every other is refused with
// the table's message, and a missing value is named.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

// The --options a help text names (not --help itself).
std::set<std::string> namedoptions(const std::string &help) {
  std::set<std::string> names;
  const std::regex option("--[a-z][a-z0-9-]*");
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

// A valid value of each option that takes one, for the commands below.
const std::map<std::string, std::string> validvalue = {{"--channel", "bec"},
                                                       {"--method", "auto"},
                                                       {"--decoder", "spa"},
                                                       {"--schedule", "flooding"},
                                                       {"--simd", "batch"},
                                                       {"--codeword", "zero"},
                                                       {"--modulation", "bpsk"},
                                                       {"--demapper", "exact"},
                                                       {"--fading", "fast"},
                                                       {"--shard", "1/1"},
                                                       {"--replay", "0:0"},
                                                       {"--tolerance", "0.5"},
                                                       {"--precision", "2"},
                                                       {"--chains", "2"},
                                                       {"--max-decodes", "1000"},
                                                       {"--girth", "4"},
                                                       {"--rate", "0.5"},
                                                       {"--json", "x.json"},
                                                       {"--csv", "x.csv"},
                                                       {"--ledger", "x.ledger"},
                                                       {"--shifts", "x.txt"},
                                                       {"--degrees", "x.txt"},
                                                       {"--punctured", "0"},
                                                       {"--shortened", "0"},
                                                       {"--cdeg", "6"},
                                                       {"--vdeg", "3"},
                                                       {"--spa-approximation", "fast"}};

std::string valueof(const std::string &option) {
  const auto it = validvalue.find(option);
  return it == validvalue.end() ? "1" : it->second;
}

// The words of a space-separated list, in order and as a set.
std::vector<std::string> split(const std::string &list) {
  std::vector<std::string> items;
  std::istringstream in(list);
  for (std::string word; in >> word;) items.push_back(word);
  return items;
}

std::set<std::string> words(const std::string &list) {
  const std::vector<std::string> items = split(list);
  return {items.begin(), items.end()};
}

// A command on the option table and what its help says of its options.
struct optionrow {
  std::string command;                         // its words, space-separated
  std::string name;                            // as its messages name it
  std::string flags;                           // the options without a value the help names
  std::string valued;                          // those with a value
  std::string mentioned;                       // named by the help, options of other commands
  std::string beyond;                          // taken, though the help names them elsewhere
  std::string notonce;                         // may come again
  std::string twice;                           // the message of a repeat, after NAME
  std::string foreign;                         // refused as unknown
  std::map<std::string, std::string> missing;  // messages for a missing value
};

const std::string constructflags =
    "--alist --circulant --encoder --json --no-parallel --progress "
    "--unpadded --verbose ";
const std::string constructvalued = "--girth --seed --shifts --state ";
const std::string floorshared =
    "--alpha --beta --chains --decoder --iterations --max-decodes "
    "--no-early-stop --precision --progress --rate --schedule --seed "
    "--threads";
const std::map<std::string, std::string> shiftsmissing = {{"--shifts", "--shifts needs a file"}};

const optionrow largercommands[] = {
    {"threshold",
     "threshold",
     "--edge-fractions --json --progress",
     "--alpha --beta --cdeg --cfrac --channel --decoder --iterations --method --precision "
     "--punctured --range --step --tolerance --vdeg --vfrac",
     "--name",
     "",
     "",
     " is given twice",
     "--lift --length --sigma --jsn",
     {}},
    {"simulate",
     "simulate",
     "--all-points --edge-fractions --graphs --interleave --no-early-stop --no-parallel "
     "--progress --resume",
     "--alpha --beta --cdeg --cfrac --codeword --crossover --csv --decoder --demapper --ebn0 "
     "--erasure --fading --frames-per-graph --girth --iterations --json --ledger --length --lift "
     "--max-errors --max-frames --max-seconds --min-fer --modulation --punctured --quantization "
     "--rate --replay --schedule --seed --shard --shortened --sigma --simd --spa-approximation "
     "--threads --vdeg "
     "--vfrac",
     "--format --state --info --rv --lbrm",
     "",
     "--ebn0 --sigma --erasure --crossover",
     " is given twice",
     "--method --channel --checks --jsn",
     {{"--punctured", "--punctured needs a list of nodes"},
      {"--shortened", "--shortened needs a list of nodes"}}},
    {"simulate standard wifi",
     "simulate",
     "",
     "--info --rv --lbrm",
     "",
     "",
     "",
     " is given twice",
     "--state --list",
     {}},
    {"construct standard",
     "construct standard",
     "--alist --json --list --qc --unpadded",
     "--info --lbrm --length --lift --rate --rv",
     "",
     "",
     "",
     " is given twice",
     "--girth --state --verbose --jsn",
     {}},
    {"construct irregular", "construct", constructflags + "--edge-fractions",
     constructvalued + "--vdeg --vfrac --cdeg --cfrac --length", "--checks --degrees --lift", "",
     "", " is given twice", "--lift --checks --degrees --jsn", shiftsmissing},
    {"construct proto", "construct", constructflags, constructvalued + "--lift",
     "--checks --degrees --vdeg --vfrac --cdeg --cfrac --length --edge-fractions", "", "",
     " is given twice", "--vdeg --length --checks --edge-fractions --jsn", shiftsmissing},
    {"construct peg", "construct", constructflags,
     constructvalued + "--vdeg --vfrac --length --checks --degrees",
     "--cdeg --cfrac --lift --edge-fractions", "", "", " is given twice",
     "--lift --cdeg --cfrac --jsn", shiftsmissing},
    {"floor",
     "floor",
     "--check --no-early-stop --progress --resume",
     "--alpha --beta --chains --decoder --ebn0 --iterations --json --ledger --max-decodes "
     "--precision --rate --schedule --seed --sigma --threads",
     "",
     "",
     "",
     " given twice",
     "--top --max-size --lift --jsn",
     {}},
    {"trapping",
     "trapping",
     "--json",
     "--ebn0 --max-size --sigma --top",
     "",
     floorshared,
     "",
     " given twice",
     "--check --ledger --resume --jsn",
     {}},
    {"convert", "convert", "--encoder", "", "--codeword", "", "--encoder", "", "", {}},
    {"absorbing",
     "absorbing",
     "--json",
     "--max-size",
     "",
     "",
     "--json --max-size",
     "",
     "--ebn0 --top --jsn",
     {}},
};

// One option of a row: taken (whatever else goes wrong, it is not unknown),
// refused at its second name unless it may come again, and named when its
// value is missing. The code file does not exist: nothing runs.
void checkoption(const optionrow &r, const std::string &option, bool flag, const std::string &out) {
  const std::string at = "tanner " + r.name + ": ";
  const std::vector<std::string> command = split(r.command);
  std::vector<std::string> once = command, again = command, bare = command;
  for (std::vector<std::string> *args : {&once, &again, &again}) {
    args->push_back(option);
    if (!flag) args->push_back(valueof(option));
  }
  once.push_back(out);
  again.push_back(out);
  EXPECT_EQ(run(tanner, once).err.find("unknown option"), std::string::npos)
      << r.command << " " << option;
  if (words(r.notonce).count(option) == 0) {
    const runresult twice = run(tanner, again);
    EXPECT_EQ(twice.status, 2) << r.command << " " << option;
    EXPECT_NE(twice.err.find(at + option + r.twice), std::string::npos) << twice.err;
  }
  if (flag) return;
  bare.push_back(out);
  bare.push_back(option);
  const auto custom = r.missing.find(option);
  const std::string message =
      custom != r.missing.end() ? custom->second : option + " needs a value";
  const runresult valueless = run(tanner, bare);
  EXPECT_EQ(valueless.status, 2) << r.command << " " << option;
  EXPECT_NE(valueless.err.find(at + message), std::string::npos) << valueless.err;
}

// The commands on the option table beside those above: the options each
// help names (apart from mentioned, the options of other commands it
// names) are taken, each other is refused; an option given twice and one
// without its value are named with the established messages.
TEST(tanneroptions, the_larger_commands_take_every_option_their_help_names) {
  tempdir dir;
  const std::string out = dir.file("absent.code");
  for (const optionrow &r : largercommands) {
    const std::vector<std::string> command = split(r.command);
    std::vector<std::string> helpargs = command;
    helpargs.push_back("--help");
    const std::set<std::string> flags = words(r.flags), valued = words(r.valued);
    std::set<std::string> expected = words(r.flags + " " + r.valued + " " + r.mentioned);
    // simulate standard NAME has simulate's help
    if (command.size() < 3) {
      EXPECT_EQ(namedoptions(run(tanner, helpargs).out), expected) << r.command;
    }
    std::set<std::string> taken = words(r.flags + " " + r.valued + " " + r.beyond);
    for (const std::string &option : taken)
      checkoption(
          r, option,
          flags.count(option) != 0 ||
              (valued.count(option) == 0 && (option.find("--no-") == 0 || option == "--progress")),
          out);
    for (const std::string &other : words(r.foreign)) {
      std::vector<std::string> args = command;
      args.insert(args.end(), {other, "1", out});
      const runresult refused = run(tanner, args);
      EXPECT_EQ(refused.status, 2) << r.command << " " << other;
      EXPECT_NE(refused.err.find("tanner " + r.name + ": unknown option " + other),
                std::string::npos)
          << r.command << ": " << refused.err;
    }
  }
}

// convert reads its arguments as alistconv does: only the first --encoder
// is the option, every other argument (a second --encoder, "-x") is a
// file; --help wins wherever it comes.
TEST(tanneroptions, convert_takes_one_encoder_and_files) {
  tempdir dir;
  const std::string code = examples + "/hamming7.alist", out = dir.file("out.code");
  const std::string expects = "tanner convert: expects [--encoder] IN.alist OUT.code";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of standard error ("" none)
  } cases[] = {
      {{"convert", "--encoder", code, out}, 0, ""},
      {{"convert", code, out, "--encoder"}, 0, ""},
      {{"convert", "--encoder", "--encoder", code, out}, 2, expects},
      {{"convert", "--encoder", "--encoder", out}, 1, "--encoder"},
      {{"convert", "-x", out}, 1, "-x"},
      {{"convert", "--bogus", code, out}, 2, expects},
      {{"convert", "--encoder"}, 2, expects},
      {{"convert", code, out, "--bogus", "--help"}, 0, ""},
      {{"convert", "-h"}, 0, ""},
  };
  for (const auto &c : cases) {
    const runresult r = run(tanner, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << " " << r.err;
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    if (c.status == 0 && c.args.back() == "-h") {
      EXPECT_EQ(r.out, run(tanner, {"convert", "--help"}).out);
    }
  }
  EXPECT_NE(run(tanner, {"convert", "--help"}).out.find("  --encoder   also write"),
            std::string::npos);
}

}  // namespace
