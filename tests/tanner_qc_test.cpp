// tanner and quasi-cyclic base-matrix files: every command that reads a
// graph reads them (by the name ending .qc or by --format qc), export --qc
// writes them, and malformed files are named with their line and entry.
// Each case runs the real program. The expansions are held to alist files
// written here from the matrix by the rule "block row r, column c with
// shift s joins check r Z + i to variable c Z + (i + s) mod Z".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

using namespace testsupport;

namespace {

using arguments = std::vector<std::string>;

struct basematrix {
  int columns, rows, lift;
  std::vector<int> shifts;  // row by row
};

std::string qctext(const basematrix &b, const std::string &flags = "") {
  std::string text = std::to_string(b.columns) + " " + std::to_string(b.rows) + " " +
                     std::to_string(b.lift) + "\n";
  for (int r = 0; r < b.rows; ++r) {
    for (int c = 0; c < b.columns; ++c) {
      if (c > 0) text += ' ';
      text += std::to_string(b.shifts[r * b.columns + c]);
    }
    text += '\n';
  }
  return flags.empty() ? text : text + "\n" + flags + "\n";
}

// The alist file of the expansion, unpadded: columns list their rows in
// increasing order, rows their columns in increasing order.
std::string expandedalist(const basematrix &b) {
  const int n = b.columns * b.lift, m = b.rows * b.lift;
  std::vector<std::vector<int>> colrows(n), rowcols(m);
  for (int r = 0; r < b.rows; ++r)
    for (int c = 0; c < b.columns; ++c) {
      const int s = b.shifts[r * b.columns + c];
      if (s < 0) continue;
      for (int i = 0; i < b.lift; ++i) {
        const int check = r * b.lift + i, variable = c * b.lift + (i + s) % b.lift;
        colrows[variable].push_back(check);
        rowcols[check].push_back(variable);
      }
    }
  std::size_t vmax = 0, cmax = 0;
  for (auto &l : colrows) vmax = std::max(vmax, l.size());
  for (auto &l : rowcols) cmax = std::max(cmax, l.size());
  std::string text = std::to_string(n) + " " + std::to_string(m) + "\n" + std::to_string(vmax) +
                     " " + std::to_string(cmax) + "\n";
  for (auto &l : colrows) text += std::to_string(l.size()) + " ";
  text += "\n";
  for (auto &l : rowcols) text += std::to_string(l.size()) + " ";
  text += "\n";
  for (auto *side : {&colrows, &rowcols})
    for (auto &l : *side) {
      std::sort(l.begin(), l.end());
      for (int x : l) text += std::to_string(x + 1) + " ";
      text += "\n";
    }
  return text;
}

const std::vector<basematrix> matrices = {
    {3, 2, 4, {0, 1, -1, 2, -1, 3}},
    {4, 2, 5, {0, 0, 0, 0, 0, 1, 2, 3}},
    {2, 1, 1, {0, 0}},
    {5, 3, 7, {6, -1, 3, 0, 1, 2, 5, -1, 4, 0, -1, 1, 6, 2, -1}},
};

std::string between(const std::string &text, const std::string &from) {
  const auto at = text.find(from);
  return at == std::string::npos ? "" : text.substr(at);
}

}  // namespace

// The expansion of each matrix is the graph of the alist file written from
// the rule: the same code description file, dump, check and stats (from the
// variable-node line on, past the file name), by the .qc name and by
// --format qc under another name.
TEST(tanner_qc, every_reading_command_reads_base_matrix_files) {
  tempdir dir;
  for (std::size_t k = 0; k < matrices.size(); ++k) {
    const std::string qc = dir.file("m.qc"), forced = dir.file("m.txt"),
                      alist = dir.file("m.alist");
    writefile(qc, qctext(matrices[k]));
    writefile(forced, qctext(matrices[k]));
    writefile(alist, expandedalist(matrices[k]));
    for (const std::string &file : {qc, forced}) {
      const arguments format = file == forced ? arguments{"--format", "qc"} : arguments{};
      auto with = [&](arguments a) {
        a.insert(a.begin() + 1, format.begin(), format.end());
        return a;
      };
      auto code = run(tanner, with({"convert", file, dir.file("q.code")}));
      ASSERT_EQ(code.status, 0) << k << code.err;
      ASSERT_EQ(run(tanner, {"convert", alist, dir.file("a.code")}).status, 0);
      EXPECT_EQ(readfile(dir.file("q.code")), readfile(dir.file("a.code"))) << k;
      ASSERT_EQ(run(tanner, with({"export", "--unpadded", file, dir.file("q.alist")})).status, 0);
      ASSERT_EQ(run(tanner, {"export", "--unpadded", alist, dir.file("a.alist")}).status, 0);
      EXPECT_EQ(readfile(dir.file("q.alist")), readfile(dir.file("a.alist"))) << k;
      for (const char *command : {"dump", "check"}) {
        auto q = run(tanner, with({command, file})), a = run(tanner, {command, alist});
        EXPECT_EQ(q.status, a.status) << command << k;
        // check ends with the file's name.
        EXPECT_EQ(q.out.substr(0, q.out.find('/')), a.out.substr(0, a.out.find('/')))
            << command << k;
      }
      auto qs = run(tanner, with({"stats", file})), as = run(tanner, {"stats", alist});
      EXPECT_EQ(qs.status, 0) << qs.err;
      EXPECT_EQ(between(qs.out, "variable nodes"), between(as.out, "variable nodes")) << k;
      auto qsim =
          run(tanner,
              with({"simulate", file, "--sigma", "0.8", "--max-frames", "200", "--threads", "1"}));
      auto asim = run(
          tanner, {"simulate", alist, "--sigma", "0.8", "--max-frames", "200", "--threads", "1"});
      ASSERT_EQ(qsim.status, 0) << qsim.err;
      // Rows equal (Mb/s aside): the counts of the same frames.
      auto firstrow = [](const std::string &out) {
        const auto at = out.find("\n ", out.find("Mb/s"));
        return out.substr(at, 90);
      };
      EXPECT_EQ(firstrow(qsim.out), firstrow(asim.out)) << k;
    }
  }
}

// A malformed file is named with its line and entry, status 1, no output.
TEST(tanner_qc, malformed_files_are_named_with_line_and_entry) {
  tempdir dir;
  struct row {
    const char *text, *message;
  } rows[] = {
      {"3 2 4\n0 1 -1\n2 4 3\n", "line 3, entry 2"},          // shift beyond Z - 1
      {"3 2 4\n0 1 -1\n2 -2 3\n", "line 3, entry 2"},         // below -1
      {"3 2 4\n0 1\n2 -1 3\n", "line 2"},                     // short row
      {"3 2 4\n0 1 -1\n2 -1 3\n1 1\n", "line 4"},             // pattern of 2 flags for 3
      {"3 2 4\n0 1 -1\n2 -1 3\n1 2 1\n", "line 4, entry 2"},  // flag 2
      {"3 2\n0 1 -1\n2 -1 3\n", "line 1"},                    // header of two numbers
      {"3 0 4\n", "line 1"},                                  // no rows
      {"3 2 4\n0 1 -1\n", "the file ends after 1 of 2 block rows"},
      {"3 2 4\n0 x -1\n2 -1 3\n", "line 2, entry 2"},  // not a number
  };
  for (const row &r : rows) {
    const std::string file = dir.file("bad.qc");
    writefile(file, r.text);
    for (const char *command : {"stats", "check", "dump"}) {
      auto result = run(tanner, {command, file});
      EXPECT_EQ(result.status, 1) << r.text;
      EXPECT_NE(result.err.find("tanner: " + file + ": " + r.message), std::string::npos)
          << r.text << result.err;
      EXPECT_TRUE(result.out.empty()) << result.out;
    }
    auto convert = run(tanner, {"convert", file, dir.file("out.code")});
    EXPECT_EQ(convert.status, 1);
    EXPECT_FALSE(fileexists(dir.file("out.code")));
  }
  auto missing = run(tanner, {"stats", dir.file("none.qc")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.qc: No such file"), std::string::npos) << missing.err;
}

// export --qc writes back the matrix it read (flags included) and the
// shifts of a circulant lifting built by construct proto --shifts, whose
// direction is the same; it refuses graphs that are no lifting.
TEST(tanner_qc, export_qc_round_trips_and_refuses_non_liftings) {
  tempdir dir;
  for (const basematrix &b : matrices) {
    if (b.lift == 1) continue;
    for (const std::string &flags : {std::string(), std::string(b.columns - 1, '1') + "0"}) {
      std::string spaced;
      for (char f : flags) {
        if (!spaced.empty()) spaced += ' ';
        spaced += f;
      }
      writefile(dir.file("m.qc"), qctext(b, spaced));
      auto result = run(tanner, {"export", "--qc", dir.file("m.qc"), dir.file("back.qc")});
      ASSERT_EQ(result.status, 0) << result.err;
      // Read back: same matrix; the flags kept.
      EXPECT_EQ(run(tanner, {"export", "--qc", dir.file("back.qc"), dir.file("again.qc")}).status,
                0);
      EXPECT_EQ(readfile(dir.file("back.qc")), readfile(dir.file("again.qc")));
      const std::string back = readfile(dir.file("back.qc"));
      // The last line holds the flags, when there are any.
      std::string last = back.substr(back.rfind('\n', back.size() - 2) + 1), squeezed;
      for (char ch : last)
        if (ch != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += ch;
      EXPECT_EQ(squeezed == spaced + "\n", !flags.empty()) << back;
    }
    // The shifts file of construct proto --shifts: the same numbers.
    std::string shifts;
    for (int r = 0; r < b.rows; ++r) {
      for (int c = 0; c < b.columns; ++c) {
        if (c > 0) shifts += ' ';
        shifts += std::to_string(b.shifts[r * b.columns + c]);
      }
      shifts += '\n';
    }
    writefile(dir.file("shifts"), shifts);
    auto built = run(tanner, {"construct", "proto", "--lift", std::to_string(b.lift), "--shifts",
                              dir.file("shifts"), dir.file("built.code")});
    ASSERT_EQ(built.status, 0) << built.err;
    auto exported = run(tanner, {"export", "--qc", "--lift", std::to_string(b.lift),
                                 dir.file("built.code"), dir.file("built.qc")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    writefile(dir.file("m.qc"), qctext(b));
    ASSERT_EQ(run(tanner, {"export", "--qc", "--lift", std::to_string(b.lift), dir.file("m.qc"),
                           dir.file("mine.qc")})
                  .status,
              0);
    EXPECT_EQ(readfile(dir.file("built.qc")), readfile(dir.file("mine.qc")));
  }
  struct refusal {
    arguments args;
    int status;
    const char *message;
  } refusals[] = {
      {{"export", "--qc", examples + "/hamming7.alist", dir.file("h.qc")},
       1,
       "no lifting of circulants larger than 1 x 1"},
      {{"export", "--qc", "--lift", "2", examples + "/hamming7.alist", dir.file("h.qc")},
       1,
       "no lifting of circulants of size 2"},
      {{"export", "--lift", "2", examples + "/hamming7.alist", dir.file("h.alist")},
       2,
       "--lift applies to --qc only"},
      {{"export", "--qc", "--unpadded", examples + "/hamming7.alist", dir.file("h.qc")},
       2,
       "--unpadded applies to alist output"},
      {{"stats", "--format", "alist", examples + "/hamming7.alist"}, 2, "--format takes qc"},
      {{"stats", "--format", "qc", "--format", "qc", examples + "/hamming7.alist"},
       2,
       "--format is given twice"},
      {{"construct", "--format", "qc"}, 2, "unknown ensemble"},
  };
  for (const refusal &r : refusals) {
    auto result = run(tanner, r.args);
    EXPECT_EQ(result.status, r.status) << r.args[1] << result.err;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
    EXPECT_FALSE(fileexists(dir.file("h.qc")));
  }
  // The hamming matrix is its own base matrix of size 1 when asked for.
  auto one = run(
      tanner, {"export", "--qc", "--lift", "1", examples + "/hamming7.alist", dir.file("h1.qc")});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(readfile(dir.file("h1.qc")).substr(0, 6), "7 3 1\n");
}
