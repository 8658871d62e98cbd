// Shared pieces of the tanner subcommands: errors and exit statuses, option
// values, loading graphs, progress on a terminal.
#ifndef TANNER_CLI_H
#define TANNER_CLI_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "simulation.h"

namespace tanner {

// Exit statuses of every subcommand.
constexpr int statusok = 0;
constexpr int statusfailed = 1;
constexpr int statususage = 2;

// "tanner COMMAND: message" and a hint on standard error; exits with 2.
[[noreturn]] void usageerror(const std::string &command, const std::string &message);
// "tanner: message" on standard error; exits with 1.
[[noreturn]] void fail(const std::string &message);

bool ishelp(const char *arg);
// Whether arg is --version; printversion prints "tanner VERSION".
bool isversion(const char *arg);
void printversion();

// Flushes standard output; when a write to it fails, ends the process at
// once with status 1 and the reason of that write. Call it after each part
// of a long command's output, so that a full disk stops the work.
void flushoutput();

// Flushes and closes standard output and ends the process: with status, or
// with 1 and a message when what was printed could not be written.
[[noreturn]] void finish(int status);

// Splits every "--option=value" argument into "--option" "value".
std::vector<char *> splitoptions(int argc, char **argv);

// Option values; a malformed value is a usage error of command.
int parseint(const std::string &command, const std::string &option, const std::string &text);
// An integer of at least least.
int parsecount(const std::string &command, const std::string &option, const std::string &text,
               int least);
double parsedouble(const std::string &command, const std::string &option,
                   const std::string &text);
std::vector<int> parseintlist(const std::string &command, const std::string &option,
                              const std::string &text);
std::vector<double> parsedoublelist(const std::string &command, const std::string &option,
                                    const std::string &text);

// The degree distribution of an irregular ensemble on the command line:
// --vdeg D,.. --vfrac F,.. --cdeg D,.. --cfrac F,.. [--edge-fractions].
struct distributionargs {
  std::vector<int> vdeg, cdeg;
  std::vector<double> vfrac, cfrac;
  bool edgefractions = false;
};
// When arg is one of those options, takes it and its value (value, null
// when none follows) and returns the number of arguments used; else 0.
int takedistributionoption(const std::string &command, const std::string &arg, const char *value,
                           distributionargs *distribution);
// Fractions of one side: each at least 0, together 1 (relative tolerance
// 1e-9); a usage error of command otherwise.
void checkfractions(const std::string &command, const char *option,
                    const std::vector<double> &fractions);
// A usage error for a distribution that is incomplete or malformed, with
// --length when the ensemble has a length: ldpc::irregularinputfault.
void checkdistributionargs(const std::string &command, const distributionargs &distribution,
                           std::optional<int> length = std::nullopt);

// A file named on the command line and what it is there ("--json", "the
// code").
struct namedfile {
  std::string role;
  std::string path;
};
// A usage error of command when an output is the same file as an input or
// as an output before it. Files are compared by device and inode, so links
// and other spellings of one path are caught; a path that does not exist
// yet by its directory and name. Empty output paths are skipped.
void checkdistinctfiles(const std::string &command, const std::vector<namedfile> &inputs,
                        const std::vector<namedfile> &outputs);

// Reads a graph into a fresh record (release with freegraph and free):
// a code description file when the content opens with "/*" (after optional
// whitespace), else an alist file. A file that cannot be opened or is
// malformed ends the process with status 1 and a message naming it; a
// proto-file is named as such, with protohint (the command to type) or
// else the construction that makes a code of it. With checkmirrors false,
// edge entries of a code description file that do not point back are
// accepted, so that `check` can list them.
ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors = true,
                           ldpc::encoders *encoder = nullptr, const std::string &protohint = "");

// Reads the proto-file at path (any length) and checks that lifting it by
// lift gives a usable graph; ends the process with status 1 and a message
// naming the file otherwise. Release with freegraph and free.
ldpc::graphs *loadprotograph(const std::string &path, int lift);

// Writes graph to path whole: a code description file without encoder
// information, or an alist file (padded or not) when alist is set. A failure
// ends the process with status 1 and a message naming the path and reason.
// With encoder (a code description file only), its gap and iphi are
// written with the graph.
void writegraph(const ldpc::graphs *graph, const std::string &path, bool alist, bool padded,
                const ldpc::encoders *encoder = nullptr);

// encode.cpp: the encoder information of graph (--encoder of construct and
// convert): the graph with its nodes in the order of the approximate
// lower-triangular form, into a fresh record (release with freegraph and
// free), and gap and iphi into *info (iphi released with free). Ends the
// process with status 1 and a message naming what when it cannot be found.
ldpc::graphs *encoderinformation(const ldpc::graphs *graph, ldpc::encoders *info,
                                 const std::string &what);
// Ends the process as writegraph does when path cannot be opened for
// writing; tested without creating or emptying anything.
void checkwritable(const std::string &path);

// Progress on standard error while a subcommand runs, when standard error
// is a terminal: from the first second on, a line with the step and its
// percentage where it reports one, else the seconds elapsed, rewritten
// every second. After forceprogress (--progress) also elsewhere, as a line
// of its own every 5 seconds. showprogresstext shows a line given whole
// instead (at most once a second on a terminal, every 5 seconds elsewhere).
// endprogress stops it and clears the line; call it before printing
// results.
void startprogress(const char *label);
void forceprogress();
void showprogress(std::int64_t done, std::int64_t total, const char *what);
void showprogresstext(const std::string &text);
void endprogress();

// The graph-stream state given by --seed: "W0,W1,W2" (three 16-bit words,
// word 0 least significant) or one integer S, 0 <= S < 2^48, that is the
// 48-bit state itself (W0 = S mod 65536, W1 = S / 65536 mod 65536,
// W2 = S / 2^32).
void parseseed(const std::string &command, const std::string &text, unsigned short words[3]);
std::string formatseed(const unsigned short words[3]);

// text as a JSON string, quotes included.
std::string jsonstring(const std::string &text);

int convertcommand(int argc, char **argv);
int exportcommand(int argc, char **argv);
int constructcommand(int argc, char **argv);
int dumpcommand(int argc, char **argv);
int encodecommand(int argc, char **argv);
int checkcommand(int argc, char **argv);
int statscommand(int argc, char **argv);
int simulatecommand(int argc, char **argv);
int thresholdcommand(int argc, char **argv);
int floorcommand(int argc, char **argv);
int trappingcommand(int argc, char **argv);
int absorbingcommand(int argc, char **argv);

}  // namespace tanner

#endif
