// The floor ledger: the configuration text, point lines and the locked
// appending writer.
#include "floorledger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "fnv1a.h"
#include "ldpcgraph_version.h"

namespace ldpc {

namespace {

using json = nlohmann::ordered_json;

// Reals that are not finite as strings, so that they read back as written.
json real(double x) {
  if (std::isnan(x)) return std::signbit(x) ? "-nan" : "nan";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  return x;
}

bool getreal(const json &v, double *x) {
  if (v.is_number()) {
    *x = v.get<double>();
    return true;
  }
  if (!v.is_string()) return false;
  const std::string s = v.get<std::string>();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  if (s == "nan" || s == "-nan")
    *x = std::copysign(nan, s[0] == '-' ? -1.0 : 1.0);
  else if (s == "inf" || s == "-inf")
    *x = s[0] == '-' ? -inf : inf;
  else
    return false;
  return true;
}

// The scalars of a result, by name, for writing and reading alike.
template <typename visitor>
void fields(floorresult &r, visitor &&f) {
  f("point", r.point);
  f("sigma", r.parameter);
  f("ebn0", r.ebn0);
  f("fer", r.fer);
  f("ferlow", r.ferlow);
  f("ferhigh", r.ferhigh);
  f("ber", r.ber);
  f("berlow", r.berlow);
  f("berhigh", r.berhigh);
  f("log10fer", r.log10fer);
  f("log10ferse", r.log10ferse);
  f("degreesoffreedom", r.degreesoffreedom);
  f("converged", r.converged);
  f("diagnostic", r.diagnostic);
  f("threshold", r.threshold);
  f("thresholdsigmas", r.thresholdsigmas);
  f("bins", r.bins);
  f("log10tail", r.log10tail);
  f("stratumframes", r.stratumframes);
  f("stratumfailures", r.stratumfailures);
  f("log10top", r.log10top);
  f("log10topse", r.log10topse);
  f("adapted", r.adapted);
  f("stages", r.stages);
  f("flatness", r.flatness);
  f("roundtrips", r.roundtrips);
  f("travellers", r.travellers);
  f("productionsteps", r.productionsteps);
  f("decodes", r.decodes);
  f("pilotdecodes", r.pilotdecodes);
  f("stratumdecodes", r.stratumdecodes);
  f("chaindecodes", r.chaindecodes);
  f("seconds", r.seconds);
}

bool samereal(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

}  // namespace

std::string floorconfig(const graphs *graph, const floorsettings &s) {
  json c;
  c["software"] = "ldpcgraph " LDPCGRAPH_VERSION;
  c["method"] = "multicanonical";
  c["code"] = hex16(fingerprint(graph));
  c["length"] = graph->vnodenum;
  c["channel"] = channelname(s.channel);
  const decoderoptions &o = s.decoder;
  c["decoder"] = algorithmname(o.algorithm);
  c["schedule"] = schedulename(o.schedule);
  c["iterations"] = o.iterations;
  if (o.algorithm == decoderalgorithm::normalizedminsum) c["alpha"] = real(o.alpha);
  if (o.algorithm == decoderalgorithm::offsetminsum) c["beta"] = real(o.beta);
  c["earlystop"] = o.earlystop;
  if (o.algorithm != decoderalgorithm::sumproduct) c["quantization"] = o.quantization;
  // Sum-product decodes in float, whose results depend on the vector width.
  if (o.algorithm == decoderalgorithm::sumproduct) c["target"] = decoder::targetfor(o);
  if (o.approximation != spaapproximation::exact)
    c["approximation"] = approximationname(o.approximation);
  c["seed"] = s.seed;
  std::string pattern;
  for (bitfate b : s.pattern) pattern.push_back(static_cast<char>('0' + static_cast<int>(b)));
  c["pattern"] = pattern.empty() ? std::string("all sent") : hex16(fnv1a(pattern));
  c["binwidth"] = real(s.binwidth);
  c["targetfraction"] = real(s.targetfraction);
  c["pilotframes"] = s.pilotframes;
  c["stratumerrors"] = s.stratumerrors;
  c["stratumframes"] = s.stratumframes;
  c["chains"] = s.chains.chains;
  json moves = json::array();
  for (const chainmove &m : s.chains.moves)
    moves.push_back({m.kind == chainmove::radial ? "radial" : "crank", real(m.share), real(m.rho),
                     real(m.step), real(m.probability)});
  c["moves"] = moves;
  c["initialstep"] = real(s.chains.initialstep);
  c["finalstep"] = real(s.chains.finalstep);
  c["adaptflatness"] = real(s.chains.adaptflatness);
  c["adapttravellers"] = real(s.chains.adapttravellers);
  c["checkinterval"] = s.chains.checkinterval;
  c["maxdecodes"] = s.maxdecodes;
  c["adaptshare"] = real(s.adaptshare);
  c["burnin"] = s.burnin;
  c["roundsteps"] = s.roundsteps;
  c["minrounds"] = s.minrounds;
  c["precision"] = real(s.precision);
  c["confidence"] = real(s.confidence);
  c["minflatness"] = real(s.minflatness);
  c["minroundtrips"] = real(s.minroundtrips);
  return c.dump();
}

std::string floorconfighash(const std::string &configtext) { return hex16(fnv1a(configtext)); }

std::string floorpointline(const floorresult &result) {
  json line;
  floorresult r = result;
  fields(r, [&](const char *key, auto &value) {
    if constexpr (std::is_same_v<std::decay_t<decltype(value)>, double>)
      line[key] = real(value);
    else
      line[key] = value;
  });
  return line.dump() + "\n";
}

std::string parsefloorpoint(std::string_view text, const std::string &where, floorresult *result) {
  json line;
  try {
    line = json::parse(text.begin(), text.end());
  } catch (const json::parse_error &e) {
    return where + ": does not parse as JSON (byte " + std::to_string(e.byte) + ")";
  }
  if (!line.is_object()) return where + ": is not a JSON object";
  floorresult r;
  std::string fault;
  std::size_t known = 0;
  fields(r, [&](const char *key, auto &value) {
    using kind = std::decay_t<decltype(value)>;
    if (!fault.empty()) return;
    auto it = line.find(key);
    if (it == line.end()) {
      fault = where + ": no \"" + key + "\"";
      return;
    }
    ++known;
    bool ok = false;
    if constexpr (std::is_same_v<kind, double>) {
      ok = getreal(*it, &value);
    } else if constexpr (std::is_same_v<kind, bool>) {
      ok = it->is_boolean();
      if (ok) value = it->template get<bool>();
    } else if constexpr (std::is_same_v<kind, std::string>) {
      ok = it->is_string();
      if (ok) value = it->template get<std::string>();
    } else {
      ok = it->is_number_integer() && it->template get<std::int64_t>() >= 0 &&
           it->template get<std::int64_t>() <= std::numeric_limits<kind>::max();
      if (ok) value = static_cast<kind>(it->template get<std::int64_t>());
    }
    if (!ok) fault = where + ": \"" + key + "\" is not what the writer puts there";
  });
  if (!fault.empty()) return fault;
  if (known != line.size()) return where + ": a key this program does not write";
  *result = std::move(r);
  return "";
}

std::string parsefloorledger(std::string_view text, const std::string &name,
                             floorledgercontents *ledger) {
  floorledgercontents l;
  l.path = name;
  std::size_t at = 0;
  int number = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      l.torn = true;  // the writer ended in mid-line
      break;
    }
    const std::string_view line = text.substr(at, end - at);
    const std::string where = name + ", line " + std::to_string(++number);
    if (number == 1) {
      json header;
      try {
        header = json::parse(line.begin(), line.end());
      } catch (const json::parse_error &) {
        return where + ": not a floor ledger (the first line does not parse as JSON)";
      }
      if (!header.is_object() || !header.contains("floorledger"))
        return where + ": not a floor ledger (no \"floorledger\" in the first line)";
      if (header["floorledger"] != 1)
        return where + ": a floor ledger format this program does not read";
      if (!header.contains("config") || !header["config"].is_object() || !header.contains("hash") ||
          !header["hash"].is_string())
        return where + ": the header has no \"config\" object or no \"hash\"";
      l.config = header["config"].dump();
      if (floorconfighash(l.config) != header["hash"].get<std::string>())
        return where +
               ": the header's hash is not that of its configuration: the header was changed";
      if (header.contains("info") && header["info"].is_object())
        for (auto it = header["info"].begin(); it != header["info"].end(); ++it)
          if (it.value().is_string()) l.info.emplace_back(it.key(), it.value().get<std::string>());
    } else {
      floorresult r;
      const std::string fault = parsefloorpoint(line, where, &r);
      if (!fault.empty()) return fault;
      auto [it, fresh] = l.points.emplace(r.point, r);
      if (!fresh && floorpointline(it->second) != floorpointline(r))
        return where + ": point " + std::to_string(r.point) + " is given twice, differently";
    }
    at = end + 1;
    l.usedbytes = at;
  }
  if (number == 0 && !l.torn) return name + ": empty";
  if (number == 0) return name + ": only a torn header";
  *ledger = std::move(l);
  return "";
}

std::string floorpointsfault(const floorledgercontents &ledger, const floorsettings &s) {
  for (const auto &[point, r] : ledger.points) {
    if (point >= static_cast<int>(s.parameters.size())) continue;
    const double ebn0 = point < static_cast<int>(s.ebn0.size())
                            ? s.ebn0[point]
                            : std::numeric_limits<double>::quiet_NaN();
    if (!samereal(r.parameter, s.parameters[point]) || !samereal(r.ebn0, ebn0)) {
      char text[200];
      std::snprintf(text, sizeof text,
                    ": point %d is at sigma %.17g (Eb/N0 %g) there and at sigma %.17g (Eb/N0 %g) "
                    "now",
                    point + 1, r.parameter, r.ebn0, s.parameters[point], ebn0);
      return ledger.path + text;
    }
  }
  return "";
}

std::string floorconfigdifference(const std::string &a, const std::string &namea,
                                  const std::string &b, const std::string &nameb) {
  const json ja = json::parse(a), jb = json::parse(b);
  for (auto it = ja.begin(); it != ja.end(); ++it) {
    auto other = jb.find(it.key());
    if (other == jb.end()) return it.key() + " is set in " + namea + " and not in " + nameb;
    if (*other != it.value())
      return it.key() + " is " + it.value().dump() + " in " + namea + " and " + other->dump() +
             " in " + nameb;
  }
  for (auto it = jb.begin(); it != jb.end(); ++it)
    if (!ja.contains(it.key())) return it.key() + " is set in " + nameb + " and not in " + namea;
  return "";
}

namespace {

bool writeall(int fd, const std::string &text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string systemfault(const std::string &path, const char *what) {
  return path + ": cannot " + what + ": " + std::strerror(errno);
}

}  // namespace

floorledgerwriter::~floorledgerwriter() {
  if (fd_ >= 0) ::close(fd_);
}

std::string floorledgerwriter::open(const std::string &path, const std::string &config,
                                    const floorsettings &settings, bool resume,
                                    floorledgercontents *resumed,
                                    const std::vector<std::pair<std::string, std::string>> &info) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return systemfault(path, "open");
  auto refuse = [fd](const std::string &why) {
    ::close(fd);
    return why;
  };
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    return refuse(errno == EWOULDBLOCK ? path + ": another process is writing this ledger"
                                       : systemfault(path, "lock"));
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return refuse(systemfault(path, "read"));
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  floorledgercontents contents;
  contents.path = path;
  if (!text.empty() && text.find('\n') != std::string::npos) {
    if (!resume)
      return refuse(path + ": the ledger exists; give --resume to go on with it, or another file");
    std::string fault = parsefloorledger(text, path, &contents);
    if (!fault.empty()) return refuse(fault);
    fault = floorconfigdifference(contents.config, path, config, "this run");
    if (!fault.empty()) return refuse(path + ": the ledger is of another run (" + fault + ")");
    fault = floorpointsfault(contents, settings);
    if (!fault.empty()) return refuse(fault);
    if (contents.torn && ftruncate(fd, static_cast<off_t>(contents.usedbytes)) != 0)
      return refuse(systemfault(path, "cut off the torn last line of"));
  } else {
    // New, empty, or only a torn first line: start the ledger.
    if (!text.empty() && !resume)
      return refuse(path + ": the ledger exists; give --resume to go on with it, or another file");
    if (ftruncate(fd, 0) != 0) return refuse(systemfault(path, "empty"));
    json header;
    header["floorledger"] = 1;
    header["hash"] = floorconfighash(config);
    header["config"] = json::parse(config);
    json about = json::object();
    for (const auto &[key, value] : info) about[key] = value;
    header["info"] = about;
    contents.config = config;
    if (lseek(fd, 0, SEEK_END) < 0 || !writeall(fd, header.dump() + "\n"))
      return refuse(systemfault(path, "write"));
  }
  if (lseek(fd, 0, SEEK_END) < 0) return refuse(systemfault(path, "seek in"));
  fd_ = fd;
  path_ = path;
  if (resumed != nullptr) *resumed = std::move(contents);
  return "";
}

std::string floorledgerwriter::write(const floorresult &result) {
  if (fd_ < 0) return path_ + ": the ledger is not open";
  if (!writeall(fd_, floorpointline(result))) {
    const std::string fault = systemfault(path_, "write");
    ::close(fd_);
    fd_ = -1;
    return fault;
  }
  return "";
}

std::string floorledgerwriter::close() {
  if (fd_ < 0) return "";
  std::string fault;
  if (fsync(fd_) != 0 && errno != EINVAL) fault = systemfault(path_, "flush");
  if (::close(fd_) != 0 && fault.empty()) fault = systemfault(path_, "close");
  fd_ = -1;
  return fault;
}

void keepinledger(floorledgerwriter *writer, const floorledgercontents *recorded,
                  std::string *fault, floorcallbacks *callbacks) {
  callbacks->recorded = [recorded](int point, floorresult *r) {
    auto it = recorded->points.find(point);
    if (it == recorded->points.end()) return false;
    *r = it->second;
    return true;
  };
  callbacks->pointdone = [writer, fault](const floorresult &r) {
    if (!r.cancelled && fault->empty()) *fault = writer->write(r);
  };
}

}  // namespace ldpc
