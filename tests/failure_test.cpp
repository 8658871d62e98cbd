// Failure paths of the converter that one process cannot reach: memory
// running out under a lowered address-space limit, disks that fill up while
// the output is written, inputs of random bytes. In every case the run ends
// with its message and status, leaves no partial output behind and leaves an
// existing output file as it was. Also: the fuzzing seeds and the inputs of
// past fuzzing findings, replayed through the harnesses' properties.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fuzz/properties.h"
#include "support.h"

using testsupport::readfile;
using testsupport::runlimited;
using testsupport::runresult;
using testsupport::tempdir;
using testsupport::writefile;

namespace {

const std::string program = ALISTCONV_PATH;

const std::string &banner = testsupport::memorybanner;

std::uint64_t nextrandom(std::uint64_t *state) {
  std::uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// A padded alist file of n columns of weight 3 over n/2 rows.
std::string makealist(int n, std::uint64_t seed) {
  int m = n / 2;
  std::vector<int> rows(static_cast<std::size_t>(n) * 3);
  std::vector<int> rowweight(m, 0);
  for (int &r : rows) {
    r = static_cast<int>(nextrandom(&seed) % static_cast<std::uint64_t>(m));
    ++rowweight[r];
  }
  int cmax = 0;
  for (int w : rowweight) cmax = w > cmax ? w : cmax;
  std::string text =
      std::to_string(n) + " " + std::to_string(m) + "\n3 " + std::to_string(cmax) + "\n";
  for (int v = 0; v < n; ++v) text += "3 ";
  text += "\n";
  for (int w : rowweight) text += std::to_string(w) + " ";
  text += "\n";
  for (int v = 0; v < n; ++v)
    text += std::to_string(rows[3 * v] + 1) + " " + std::to_string(rows[3 * v + 1] + 1) + " " +
            std::to_string(rows[3 * v + 2] + 1) + "\n";
  return text;
}

// Names in dir other than those expected: temporary files left behind.
std::string strays(const std::string &dir, const std::set<std::string> &expected) {
  std::string found;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (expected.count(name) == 0) found += name + " ";
  }
  return found;
}

// Runs body in a child process inside a new user and mount namespace, where
// it may mount file systems, and returns what body returned. Returns
// "unavailable" when the system does not allow such namespaces.
std::string innamespace(const std::function<std::string()> &body) {
  int channel[2];
  if (pipe(channel) != 0) return "unavailable";
  uid_t uid = getuid();
  gid_t gid = getgid();
  pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    std::string report = "unavailable";
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
      writefile("/proc/self/setgroups", "deny");
      writefile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
      writefile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
      report = body();
    }
    ssize_t ignored = write(channel[1], report.data(), report.size());
    (void)ignored;
    _exit(0);
  }
  close(channel[1]);
  std::string report;
  char chunk[4096];
  ssize_t got;
  while ((got = read(channel[0], chunk, sizeof chunk)) > 0)
    report.append(chunk, static_cast<std::size_t>(got));
  close(channel[0]);
  waitpid(pid, nullptr, 0);
  return report;
}

std::string describerun(const runresult &r) {
  return "status " + std::to_string(r.status) + ", stdout \"" + r.out.substr(0, 200) +
         "\", stderr \"" + r.err.substr(0, 200) + "\"";
}

}  // namespace

// Address-space limits do not mix with the sanitizers' shadow memory.
#ifndef __SANITIZE_ADDRESS__

TEST(failure_memory, every_limit_gives_the_banner_or_a_whole_output) {
  tempdir dir;
  const std::string input = makealist(30000, 7);
  const std::string expected = testsupport::convertinmemory(input);
  const std::string in = dir.file("in.alist"), out = dir.file("out.code");
  writefile(in, input);

  // the lowest limit under which the program starts at all
  long long low = 1 << 20, high = 256LL << 20;
  while (high - low > (64 << 10)) {
    long long mid = (low + high) / 2;
    testsupport::runlimits limits;
    limits.addressspace = mid;
    (runlimited(program, {"--help"}, limits).status == 0 ? high : low) = mid;
  }

  // Raise the limit step by step from there until the conversion succeeds:
  // memory runs out at every point of the run on the way.
  int banners = 0, successes = 0;
  for (long long limit = high; limit < high + (64LL << 20) && successes == 0; limit += 96 << 10) {
    writefile(out, "precious\n");
    testsupport::runlimits limits;
    limits.addressspace = limit;
    runresult r = runlimited(program, {in, out}, limits);
    std::string at = "limit " + std::to_string(limit >> 10) + " KiB: " + describerun(r);
    if (r.status == 0) {
      ++successes;
      EXPECT_EQ(r.out, "\n simulation ends\n") << at;
      EXPECT_TRUE(readfile(out) == expected) << at;
    } else if (r.out == banner) {
      ++banners;
      EXPECT_EQ(r.status, 1) << at;
      EXPECT_EQ(r.err, "") << at;
      EXPECT_EQ(readfile(out), "precious\n") << at;
    } else {
      // the writer's own buffer is refused as a write error
      EXPECT_EQ(r.status, 1) << at;
      EXPECT_EQ(r.out, "") << at;
      EXPECT_EQ(r.err, "I can't write the indicated file: " + out + ": Cannot allocate memory\n")
          << at;
      EXPECT_EQ(readfile(out), "precious\n") << at;
    }
    EXPECT_EQ(strays(dir.path, {"in.alist", "out.code"}), "") << at;
  }
  EXPECT_GT(banners, 5);
  EXPECT_EQ(successes, 1);

  // without an existing output file, none is left behind
  std::filesystem::remove(out);
  testsupport::runlimits limits;
  limits.addressspace = high + (1 << 20);
  runresult r = runlimited(program, {in, out}, limits);
  EXPECT_EQ(r.out, banner) << describerun(r);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(strays(dir.path, {"in.alist"}), "");
}

#endif

TEST(failure_memory, a_short_file_claiming_huge_weights_is_refused_as_short) {
  // Edge lists for a column weight of 10^8 would take 1.6 GB; the file holds
  // one entry. The limit makes the outcome independent of overcommit.
  tempdir dir;
  writefile(dir.file("in.alist"), "1 1\n100000000 1\n100000000\n1\n1\n");
  testsupport::runlimits limits;
#ifndef __SANITIZE_ADDRESS__
  limits.addressspace = 512LL << 20;
#endif
  runresult r = runlimited(program, {dir.file("in.alist"), dir.file("out.code")}, limits);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "alistconv: " + dir.file("in.alist") +
                       ": item 7 (column lists), column 1: the file ends\n");
  EXPECT_EQ(strays(dir.path, {"in.alist"}), "");
}

TEST(failure_memory, through_a_pipe_memory_follows_what_the_input_holds) {
  // The same short file through a pipe, where its size is unknown: refused
  // as short too, for the largest column weight and for a padded one.
  tempdir dir;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1 1\n2147483647 1\n2147483647\n1\n1\n", "item 7 (column lists), column 1: the file ends"},
      {"2 1\n2147483647 1\n1 2147483647\n1\n1\n", "item 7 (column lists), column 1: the file ends"},
  };
  testsupport::runlimits limits;
#ifndef __SANITIZE_ADDRESS__
  limits.addressspace = 512LL << 20;
#endif
  for (const auto &[text, message] : cases) {
    writefile(dir.file("in.alist"), text);
    runresult r = runlimited("/bin/sh",
                             {"-c", "cat '" + dir.file("in.alist") + "' | '" + program +
                                        "' /dev/stdin '" + dir.file("out.code") + "'"},
                             limits);
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_EQ(r.out, "") << text;
    EXPECT_EQ(r.err, "alistconv: /dev/stdin: " + message + "\n") << text;
  }
  // a whole file through a pipe converts as it does from the disk, across
  // many reads and a read-ahead buffer grown beyond its first megabyte
  writefile(dir.file("in.alist"), makealist(300000, 3));
  runresult piped =
      testsupport::run("/bin/sh", {"-c", "cat '" + dir.file("in.alist") + "' | '" + program +
                                             "' /dev/stdin '" + dir.file("piped.code") + "'"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(testsupport::run(program, {dir.file("in.alist"), dir.file("direct.code")}).status, 0);
  EXPECT_EQ(readfile(dir.file("piped.code")), readfile(dir.file("direct.code")));
}

TEST(failure_disk, a_file_size_limit_mid_write_leaves_the_output_alone) {
  tempdir dir;
  const std::string in = dir.file("in.alist"), out = dir.file("out.code");
  writefile(in, makealist(30000, 3));  // about 3 MB of output
  for (bool existing : {true, false}) {
    if (existing)
      writefile(out, "precious\n");
    else
      std::filesystem::remove(out);
    testsupport::runlimits limits;
    limits.filesize = 64 << 10;
    runresult r = runlimited(program, {in, out}, limits);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "I can't write the indicated file: " + out + ": File too large\n");
    if (existing) {
      EXPECT_EQ(readfile(out), "precious\n");
    }
    EXPECT_EQ(strays(dir.path, existing ? std::set<std::string>{"in.alist", "out.code"}
                                        : std::set<std::string>{"in.alist"}),
              "");
  }
}

TEST(failure_disk, a_full_or_read_only_tmpfs_leaves_the_output_alone) {
  tempdir dir;
  const std::string in = dir.file("in.alist");
  writefile(in, makealist(30000, 5));
  const std::string mnt = dir.file("mnt");
  std::filesystem::create_directory(mnt);
  const std::string out = mnt + "/out.code";
  const std::string precious(100000, 'p');

  // Reports, one line per case: the run, whether the old file is intact, and
  // what else lies beside it.
  std::string report = innamespace([&]() -> std::string {
    if (mount("none", mnt.c_str(), "tmpfs", 0, "size=256k") != 0) return "unavailable";
    std::string lines;
    writefile(out, precious);
    runresult r = testsupport::run(program, {in, out});
    lines += describerun(r) + "; intact " + std::to_string(readfile(out) == precious) +
             "; strays \"" + strays(mnt, {"out.code"}) + "\"\n";
    if (mount("none", mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return lines;
    r = testsupport::run(program, {in, out});
    lines += describerun(r) + "; intact " + std::to_string(readfile(out) == precious) +
             "; strays \"" + strays(mnt, {"out.code"}) + "\"\n";
    return lines;
  });
  if (report == "unavailable") GTEST_SKIP() << "no unprivileged mount namespace here";
  EXPECT_EQ(report,
            "status 1, stdout \"\", stderr \"I can't write the indicated file: " + out +
                ": No space left on device\n\"; intact 1; strays \"\"\n"
                "status 1, stdout \"\", stderr \"I can't open the indicated output file.\n\"; "
                "intact 1; strays \"\"\n");
}

TEST(failure_input, a_hundred_megabytes_of_random_input_is_refused) {
  tempdir dir;
  const std::string in = dir.file("in.alist"), out = dir.file("out.code");
  std::uint64_t state = 11;
  std::string input(100 << 20, '\0');

  // random bytes: refused at the first item
  for (std::size_t i = 0; i < input.size(); i += 8) {
    std::uint64_t x = nextrandom(&state);
    std::memcpy(&input[i], &x, 8);
  }
  writefile(in, input);
  writefile(out, "precious\n");
  runresult r = testsupport::run(program, {in, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("alistconv: " + in + ": item 1 (number of columns): ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_EQ(readfile(out), "precious\n");

  // random numbers behind a plausible header: weights up to 10^9 claim far
  // more entries than the 16 MB hold, which must not exhaust memory
  std::string numbers = "1000000 500000\n3 20\n";
  while (numbers.size() < (16 << 20)) {
    std::uint64_t x = nextrandom(&state);
    char digits[12];
    int length = 1 + static_cast<int>(x % 9);
    for (int k = 0; k < length; ++k, x /= 10) digits[k] = static_cast<char>('0' + x % 10);
    digits[length] = (x & 7) == 0 ? '\n' : ' ';
    numbers.append(digits, static_cast<std::size_t>(length) + 1);
  }
  writefile(in, numbers);
  r = testsupport::run(program, {in, out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("alistconv: " + in + ": item 5 (column weights), column ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("exceeds the column-list length 3 of item 3\n"), std::string::npos) << r.err;
  EXPECT_EQ(readfile(out), "precious\n");
  EXPECT_EQ(strays(dir.path, {"in.alist", "out.code"}), "");
}

// --- fuzzing inputs --------------------------------------------------------------

namespace {

// The seed corpus and the past findings of one harness, and the examples
// of its format (ending in extension; none when it is empty), which the
// fuzz build adds to the seeds.
std::vector<std::filesystem::path> fuzzinputs(const std::string &harness,
                                              const std::string &extension) {
  std::filesystem::path root = std::filesystem::path(FUZZ_DIR);
  std::vector<std::filesystem::path> files;
  for (const char *kind : {"corpus", "regressions"}) {
    std::filesystem::path dir = root / kind / harness;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  if (!extension.empty())
    for (const auto &entry : std::filesystem::directory_iterator(testsupport::examples))
      if (entry.is_regular_file() && entry.path().extension() == extension)
        files.push_back(entry.path());
  return files;
}

void replay(const std::string &harness, const std::string &extension,
            std::string (*check)(const std::uint8_t *, std::size_t)) {
  std::vector<std::filesystem::path> files = fuzzinputs(harness, extension);
  EXPECT_FALSE(files.empty()) << harness;
  for (const auto &file : files) {
    std::string data = readfile(file.string());
    EXPECT_EQ(check(reinterpret_cast<const std::uint8_t *>(data.data()), data.size()), "")
        << file.string();
  }
}

}  // namespace

TEST(fuzz_inputs, alist_seeds_and_findings_keep_every_property) {
  replay("alist", ".alist", fuzzprops::checkalist);
}

TEST(fuzz_inputs, descfile_seeds_and_findings_keep_every_property) {
  replay("descfile", ".code", fuzzprops::checkdescfile);
}

TEST(fuzz_inputs, protofile_seeds_and_findings_keep_every_property) {
  replay("protofile", ".proto", fuzzprops::checkprotofile);
}

TEST(fuzz_inputs, textwriter_seeds_and_findings_keep_every_property) {
  replay("textwriter", "", fuzzprops::checktextwriter);
}
