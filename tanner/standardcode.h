// Standard codes and transmission patterns in the commands of tanner:
// construct standard, the code options of simulate (standard NAME with the
// options that choose a code, or --punctured / --shortened for a graph
// file) and the frame map through which the Monte-Carlo loop sends a code's
// bits.
//
// Numbering: node lists count variable nodes from 0, as the transmission
// patterns do. Error policy: as the rest of tanner, a misused option or a
// combination a standard does not define is a usage error (status 2, with
// the values the standard defines); a file that cannot be read or written
// ends the process with status 1.
#ifndef TANNER_STANDARDCODE_H
#define TANNER_STANDARDCODE_H

#include <set>
#include <string>
#include <vector>

#include "graphstruct.h"
#include "jsonwriter.h"
#include "montecarlo.h"
#include "optiontable.h"
#include "standard.h"
#include "transmission.h"

namespace tanner {

// The options that choose a standard code: --rate R --length N --lift Z
// --info K --rv V --lbrm TBS, each once.
struct standardargs {
  ldpc::standardrequest request;
};

// Those options as table entries of command, with construct standard's
// help lines, each once; request must outlive the table.
std::vector<optionentry> standardoptions(const std::string &command,
                                         ldpc::standardrequest *request);

// Builds the code of request; a combination the standard does not define is
// a usage error of command with buildstandard's message.
void buildstandardcode(const std::string &command, const ldpc::standardrequest &request,
                       ldpc::standardcode *code);

// "nr-bg2 rate 1/2, 1000 bits, 500 information bits, Z 26" as the header
// and listings name a code.
std::string describestandard(const ldpc::standardcode &code);

// The family and parameters as one JSON object.
void standardjson(ldpc::jsonwriter &json, const ldpc::standardcode &code,
                  const ldpc::standardrequest &request);

// Increasing runs of nodes as "0-767,9000" (the syntax of --punctured).
std::string noderanges(const std::vector<int> &nodes);

// How the bits of a code go over the channel in simulate. active false:
// every node sent once in node order (the loop then takes no map, and the
// counts are those of a plain run). map refers to pattern: the record stays
// where it is filled.
struct codetransmission {
  bool active = false;
  ldpc::transmission pattern;
  ldpc::framemap map;
  int info = 0;       // information bits per codeword
  double rate = 0.0;  // information bits per sent bit
  codetransmission() = default;
  codetransmission(const codetransmission &) = delete;
  codetransmission &operator=(const codetransmission &) = delete;
};

// Makes *target send pattern for a code of info information bits: the frame
// map of its sent bits and its counted bits. A pattern that sends nothing
// ends the process with status 1 and description.
void settransmission(const std::string &description, ldpc::transmission pattern, int info,
                     codetransmission *target);

// simulate's code options: "standard NAME" with the standard options, or
// --punctured LIST / --shortened LIST for a code file.
struct simulatecode {
  bool standard = false;
  standardargs options;
  std::string punctured, shortened;
  bool haslists = false;
};

// Takes those options out of simulate's arguments (by table, each once;
// help for --help); returns the others in order, "standard" standing for
// the code when it is one.
std::vector<std::string> takesimulatecode(const std::string &command, const char *help, int argc,
                                          char **argv, simulatecode *code);

// The pattern of a code file: its flag line when it is a base-matrix file,
// then the lists of code. A list with a fault is a usage error of command.
void filetransmission(const std::string &command, const std::string &path,
                      const ldpc::graphs *graph, const simulatecode &code,
                      codetransmission *target);

// "# transmission: ..." header line and the JSON object of a pattern.
std::string transmissionline(const codetransmission &transmit);
void transmissionjson(ldpc::jsonwriter &json, const codetransmission &transmit);

// tanner construct standard NAME [options] OUT, and --list.
int constructstandard(int argc, char **argv);

}  // namespace tanner

#endif
