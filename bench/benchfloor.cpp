// benchfloor: the least work a converter can do, as the benchmark's lower bound.
// Reads the input in 1 MiB chunks and sums its integers with a tight parser,
// then writes a given number of bytes in 1 MiB chunks. With MAXINTS it stops
// reading after that many integers (the part of an alist file that a
// converter needs).
//
// usage: benchfloor INPUT OUTPUT OUTBYTES [MAXINTS]
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t chunk = 1 << 20;

}  // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fputs("usage: benchfloor INPUT OUTPUT OUTBYTES [MAXINTS]\n", stderr);
    return 2;
  }
  long long outbytes = std::atoll(argv[3]);
  long long maxints = argc > 4 ? std::atoll(argv[4]) : -1;
  static char buffer[chunk];

  // Sum the integers; a number may straddle two chunks, so the parser's
  // state lives across them.
  int in = open(argv[1], O_RDONLY);
  if (in < 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::int64_t sum = 0, value = 0, count = 0;
  bool innumber = false, negative = false, done = false;
  while (!done) {
    ssize_t got = read(in, buffer, chunk);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      unsigned digit = static_cast<unsigned char>(buffer[i]) - '0';
      if (digit < 10) {
        value = value * 10 + digit;
        innumber = true;
      } else {
        if (innumber) {
          sum += negative ? -value : value;
          value = 0;
          innumber = false;
          if (++count == maxints) {
            done = true;
            break;
          }
        }
        negative = buffer[i] == '-';
      }
    }
  }
  if (innumber) {
    sum += negative ? -value : value;
    ++count;
  }
  close(in);

  // Write the bytes.
  int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) {
    std::perror(argv[2]);
    return 1;
  }
  std::memset(buffer, ' ', chunk);
  for (std::size_t i = 79; i < chunk; i += 80) buffer[i] = '\n';
  while (outbytes > 0) {
    std::size_t n =
        outbytes < static_cast<long long>(chunk) ? static_cast<std::size_t>(outbytes) : chunk;
    ssize_t put = write(out, buffer, n);
    if (put <= 0) {
      std::perror(argv[2]);
      return 1;
    }
    outbytes -= put;
  }
  if (close(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  std::printf("%lld integers, sum %lld\n", static_cast<long long>(count),
              static_cast<long long>(sum));
  return 0;
}
