// Output files through the real converter: signals during a write leave no
// temporary file behind, and symbolic links (dangling ones too) are followed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "support.h"

using testsupport::readfile;
using testsupport::run;
using testsupport::tempdir;

namespace {

// Names in dir that start with prefix.
int countnames(const std::string &dir, const std::string &prefix) {
  int found = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) ++found;
  return found;
}

}  // namespace

TEST(outputfile, a_signal_during_a_large_write_removes_the_temporary_file) {
  // a million columns of weight 3: about 110 MB of code description file
  tempdir dir;
  std::string alist = "1000000 500000\n3 6\n";
  alist.reserve(30000000);
  for (int v = 0; v < 1000000; ++v) alist += "3 ";
  alist += "\n";
  for (int c = 0; c < 500000; ++c) alist += "6 ";
  alist += "\n";
  for (int v = 0; v < 1000000; ++v)
    alist += std::to_string(v % 500000 + 1) + " " + std::to_string((v + 1) % 500000 + 1) + " " +
             std::to_string((v + 7) % 500000 + 1) + "\n";
  testsupport::writefile(dir.file("big.alist"), alist);
  testsupport::writefile(dir.file("out.code"), "kept\n");

  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // a default disposition for the signal, whatever the test runner has
      std::signal(signal, SIG_DFL);
      execl(ALISTCONV_PATH, ALISTCONV_PATH, dir.file("big.alist").c_str(),
            dir.file("out.code").c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    // wait for the temporary file, then interrupt the write
    bool writing = false;
    for (int k = 0; k < 20000 && !writing; ++k) {
      writing = countnames(dir.path, ".out.code.tmp") > 0;
      if (!writing) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(writing) << "signal " << signal;
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // ended by the signal itself, unless the write was already done
    if (WIFSIGNALED(status)) {
      EXPECT_EQ(WTERMSIG(status), signal);
      EXPECT_EQ(readfile(dir.file("out.code")), "kept\n");
    } else {
      ADD_FAILURE() << "signal " << signal << " came after the write; status " << status;
    }
    EXPECT_EQ(countnames(dir.path, ".out.code.tmp"), 0) << "signal " << signal;
  }
}

TEST(outputfile, dangling_links_are_followed_and_their_targets_created) {
  tempdir dir;
  const std::string hamming = std::string(EXAMPLES_DIR) + "/hamming7.alist";
  std::filesystem::create_directory(dir.file("sub"));
  // a chain of two links, and a relative link in a subdirectory
  std::filesystem::create_symlink("target.code", dir.file("link.code"));
  std::filesystem::create_symlink("link.code", dir.file("chain.code"));
  std::filesystem::create_symlink("../sub/other.code", dir.file("sub/relative.code"));
  for (const char *output : {"chain.code", "sub/relative.code"})
    EXPECT_EQ(run(ALISTCONV_PATH, {hamming, dir.file(output)}).status, 0) << output;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.code")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("chain.code")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("sub/relative.code")));
  EXPECT_EQ(readfile(dir.file("target.code")), readfile(dir.file("sub/other.code")));
  EXPECT_NE(readfile(dir.file("target.code")).find("Description File of a Code"),
            std::string::npos);
  // tanner writes through the same code
  std::filesystem::create_symlink("made-by-tanner.code", dir.file("tanner.code"));
  EXPECT_EQ(run(TANNER_PATH, {"convert", hamming, dir.file("tanner.code")}).status, 0);
  EXPECT_EQ(readfile(dir.file("made-by-tanner.code")), readfile(dir.file("target.code")));
  // a loop of links is refused and left as it is
  std::filesystem::create_symlink("loop-b", dir.file("loop-a"));
  std::filesystem::create_symlink("loop-a", dir.file("loop-b"));
  testsupport::runresult r = run(ALISTCONV_PATH, {hamming, dir.file("loop-a")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("loop-a")));
}
