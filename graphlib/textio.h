// Fast text input and output for the file formats of the library.
//
// textscanner reads whitespace-separated integers with exactly the acceptance
// of the "%d" conversion (leading white space, an optional sign, decimal
// digits) from a file descriptor in large chunks or from a block of memory.
// textwriter formats numbers into a large buffer and writes it in chunks, or
// appends to a string. Neither prints or exits, except through allocate
// when memory runs out: faults are returned. The buffers of a file scanner
// and of a file writer come from allocate, so running out of memory there
// ends the process with the memory banner like every block of the library;
// a writer's buffer is therefore taken before its output file is created.
#ifndef LDPC_TEXTIO_H
#define LDPC_TEXTIO_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ldpc {

struct textscanner {
  int fd;        // -1 when reading from memory
  char *buffer;  // owned chunk buffer (file source only)
  std::size_t capacity;
  const char *pos;    // next unread character
  const char *end;    // end of the characters available
  bool atend;         // no more characters beyond end
  int readerror;      // errno of a failed read, 0 if none
  bool hashcomments;  // pass over lines whose first non-blank is '#'
  bool linestart;     // only blanks since the last line feed
  std::int64_t line;  // line number of pos, from 1
};

// Results of scanint.
enum scanresult { scanned = 0, scanend = 1, scannotnumber = 2, scanrange = 3, scanioerror = 4 };

// Opens path for reading; a directory (which opens on Linux but holds no
// text) is refused like a path that cannot be opened, errno EISDIR. Returns
// the descriptor, or -1 with errno saying why.
int openforreading(const char *path);

// An integer as decimal text, for fault descriptions.
inline std::string number(std::int64_t n) { return std::to_string(n); }

// Reads fd through a buffer of capacity bytes (at least 1; a megabyte unless
// a caller such as a fuzz harness wants small chunks).
constexpr std::size_t readchunksize = std::size_t{1} << 20;
void scanfromfd(textscanner *in, int fd, std::size_t capacity = readchunksize);
void scanfrommemory(textscanner *in, const char *data, std::size_t size);
void scanclose(textscanner *in);  // releases the buffer, not the descriptor

// Reads the next integer into *value. scanend: only white space (and comment
// lines) up to the end; scannotnumber: the next item is not a number;
// scanrange: the digits do not fit an int; scanioerror: a read failed.
scanresult scanintslow(textscanner *in, int *value);

// The common case inline: blanks and line feeds, then a plain number of at
// most ten digits, well inside the buffered characters. Anything else (tabs,
// carriage returns, signs other than '-', comment lines, long or
// out-of-range numbers, the end of a chunk) goes the general way.
inline scanresult scanint(textscanner *in, int *value) {
  const char *q = in->pos;
  const char *limit = in->end - 32;
  if (q < limit) {
    std::int64_t lines = 0;
    while ((*q == ' ' || *q == '\n') && q < limit) {
      lines += *q == '\n';
      ++q;
    }
    bool negative = *q == '-';
    const char *digits = q + (negative ? 1 : 0);
    if (q < limit && *digits >= '0' && *digits <= '9') {
      std::uint64_t magnitude = 0;
      const char *e = digits;
      while (*e >= '0' && *e <= '9' && e - digits < 10) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(*e - '0');
        ++e;
      }
      if (!(*e >= '0' && *e <= '9') && magnitude <= (negative ? 2147483648ULL : 2147483647ULL)) {
        *value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                          : static_cast<int>(magnitude);
        in->pos = e;
        in->line += lines;
        in->linestart = false;
        return scanned;
      }
    }
  }
  return scanintslow(in, value);
}

// The number of characters not yet read: exact from memory, as the file
// stands now from a regular file, -1 when the source cannot tell (a pipe).
std::int64_t scanremaining(textscanner *in);

// The number of characters not yet read, as scanremaining, where the source
// cannot tell (a pipe) found by reading ahead: the buffer grows until it
// holds at least wanted unread characters or the input ends. Memory thus
// follows what the input holds, never a count that it claims.
std::int64_t scanlookahead(textscanner *in, std::int64_t wanted);

// Passes over a UTF-8 byte order mark at the current position, if any.
void scanskipbom(textscanner *in);

// Reads the next character (-1 at the end) and pushes back one character.
int scanchar(textscanner *in);
void scanunget(textscanner *in);

// Passes over everything up to and including the next "*/" and one line feed
// directly behind it (the comment rule of the code description file and the
// proto-file). Only the character directly before the slash counts, and a
// slash read first never closes. Returns false when the input ends first.
bool scanskipcomment(textscanner *in);

// Describes the item that scanint could not read, e.g. "the file ends" or
// "\"x1\" is not a number".
std::string describescanfault(textscanner *in, scanresult result);

struct textwriter {
  int fd;               // -1 when writing to memory
  std::string *memory;  // destination when fd is -1
  char *buffer;
  std::size_t used;
  std::size_t capacity;
  int writeerror;  // errno of the first failed write, 0 if none
};

// The buffer size of a writer unless one is given, and the least one.
constexpr std::size_t writebuffersize = std::size_t{1} << 20;
constexpr std::size_t writebufferleast = 64;

// A writer to the descriptor fd, which may be set later (before the first
// flush) by assigning out->fd. capacity is the size of its buffer (at least
// writebufferleast); the output does not depend on it.
void writetofd(textwriter *out, int fd, std::size_t capacity = writebuffersize);
void writetomemory(textwriter *out, std::string *memory, std::size_t capacity = writebuffersize);
// Writes what is buffered; returns false after any failed write.
bool writeflush(textwriter *out);
void writeclose(textwriter *out);  // flushes and releases the buffer

void writetext(textwriter *out, const char *text, std::size_t length);
void writetext(textwriter *out, const char *text);
void writechar(textwriter *out, char c);
// Like printf("%*d", width, value): right-aligned, the field grows for wider
// numbers.
void writeint(textwriter *out, std::int64_t value, int width);

// The number of characters that writeint and formatint write for value.
inline std::size_t intwidth(std::int64_t value, int width) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::size_t length = value < 0 ? 2 : 1;
  while (magnitude >= 10) {
    magnitude /= 10;
    ++length;
  }
  return width > 0 && static_cast<std::size_t>(width) > length ? static_cast<std::size_t>(width)
                                                               : length;
}

// Formats value as writeint does into q, which has room for
// intwidth(value, width) characters; returns the end of what it wrote.
inline char *formatint(char *q, std::int64_t value, int width) {
  static constexpr char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[24];
  char *end = digits + sizeof digits;
  char *p = end;
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  while (magnitude >= 100) {
    unsigned two = static_cast<unsigned>(magnitude % 100) * 2;
    magnitude /= 100;
    *--p = pairs[two + 1];
    *--p = pairs[two];
  }
  if (magnitude >= 10) {
    unsigned two = static_cast<unsigned>(magnitude) * 2;
    *--p = pairs[two + 1];
    *--p = pairs[two];
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  if (value < 0) *--p = '-';
  int length = static_cast<int>(end - p);
  for (int i = length; i < width; ++i) *q++ = ' ';
  for (int i = 0; i < length; ++i) *q++ = p[i];
  return q;
}

// Makes room for at least n more characters (flushing if needed) and
// returns where to write them, or null when the writer has failed or n
// exceeds its capacity; the caller then hands the end of what it wrote to
// writeadvance, having written no more than n characters.
char *writespace(textwriter *out, std::size_t n);
inline void writeadvance(textwriter *out, char *end) {
  out->used = static_cast<std::size_t>(end - out->buffer);
}

}  // namespace ldpc

#endif
