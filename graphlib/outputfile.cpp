#include "outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
// that the link stays and its target gets the new contents.
std::string resolved(const char *path) {
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    char *real = realpath(path, nullptr);
    if (real != nullptr) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
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
  file->path = resolved(path);
  file->temppath.clear();
  if (path == nullptr || *path == '\0') {
    errno = ENOENT;
    return false;
  }

  struct stat st;
  bool exists = stat(file->path.c_str(), &st) == 0;

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
    file->fd = open(file->path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
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
  file->fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (file->fd < 0) return false;
  file->temppath = pattern;

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
    if (!file->direct) unlink(file->temppath.c_str());
    errno = saved;
    return false;
  }
  if (file->direct) return true;
  if (rename(file->temppath.c_str(), file->path.c_str()) != 0) {
    int saved = errno;
    unlink(file->temppath.c_str());
    errno = saved;
    return false;
  }
  return true;
}

void outputabort(outputfile *file) {
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
  if (!file->direct && !file->temppath.empty()) unlink(file->temppath.c_str());
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
