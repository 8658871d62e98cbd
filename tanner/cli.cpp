#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
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

namespace {

// Whether text is a decimal number: an optional sign, digits with at most
// one point among or around them, and an optional exponent; no blanks, no
// hexadecimal, no inf or nan.
bool isdecimal(const std::string &text) {
  std::string::size_type i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  int digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9')
      ++digits;
    else if (text[i] == '.' && !point)
      point = true;
    else
      break;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
      if (text[i] < '0' || text[i] > '9') return false;
  }
  return i == text.size();
}

}  // namespace

double parsedouble(const std::string &command, const std::string &option,
                   const std::string &text) {
  errno = 0;
  char *end = nullptr;
  double value = isdecimal(text) ? std::strtod(text.c_str(), &end) : 0.0;
  if (!isdecimal(text) || *end != '\0' || errno != 0 || !std::isfinite(value))
    usageerror(command, option + " takes a decimal number, not '" + text + "'");
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

ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors, ldpc::encoders *encoder,
                           const std::string &protohint) {
  auto *graph = ldpc::allocatearray<ldpc::graphs>(1);
  ldpc::encoders scratch{};
  ldpc::encoders *target = encoder != nullptr ? encoder : &scratch;
  std::string error;
  const ldpc::readoutcome outcome =
      ldpc::readgraphfile(path.c_str(), graph, target, &error, checkmirrors);
  // A proto-file where a code was expected reads as a malformed code file:
  // say what it is and what to type.
  ldpc::graphs *protograph = nullptr;
  std::string ignored;
  if (outcome == ldpc::readmalformed &&
      ldpc::readprotofile(path.c_str(), &protograph, &ignored) == ldpc::readok) {
    ldpc::freegraph(protograph);
    std::free(protograph);
    fail(path + ": this is a proto-file (a protograph), not a code; " +
         (protohint.empty() ? "build a code from it with 'tanner construct proto " + path +
                                  " --lift L OUT'"
                            : "type '" + protohint + "'"));
  }
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

namespace {

// What names a file for the comparison of inputs and outputs: the device
// and inode of an existing regular file, or those of the directory of a
// path that does not exist yet with its last name. Devices, terminals and
// pipes are not compared: any number of writers may share them.
struct fileidentity {
  bool comparable = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  bool operator==(const fileidentity &other) const {
    return comparable && other.comparable && device == other.device && inode == other.inode &&
           name == other.name;
  }
};

fileidentity identify(const std::string &path) {
  fileidentity id;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    id.comparable = S_ISREG(st.st_mode);
    id.device = st.st_dev;
    id.inode = st.st_ino;
    return id;
  }
  struct stat link;
  if (errno != ENOENT || lstat(path.c_str(), &link) == 0) return id;  // a dangling link
  const std::string::size_type slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(directory.c_str(), &st) != 0) return id;
  id.comparable = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.name = slash == std::string::npos ? path : path.substr(slash + 1);
  return id;
}

}  // namespace

void checkdistinctfiles(const std::string &command, const std::vector<namedfile> &inputs,
                        const std::vector<namedfile> &outputs) {
  std::vector<fileidentity> seen;
  for (const namedfile &file : inputs) seen.push_back(identify(file.path));
  std::vector<namedfile> named = inputs;
  for (const namedfile &output : outputs) {
    if (output.path.empty()) continue;
    const fileidentity id = identify(output.path);
    for (std::size_t k = 0; k < seen.size(); ++k)
      if (id == seen[k])
        usageerror(command, output.role + " " + output.path + " is the same file as " +
                                named[k].role + " " + named[k].path +
                                (k < inputs.size() ? "; writing it would destroy the input" : ""));
    seen.push_back(id);
    named.push_back(output);
  }
}

bool isversion(const char *arg) { return std::strcmp(arg, "--version") == 0; }

void printversion() { std::printf("tanner (ldpcgraph) %s\n", LDPCGRAPH_VERSION); }

namespace {

// The reason of the first write to standard output that failed, 0 while
// none has.
int outputfault = 0;

}  // namespace

void flushoutput() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return;
  outputfault = outputfault != 0 ? outputfault : errno;
  endprogress();
  std::fprintf(stderr, "tanner: cannot write standard output: %s\n", std::strerror(outputfault));
  std::_Exit(statusfailed);
}

void finish(int status) {
  endprogress();
  bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  int reason = outputfault != 0 ? outputfault : errno;
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
// handler reads only these variables and writes with write(2). On a
// terminal the line is rewritten in place every second; elsewhere (with
// --progress) a line of its own is written after the first second and then
// every progresspiped seconds. A
// step that describes its progress in words (showprogresstext) writes its
// lines itself, from the thread that reports, and the handler then stays
// silent.
constexpr int progresspiped = 5;
volatile std::sig_atomic_t progressseconds = 0;
volatile std::sig_atomic_t progresspercent = -1;
const char *volatile progresslabel = "working";
volatile std::sig_atomic_t progressshown = 0;
volatile std::sig_atomic_t progresstextmode = 0;
volatile std::sig_atomic_t progressonterminal = 0;
bool progressrunning = false;
bool progressforced = false;
std::chrono::steady_clock::time_point lastprogresstext;

void appendnumber(char *line, std::size_t *length, long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) line[(*length)++] = digits[--n];
}

// One progress line: in place on a terminal, else a line of its own.
void writeprogressline(const char *body, std::size_t size) {
  char line[200];
  std::size_t length = 0;
  if (progressonterminal != 0) line[length++] = '\r';
  for (std::size_t k = 0; k < size && length < 190; ++k) line[length++] = body[k];
  if (progressonterminal != 0) {
    std::memcpy(line + length, "\033[K", 3);
    length += 3;
  } else {
    line[length++] = '\n';
  }
  ssize_t ignored = write(2, line, length);
  (void)ignored;
  progressshown = 1;
}

void progresstick(int) {
  int saved = errno;
  progressseconds = progressseconds + 1;
  const bool due = progressonterminal != 0 || progressseconds == 1 ||
                   progressseconds % progresspiped == 0;
  if (progresstextmode != 0 || !due) {
    errno = saved;
    return;
  }
  char line[128];
  std::size_t length = 0;
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
  writeprogressline(line, length);
  errno = saved;
}

}  // namespace

void startprogress(const char *label) {
  progresslabel = label;
  // isatty sets errno when it says no; a later report of a failed write
  // must not find that.
  const int saved = errno;
  progressonterminal = isatty(2) != 0 ? 1 : 0;
  errno = saved;
  if (progressonterminal == 0 && !progressforced) return;
  if (progressrunning) return;
  progresstextmode = 0;
  struct sigaction action {};
  action.sa_handler = progresstick;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  struct itimerval every = {{1, 0}, {1, 0}};
  setitimer(ITIMER_REAL, &every, nullptr);
  progressrunning = true;
}

void forceprogress() {
  progressforced = true;
  startprogress(progresslabel);
}

void showprogress(std::int64_t done, std::int64_t total, const char *what) {
  if (!progressrunning) return;
  progresslabel = what;
  progresspercent = total > 0 ? static_cast<int>(100 * done / total) : -1;
}

void showprogresstext(const std::string &text) {
  if (!progressrunning) return;
  progresstextmode = 1;
  const auto now = std::chrono::steady_clock::now();
  const auto interval = std::chrono::seconds(progressonterminal != 0 ? 1 : progresspiped);
  if (now - lastprogresstext < interval) return;
  lastprogresstext = now;
  writeprogressline(text.data(), text.size());
}

void endprogress() {
  if (!progressrunning) return;
  struct itimerval stop = {{0, 0}, {0, 0}};
  setitimer(ITIMER_REAL, &stop, nullptr);
  progressrunning = false;
  progresstextmode = 0;
  if (progressshown != 0 && progressonterminal != 0) {
    ssize_t ignored = write(2, "\r\033[K", 4);
    (void)ignored;
  }
  progressshown = 0;
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
