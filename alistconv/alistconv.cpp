// alistconv: converts an alist file into a code description file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "alist.h"
#include "allocate.h"
#include "ldpcgraph_version.h"
#include "simulation.h"

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
    "error.\n"
    "\n"
    "alistconv --version prints the version.\n";

}  // namespace

int main(int argc, char **argv) {
  using namespace ldpc;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(usage, stdout);
    std::fputs(help, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("alistconv (ldpcgraph) %s\n", LDPCGRAPH_VERSION);
    return 0;
  }
  if (argc < 3) {
    std::fputs(usage, stderr);
    return 2;
  }
  tuneheapforlargegraphs();
  int status = convertalist(argv[1], argv[2], "alistconv");
  if (status != 0) return status;
  std::fputs("\n simulation ends\n", stdout);
  return 0;
}
