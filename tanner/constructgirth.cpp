// tanner construct peg, construct proto --circulant / --shifts and --girth on
// any construction: graphs without short cycles (cycle removal, cyclic
// liftings of protographs, progressive edge growth).
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "construct.h"
#include "graphfile.h"
#include "graphstats.h"
#include "shortcycles.h"

namespace tanner {

namespace {

std::string readtext(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) fail(path + ": cannot be read");
  return text.str();
}

void printhistogram(const char *title, const std::map<int, std::int64_t> &counts) {
  std::printf("%s\n", title);
  for (const auto &[value, nodes] : counts) {
    if (value == 0)
      std::printf("  %9s %12" PRId64 "\n", "none", nodes);
    else
      std::printf("  %9d %12" PRId64 "\n", value, nodes);
  }
}

// [{"KEY": value, "nodes": n}, ...]; with zeroisnull, a value of 0 (a
// girth: no cycle) as null.
void jsonhistogram(ldpc::jsonwriter &json, const char *key,
                   const std::map<int, std::int64_t> &counts, bool zeroisnull) {
  json.beginarray();
  for (const auto &[value, nodes] : counts) {
    json.beginobject().key(key);
    if (zeroisnull && value == 0)
      json.null();
    else
      json.integer(value);
    json.key("nodes").integer(nodes).endobject();
  }
  json.endarray();
}

// The girth line, or "girth" in JSON (null: no cycle).
void reportgirth(const common &options, ldpc::jsonwriter &json, std::int64_t girth,
                 const char *after) {
  if (options.json && girth > 0)
    json.key("girth").integer(girth);
  else if (options.json)
    json.key("girth").null();
  else if (girth > 0)
    std::printf("girth %" PRId64 "\n%s", girth, after);
  else
    std::printf("girth none (no cycle)\n%s", after);
}

// The degrees of a --degrees file: one positive integer per node,
// whitespace-separated; lines starting with '#' are comments.
std::vector<int> readdegrees(const std::string &path) {
  std::istringstream lines(readtext(path));
  std::string line, word;
  std::vector<int> degrees;
  for (int lineno = 1; std::getline(lines, line); ++lineno) {
    std::istringstream words(line);
    while (words >> word) {
      if (word[0] == '#') break;
      char *end = nullptr;
      errno = 0;
      long value = std::strtol(word.c_str(), &end, 10);
      if (*end != '\0' || errno != 0 || value < 1 || value > 1000000000)
        fail(path + ": line " + std::to_string(lineno) + ": '" + word +
             "' is not a positive degree");
      degrees.push_back(static_cast<int>(value));
    }
  }
  if (degrees.empty()) fail(path + ": no degrees");
  return degrees;
}

}  // namespace

void applygirth(ldpc::graphs *graph, const common &options, ldpc::jsonwriter &json) {
  if (options.girth == 0) return;
  ldpc::cycleremoval result = ldpc::removeshortcycles(graph, options.girth, 20000, showprogress);
  endprogress();
  if (!result.reached) fail(result.message);
  if (options.json) {
    json.key("cycleremoval").beginobject().key("girth").integer(result.girth);
    json.key("target").integer(result.target).key("offending").integer(result.offending);
    json.key("exchanges").integer(result.exchanges).key("attempts").integer(result.attempts);
    json.endobject();
    return;
  }
  std::printf("cycle removal: girth %d (target %d); edges on shorter cycles %" PRId64
              ", exchanges kept %" PRId64 " of %" PRId64 " tried\n",
              result.girth, result.target, result.offending, result.exchanges, result.attempts);
}

int circulantlift(const std::string &protofile, int lift, bool haslift, const common &options) {
  if (!haslift) usageerror("construct", "--lift is required");
  if (!options.shifts.empty() && options.girth != 0)
    usageerror("construct", "--girth does not apply to shifts given with --shifts");
  if (protofile.empty() && options.shifts.empty())
    usageerror("construct", "expects PROTOFILE or --shifts FILE");
  std::vector<namedfile> inputs;
  if (!protofile.empty()) inputs.push_back({"the proto-file", protofile});
  if (!options.shifts.empty()) inputs.push_back({"--shifts", options.shifts});
  checkdistinctfiles("construct", inputs, {{"the output", options.output}});

  // The protograph and, with --shifts, the shifts of its edges.
  ldpc::graphs *protograph = nullptr;
  std::vector<int> shifts;
  if (!options.shifts.empty()) {
    ldpc::shiftmatrix matrix;
    std::string error;
    if (!ldpc::parseshiftmatrix(readtext(options.shifts), &matrix, &error))
      fail(options.shifts + ": " + error);
    if (protofile.empty()) {
      protograph = ldpc::protographfromshifts(matrix, &shifts);
    } else {
      protograph = loadprotograph(protofile, lift);
      if (!ldpc::shiftsforprotograph(matrix, protograph, &shifts, &error))
        fail(options.shifts + ": " + error);
    }
  } else {
    protograph = loadprotograph(protofile, lift);
  }
  const std::string source = protofile.empty() ? options.shifts : protofile;
  std::string unusable = ldpc::unliftable(protograph, lift);
  if (!unusable.empty()) fail(source + ": " + unusable);
  checkwritable(options.output);

  ldpc::jsonwriter json;
  beginreport(options, json);
  if (options.shifts.empty())
    startstream(options, json);
  else if (options.json)
    json.key("seed").null();  // given shifts draw nothing
  const int target = options.girth == 0 ? 4 : options.girth;
  ldpc::graphs graph{};
  std::string error;
  if (!ldpc::constructcirculant(&graph, protograph, lift, target, &shifts, &error))
    fail(source + ": " + error);
  const std::int64_t girth = ldpc::girth(&graph, showprogress);
  writeandreport(&graph, options, json);
  reportgirth(options, json, girth, "");
  const std::string matrix = ldpc::formatshiftmatrix(protograph, shifts);
  if (options.json)
    json.key("shiftmatrix").string(matrix);
  else
    std::printf("\nshift matrix (rows: protograph check nodes, columns: variable nodes):\n%s",
                matrix.c_str());
  endreport(options, json);
  ldpc::freegraph(&graph);
  ldpc::freegraph(protograph);
  std::free(protograph);
  return statusok;
}

namespace {

// The degrees of the variable nodes, from --degrees FILE or from --vdeg,
// --vfrac and --length; the check count; the rest of the options.
struct pegsettings {
  common options;
  std::vector<int> degrees;
  std::string degreesfile;
  int checks = -1;
};

pegsettings parsepeg(int argc, char **argv) {
  pegsettings s;
  std::vector<std::string> args = parsecommon(argc, argv, &s.options);
  std::vector<int> vdeg;
  std::vector<double> vfrac;
  int length = -1;
  const std::vector<optionentry> table = {
      {"--vdeg", optionkind::list, "",
       [&](const std::string &v) { vdeg = parseintlist("construct", "--vdeg", v); }},
      {"--vfrac", optionkind::list, "",
       [&](const std::string &v) { vfrac = parsedoublelist("construct", "--vfrac", v); }},
      {"--length", optionkind::integer, "",
       [&](const std::string &v) { length = parsecount("construct", "--length", v, 1); }},
      {"--checks", optionkind::integer, "",
       [&](const std::string &v) { s.checks = parsecount("construct", "--checks", v, 1); }},
      {"--degrees", optionkind::text, "", [&](const std::string &v) { s.degreesfile = v; }},
  };
  // A name without a value after it is out of place; one with a value unknown.
  auto unexpected = [](const std::string &arg) {
    usageerror("construct", "unexpected argument " + arg);
  };
  applyrest(args, table, unexpected, [&](const std::string &arg, const char *next) -> int {
    if (next == nullptr) unexpected(arg);
    usageerror("construct", "unknown option " + arg);
  });
  if (s.options.circulant || !s.options.shifts.empty())
    usageerror("construct", "--circulant and --shifts apply to proto only");
  if (s.checks < 1) usageerror("construct", "--checks is required");
  if (!s.degreesfile.empty()) {
    if (!vdeg.empty() || !vfrac.empty() || length != -1)
      usageerror("construct", "--degrees excludes --vdeg, --vfrac and --length");
    checkdistinctfiles("construct", {{"--degrees", s.degreesfile}},
                       {{"the output", s.options.output}});
    s.degrees = readdegrees(s.degreesfile);
  } else {
    if (vdeg.empty()) usageerror("construct", "--vdeg (or --degrees) is required");
    if (vdeg.size() != vfrac.size())
      usageerror("construct", "--vfrac needs one fraction per degree of --vdeg");
    if (length < 1) usageerror("construct", "--length is required");
    for (int degree : vdeg)
      if (degree < 1) usageerror("construct", "--vdeg must be positive");
    checkfractions("construct", "--vfrac", vfrac);
    // The sizes are checked before the list of degrees is made.
    const std::string fault = ldpc::pegdistributionfault(vdeg, vfrac, length, s.checks);
    if (!fault.empty()) fail("peg: " + fault);
    s.degrees = ldpc::pegdegrees(vdeg, vfrac, length);
  }
  return s;
}

// The girth, the local girths of the variable nodes and the check degrees.
void reportpeggirths(const common &options, ldpc::jsonwriter &json, const ldpc::graphs &graph,
                     const std::vector<int> &local) {
  std::map<int, std::int64_t> localcounts, checkcounts;
  int girth = 0;
  for (int g : local) {
    ++localcounts[g];
    if (g > 0 && (girth == 0 || g < girth)) girth = g;
  }
  for (int c = 0; c < graph.cnodenum; ++c) ++checkcounts[graph.cnodelist[c].degree];
  reportgirth(options, json, girth, "\n");
  if (options.json) {
    jsonhistogram(json.key("localgirth"), "girth", localcounts, true);
    jsonhistogram(json.key("checkdegrees"), "degree", checkcounts, false);
    return;
  }
  printhistogram("local girth  variable nodes", localcounts);
  std::printf("\n");
  printhistogram("check degree    check nodes", checkcounts);
}

}  // namespace

int pegcommand(int argc, char **argv) {
  const pegsettings s = parsepeg(argc, argv);
  checkwritable(s.options.output);
  ldpc::jsonwriter json;
  beginreport(s.options, json);
  startstream(s.options, json);
  ldpc::graphs graph{};
  std::string error;
  if (!ldpc::constructpeg(&graph, s.degrees, s.checks, &error, showprogress))
    fail((s.degreesfile.empty() ? std::string("peg") : s.degreesfile) + ": " + error);
  applygirth(&graph, s.options, json);
  std::vector<int> local = ldpc::localgirths(&graph, showprogress);
  writeandreport(&graph, s.options, json);
  reportpeggirths(s.options, json, graph, local);
  endreport(s.options, json);
  ldpc::freegraph(&graph);
  return statusok;
}

}  // namespace tanner
