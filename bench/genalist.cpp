// genalist: writes a random alist file for the benchmarks, deterministically
// from a seed.
//
//   regular    column weight 3, M = N/2 rows of weight 6
//   irregular  column weights 2, 3 and 8 on 50%, 30% and 20% of the columns
//              (mixed at random), M = N/2 rows whose weights differ by at most 1
//
// Column lists are padded with zero fillers to the largest column weight,
// row lists to the largest row weight; no column names a row twice, and each
// list is in increasing order.
//
// usage: genalist regular|irregular N SEED PATH
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct writer {
  FILE *fp;
  std::vector<char> buffer;
  std::size_t used = 0;

  explicit writer(FILE *f) : fp(f), buffer(1 << 20) {}
  void flush() {
    if (used > 0 && std::fwrite(buffer.data(), 1, used, fp) != used) {
      std::perror("genalist: write");
      std::exit(1);
    }
    used = 0;
  }
  void number(long long value, char after) {
    if (buffer.size() - used < 32) flush();
    char *end = std::to_chars(buffer.data() + used, buffer.data() + used + 24, value).ptr;
    *end++ = after;
    used = static_cast<std::size_t>(end - buffer.data());
  }
  // A list of numbers on one line, padded with zeros to width entries.
  void line(const int *items, int count, int width) {
    for (int i = 0; i < width; ++i) number(i < count ? items[i] : 0, i + 1 < width ? ' ' : '\n');
    if (width == 0) number(0, '\n');
  }
};

// Uniform below n; std::mt19937_64 gives the same sequence everywhere, and
// so does this reduction.
std::uint64_t below(std::mt19937_64 &rng, std::uint64_t n) { return rng() % n; }

template <typename T>
void shuffle(std::vector<T> &items, std::mt19937_64 &rng) {
  for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(rng, i)]);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fputs("usage: genalist regular|irregular N SEED PATH\n", stderr);
    return 2;
  }
  std::string kind = argv[1];
  const int n = std::atoi(argv[2]);
  std::mt19937_64 rng(std::strtoull(argv[3], nullptr, 10));
  if ((kind != "regular" && kind != "irregular") || n < 2) {
    std::fputs("genalist: kind must be regular or irregular, N at least 2\n", stderr);
    return 2;
  }
  const int m = n / 2;

  // Column weights.
  std::vector<int> colweight(static_cast<std::size_t>(n), 3);
  if (kind == "irregular") {
    int n2 = n / 2, n3 = n * 3 / 10;
    for (int v = 0; v < n; ++v) colweight[v] = v < n2 ? 2 : v < n2 + n3 ? 3 : 8;
    shuffle(colweight, rng);
  }
  std::vector<std::int64_t> colstart(static_cast<std::size_t>(n) + 1, 0);
  for (int v = 0; v < n; ++v) colstart[v + 1] = colstart[v] + colweight[v];
  const std::int64_t edges = colstart[n];

  // Row weights as equal as possible, and one check socket per unit of weight.
  std::vector<int> rowweight(static_cast<std::size_t>(m), static_cast<int>(edges / m));
  for (std::int64_t r = 0; r < edges % m; ++r) ++rowweight[r];
  std::vector<int> rowof;
  rowof.reserve(static_cast<std::size_t>(edges));
  for (int r = 0; r < m; ++r) rowof.insert(rowof.end(), rowweight[r], r + 1);
  shuffle(rowof, rng);

  // Column v takes the rows at positions colstart[v].. of the shuffled
  // sockets. A row named twice by one column is swapped with a random
  // position elsewhere whose exchange repeats no row in either column.
  auto columnof = [&](std::int64_t p) {
    return static_cast<int>(std::upper_bound(colstart.begin(), colstart.end(), p) -
                            colstart.begin() - 1);
  };
  auto names = [&](int v, int row, std::int64_t except) {
    for (std::int64_t q = colstart[v]; q < colstart[v + 1]; ++q)
      if (q != except && rowof[q] == row) return true;
    return false;
  };
  for (int v = 0; v < n; ++v) {
    for (std::int64_t p = colstart[v]; p < colstart[v + 1]; ++p) {
      while (names(v, rowof[p], p)) {
        std::int64_t q = static_cast<std::int64_t>(below(rng, static_cast<std::uint64_t>(edges)));
        int u = columnof(q);
        if (u == v || names(v, rowof[q], p) || names(u, rowof[p], q)) continue;
        std::swap(rowof[p], rowof[q]);
      }
    }
  }
  // Sorted only now: a later swap may reach into an earlier column.
  for (int v = 0; v < n; ++v)
    std::sort(rowof.begin() + colstart[v], rowof.begin() + colstart[v + 1]);

  // Row lists, columns in increasing order.
  std::vector<std::int64_t> rowstart(static_cast<std::size_t>(m) + 1, 0);
  for (int r = 0; r < m; ++r) rowstart[r + 1] = rowstart[r] + rowweight[r];
  std::vector<std::int64_t> fill(rowstart.begin(), rowstart.end() - 1);
  std::vector<int> colof(static_cast<std::size_t>(edges));
  for (int v = 0; v < n; ++v)
    for (std::int64_t p = colstart[v]; p < colstart[v + 1]; ++p)
      colof[fill[rowof[p] - 1]++] = v + 1;

  // The file.
  FILE *fp = std::fopen(argv[4], "w");
  if (fp == nullptr) {
    std::perror(argv[4]);
    return 1;
  }
  writer out(fp);
  const int vmax = *std::max_element(colweight.begin(), colweight.end());
  const int cmax = *std::max_element(rowweight.begin(), rowweight.end());
  out.number(n, ' ');
  out.number(m, '\n');
  out.number(vmax, ' ');
  out.number(cmax, '\n');
  out.line(colweight.data(), n, n);
  out.line(rowweight.data(), m, m);
  for (int v = 0; v < n; ++v) out.line(rowof.data() + colstart[v], colweight[v], vmax);
  for (int r = 0; r < m; ++r) out.line(colof.data() + rowstart[r], rowweight[r], cmax);
  out.flush();
  if (std::fclose(fp) != 0) {
    std::perror(argv[4]);
    return 1;
  }
  std::printf("%d columns, %d rows, %lld edges\n", n, m, static_cast<long long>(edges));
  return 0;
}
