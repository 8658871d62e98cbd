// alistconv: converts an alist file into a code description file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alist.h"
#include "outputfile.h"
#include "simulation.h"
#include "textio.h"

namespace ldpc {
// The two random-stream states that every program linking the library
// defines; the converter never draws from them.
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace {

const char usage[] = "usage: alistconv ALISTFILE CODEFILE\n";

const char help[] =
    "\n"
    "Reads the parity-check matrix of an LDPC code from ALISTFILE (alist\n"
    "format, column lists padded with zeros or not) and writes its Tanner graph\n"
    "as the code description file CODEFILE. Lines starting with '#' are\n"
    "ignored. CODEFILE appears whole: an existing file is replaced only when\n"
    "the conversion succeeds.\n"
    "\n"
    "Exit status: 0 on success; 1 when a file cannot be opened, the input is\n"
    "malformed, the output cannot be written or memory runs out; 2 on a usage\n"
    "error.\n";

}  // namespace

int main(int argc, char **argv) {
  using namespace ldpc;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(usage, stdout);
    std::fputs(help, stdout);
    return 0;
  }
  if (argc < 3) {
    std::fputs(usage, stderr);
    return 2;
  }
  const char *inputpath = argv[1];
  const char *outputpath = argv[2];

  encoders *encoder = static_cast<encoders *>(allocate(sizeof(encoders)));
  encoder->gap = -1;

  // A directory opens for reading on Linux but holds no alist file.
  int fd = open(inputpath, O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fputs("I can't open the indicated input file.\n", stderr);
    return 1;
  }
  // Tested without creating or emptying the file: it is written only once
  // the conversion has succeeded.
  if (!outputwritable(outputpath)) {
    std::fputs("I can't open the indicated output file.\n", stderr);
    return 1;
  }

  graphs *graph = static_cast<graphs *>(allocate(sizeof(graphs)));
  textscanner in;
  scanfromfd(&in, fd);
  std::string error;
  bool ok = readalist(&in, graph, &error);
  scanclose(&in);
  close(fd);
  if (!ok) {
    std::fprintf(stderr, "alistconv: %s: %s\n", inputpath, error.c_str());
    return 1;
  }

  savegraph(graph, encoder, outputpath, 0);
  std::fputs("\n simulation ends\n", stdout);
  return 0;
}
