#include "progress.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

namespace tanner {

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
  const bool due =
      progressonterminal != 0 || progressseconds == 1 || progressseconds % progresspiped == 0;
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

}  // namespace tanner
