// tanner encode: information words to codewords of a code, from a file, from
// the run's random stream, or the information positions alone.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "channel.h"
#include "allocate.h"
#include "cli.h"
#include "encoder.h"
#include "graphfile.h"
#include "optiontable.h"
#include "outputfile.h"
#include "symbolchannel.h"
#include "textio.h"
#include "triangular.h"

namespace tanner {

namespace {

const char command[] = "encode";

const char encodehead[] =
    "usage: tanner encode CODE IN OUT\n"
    "       tanner encode CODE --random N [--seed S] OUT\n"
    "       tanner encode CODE --positions\n"
    "\n"
    "Encodes information words into codewords of the code in CODE (a code\n"
    "description file or an alist file). IN holds the words, one per line as\n"
    "K characters 0 or 1; OUT receives the codewords, one per line as N\n"
    "characters, in the same order. '-' is standard input or output. OUT\n"
    "appears whole or not at all.\n"
    "\n"
    "The encoder is systematic: bit i of a word is codeword bit P(i), where P\n"
    "lists the information positions (--positions prints them, one a line,\n"
    "0-based). K is N minus the rank of the parity-check matrix, so checks\n"
    "that are sums of others are allowed. The encoder comes from the file's\n"
    "encoder information when it carries some (construct or convert with\n"
    "--encoder: no elimination); else from a staircase or dual-diagonal\n"
    "parity part when the matrix has one; else from the approximate\n"
    "lower-triangular form of the matrix (linear in the edges plus g^2 for a\n"
    "gap g).\n"
    "\n";

const char encodetail[] =
    "\n"
    "A word of the wrong length or a character other than 0 or 1 is reported\n"
    "with the file, line and column (status 1), and nothing is written.\n";

struct settings {
  std::string code, in, out;
  long long random = -1;  // --random N
  unsigned short seed[3] = {1, 0, 0};
  bool positions = false;
  bool verbose = false;
  std::int64_t memorylimit = std::int64_t{256} << 20;
  bool seedgiven = false;
};

// The options, their help lines and what each does with its value.
std::vector<optionentry> optiontable(settings *s) {
  return {
      {"--random", optionkind::integer,
       "  --random N     encode N random words instead of reading IN; word f has\n"
       "                 the information bits that tanner simulate --codeword\n"
       "                 random draws for frame f of point 0 with the same seed\n",
       [s](const std::string &v) { s->random = parsecount(command, "--random", v, 0); }, true},
      {"--seed", optionkind::text,
       "  --seed S       run seed of --random: W0,W1,W2 or an integer below 2^48\n"
       "                 (default 1)\n",
       [s](const std::string &v) {
         parseseed(command, v, s->seed);
         s->seedgiven = true;
       },
       true},
      {"--positions", optionkind::flag,
       "  --positions    print the K information positions and nothing else\n",
       [s](const std::string &) { s->positions = true; }, true},
      {"--memory", optionkind::integer,
       "  --memory MIB   dense bit matrices the encoder may hold (default 256)\n",
       [s](const std::string &v) {
         s->memorylimit = std::int64_t{parsecount(command, "--memory", v, 1)} << 20;
       },
       true},
      {"--verbose", optionkind::flag,
       "  --verbose      the encoder's kind, N, K, rank and gap on standard error\n",
       [s](const std::string &) { s->verbose = true; }, true},
  };
}

settings parse(int argc, char **argv) {
  settings s;
  std::vector<std::string> positional;
  const std::vector<optionentry> table = optiontable(&s);
  applyoptions(command, helptext(encodehead, table, encodetail).c_str(), table, argc, argv,
               &positional);
  if (s.positions && s.random >= 0)
    usageerror(command, "--positions and --random exclude each other");
  if (s.seedgiven && s.random < 0) usageerror(command, "--seed applies to --random only");
  const std::size_t expected = s.positions ? 1 : s.random >= 0 ? 2 : 3;
  const char *shape = s.positions     ? "expects CODE --positions"
                      : s.random >= 0 ? "expects CODE --random N OUT"
                                      : "expects CODE IN OUT";
  if (positional.size() != expected) usageerror(command, shape);
  s.code = positional[0];
  if (!s.positions) s.out = positional.back();
  if (expected == 3) s.in = positional[1];
  std::vector<namedfile> inputs = {{"the code", s.code}};
  if (!s.in.empty() && s.in != "-") inputs.push_back({"the input", s.in});
  if (!s.out.empty() && s.out != "-") checkdistinctfiles(command, inputs, {{"the output", s.out}});
  return s;
}

// The whole of path ("-": standard input); status 1 naming it on failure.
std::string readwhole(const std::string &path) {
  FILE *file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) fail(path + ": " + std::strerror(errno));
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int reason = errno;
  if (file != stdin) std::fclose(file);
  if (failed) fail(path + ": " + std::strerror(reason));
  return text;
}

[[noreturn]] void failat(const std::string &path, std::size_t line, std::size_t column,
                         const std::string &message) {
  fail((path == "-" ? std::string("standard input") : path) + ":" + std::to_string(line) + ":" +
       std::to_string(column) + ": " + message);
}

// The words of text, k bits a line (a final line without its newline and
// a carriage return before a newline allowed), frame after frame.
std::vector<std::uint8_t> parsewords(const std::string &path, const std::string &text, int k,
                                     int *frames) {
  std::vector<std::uint8_t> words;
  std::size_t line = 0, at = 0;
  *frames = 0;
  while (at < text.size()) {
    ++line;
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > at && text[stop - 1] == '\r') --stop;
    const std::size_t length = stop - at;
    for (std::size_t c = 0; c < length; ++c) {
      const char ch = text[at + c];
      if (ch != '0' && ch != '1') {
        const std::string shown = ch >= 32 && ch < 127 ? std::string("'") + ch + "'"
                                                       : "byte " + std::to_string(ch & 0xff);
        failat(path, line, c + 1, "expected 0 or 1, found " + shown);
      }
      if (c == static_cast<std::size_t>(k))
        failat(path, line, c + 1, "the word is longer than K = " + std::to_string(k) + " bits");
      words.push_back(static_cast<std::uint8_t>(ch - '0'));
    }
    if (length < static_cast<std::size_t>(k))
      failat(path, line, length + 1,
             "the word ends after " + std::to_string(length) + " of K = " + std::to_string(k) +
                 " bits");
    ++*frames;
    at = end + 1;
  }
  return words;
}

// The words of --random: frame f's information bits as simulate draws them.
std::vector<std::uint8_t> randomwords(const settings &s, int k, int frames) {
  const std::uint64_t seed = static_cast<std::uint64_t>(s.seed[0]) |
                             static_cast<std::uint64_t>(s.seed[1]) << 16 |
                             static_cast<std::uint64_t>(s.seed[2]) << 32;
  std::vector<std::uint8_t> words(static_cast<std::size_t>(k) * frames);
  for (int f = 0; f < frames; ++f) {
    std::uint64_t state = ldpc::streamstate(seed, 0, f);
    ldpc::drawword(&state, k, words.data() + static_cast<std::size_t>(f) * k);
  }
  return words;
}

// frames codewords of n bits as text lines to path ("-": standard output),
// whole or not at all.
void writecodewords(const std::string &path, const std::vector<std::uint8_t> &codewords, int n,
                    int frames) {
  auto format = [&](ldpc::textwriter *out) {
    std::string line(static_cast<std::size_t>(n) + 1, '\n');
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < n; ++i)
        line[i] = static_cast<char>('0' + codewords[std::size_t(f) * n + i]);
      ldpc::writetext(out, line.data(), line.size());
    }
  };
  if (path == "-") {
    std::string text;
    ldpc::textwriter out;
    ldpc::writetomemory(&out, &text);
    format(&out);
    ldpc::writeclose(&out);
    std::fwrite(text.data(), 1, text.size(), stdout);
    flushoutput();
    return;
  }
  std::string error;
  const ldpc::writeoutcome outcome = ldpc::writewhole(path.c_str(), format, &error);
  endonwritefault(outcome, path, error);
}

}  // namespace

ldpc::graphs *encoderinformation(const ldpc::graphs *graph, ldpc::encoders *info,
                                 const std::string &what) {
  auto *reordered = ldpc::allocatearray<ldpc::graphs>(1);
  std::string error;
  if (!ldpc::computeencoderinformation(graph, reordered, info, &error)) {
    std::free(reordered);
    fail(what + ": no encoder information: " + error);
  }
  return reordered;
}

int encodecommand(int argc, char **argv) {
  const settings s = parse(argc, argv);
  ldpc::encoders info{};
  ldpc::graphs *graph = loadcodefile(s.code, true, &info);
  ldpc::encoderoptions options;
  options.memorylimit = s.memorylimit;
  ldpc::encoder enc;
  std::string error;
  const bool made = ldpc::makeencoder(graph, &info, &enc, &error, options);
  if (info.gap >= 0) std::free(info.iphi);
  ldpc::freegraph(graph);
  std::free(graph);
  if (!made) fail(s.code + ": " + error);
  endprogress();
  if (s.verbose)
    std::fprintf(stderr, "encoder: %s, N %d, K %d, rank %d of %d checks, gap %d\n",
                 ldpc::encodername(enc.kind), enc.n, enc.k, enc.rank, enc.m, enc.gap());
  if (s.positions) {
    std::string text;
    for (int p : enc.positions) text += std::to_string(p) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return statusok;
  }
  int frames = 0;
  std::vector<std::uint8_t> words;
  if (s.random >= 0) {
    frames = static_cast<int>(s.random);
    words = randomwords(s, enc.k, frames);
  } else {
    words = parsewords(s.in, readwhole(s.in), enc.k, &frames);
  }
  std::vector<std::uint8_t> codewords(static_cast<std::size_t>(enc.n) * frames);
  ldpc::encode(enc, words.data(), frames, codewords.data());
  writecodewords(s.out, codewords, enc.n, frames);
  return statusok;
}

}  // namespace tanner
