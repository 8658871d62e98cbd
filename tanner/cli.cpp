#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "alist.h"
#include "descfile.h"
#include "graphfile.h"
#include "outputfile.h"
#include "ldpcgraph_version.h"
#include "textio.h"

namespace tanner {

void usageerror(const std::string &command, const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner %s: %s\nTry 'tanner %s --help'.\n", command.c_str(),
               message.c_str(), command.c_str());
  finish(statususage);
}

void fail(const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner: %s\n", message.c_str());
  finish(statusfailed);
}

bool ishelp(const char *arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

namespace {

// Whether text is digits only (at least one), after one leading '-' when
// sign is set.
bool isnumeral(const std::string &text, bool sign) {
  std::string::size_type start = sign && !text.empty() && text[0] == '-' ? 1 : 0;
  if (start == text.size()) return false;
  for (std::string::size_type i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

int parseint(const std::string &command, const std::string &option, const std::string &text) {
  errno = 0;
  char *end = nullptr;
  long value = isnumeral(text, true) ? std::strtol(text.c_str(), &end, 10) : 0;
  if (!isnumeral(text, true) || *end != '\0' || errno != 0 || value < INT32_MIN ||
      value > INT32_MAX)
    usageerror(command, option + " takes an integer, not '" + text + "'");
  return static_cast<int>(value);
}

int parsecount(const std::string &command, const std::string &option, const std::string &text,
               int least) {
  int value = parseint(command, option, text);
  if (value < least)
    usageerror(command, option + " must be at least " + std::to_string(least) + ", not " + text);
  return value;
}

double parsedouble(const std::string &command, const std::string &option,
                   const std::string &text) {
  errno = 0;
  char *end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) ||
      std::isspace(static_cast<unsigned char>(text[0])) != 0)
    usageerror(command, option + " takes a number, not '" + text + "'");
  return value;
}

namespace {

std::vector<std::string> splitcommas(const std::string &text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

}  // namespace

std::vector<int> parseintlist(const std::string &command, const std::string &option,
                              const std::string &text) {
  std::vector<int> values;
  for (const std::string &part : splitcommas(text)) values.push_back(parseint(command, option, part));
  return values;
}

std::vector<double> parsedoublelist(const std::string &command, const std::string &option,
                                    const std::string &text) {
  std::vector<double> values;
  for (const std::string &part : splitcommas(text))
    values.push_back(parsedouble(command, option, part));
  return values;
}

int takedistributionoption(const std::string &command, const std::string &arg, const char *value,
                           distributionargs *distribution) {
  if (arg == "--edge-fractions") {
    distribution->edgefractions = true;
    return 1;
  }
  if (arg != "--vdeg" && arg != "--cdeg" && arg != "--vfrac" && arg != "--cfrac") return 0;
  if (value == nullptr) usageerror(command, arg + " needs a value");
  if (arg == "--vdeg")
    distribution->vdeg = parseintlist(command, arg, value);
  else if (arg == "--cdeg")
    distribution->cdeg = parseintlist(command, arg, value);
  else if (arg == "--vfrac")
    distribution->vfrac = parsedoublelist(command, arg, value);
  else
    distribution->cfrac = parsedoublelist(command, arg, value);
  return 2;
}

void checkfractions(const std::string &command, const char *option,
                    const std::vector<double> &fractions) {
  std::string why;
  if (!ldpc::fractionsusable(fractions, &why)) usageerror(command, std::string(option) + " " + why);
}

void checkdistributionargs(const std::string &command, const distributionargs &distribution,
                           std::optional<int> length) {
  const std::string fault =
      ldpc::irregularinputfault(distribution.vdeg, distribution.vfrac, distribution.cdeg,
                                distribution.cfrac, length, "--");
  if (!fault.empty()) usageerror(command, fault);
}

namespace {

// Ends the process with a message naming path when a reader did not succeed:
// the system's reason when the file could not be opened, else the reader's.
void failunread(const std::string &path, ldpc::readoutcome outcome, const std::string &error) {
  switch (outcome) {
    case ldpc::readok:
      return;
    case ldpc::readopenfailed:
      fail(path + ": " + std::strerror(errno));
    case ldpc::readmalformed:
      fail(path + ": " + error);
  }
}

}  // namespace

ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors, ldpc::encoders *encoder) {
  auto *graph = ldpc::allocatearray<ldpc::graphs>(1);
  ldpc::encoders scratch{};
  ldpc::encoders *target = encoder != nullptr ? encoder : &scratch;
  std::string error;
  const ldpc::readoutcome outcome =
      ldpc::readgraphfile(path.c_str(), graph, target, &error, checkmirrors);
  failunread(path, outcome, error);
  if (encoder == nullptr && scratch.gap >= 0) std::free(scratch.iphi);
  return graph;
}

ldpc::graphs *loadprotograph(const std::string &protofile, int lift) {
  // The file is read here by name, so that paths of any length work.
  ldpc::graphs *protograph = nullptr;
  std::string error;
  const ldpc::readoutcome outcome = ldpc::readprotofile(protofile.c_str(), &protograph, &error);
  failunread(protofile, outcome, error);
  std::string unusable = ldpc::unliftable(protograph, lift);
  if (!unusable.empty()) fail(protofile + ": " + unusable);
  return protograph;
}

namespace {

[[noreturn]] void failwritable(const std::string &path) {
  fail(ldpc::openforwritingmessage(path, errno));
}

}  // namespace

void writegraph(const ldpc::graphs *graph, const std::string &path, bool alist, bool padded) {
  std::string error;
  ldpc::writeoutcome outcome;
  if (alist) {
    outcome = ldpc::writealistfile(graph, path.c_str(), padded, &error);
  } else {
    ldpc::encoders encoder{};
    encoder.gap = -1;
    outcome = ldpc::writegraphfile(graph, &encoder, path.c_str(), &error);
  }
  if (outcome == ldpc::writeopenfailed) failwritable(path);
  if (outcome == ldpc::writefailed) fail(error);
}

void checkwritable(const std::string &path) {
  if (!ldpc::outputwritable(path.c_str())) failwritable(path);
}

bool isversion(const char *arg) { return std::strcmp(arg, "--version") == 0; }

void printversion() { std::printf("tanner (ldpcgraph) %s\n", LDPCGRAPH_VERSION); }

void finish(int status) {
  endprogress();
  bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  int reason = errno;
  if (std::fclose(stdout) != 0 && !failed) {
    failed = true;
    reason = errno;
  }
  if (failed) {
    std::fprintf(stderr, "tanner: cannot write standard output: %s\n", std::strerror(reason));
    std::_Exit(statusfailed);
  }
  std::exit(status);
}

std::vector<char *> splitoptions(int argc, char **argv) {
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    char *equals = std::strchr(argv[i], '=');
    if (std::strncmp(argv[i], "--", 2) == 0 && equals != nullptr && equals > argv[i] + 2) {
      *equals = '\0';
      args.push_back(argv[i]);
      args.push_back(equals + 1);
    } else {
      args.push_back(argv[i]);
    }
  }
  args.push_back(nullptr);
  return args;
}

namespace {

// The progress line is written by a once-a-second timer signal, so that any
// long step shows it, whether or not it reports how far it has come. The
// handler reads only these variables and writes with write(2).
volatile std::sig_atomic_t progressseconds = 0;
volatile std::sig_atomic_t progresspercent = -1;
const char *volatile progresslabel = "working";
volatile std::sig_atomic_t progressshown = 0;
bool progressrunning = false;

void appendnumber(char *line, std::size_t *length, long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) line[(*length)++] = digits[--n];
}

void progresstick(int) {
  int saved = errno;
  progressseconds = progressseconds + 1;
  char line[128];
  std::size_t length = 0;
  line[length++] = '\r';
  for (const char *p = progresslabel; *p != '\0' && length < 80; ++p) line[length++] = *p;
  line[length++] = ':';
  line[length++] = ' ';
  if (progresspercent >= 0) {
    appendnumber(line, &length, progresspercent);
    line[length++] = '%';
  } else {
    appendnumber(line, &length, progressseconds);
    line[length++] = ' ';
    line[length++] = 's';
  }
  std::memcpy(line + length, "\033[K", 3);
  length += 3;
  ssize_t ignored = write(2, line, length);
  (void)ignored;
  progressshown = 1;
  errno = saved;
}

}  // namespace

void startprogress(const char *label) {
  if (isatty(2) == 0) return;
  progresslabel = label;
  struct sigaction action {};
  action.sa_handler = progresstick;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  struct itimerval every = {{1, 0}, {1, 0}};
  setitimer(ITIMER_REAL, &every, nullptr);
  progressrunning = true;
}

void showprogress(std::int64_t done, std::int64_t total, const char *what) {
  if (!progressrunning) return;
  progresslabel = what;
  progresspercent = total > 0 ? static_cast<int>(100 * done / total) : -1;
}

void endprogress() {
  if (!progressrunning) return;
  struct itimerval stop = {{0, 0}, {0, 0}};
  setitimer(ITIMER_REAL, &stop, nullptr);
  progressrunning = false;
  if (progressshown != 0) {
    ssize_t ignored = write(2, "\r\033[K", 4);
    (void)ignored;
    progressshown = 0;
  }
}

void parseseed(const std::string &command, const std::string &text, unsigned short words[3]) {
  if (!ldpc::parsestreamstate(text.c_str(), words))
    usageerror(command, "--seed takes W0,W1,W2 (each 0..65535) or an integer below 2^48, not '" +
                            text + "'");
}

std::string formatseed(const unsigned short words[3]) {
  char text[ldpc::streamstatechars];
  ldpc::formatstreamstate(words, text);
  return text;
}

std::string jsonstring(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace tanner
