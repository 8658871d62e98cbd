// Output files that appear whole or not at all.
//
// A regular file (or a path that does not exist yet) is written to a
// temporary file beside it, which is renamed over the path only when every
// byte has been written and the file closed; a failed run leaves an existing
// file as it was. A path that is not a regular file (a terminal, a pipe,
// /dev/stdout, /dev/null) is written directly. Faults are returned; nothing
// here prints, and nothing exits except through allocate when memory runs
// out.
#ifndef LDPC_OUTPUTFILE_H
#define LDPC_OUTPUTFILE_H

#include <functional>
#include <string>

#include "textio.h"

namespace ldpc {

struct outputfile {
  int fd;
  bool direct;           // written in place, no rename
  std::string path;      // final path (the link's target for a symlink)
  std::string temppath;  // temporary file beside it
  int pending;           // its slot among the files removed on a signal
};

// Whether path could be opened for writing, tested without creating or
// emptying anything.
bool outputwritable(const char *path);

// Opens path for writing. Returns false with errno set when it cannot.
bool outputopen(outputfile *file, const char *path);

// Closes the file and moves it into place. Returns false with errno set when
// closing or renaming fails; the temporary file is then removed.
bool outputcommit(outputfile *file);

// Closes the file and removes the temporary file; the path is left alone.
void outputabort(outputfile *file);

enum writeoutcome { writeok = 0, writeopenfailed = 1, writefailed = 2 };

// Opens path, lets format write the contents through a buffered writer and
// moves the file into place. On writefailed, *error names the path and the
// reason.
writeoutcome writewhole(const char *path, const std::function<void(textwriter *)> &format,
                        std::string *error);

}  // namespace ldpc

#endif
