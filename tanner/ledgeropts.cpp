// tanner simulate --ledger, --resume and --shard: the run's ledger opened,
// fed by the Monte-Carlo loop's block hooks, and closed; the merged ledgers
// of tanner merge as the loop's only source of blocks.
#include "ledgeropts.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <utility>

#include "cli.h"
#include "decoder.h"

namespace tanner {

namespace {

// The ledgers tanner merge has read, while it runs simulate.
const std::vector<ldpc::ledgercontents> *mergesource = nullptr;

// Arguments that a shell reads back as they are.
std::string shellquoted(const std::string &arg) {
  if (!arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./:,=+@%") == std::string::npos)
    return arg;
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'')
      quoted.append("'\\''");
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

std::string commandline(const std::vector<std::string> &args) {
  std::string text = "tanner simulate";
  for (const std::string &arg : args) {
    text.push_back(' ');
    text.append(shellquoted(arg));
  }
  return text;
}

// The command's arguments, one a line, for tanner merge.
std::string recordedargs(const std::vector<std::string> &args) {
  std::string text;
  for (const std::string &arg : args) {
    if (!text.empty()) text.push_back('\n');
    text.append(arg);
  }
  return text;
}

ldpc::blockcounts tocounts(const ldpc::blocktally &t) {
  return {t.frames,     t.frameerrors, t.biterrors,    t.undetected,
          t.iterations, t.seconds,     t.infobiterrors};
}

std::string hostname() {
  char name[256] = {0};
  return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

}  // namespace

bool takeledgeroption(const std::string &command, const std::string &arg, const std::string &value,
                      ledgeroptions *options) {
  if (arg == "--ledger") {
    if (value.empty()) usageerror(command, "--ledger takes a file");
    options->path = value;
    return true;
  }
  if (arg != "--shard") return false;
  const std::string::size_type slash = value.find('/');
  if (slash == std::string::npos) usageerror(command, "--shard takes K/N, not '" + value + "'");
  const int index = parsecount(command, arg, value.substr(0, slash), 1);
  const int count = parsecount(command, arg, value.substr(slash + 1), 1);
  if (index > count) usageerror(command, "--shard " + value + ": K must lie in 1 .. N");
  options->shard = {index, count};
  return true;
}

void checkledgeroptions(const std::string &command, const ledgeroptions &options, bool replay) {
  if (options.path.empty() && options.resume) usageerror(command, "--resume needs --ledger FILE");
  if (options.path.empty() && options.shard.count > 1)
    usageerror(command, "--shard needs --ledger FILE: a shard's blocks count only once merged");
  if (replay && !options.path.empty())
    usageerror(command, "--ledger has no effect with --replay, which decodes one frame");
  for (const std::string &arg : options.args)
    if (!options.path.empty() && arg.find('\n') != std::string::npos)
      usageerror(command, "an argument holds a line feed, which a ledger cannot record");
}

struct ledgerrun::state {
  enum { none, writing, merging } mode = none;
  ledgeroptions options;
  ldpc::ledgerwriter writer;
  ldpc::ledgercontents resumed;  // writing with --resume: what the ledger held
  ldpc::ledgerfault fault;       // the first failed write
  std::uint64_t hash = 0;        // of the run's configuration
};

ledgerrun::ledgerrun(const ledgeroptions &options, const ldpc::simulationsettings &run,
                     const ledgersubject &subject)
    : state_(std::make_unique<state>()) {
  state_->options = options;
  const ldpc::runconfig config = ldpc::ledgerconfig(run, subject);
  state_->hash = std::stoull(ldpc::confighash(config), nullptr, 16);
  if (mergesource != nullptr) {
    const ldpc::ledgercontents &first = mergesource->front();
    const std::string difference =
        ldpc::configdifference(first.config, first.path, config, "its command now");
    if (!difference.empty())
      fail(first.path + ": the run its command gives now is of another configuration (" +
           difference + "): has the code file changed?");
    state_->mode = state::merging;
    return;
  }
  if (options.path.empty()) return;
  const std::string fault = ldpc::configfault(config);
  if (!fault.empty()) fail(options.path + ": " + fault);
  const ldpc::ledgerinfo info = {{"command", commandline(options.args)},
                                 {"args", recordedargs(options.args)},
                                 {"directory", std::filesystem::current_path().string()},
                                 {"host", hostname()}};
  const std::string failure = state_->writer.open(
      options.path, config, options.shard,
      options.resume ? ldpc::ledgermode::resume : ldpc::ledgermode::create, &state_->resumed, info);
  if (!failure.empty()) fail(failure);
  if (!state_->writer.lockwarning().empty())
    std::fprintf(stderr, "tanner: warning: %s\n", state_->writer.lockwarning().c_str());
  state_->mode = state::writing;
}

ledgerrun::~ledgerrun() = default;

ldpc::simulationsettings ledgerrun::runsettings(const ldpc::simulationsettings &run) const {
  ldpc::simulationsettings s = run;
  if (state_->mode == state::writing && state_->options.shard.count > 1) {
    s.minfer = 0;
    s.stopwithouterrors = false;
  }
  if (state_->mode == state::merging) s.maxseconds = 0;
  return s;
}

void ledgerrun::hook(ldpc::simulationcallbacks *callbacks) {
  ldpc::blockhooks &hooks = callbacks->blocks;
  state *st = state_.get();
  if (st->mode == state::merging) {
    hooks.lookup = [](int point, std::int64_t block, ldpc::blockcounts *counts) {
      for (const ldpc::ledgercontents &ledger : *mergesource)
        if (const ldpc::blocktally *t = ldpc::findblock(ledger, point, block)) {
          *counts = tocounts(*t);
          return ldpc::blockorigin::known;
        }
      return ldpc::blockorigin::absent;
    };
    hooks.givenup = [](int point, std::int64_t block) {
      for (const ldpc::ledgercontents &ledger : *mergesource)
        if (ldpc::givenupin(ledger, point, block)) return true;
      return false;
    };
    return;
  }
  if (st->mode != state::writing) return;
  ldpc::hookledger(&st->writer, &st->resumed, st->options.shard, &st->fault, callbacks);
}

void ledgerrun::close() {
  if (state_->mode != state::writing) return;
  const std::string fault = state_->writer.close();
  const std::string first = state_->fault.first();
  if (!first.empty()) fail(first);
  if (!fault.empty()) fail(fault);
}

void ledgerrun::printresume() const {
  if (state_->mode != state::writing) return;
  std::vector<std::string> args = state_->options.args;
  bool resumes = false;
  for (const std::string &arg : args) resumes = resumes || arg == "--resume";
  if (!resumes) args.push_back("--resume");
  std::fprintf(stderr, "tanner: the finished blocks are in %s; resume with\n  %s\n",
               state_->options.path.c_str(), commandline(args).c_str());
}

const ldpc::ledgercontents *ledgerrun::resumed() const {
  return state_->mode == state::writing ? &state_->resumed : nullptr;
}

std::uint64_t ledgerrun::confighash() const { return state_->hash; }

std::string ledgerrun::recordblock(int point, std::int64_t block, const ldpc::blocktally &tally) {
  return state_->mode == state::writing ? state_->writer.writeblock(point, block, tally)
                                        : std::string();
}

std::string ledgerrun::recordgiveup(int point, std::int64_t block) {
  return state_->mode == state::writing ? state_->writer.writegiveup(point, block, "max seconds")
                                        : std::string();
}

void setmergesource(const std::vector<ldpc::ledgercontents> *ledgers) { mergesource = ledgers; }

}  // namespace tanner
