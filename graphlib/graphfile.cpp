#include "graphfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "alist.h"
#include "descfile.h"
#include "protograph.h"
#include "textio.h"

namespace ldpc {

namespace {

// Whether the characters read so far open with "/*" after white space (a
// byte order mark included): a code description file rather than an alist
// file. Nothing is consumed but the mark.
bool opensascomment(textscanner *in) {
  scanskipbom(in);
  const char *p = in->pos;
  while (p < in->end &&
         (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
    ++p;
  return p + 1 < in->end && p[0] == '/' && p[1] == '*';
}

}  // namespace

readoutcome readgraphfile(const char *path, graphs *graph, encoders *encoder, std::string *error,
                          bool checkmirrors) {
  *graph = graphs{};
  int fd = openforreading(path);
  if (fd < 0) return readopenfailed;
  textscanner in;
  scanfromfd(&in, fd);
  bool ok;
  if (opensascomment(&in)) {
    ok = parsegraph(&in, graph, encoder, error, checkmirrors);
  } else {
    ok = readalist(&in, graph, error);
    encoder->gap = -1;
    encoder->iphi = nullptr;
  }
  scanclose(&in);
  close(fd);
  // The readers release what they allocated but may leave counts behind.
  if (!ok) *graph = graphs{};
  return ok ? readok : readmalformed;
}

readoutcome readprotofile(const char *path, graphs **protograph, std::string *error) {
  *protograph = nullptr;
  int fd = openforreading(path);
  if (fd < 0) return readopenfailed;
  textscanner in;
  scanfromfd(&in, fd);
  bool ok = parseprotograph(&in, protograph, error);
  scanclose(&in);
  close(fd);
  return ok ? readok : readmalformed;
}

std::string openforwritingmessage(const std::string &path, int reason) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) reason = EISDIR;
  if (reason == 0) reason = EACCES;
  return path + ": cannot open for writing: " + std::strerror(reason);
}

bool fractionsusable(const std::vector<double> &fractions, std::string *why) {
  double sum = 0.0;
  for (double fraction : fractions) {
    if (!(fraction >= 0.0)) {
      *why = "fractions must not be negative";
      return false;
    }
    sum += fraction;
  }
  if (!(std::fabs(sum - 1.0) <= 1e-9)) {
    char text[64];
    std::snprintf(text, sizeof text, "%.12g", sum);
    *why = std::string("fractions must sum to 1, not ") + text;
    return false;
  }
  return true;
}

std::string irregularinputfault(const std::vector<int> &vdeg, const std::vector<double> &vfrac,
                                const std::vector<int> &cdeg, const std::vector<double> &cfrac,
                                std::optional<int> length, const std::string &prefix) {
  const std::string &p = prefix;
  if (vdeg.empty() || cdeg.empty()) return p + "vdeg and " + p + "cdeg are required";
  if (vdeg.size() != vfrac.size())
    return p + "vfrac needs one fraction per degree of " + p + "vdeg";
  if (cdeg.size() != cfrac.size())
    return p + "cfrac needs one fraction per degree of " + p + "cdeg";
  if (length && *length < 1) return p + "length must be given and at least 1";
  for (std::size_t k = 0; k < vdeg.size(); ++k)
    if (vdeg[k] < 1 || (k > 0 && vdeg[k] <= vdeg[k - 1]))
      return p + "vdeg must be positive and increasing";
  for (std::size_t k = 0; k < cdeg.size(); ++k)
    if (cdeg[k] < 1 || (k > 0 && cdeg[k] <= cdeg[k - 1]))
      return p + "cdeg must be positive and increasing";
  if (vdeg.size() > static_cast<std::size_t>(maxdegreesnum) ||
      cdeg.size() > static_cast<std::size_t>(maxdegreesnum))
    return p + "vdeg and " + p + "cdeg take at most " + std::to_string(maxdegreesnum) +
           " degrees each";
  std::string why;
  if (!fractionsusable(vfrac, &why)) return p + "vfrac " + why;
  if (!fractionsusable(cfrac, &why)) return p + "cfrac " + why;
  return "";
}

simulations irregularsimulation(int length, std::vector<int> &vdeg, std::vector<double> &vfrac,
                                std::vector<int> &cdeg, std::vector<double> &cfrac,
                                bool edgefractions) {
  simulations simulation{};
  simulation.length = length;
  simulation.vdegreesnum = static_cast<int>(vdeg.size());
  simulation.vdegreelist = vdeg.data();
  simulation.vpercentagelist = vfrac.data();
  simulation.cdegreesnum = static_cast<int>(cdeg.size());
  simulation.cdegreelist = cdeg.data();
  simulation.cpercentagelist = cfrac.data();
  simulation.typedist = edgefractions ? 1 : 0;
  return simulation;
}

double irregularrate(const simulations &simulation) {
  // Per variable node: edges (node fractions) or nodes per edge (edge
  // fractions); the same per check node.
  const bool edges = simulation.typedist == 1;
  double vside = 0, cside = 0;
  for (int k = 0; k < simulation.vdegreesnum; ++k)
    vside += edges ? simulation.vpercentagelist[k] / simulation.vdegreelist[k]
                   : simulation.vpercentagelist[k] * simulation.vdegreelist[k];
  for (int k = 0; k < simulation.cdegreesnum; ++k)
    cside += edges ? simulation.cpercentagelist[k] / simulation.cdegreelist[k]
                   : simulation.cpercentagelist[k] * simulation.cdegreelist[k];
  return edges ? 1 - cside / vside : 1 - vside / cside;
}

std::string unliftable(const graphs *protograph, int lift) {
  if (protograph->vnodenum == 0)
    return "the protograph has no variable node; the lifted graph would be empty";
  if (protograph->cnodenum == 0)
    return "the protograph has no check node; the lifted graph would have no edge";
  std::int64_t edges = 0;
  std::set<int> vdegrees, cdegrees;
  for (int v = 0; v < protograph->vnodenum; ++v) {
    edges += protograph->vnodelist[v].degree;
    vdegrees.insert(protograph->vnodelist[v].degree);
  }
  for (int c = 0; c < protograph->cnodenum; ++c) cdegrees.insert(protograph->cnodelist[c].degree);
  if (edges == 0)
    return "every node of the protograph has degree 0; the lifted graph would have no edge";
  std::int64_t most =
      std::max<std::int64_t>(edges, std::max(protograph->vnodenum, protograph->cnodenum));
  if (most * lift > INT32_MAX)
    return "lifted by " + std::to_string(lift) + " it would have " + std::to_string(most * lift) +
           " nodes or edges, more than 2147483647";
  if (vdegrees.size() > static_cast<std::size_t>(maxdegreesnum) ||
      cdegrees.size() > static_cast<std::size_t>(maxdegreesnum))
    return "the protograph has more than " + std::to_string(maxdegreesnum) +
           " distinct degrees on one side";
  return "";
}

}  // namespace ldpc
