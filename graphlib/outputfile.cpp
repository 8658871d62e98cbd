#include "outputfile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ldpc {

namespace {

std::string directoryof(const std::string &path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The path to replace: a symbolic link is followed to the file it names, so
// that the link stays and its target gets the new contents. A dangling link
// is followed too, link by link, so that its target is created.
std::string resolved(const char *path) {
  struct stat st;
  if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char *real = realpath(path, nullptr);
  if (real != nullptr) {
    std::string target(real);
    std::free(real);
    return target;
  }
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    ssize_t length = readlink(at.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return at;
    target.resize(static_cast<std::size_t>(length));
    at = target[0] == '/' ? target : directoryof(at) + "/" + target;
  }
  return at;  // a loop of links: opening it fails
}

// Temporary files being written, removed when a signal ends the process.
// The paths are copied into fixed storage so that the handler touches
// nothing but these arrays and async-signal-safe calls.
constexpr int pendingslots = 8;
constexpr int cleanupsignals[] = {SIGINT, SIGTERM, SIGHUP};
char pendingpath[pendingslots][PATH_MAX];
volatile std::sig_atomic_t pendingused[pendingslots];
struct sigaction previousaction[3];
int pendingcount = 0;  // outside the handler only

extern "C" void removependingfiles(int signal) {
  for (int k = 0; k < pendingslots; ++k)
    if (pendingused[k]) unlink(pendingpath[k]);
  // then the action the signal had before (by default, ending the process)
  for (int k = 0; k < 3; ++k)
    if (cleanupsignals[k] == signal) sigaction(signal, &previousaction[k], nullptr);
  raise(signal);
}

// Blocks the three signals while a temporary file is created or renamed and
// its slot updated.
struct signalblock {
  sigset_t old;
  signalblock() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : cleanupsignals) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &old);
  }
  ~signalblock() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

// Records path for removal; returns its slot, or -1 when none is free.
int recordpending(const std::string &path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int k = 0; k < pendingslots; ++k) {
    if (pendingused[k]) continue;
    std::memcpy(pendingpath[k], path.c_str(), path.size() + 1);
    pendingused[k] = 1;
    if (pendingcount++ == 0) {
      // A signal that is ignored (nohup) stays ignored.
      for (int i = 0; i < 3; ++i) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        sigaction(cleanupsignals[i], nullptr, &previousaction[i]);
        if (previousaction[i].sa_handler == SIG_IGN) continue;
        action.sa_handler = removependingfiles;
        sigemptyset(&action.sa_mask);
        for (int signal : cleanupsignals) sigaddset(&action.sa_mask, signal);
        sigaction(cleanupsignals[i], &action, nullptr);
      }
    }
    return k;
  }
  return -1;
}

void forgetpending(int slot) {
  if (slot < 0) return;
  pendingused[slot] = 0;
  if (--pendingcount == 0)
    for (int i = 0; i < 3; ++i)
      if (previousaction[i].sa_handler != SIG_IGN)
        sigaction(cleanupsignals[i], &previousaction[i], nullptr);
}

void removetemporary(outputfile *file) {
  signalblock blocked;
  unlink(file->temppath.c_str());
  forgetpending(file->pending);
  file->pending = -1;
}

}  // namespace

bool outputwritable(const char *path) {
  if (path == nullptr || *path == '\0') return false;
  struct stat st;
  if (stat(path, &st) == 0) {
    if (S_ISDIR(st.st_mode)) return false;
    return access(path, W_OK) == 0;
  }
  if (errno != ENOENT) return false;
  std::string dir = directoryof(resolved(path));
  return access(dir.c_str(), W_OK | X_OK) == 0;
}

bool outputopen(outputfile *file, const char *path) {
  file->fd = -1;
  file->direct = false;
  file->pending = -1;
  file->path = resolved(path);
  file->temppath.clear();
  if (path == nullptr || *path == '\0') {
    errno = ENOENT;
    return false;
  }

  // The file as an open would find it: stat follows every link, also those
  // of /proc that name no path (/dev/stdout on a pipe: "pipe:[N]"), which
  // resolved cannot follow.
  struct stat st;
  bool exists = stat(path, &st) == 0;

  // The program's own standard output or error (/dev/stdout, a shell
  // redirection named again): write through that descriptor, so that the
  // file offset is shared and nothing printed before or after is overwritten.
  for (int standard : {1, 2}) {
    struct stat own;
    if (exists && fstat(standard, &own) == 0 && own.st_dev == st.st_dev &&
        own.st_ino == st.st_ino) {
      std::fflush(standard == 1 ? stdout : stderr);
      file->direct = true;
      file->fd = dup(standard);
      return file->fd >= 0;
    }
  }
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    file->direct = true;
    file->path = path;
    file->fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    return file->fd >= 0;
  }
  // An existing file that may not be written stays untouched, as an open
  // for writing would have refused it.
  if (exists && access(file->path.c_str(), W_OK) != 0) return false;

  // a hidden name beside the target: ".NAME.tmpXXXXXX"
  std::string::size_type slash = file->path.rfind('/');
  std::string::size_type base = slash == std::string::npos ? 0 : slash + 1;
  std::string pattern = file->path.substr(0, base);
  pattern += '.';
  pattern.append(file->path, base, std::string::npos);
  pattern += ".tmpXXXXXX";
  {
    signalblock blocked;
    file->fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (file->fd < 0) return false;
    file->temppath = pattern;
    file->pending = recordpending(pattern);
  }

  // The new file gets the permissions of the one it replaces, or those that
  // a plain create would give.
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(file->fd, mode);
  return true;
}

bool outputcommit(outputfile *file) {
  int fd = file->fd;
  file->fd = -1;
  if (close(fd) != 0) {
    int saved = errno;
    if (!file->direct) removetemporary(file);
    errno = saved;
    return false;
  }
  if (file->direct) return true;
  signalblock blocked;
  if (rename(file->temppath.c_str(), file->path.c_str()) != 0) {
    int saved = errno;
    removetemporary(file);
    errno = saved;
    return false;
  }
  forgetpending(file->pending);
  file->pending = -1;
  return true;
}

void outputabort(outputfile *file) {
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
  if (!file->direct && !file->temppath.empty()) removetemporary(file);
}

writeoutcome writewhole(const char *path, const std::function<void(textwriter *)> &format,
                        std::string *error) {
  // The buffer first: running out of memory then ends the run before any
  // file has been created.
  textwriter out;
  writetofd(&out, -1);
  outputfile file;
  if (!outputopen(&file, path)) {
    writeclose(&out);
    return writeopenfailed;
  }
  out.fd = file.fd;
  format(&out);
  writeflush(&out);
  int writeerror = out.writeerror;
  writeclose(&out);
  if (writeerror != 0) {
    outputabort(&file);
    *error = std::string(path) + ": " + std::strerror(writeerror);
    return writefailed;
  }
  if (!outputcommit(&file)) {
    *error = std::string(path) + ": " + std::strerror(errno);
    return writefailed;
  }
  return writeok;
}

}  // namespace ldpc
