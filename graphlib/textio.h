// Fast text input and output for the file formats of the library.
//
// textscanner reads whitespace-separated integers with exactly the acceptance
// of the "%d" conversion (leading white space, an optional sign, decimal
// digits) from a file descriptor in large chunks or from a block of memory.
// textwriter formats numbers into a large buffer and writes it in chunks, or
// appends to a string. Neither prints or exits: faults are returned. The
// scanner's buffer comes from allocate, so running out of memory there ends
// the process with the memory banner like every block of the library; the
// writer's is reported as a write error (ENOMEM), so that its caller can
// remove what it has begun to write.
#ifndef LDPC_TEXTIO_H
#define LDPC_TEXTIO_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ldpc {

struct textscanner {
  int fd;               // -1 when reading from memory
  char *buffer;         // owned chunk buffer (file source only)
  std::size_t capacity;
  const char *pos;      // next unread character
  const char *end;      // end of the characters available
  bool atend;           // no more characters beyond end
  int readerror;        // errno of a failed read, 0 if none
  bool hashcomments;    // pass over lines whose first non-blank is '#'
  bool linestart;       // only blanks since the last line feed
  std::int64_t line;    // line number of pos, from 1
};

// Results of scanint.
enum scanresult { scanned = 0, scanend = 1, scannotnumber = 2, scanrange = 3,
                  scanioerror = 4 };

void scanfromfd(textscanner *in, int fd);
void scanfrommemory(textscanner *in, const char *data, std::size_t size);
void scanclose(textscanner *in);  // releases the buffer, not the descriptor

// Reads the next integer into *value. scanend: only white space (and comment
// lines) up to the end; scannotnumber: the next item is not a number;
// scanrange: the digits do not fit an int; scanioerror: a read failed.
scanresult scanint(textscanner *in, int *value);

// The number of characters not yet read: exact from memory, as the file
// stands now from a regular file, -1 when the source cannot tell (a pipe).
std::int64_t scanremaining(textscanner *in);

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
  int writeerror;       // errno of the first failed write, 0 if none
};

void writetofd(textwriter *out, int fd);
void writetomemory(textwriter *out, std::string *memory);
// Writes what is buffered; returns false after any failed write.
bool writeflush(textwriter *out);
void writeclose(textwriter *out);  // flushes and releases the buffer

void writetext(textwriter *out, const char *text, std::size_t length);
void writetext(textwriter *out, const char *text);
void writechar(textwriter *out, char c);
// Like printf("%*d", width, value): right-aligned, the field grows for wider
// numbers.
void writeint(textwriter *out, std::int64_t value, int width);

}  // namespace ldpc

#endif
