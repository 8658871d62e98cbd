// tanner merge: the ledgers of one run's shards (or of one run) merged into
// the rows, JSON and CSV of the one-process run.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli.h"
#include "ledgermerge.h"
#include "ledgeropts.h"
#include "optiontable.h"

namespace tanner {

namespace {

const char mergehead[] =
    "usage: tanner merge LEDGER... [--json FILE] [--csv FILE]\n"
    "\n"
    "Merges the ledgers of a run written by tanner simulate --ledger (the\n"
    "shards of --shard K/N, or one run's ledger): checks that they are of one\n"
    "configuration (the first difference named), takes their blocks in frame\n"
    "order and applies the run's stopping rules as one process does. Prints the\n"
    "table of the one-process run and writes its JSON and CSV: the same counts,\n"
    "bit for bit (Mb/s is 0: nothing is decoded). When the shards have not run\n"
    "far enough, says which shard must go on (resume it) or which is missing.\n"
    "The run is built again from the command recorded in the first ledger, in\n"
    "the directory it ran in: its code file must still be there, unchanged.\n"
    "\n";
const char mergetail[] =
    "\n"
    "Exit status: 0 merged, 1 a ledger refused or the shards short, 2 usage.\n";

const char *const command = "merge";

// Options of simulate that a merge's run leaves out: its own files, the
// ledgers and progress.
const std::set<std::string> dropped = {"--ledger", "--shard", "--json", "--csv"};
const std::set<std::string> droppedflags = {"--resume", "--progress"};

std::vector<std::string> splitlines(const std::string &text) {
  std::vector<std::string> lines;
  std::string::size_type from = 0;
  for (;;) {
    const std::string::size_type end = text.find('\n', from);
    lines.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) return lines;
    from = end + 1;
  }
}

// The ledger's string of key, or "" with a failure naming the ledger.
std::string infoof(const ldpc::ledgercontents &ledger, const std::string &key) {
  for (const auto &[name, value] : ledger.info)
    if (name == key) return value;
  fail(ledger.path + ": the ledger does not record its command's " + key +
       " (tanner simulate --ledger writes it)");
}

// The simulate command of the ledger's run, without its files and ledger.
std::vector<std::string> recordedcommand(const ldpc::ledgercontents &ledger) {
  std::vector<std::string> args, recorded = splitlines(infoof(ledger, "args"));
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    if (dropped.count(recorded[i]) != 0) {
      ++i;
      continue;
    }
    if (droppedflags.count(recorded[i]) == 0) args.push_back(recorded[i]);
  }
  return args;
}

}  // namespace

int mergecommand(int argc, char **argv) {
  std::vector<std::string> paths;
  std::string json, csv;
  // A file option given twice is refused once its second value is read.
  auto file = [](const char *name, std::string *target) {
    return [=](const std::string &value) {
      if (!target->empty()) usageerror(command, std::string(name) + " is given twice");
      *target = value;
    };
  };
  const std::vector<optionentry> table = {
      {"--json", optionkind::text,
       "  --json FILE   as tanner simulate --json (whole or not at all)\n", file("--json", &json)},
      {"--csv", optionkind::text, "  --csv FILE    as tanner simulate --csv\n",
       file("--csv", &csv)},
  };
  applyoptions(command, helptext(mergehead, table, mergetail).c_str(), table, argc, argv, &paths);
  if (paths.empty()) usageerror(command, "expects one ledger at least");
  std::vector<namedfile> inputs;
  for (const std::string &path : paths) inputs.push_back({"a ledger", path});
  checkdistinctfiles(command, inputs, {{"--json", json}, {"--csv", csv}});

  std::vector<ldpc::ledgercontents> ledgers(paths.size());
  for (std::size_t k = 0; k < paths.size(); ++k) {
    const std::string fault = ldpc::readledger(paths[k], &ledgers[k]);
    if (!fault.empty()) fail(fault);
  }
  std::vector<const ldpc::ledgercontents *> views;
  for (const ldpc::ledgercontents &ledger : ledgers) views.push_back(&ledger);
  ldpc::mergeresult merged;
  const std::string fault = ldpc::mergeledgers(views, &merged);
  if (!fault.empty()) fail(fault);
  if (!merged.verdict.complete) {
    std::fprintf(stderr, "tanner merge: %s\n", merged.shortfall.c_str());
    return statusfailed;
  }

  // The run is made again where it ran, so that its code file and the
  // table's header are as they were; the merge's own files stay where the
  // merge was asked for.
  std::vector<std::string> args = recordedcommand(ledgers.front());
  if (!json.empty()) args.insert(args.end(), {"--json", std::filesystem::absolute(json).string()});
  if (!csv.empty()) args.insert(args.end(), {"--csv", std::filesystem::absolute(csv).string()});
  const std::string directory = infoof(ledgers.front(), "directory");
  if (chdir(directory.c_str()) != 0)
    fail(ledgers.front().path + ": cannot enter the run's directory " + directory + ": " +
         std::strerror(errno));
  std::vector<char *> argp;
  for (std::string &arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);
  setmergesource(&ledgers);
  const int status = simulatecommand(static_cast<int>(args.size()), argp.data());
  setmergesource(nullptr);
  return status;
}

}  // namespace tanner
