// The command line of the round-trip programs, which the benchmark times
// against each other: PROGRAM CODEFILE COPY.
#ifndef LDPC_BENCH_ROUNDTRIP_H
#define LDPC_BENCH_ROUNDTRIP_H

#include <cstdio>

// copy(CODEFILE, COPY) and status 0, or the usage line and status 2 when
// either name is missing.
template <class copier>
int roundtrip(int argc, char **argv, const char *program, copier copy) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CODEFILE COPY\n", program);
    return 2;
  }
  copy(argv[1], argv[2]);
  return 0;
}

#endif
