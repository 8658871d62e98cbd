#include "textio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "allocate.h"

namespace ldpc {

namespace {

bool isblank(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isdigit(char c) { return c >= '0' && c <= '9'; }

// Moves the unread characters to the front and fills the rest of the buffer.
// Returns false when nothing more could be read.
bool refill(textscanner *in) {
  if (in->atend) return false;
  std::size_t left = in->end > in->pos ? static_cast<std::size_t>(in->end - in->pos) : 0;
  if (left > 0 && left <= in->capacity && in->pos != in->buffer)
    std::memmove(in->buffer, in->pos, left);
  in->pos = in->buffer;
  in->end = in->buffer + left;
  while (left < in->capacity) {
    ssize_t got = read(in->fd, in->buffer + left, in->capacity - left);
    if (got < 0) {
      if (errno == EINTR) continue;
      in->readerror = errno;
      in->atend = true;
      break;
    }
    if (got == 0) {
      in->atend = true;
      break;
    }
    left += static_cast<std::size_t>(got);
    in->end = in->buffer + left;
    break;  // use what arrived; read again when it is consumed
  }
  return in->pos < in->end;
}

// Ensures at least one unread character; false at the end.
inline bool available(textscanner *in) { return in->pos < in->end || refill(in); }

// Passes over white space and, when enabled, comment lines.
void skipblanks(textscanner *in) {
  for (;;) {
    while (in->pos < in->end) {
      char c = *in->pos;
      if (c == '\n') {
        ++in->line;
        in->linestart = true;
      } else if (c == '#' && in->linestart && in->hashcomments) {
        // a comment line: pass over it up to its line feed
        for (;;) {
          const char *nl = static_cast<const char *>(
              std::memchr(in->pos, '\n', static_cast<std::size_t>(in->end - in->pos)));
          if (nl != nullptr) {
            in->pos = nl;
            break;
          }
          in->pos = in->end;
          if (!refill(in)) return;
        }
        continue;
      } else if (!isblank(c)) {
        return;
      }
      ++in->pos;
    }
    if (!refill(in)) return;
  }
}

}  // namespace

int openforreading(const char *path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  int reason = 0;
  if (fstat(fd, &st) != 0)
    reason = errno;
  else if (S_ISDIR(st.st_mode))
    reason = EISDIR;
  if (reason == 0) return fd;
  close(fd);
  errno = reason;
  return -1;
}

void scanfromfd(textscanner *in, int fd, std::size_t capacity) {
  if (capacity == 0) capacity = 1;
  in->fd = fd;
  in->buffer = allocatearray<char>(static_cast<std::int64_t>(capacity));
  in->capacity = in->buffer != nullptr ? capacity : 0;
  in->pos = in->end = in->buffer;
  in->atend = in->buffer == nullptr;
  in->readerror = in->buffer == nullptr ? ENOMEM : 0;
  in->hashcomments = false;
  in->linestart = true;
  in->line = 1;
}

void scanfrommemory(textscanner *in, const char *data, std::size_t size) {
  in->fd = -1;
  in->buffer = nullptr;
  in->capacity = 0;
  in->pos = data;
  in->end = data + size;
  in->atend = true;
  in->readerror = 0;
  in->hashcomments = false;
  in->linestart = true;
  in->line = 1;
}

void scanclose(textscanner *in) {
  std::free(in->buffer);
  in->buffer = nullptr;
  in->pos = in->end = nullptr;
  in->atend = true;
}

scanresult scanintslow(textscanner *in, int *value) {
  skipblanks(in);
  if (in->pos >= in->end) return in->readerror != 0 ? scanioerror : scanend;
  in->linestart = false;

  // Fast path: the whole token lies in the buffer with room to spare.
  const char *p = in->pos;
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
    if (p == in->end && !in->atend) {
      // sign at the end of the chunk: get the digit behind it
      std::size_t offset = static_cast<std::size_t>(p - in->pos);
      refill(in);
      p = in->pos + offset;
    }
  }
  if (p >= in->end || !isdigit(*p)) return scannotnumber;

  // Accumulate as a negative number so that INT_MIN fits.
  std::int64_t acc = 0;
  bool overflow = false;
  for (;;) {
    while (p < in->end && isdigit(*p)) {
      if (!overflow) {
        acc = acc * 10 - (*p - '0');
        if (acc < static_cast<std::int64_t>(INT_MIN)) overflow = true;
      }
      ++p;
    }
    if (p < in->end || in->atend) break;
    // the digits run to the end of the chunk: consume them and read on
    in->pos = p;
    if (!refill(in)) break;
    p = in->pos;
  }
  in->pos = p;
  if (!negative) {
    if (overflow || acc < -static_cast<std::int64_t>(INT_MAX)) return scanrange;
    *value = static_cast<int>(-acc);
  } else {
    if (overflow) return scanrange;
    *value = static_cast<int>(acc);
  }
  return scanned;
}

std::int64_t scanremaining(textscanner *in) {
  std::int64_t buffered = in->end > in->pos ? in->end - in->pos : 0;
  if (in->fd < 0 || in->atend) return buffered;
  struct stat st;
  if (fstat(in->fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  off_t offset = lseek(in->fd, 0, SEEK_CUR);
  if (offset < 0) return -1;
  return buffered + (st.st_size > offset ? st.st_size - offset : 0);
}

std::int64_t scanlookahead(textscanner *in, std::int64_t wanted) {
  std::int64_t remaining = scanremaining(in);
  if (remaining >= 0) return remaining;
  for (;;) {
    std::int64_t buffered = in->end - in->pos;
    if (buffered >= wanted || in->atend) return buffered;
    if (static_cast<std::size_t>(buffered) == in->capacity) {
      // the buffer holds only unread characters: double it
      std::size_t capacity = in->capacity * 2;
      char *larger = allocatearray<char>(static_cast<std::int64_t>(capacity));
      std::memcpy(larger, in->pos, static_cast<std::size_t>(buffered));
      std::free(in->buffer);
      in->buffer = larger;
      in->capacity = capacity;
      in->pos = larger;
      in->end = larger + buffered;
    }
    refill(in);
  }
}

void scanskipbom(textscanner *in) {
  while (in->end - in->pos < 3 && !in->atend && refill(in)) {
  }
  if (in->end - in->pos >= 3 && std::memcmp(in->pos, "\xEF\xBB\xBF", 3) == 0) in->pos += 3;
}

int scanchar(textscanner *in) {
  if (!available(in)) return -1;
  char c = *in->pos++;
  if (c == '\n') ++in->line;
  return static_cast<unsigned char>(c);
}

void scanunget(textscanner *in) {
  // refill keeps the characters before pos only within one chunk; callers
  // push back directly after a successful scanchar, which left it in place.
  --in->pos;
  if (*in->pos == '\n') --in->line;
}

bool scanskipcomment(textscanner *in) {
  int previous = ' ';
  for (;;) {
    int c = scanchar(in);
    if (c < 0) return false;
    if (c == '/' && previous == '*') break;
    previous = c;
  }
  int next = scanchar(in);
  if (next >= 0 && next != '\n') scanunget(in);
  in->linestart = next == '\n';
  return true;
}

std::string describescanfault(textscanner *in, scanresult result) {
  switch (result) {
    case scanend:
      return "the file ends";
    case scanioerror:
      return std::string("reading fails (") + std::strerror(in->readerror) + ")";
    case scanrange:
      return "a number is outside the range of int";
    case scannotnumber:
    case scanned:
      break;
  }
  // The token may run past the buffered characters: read on, so that the
  // message shows it whole wherever a chunk boundary falls.
  while (!in->atend && static_cast<std::size_t>(in->end - in->pos) < 20 &&
         static_cast<std::size_t>(in->end - in->pos) < in->capacity && refill(in)) {
  }
  std::string token;
  if (in->pos < in->end || refill(in)) {
    for (const char *p = in->pos; p < in->end && !isblank(*p) && token.size() < 20; ++p)
      token += (*p >= 32 && *p < 127) ? *p : '?';
  }
  return "\"" + token + "\" is not a number";
}

void writetofd(textwriter *out, int fd, std::size_t capacity) {
  if (capacity < writebufferleast) capacity = writebufferleast;
  out->fd = fd;
  out->memory = nullptr;
  out->buffer = allocatearray<char>(static_cast<std::int64_t>(capacity));
  out->capacity = capacity;
  out->used = 0;
  out->writeerror = 0;
}

void writetomemory(textwriter *out, std::string *memory, std::size_t capacity) {
  if (capacity < writebufferleast) capacity = writebufferleast;
  out->fd = -1;
  out->memory = memory;
  out->buffer = static_cast<char *>(std::malloc(capacity));
  out->capacity = out->buffer != nullptr ? capacity : 0;
  out->used = 0;
  out->writeerror = out->buffer == nullptr ? ENOMEM : 0;
}

bool writeflush(textwriter *out) {
  if (out->writeerror == 0 && out->used > 0) {
    if (out->fd < 0) {
      out->memory->append(out->buffer, out->used);
    } else {
      const char *p = out->buffer;
      std::size_t left = out->used;
      while (left > 0) {
        ssize_t done = write(out->fd, p, left);
        if (done < 0) {
          if (errno == EINTR) continue;
          out->writeerror = errno;
          break;
        }
        if (done == 0) {
          out->writeerror = ENOSPC;
          break;
        }
        p += done;
        left -= static_cast<std::size_t>(done);
      }
    }
  }
  out->used = 0;
  return out->writeerror == 0;
}

void writeclose(textwriter *out) {
  writeflush(out);
  std::free(out->buffer);
  out->buffer = nullptr;
  out->capacity = 0;
}

void writetext(textwriter *out, const char *text, std::size_t length) {
  while (length > 0) {
    if (out->used == out->capacity && !writeflush(out)) return;
    if (out->capacity == 0) return;
    std::size_t room = out->capacity - out->used;
    std::size_t n = length < room ? length : room;
    std::memcpy(out->buffer + out->used, text, n);
    out->used += n;
    text += n;
    length -= n;
  }
}

void writetext(textwriter *out, const char *text) { writetext(out, text, std::strlen(text)); }

void writechar(textwriter *out, char c) {
  if (out->used == out->capacity) {
    writeflush(out);
    if (out->capacity == 0) return;
  }
  out->buffer[out->used++] = c;
}

char *writespace(textwriter *out, std::size_t n) {
  if (out->capacity - out->used < n) {
    writeflush(out);
    if (out->capacity - out->used < n) return nullptr;
  }
  return out->buffer + out->used;
}

void writeint(textwriter *out, std::int64_t value, int width) {
  const std::size_t room = intwidth(value, width);
  if (room > out->capacity) {
    // a field wider than the buffer: the padding first, then the number
    const std::size_t digits = intwidth(value, 0);
    for (std::size_t i = digits; i < room; ++i) writechar(out, ' ');
    char text[24];
    writetext(out, text, static_cast<std::size_t>(formatint(text, value, 0) - text));
    return;
  }
  char *q = writespace(out, room);
  if (q != nullptr) writeadvance(out, formatint(q, value, width));
}

}  // namespace ldpc
