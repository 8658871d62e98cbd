// Pieces shared by the families of `tanner construct`: the options every
// construction takes, the stream start, writing and reporting the graph.
#ifndef TANNER_CONSTRUCT_H
#define TANNER_CONSTRUCT_H

#include <functional>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "jsonwriter.h"
#include "optiontable.h"

namespace tanner {

struct common {
  unsigned short seed[3] = {0, 0, 0};
  bool verbose = false;
  bool alist = false;
  bool padded = true;
  int girth = 0;           // --girth G (--no-parallel: 4); 0 none
  bool circulant = false;  // proto: --circulant
  std::string shifts;      // proto: --shifts FILE
  bool json = false;       // --json: the report as one JSON object
  bool encoder = false;    // --encoder: write gap and iphi, nodes in the form's order
  std::string output;
};

// Takes the common options and the output name; returns the other arguments
// in order.
std::vector<std::string> parsecommon(int argc, char **argv, common *options);
// Reads the arguments parsecommon returned by table: an argument that
// starts with "--" is an option (unknown ones as unknown says; unset:
// "unknown option NAME"), each other goes to positional.
void applyrest(const std::vector<std::string> &args, const std::vector<optionentry> &table,
               const std::function<void(const std::string &arg)> &positional,
               const std::function<int(const std::string &arg, const char *next)> &unknown = {});
// The report of a construction: each part is printed as text as it comes,
// or with --json written as members of one object into the writer every
// part is handed (opened by beginreport, closed and printed by endreport).
void beginreport(const common &options, ldpc::jsonwriter &json);
void endreport(const common &options, ldpc::jsonwriter &json);

// Seeds the graph stream from options and reports the state.
void startstream(const common &options, ldpc::jsonwriter &json);
// Writes graph to the output of options whole, ends the progress line and
// reports the graph's counts and fingerprint and where it went.
void writeandreport(ldpc::graphs *graph, const common &options, ldpc::jsonwriter &json);
// The same report of a graph written otherwise (encodergap: the gap of the
// encoder information written with it, under --encoder).
void reportgraph(const ldpc::graphs *graph, const common &options, ldpc::jsonwriter &json,
                 int encodergap = -1);

// constructgirth.cpp: with --girth, removes short cycles from a fresh graph and
// reports what it took; ends with status 1 when the target is not reached.
void applygirth(ldpc::graphs *graph, const common &options, ldpc::jsonwriter &json);
// proto --circulant / --shifts, and peg.
int circulantlift(const std::string &protofile, int lift, bool haslift, const common &options);
int pegcommand(int argc, char **argv);

}  // namespace tanner

#endif
