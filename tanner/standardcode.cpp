// Standard codes and transmission patterns in tanner: construct standard,
// simulate's code options and the frame map of a pattern.
#include "standardcode.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <algorithm>
#include <cmath>

#include "cli.h"
#include "construct.h"
#include "graphstats.h"
#include "qcformat.h"

namespace tanner {

namespace {

std::string joinedints(const std::vector<int> &values) {
  std::string text;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k > 0) text += ' ';
    text += std::to_string(values[k]);
  }
  return text;
}

std::string joinedtexts(const std::vector<std::string> &values) {
  std::string text;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k > 0) text += ' ';
    text += values[k];
  }
  return text;
}

}  // namespace

std::vector<optionentry> standardoptions(const std::string &command,
                                         ldpc::standardrequest *request) {
  ldpc::standardrequest &r = *request;
  auto count = [command](const char *name, const char *help, auto *target) {
    return optionentry{name, optionkind::integer, help,
                       [=](const std::string &v) { *target = parsecount(command, name, v, 1); },
                       true};
  };
  return {
      {"--rate", optionkind::text,
       "  --rate R     the rate as the standard writes it: 1/2, 2/3A, 8/9\n",
       [command, &r](const std::string &v) {
         r.rate = v;
         if (r.rate.empty()) usageerror(command, "--rate needs a value such as 1/2 or 2/3A");
       },
       true},
      count("--length", "  --length N   the codeword length as the standard counts it\n",
            &r.length),
      count("--lift", "  --lift Z     the lifting size (circulant size)\n", &r.lift),
      count("--info",
            "  --info K     information bits, where the family is chosen by them\n"
            "               (nr-bg1, nr-bg2, nr, ar4ja)\n",
            &r.info),
      {"--rv", optionkind::integer, "  --rv V       nr: redundancy version 0..3 (default 0)\n",
       [command, &r](const std::string &v) {
         r.rv = parseint(command, "--rv", v);
         if (r.rv < 0 || r.rv > 3) usageerror(command, "--rv takes a redundancy version 0..3");
       },
       true},
      count("--lbrm", "  --lbrm TBS   nr: limited buffer rate matching with TBS_LBRM = TBS\n",
            &r.tbslbrm),
  };
}

void buildstandardcode(const std::string &command, const ldpc::standardrequest &request,
                       ldpc::standardcode *code) {
  std::string error;
  if (!ldpc::buildstandard(request, code, &error)) usageerror(command, error);
}

std::string describestandard(const ldpc::standardcode &code) {
  std::string text = code.family;
  if (!code.rate.empty()) text += " rate " + code.rate;
  text += ", " + std::to_string(code.length) + " bits, " + std::to_string(code.info) +
          " information bits";
  if (code.lift > 0) text += ", Z " + std::to_string(code.lift);
  return text;
}

void standardjson(ldpc::jsonwriter &json, const ldpc::standardcode &code,
                  const ldpc::standardrequest &request) {
  auto orzero = [](ldpc::jsonwriter &w, long long v) -> ldpc::jsonwriter & {
    return v != 0 ? w.integer(v) : w.null();
  };
  json.beginobject().key("family").string(code.family).key("rate");
  if (code.rate.empty())
    json.null();
  else
    json.string(code.rate);
  json.key("length").integer(code.length).key("info").integer(code.info);
  orzero(json.key("lift"), code.lift).key("rv").integer(request.rv);
  orzero(json.key("lbrm"), request.tbslbrm);
  json.key("source").string(code.source).endobject();
}

std::string noderanges(const std::vector<int> &nodes) {
  std::string text;
  for (std::size_t k = 0; k < nodes.size();) {
    std::size_t end = k;
    while (end + 1 < nodes.size() && nodes[end + 1] == nodes[end] + 1) ++end;
    if (!text.empty()) text += ',';
    text += std::to_string(nodes[k]);
    if (end > k) {
      text += '-';
      text += std::to_string(nodes[end]);
    }
    k = end + 1;
  }
  return text;
}

void settransmission(const std::string &description, ldpc::transmission pattern, int info,
                     codetransmission *target) {
  codetransmission &t = *target;
  t.pattern = std::move(pattern);
  t.info = info;
  const int sent = ldpc::sentbits(t.pattern);
  if (sent == 0) fail(description + ": the transmission pattern sends no bit");
  t.rate = static_cast<double>(info) / sent;
  t.active = true;
  t.map.channelbits = static_cast<int>(t.pattern.order.size());
  const ldpc::transmission *held = &t.pattern;
  t.map.todecoder = [held](const double *channel, double *llr) {
    ldpc::channeltodecoder(*held, channel, llr);
  };
  t.map.counted = ldpc::countedbits(t.pattern);
}

std::vector<std::string> takesimulatecode(const std::string &command, const char *help, int argc,
                                          char **argv, simulatecode *code) {
  std::vector<std::string> rest;
  int first = 0;
  if (argc > 0 && std::strcmp(argv[0], "standard") == 0) {
    code->standard = true;
    if (argc < 2 || argv[1][0] == '-')
      usageerror(command, "standard needs a family name (tanner construct standard --list)");
    code->options.request.family = argv[1];
    rest.push_back(argv[0]);
    first = 2;
  }
  std::vector<optionentry> table;
  if (code->standard) table = standardoptions(command, &code->options.request);
  for (auto [name, list, missing] :
       {std::tuple{"--punctured", &code->punctured, "--punctured needs a list of nodes"},
        std::tuple{"--shortened", &code->shortened, "--shortened needs a list of nodes"}})
    table.push_back({name, optionkind::list, "",
                     [command, code, list, missing](const std::string &v) {
                       if (v.empty()) usageerror(command, missing);
                       *list = v;
                       code->haslists = true;
                     },
                     true,
                     [command, code, name] {
                       if (code->standard)
                         usageerror(command, std::string(name) +
                                                 " applies to a code file; a standard code "
                                                 "brings its own pattern");
                     },
                     missing});
  // Only the code's options are read here: every other argument (an option
  // of simulate's table or a value of one) stays in rest, in order.
  argumentrules rules;
  rules.isoption = [&table](const std::string &arg) { return findoption(table, arg) != nullptr; };
  rules.positional = [&rest](const std::string &arg) { rest.push_back(arg); };
  applyoptions(command.c_str(), help, table, argc - first, argv + first, rules);
  return rest;
}

void filetransmission(const std::string &command, const std::string &path,
                      const ldpc::graphs *graph, const simulatecode &code,
                      codetransmission *target) {
  const int n = graph->vnodenum;
  ldpc::transmission pattern = ldpc::sendall(n);
  if (readsasqc(path)) pattern = ldpc::qcpattern(loadqcmatrix(path));
  std::vector<int> punctured, shortened;
  std::string error;
  for (auto [option, text, nodes] : {std::tuple{"--punctured", &code.punctured, &punctured},
                                     std::tuple{"--shortened", &code.shortened, &shortened}})
    if (!text->empty() && !ldpc::parsenodelist(*text, n, nodes, &error))
      usageerror(command, std::string(option) + " " + *text + ": " + error);
  if (!ldpc::markpattern(&pattern, punctured, shortened, &error)) usageerror(command, error);
  const int plain = ldpc::countstate(pattern, ldpc::bitstate::sent);
  if (plain == n) return;
  // The information bits of the design rate, less the shortened ones
  // (known zeros carry no information).
  const int info = static_cast<int>(std::lround(graph->rate * n)) -
                   ldpc::countstate(pattern, ldpc::bitstate::shortened);
  settransmission(path, std::move(pattern), std::max(info, 0), target);
}

std::string transmissionline(const codetransmission &t) {
  const ldpc::transmission &p = t.pattern;
  const int sent = ldpc::sentbits(p);
  const int distinct = ldpc::countstate(p, ldpc::bitstate::sent);
  char text[400];
  std::snprintf(
      text, sizeof text,
      "# transmission: %d bits sent (%d nodes%s), %d punctured, %d shortened; Eb/N0 at "
      "%d information bits per %d sent = rate %.6g; errors over sent and punctured bits\n",
      sent, distinct,
      p.appended > 0 ? (", " + std::to_string(p.appended) + " appended zeros").c_str() : "",
      ldpc::countstate(p, ldpc::bitstate::punctured),
      ldpc::countstate(p, ldpc::bitstate::shortened), t.info, sent, t.rate);
  return text;
}

void transmissionjson(ldpc::jsonwriter &json, const codetransmission &t) {
  const ldpc::transmission &p = t.pattern;
  std::vector<int> punctured, shortened;
  for (std::size_t v = 0; v < p.state.size(); ++v) {
    if (p.state[v] == ldpc::bitstate::punctured) punctured.push_back(static_cast<int>(v));
    if (p.state[v] == ldpc::bitstate::shortened) shortened.push_back(static_cast<int>(v));
  }
  const std::int64_t counted =
      std::count(t.map.counted.begin(), t.map.counted.end(), std::uint8_t{1});
  json.beginobject().key("sent").integer(ldpc::sentbits(p)).key("appended").integer(p.appended);
  json.key("info").integer(t.info).key("counted").integer(counted);
  json.key("punctured")
      .string(noderanges(punctured))
      .key("shortened")
      .string(noderanges(shortened));
  json.key("order").string(noderanges(p.order)).endobject();
}

// --- construct standard ----------------------------------------------------------

namespace {

const char standardhead[] =
    "usage: tanner construct standard NAME [--rate R] [--length N] [--lift Z] [--info K]\n"
    "                                 [--rv V] [--lbrm TBS] [--alist [--unpadded] | --qc]\n"
    "                                 [--json] OUT\n"
    "       tanner construct standard --list\n"
    "\n"
    "Builds a code of a communication standard from the standard's own tables\n"
    "and writes its graph to OUT: a code description file, an alist file with\n"
    "--alist, or with --qc its base matrix (with the flag line of punctured\n"
    "block columns where the code has one; codes that are no lifting of\n"
    "circulants in the standard's bit order are refused). --list prints every\n"
    "family with its rates, lengths, lifting sizes and information lengths.\n"
    "\n";

const char standardtail[] =
    "\n"
    "'nr --info K --length E' is the 5G NR code block of K bits sent in E bits:\n"
    "base graph, lifting size, filler bits (shortened) and bit selection as the\n"
    "standard says; the graph is the whole lifted base graph, the bits not sent\n"
    "punctured. A combination the standard does not define is a usage error\n"
    "(status 2) that lists the ones it does. The transmission pattern is printed\n"
    "(tanner simulate standard NAME ... sends it).\n";

void listfamilies() {
  for (const ldpc::standardfamily &f : ldpc::standardfamilies()) {
    std::printf("%s: %s\n  source: %s\n", f.name.c_str(), f.title.c_str(), f.source.c_str());
    if (!f.rates.empty()) std::printf("  rates: %s\n", joinedtexts(f.rates).c_str());
    if (!f.lengths.empty()) std::printf("  lengths: %s\n", joinedints(f.lengths).c_str());
    if (!f.lifts.empty()) std::printf("  lifting sizes: %s\n", joinedints(f.lifts).c_str());
    // The 5G NR families take any information length of a range.
    if (f.name.rfind("nr", 0) == 0 && f.infos.size() == 2)
      std::printf("  information lengths: %d..%d\n", f.infos[0], f.infos[1]);
    else if (!f.infos.empty())
      std::printf("  information lengths: %s\n", joinedints(f.infos).c_str());
    std::printf("  chosen by: %s\n", f.options.c_str());
  }
}

struct constructstandardargs {
  standardargs code;
  bool qc = false, list = false;
  common report;
};

constructstandardargs parsestandard(int argc, char **argv) {
  const std::string command = "construct standard";
  constructstandardargs a;
  std::vector<std::string> positional;
  bool alist = false, unpadded = false, json = false;
  auto flag = [](const char *name, bool *target, const char *help = "") {
    return optionentry{name, optionkind::flag, help, [=](const std::string &) { *target = true; },
                       true};
  };
  std::vector<optionentry> table = standardoptions(command, &a.code.request);
  table.push_back(flag("--json", &json, "  --json       the report as one JSON object\n"));
  for (auto [name, target] : {std::pair{"--alist", &alist}, std::pair{"--unpadded", &unpadded},
                              std::pair{"--qc", &a.qc}, std::pair{"--list", &a.list}})
    table.push_back(flag(name, target));
  applyoptions(command.c_str(), helptext(standardhead, table, standardtail).c_str(), table, argc,
               argv, &positional);
  a.report.alist = alist;
  a.report.padded = !unpadded;
  a.report.json = json;
  if (a.list) {
    if (!positional.empty() || argc > 1) usageerror(command, "--list takes no other argument");
    return a;
  }
  if (positional.size() != 2)
    usageerror(command, "expects NAME OUT (tanner construct standard --list)");
  if (a.qc && a.report.alist) usageerror(command, "give --alist or --qc, not both");
  if (!a.report.padded && !a.report.alist) usageerror(command, "--unpadded applies with --alist");
  a.code.request.family = positional[0];
  a.report.output = positional[1];
  return a;
}

void reportpattern(const ldpc::standardcode &code, const ldpc::standardrequest &request,
                   const common &report, ldpc::jsonwriter &json) {
  const ldpc::transmission &p = code.pattern;
  const int punctured = ldpc::countstate(p, ldpc::bitstate::punctured);
  const int shortened = ldpc::countstate(p, ldpc::bitstate::shortened);
  if (report.json) {
    standardjson(json.key("standard"), code, request);
    json.key("sent").integer(ldpc::sentbits(p)).key("punctured").integer(punctured);
    json.key("shortened").integer(shortened);
    return;
  }
  std::printf("standard code: %s (%s)\n", describestandard(code).c_str(), code.source.c_str());
  std::printf("transmission: %d bits sent, %d punctured, %d shortened nodes\n", ldpc::sentbits(p),
              punctured, shortened);
}

}  // namespace

int constructstandard(int argc, char **argv) {
  constructstandardargs a = parsestandard(argc, argv);
  if (a.list) {
    listfamilies();
    return statusok;
  }
  checkwritable(a.report.output);
  ldpc::standardcode code;
  buildstandardcode("construct standard", a.code.request, &code);
  ldpc::jsonwriter json;
  beginreport(a.report, json);
  reportpattern(code, a.code.request, a.report, json);
  if (a.qc) {
    if (code.base.lift == 0)
      fail(code.family +
           ": the code is no lifting of circulants in the standard's bit order; "
           "write it with --alist or as a code description file");
    std::string error;
    switch (ldpc::writeqcfile(code.base, a.report.output.c_str(), &error)) {
      case ldpc::writeok:
        break;
      case ldpc::writeopenfailed:
        fail(ldpc::openforwritingmessage(a.report.output, errno));
      case ldpc::writefailed:
        fail(error);
    }
    reportgraph(code.graph, a.report, json);
  } else {
    writeandreport(code.graph, a.report, json);
  }
  endreport(a.report, json);
  ldpc::freestandard(&code);
  return statusok;
}

}  // namespace tanner
