#include "cli.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "descfile.h"
#include "textio.h"

namespace tanner {

void usageerror(const std::string &command, const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner %s: %s\nTry 'tanner %s --help'.\n", command.c_str(),
               message.c_str(), command.c_str());
  std::exit(statususage);
}

void fail(const std::string &message) {
  endprogress();
  std::fflush(stdout);
  std::fprintf(stderr, "tanner: %s\n", message.c_str());
  std::exit(statusfailed);
}

bool ishelp(const char *arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

int parseint(const std::string &command, const std::string &option, const std::string &text) {
  errno = 0;
  char *end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX)
    usageerror(command, option + " takes an integer, not '" + text + "'");
  return static_cast<int>(value);
}

double parsedouble(const std::string &command, const std::string &option,
                   const std::string &text) {
  errno = 0;
  char *end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0)
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

ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors, ldpc::encoders *encoder) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path + ": " + std::strerror(errno));
  ldpc::textscanner in;
  ldpc::scanfromfd(&in, fd);
  auto *graph = static_cast<ldpc::graphs *>(ldpc::allocate(sizeof(ldpc::graphs)));
  ldpc::encoders scratch{};
  ldpc::encoders *target = encoder != nullptr ? encoder : &scratch;
  std::string error;
  bool ok = ldpc::parsegraph(&in, graph, target, &error, checkmirrors);
  ldpc::scanclose(&in);
  close(fd);
  if (!ok) fail(path + ": " + error);
  if (encoder == nullptr && scratch.gap >= 0) std::free(scratch.iphi);
  return graph;
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
  std::vector<std::string> parts = splitcommas(text);
  if (parts.size() == 3) {
    for (int k = 0; k < 3; ++k) {
      int word = parseint(command, "--seed", parts[k]);
      if (word < 0 || word > 65535)
        usageerror(command, "--seed words lie in 0..65535, not " + parts[k]);
      words[k] = static_cast<unsigned short>(word);
    }
    return;
  }
  errno = 0;
  char *end = nullptr;
  unsigned long long state = std::strtoull(text.c_str(), &end, 10);
  if (parts.size() != 1 || text.empty() || text[0] == '-' || *end != '\0' || errno != 0 ||
      state >= (1ULL << 48))
    usageerror(command, "--seed takes W0,W1,W2 or an integer below 2^48, not '" + text + "'");
  words[0] = static_cast<unsigned short>(state);
  words[1] = static_cast<unsigned short>(state >> 16);
  words[2] = static_cast<unsigned short>(state >> 32);
}

std::string formatseed(const unsigned short words[3]) {
  return std::to_string(words[0]) + "," + std::to_string(words[1]) + "," +
         std::to_string(words[2]);
}

}  // namespace tanner
