// The run ledger: the canonical configuration text and its hash, block
// checks, the lines, the reader and the locked appending writer.
#include "ledger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>

#include "fnv1a.h"

namespace ldpc {

namespace {

using json = nlohmann::ordered_json;

// --- canonical JSON text ------------------------------------------------------

template <typename integer>
void appendinteger(std::string *out, integer value) {
  char text[24];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out->append(text, end);
}

// The shortest text that reads back to x, always read as a real. Callers
// keep x finite; anything else is written as null, which no reader takes.
void appendreal(std::string *out, double x) {
  if (!std::isfinite(x)) {
    out->append("null");
    return;
  }
  char text[40];
  auto end = std::to_chars(text, text + sizeof text, x).ptr;
  out->append(text, end);
  if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e'; }) == end)
    out->append(".0");
}

// Length of the well-formed UTF-8 sequence at s (of n bytes left), 0 when
// the bytes there are not one.
std::size_t utf8length(const unsigned char *s, std::size_t n) {
  const unsigned char c = s[0];
  std::size_t length;
  unsigned int low = 0x80, high = 0xBF;  // range of the second byte
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong forms
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (n < length || s[1] < low || s[1] > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (s[k] < 0x80 || s[k] > 0xBF) return 0;
  return length;
}

void appendstring(std::string *out, std::string_view text) {
  out->push_back('"');
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      static const char named[] = "btn?fr";  // 8..13, '?' for 11 (vertical tab)
      if (c >= 8 && c <= 13 && c != 11) {
        out->push_back('\\');
        out->push_back(named[c - 8]);
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        out->append(escape);
      }
    } else {
      const std::size_t length = utf8length(s + i, text.size() - i);
      if (length == 0) {
        out->append("\xEF\xBF\xBD");  // U+FFFD for a byte that is not UTF-8
        ++i;
        continue;
      }
      out->append(text.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  out->push_back('"');
}

void appendvalue(std::string *out, const configvalue &value) {
  if (const bool *b = std::get_if<bool>(&value)) {
    out->append(*b ? "true" : "false");
  } else if (const std::int64_t *i = std::get_if<std::int64_t>(&value)) {
    appendinteger(out, *i);
  } else if (const double *x = std::get_if<double>(&value)) {
    appendreal(out, *x);
  } else if (const std::string *s = std::get_if<std::string>(&value)) {
    appendstring(out, *s);
  } else {
    out->push_back('[');
    const auto &list = std::get<std::vector<double>>(value);
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (k > 0) out->push_back(',');
      appendreal(out, list[k]);
    }
    out->push_back(']');
  }
}

// The configuration as (key, canonical value text), in canonical order.
std::vector<std::pair<std::string, std::string>> configfields(const runconfig &c) {
  std::vector<std::pair<std::string, std::string>> fields;
  auto add = [&](const std::string &key, const configvalue &value) {
    std::string text;
    appendvalue(&text, value);
    fields.emplace_back(key, std::move(text));
  };
  add("software", c.software);
  std::string seed;
  appendinteger(&seed, c.seed);
  fields.emplace_back("seed", seed);
  add("points", c.points);
  add("length", c.length);
  add("iterations", static_cast<std::int64_t>(c.iterations));
  add("maxerrors", c.rule.maxerrors);
  add("maxframes", c.rule.maxframes);
  add("minfer", c.rule.minfer);
  add("graphframes", c.rule.graphframes);
  add("blockframes", static_cast<std::int64_t>(c.rule.blockframes));
  for (const configsetting &s : c.settings) add(s.key, s.value);
  // Absent where no information bits are counted, so that the text (and
  // hash) of such a run is what it was before the key existed.
  if (c.infobits != 0) add("infobits", c.infobits);
  return fields;
}

const char *const reservedkeys[] = {"software",    "seed",       "points",    "length",
                                    "iterations",  "maxerrors",  "maxframes", "minfer",
                                    "graphframes", "blockframes"};
// Typed keys that a configuration may leave out.
const char *const optionalkeys[] = {"infobits"};

bool typedkey(const std::string &key) {
  return std::find(std::begin(reservedkeys), std::end(reservedkeys), key) !=
             std::end(reservedkeys) ||
         std::find(std::begin(optionalkeys), std::end(optionalkeys), key) != std::end(optionalkeys);
}

std::string shorten(const std::string &text) {
  return text.size() <= 60 ? text : text.substr(0, 57) + "...";
}

}  // namespace

std::string configtext(const runconfig &config) {
  std::string text = "{";
  bool first = true;
  for (const auto &[key, value] : configfields(config)) {
    if (!first) text.push_back(',');
    first = false;
    appendstring(&text, key);
    text.push_back(':');
    text += value;
  }
  return text + "}";
}

std::string confighash(const runconfig &config) { return hex16(fnv1a(configtext(config))); }

std::string configfault(const runconfig &c) {
  if (c.software.empty()) return "the software version is empty";
  if (c.points.empty()) return "the sweep has no points";
  if (c.points.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return "the sweep has more points than an int counts";
  for (std::size_t p = 0; p < c.points.size(); ++p)
    if (!std::isfinite(c.points[p]))
      return "point " + std::to_string(p) + " is not a finite number";
  if (c.length < 1) return "the frame length " + std::to_string(c.length) + " is below 1";
  if (c.iterations < 0) return "the iterations " + std::to_string(c.iterations) + " are negative";
  if (c.infobits < 0) return "the information bits " + std::to_string(c.infobits) + " are negative";
  const stoppingrule &r = c.rule;
  if (r.maxerrors < 1) return "maxerrors " + std::to_string(r.maxerrors) + " is below 1";
  if (r.maxframes < 1) return "maxframes " + std::to_string(r.maxframes) + " is below 1";
  if (r.blockframes < 1) return "blockframes " + std::to_string(r.blockframes) + " is below 1";
  if (r.graphframes < 0) return "graphframes " + std::to_string(r.graphframes) + " is negative";
  if (!std::isfinite(r.minfer)) return "minfer is not a finite number";
  std::vector<std::string> keys(std::begin(reservedkeys), std::end(reservedkeys));
  keys.insert(keys.end(), std::begin(optionalkeys), std::end(optionalkeys));
  for (const configsetting &s : c.settings) {
    if (s.key.empty()) return "a setting has an empty name";
    if (std::find(keys.begin(), keys.end(), s.key) != keys.end())
      return "the setting '" + s.key + "' is given twice or takes a reserved name";
    keys.push_back(s.key);
    if (const double *x = std::get_if<double>(&s.value); x != nullptr && !std::isfinite(*x))
      return "the setting '" + s.key + "' is not a finite number";
    if (const auto *list = std::get_if<std::vector<double>>(&s.value))
      for (double x : *list)
        if (!std::isfinite(x))
          return "the setting '" + s.key + "' holds a number that is not finite";
  }
  return "";
}

std::string configdifference(const runconfig &a, const std::string &namea, const runconfig &b,
                             const std::string &nameb) {
  const auto fa = configfields(a), fb = configfields(b);
  auto find = [](const decltype(fa) &fields, const std::string &key) {
    return std::find_if(fields.begin(), fields.end(),
                        [&](const auto &f) { return f.first == key; });
  };
  for (const auto &[key, value] : fa) {
    auto other = find(fb, key);
    if (other == fb.end()) return key + " is set in " + namea + " and not in " + nameb;
    if (other->second != value)
      return key + " is " + shorten(value) + " in " + namea + " and " + shorten(other->second) +
             " in " + nameb;
  }
  for (const auto &[key, value] : fb)
    if (find(fa, key) == fa.end()) return key + " is set in " + nameb + " and not in " + namea;
  if (fa != fb) return "the settings come in another order in " + namea + " than in " + nameb;
  return "";
}

bool ownsblock(const ledgershard &shard, std::int64_t block) {
  return shard.count <= 1 || block % shard.count == shard.index - 1;
}

std::string shardname(const ledgershard &shard) {
  return std::to_string(shard.index) + "/" + std::to_string(shard.count);
}

std::string blockfault(const runconfig &config, const ledgershard &shard, int point,
                       std::int64_t block, const blocktally &t) {
  const std::string where = "block " + std::to_string(block) + " of point " + std::to_string(point);
  const std::int64_t points = static_cast<std::int64_t>(config.points.size());
  if (point < 0 || point >= points)
    return "point " + std::to_string(point) + " is out of range: the sweep has points 0.." +
           std::to_string(points - 1);
  const std::int64_t blocks = blockcount(config.rule);
  if (block < 0 || block >= blocks)
    return where + " is out of range: a point has blocks 0.." + std::to_string(blocks - 1);
  if (!ownsblock(shard, block))
    return where + " belongs to shard " +
           shardname({static_cast<int>(block % shard.count) + 1, shard.count}) + ", not " +
           shardname(shard);
  const int frames = blockspan(config.rule, block).count;
  auto counts = [&](const char *what, std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value >= low && value <= high) return std::string();
    return where + ": " + what + " " + std::to_string(value) + " outside " + std::to_string(low) +
           ".." + std::to_string(high);
  };
  if (t.frames != frames)
    return where + " has " + std::to_string(t.frames) + " frames; the layout gives it " +
           std::to_string(frames);
  // A frame error has at least one bit error and a frame without one none.
  const std::int64_t maxbits = t.frames > std::numeric_limits<std::int64_t>::max() / config.length
                                   ? std::numeric_limits<std::int64_t>::max()
                                   : t.frames * config.length;
  std::string fault = counts("frame errors", t.frameerrors, 0, t.frames);
  if (fault.empty()) fault = counts("undetected errors", t.undetected, 0, t.frameerrors);
  if (fault.empty())
    fault = counts("bit errors", t.biterrors, t.frameerrors, t.frameerrors == 0 ? 0 : maxbits);
  if (fault.empty())
    fault = counts("iterations", t.iterations, 0,
                   t.frames * static_cast<std::int64_t>(config.iterations));
  if (fault.empty()) {
    // Information-bit errors are bit errors of information bits.
    const std::int64_t infobits =
        config.infobits > 0 && t.frames > std::numeric_limits<std::int64_t>::max() / config.infobits
            ? std::numeric_limits<std::int64_t>::max()
            : t.frames * config.infobits;
    fault = counts("information-bit errors", t.infobiterrors, 0, std::min(infobits, t.biterrors));
  }
  if (fault.empty() && !(t.seconds >= 0 && std::isfinite(t.seconds)))
    fault = where + ": seconds must be a finite number of at least 0";
  return fault;
}

// --- lines --------------------------------------------------------------------

std::string headerline(const runconfig &config, const ledgershard &shard, const ledgerinfo &info) {
  std::string line = "{\"ledger\":1,\"hash\":\"" + confighash(config) + "\",\"shard\":[";
  appendinteger(&line, shard.index);
  line.push_back(',');
  appendinteger(&line, shard.count);
  line += "],\"config\":" + configtext(config);
  if (!info.empty()) {
    line += ",\"info\":{";
    for (std::size_t k = 0; k < info.size(); ++k) {
      if (k > 0) line.push_back(',');
      appendstring(&line, info[k].first);
      line.push_back(':');
      appendstring(&line, info[k].second);
    }
    line.push_back('}');
  }
  return line + "}\n";
}

std::string blockline(int point, std::int64_t block, const blocktally &t, bool infobits) {
  std::string line;
  line.reserve(160);
  line += "{\"point\":";
  appendinteger(&line, point);
  const std::pair<const char *, std::int64_t> fields[] = {{",\"block\":", block},
                                                          {",\"frames\":", t.frames},
                                                          {",\"frameerrors\":", t.frameerrors},
                                                          {",\"biterrors\":", t.biterrors},
                                                          {",\"undetected\":", t.undetected},
                                                          {",\"iterations\":", t.iterations}};
  for (const auto &[key, value] : fields) {
    line += key;
    appendinteger(&line, value);
  }
  if (infobits) {
    line += ",\"infobiterrors\":";
    appendinteger(&line, t.infobiterrors);
  }
  // Microseconds are enough for a figure that decides nothing.
  line += ",\"seconds\":";
  char text[40];
  const double seconds = std::isfinite(t.seconds) && t.seconds > 0 ? t.seconds : 0.0;
  line.append(text,
              std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6).ptr);
  return line + "}\n";
}

std::string giveupline(int point, std::int64_t block, const std::string &reason) {
  std::string line = "{\"point\":";
  appendinteger(&line, point);
  line += ",\"giveup\":";
  appendinteger(&line, block);
  line += ",\"reason\":";
  appendstring(&line, reason);
  return line + "}\n";
}

// --- reading ------------------------------------------------------------------

namespace {

// A line's object, or the reason it is none.
bool parseobject(std::string_view line, json *object, std::string *why) {
  try {
    *object = json::parse(line.begin(), line.end());
  } catch (const json::parse_error &e) {
    *why = "does not parse as JSON (byte " + std::to_string(e.byte) + ")";
    return false;
  }
  if (!object->is_object()) {
    *why = "is not a JSON object";
    return false;
  }
  return true;
}

bool getinteger(const json &value, std::int64_t *out) {
  if (value.is_number_unsigned()) {
    if (value.get<std::uint64_t>() >
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return false;
    *out = static_cast<std::int64_t>(value.get<std::uint64_t>());
    return true;
  }
  if (!value.is_number_integer()) return false;
  *out = value.get<std::int64_t>();
  return true;
}

bool getintvalue(const json &value, int *out) {
  std::int64_t wide;
  if (!getinteger(value, &wide) || wide < std::numeric_limits<int>::min() ||
      wide > std::numeric_limits<int>::max())
    return false;
  *out = static_cast<int>(wide);
  return true;
}

// A setting's value as the writer made it, by the JSON type.
bool getsetting(const json &value, configvalue *out) {
  if (value.is_boolean()) {
    *out = value.get<bool>();
  } else if (value.is_number_integer()) {
    std::int64_t i;
    if (!getinteger(value, &i)) return false;
    *out = i;
  } else if (value.is_number_float()) {
    *out = value.get<double>();
  } else if (value.is_string()) {
    *out = value.get<std::string>();
  } else if (value.is_array()) {
    std::vector<double> list;
    for (const json &x : value) {
      if (!x.is_number()) return false;
      list.push_back(x.get<double>());
    }
    *out = std::move(list);
  } else {
    return false;
  }
  return true;
}

// The header's "config" into a runconfig.
std::string parseconfig(const json &object, runconfig *c) {
  if (!object.is_object()) return "\"config\" is not an object";
  auto need = [&](const char *key) -> const json * {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
  };
  for (const char *key : reservedkeys)
    if (need(key) == nullptr) return std::string("the configuration has no \"") + key + "\"";
  auto bad = [](const char *key, const char *what) {
    return std::string("the configuration's \"") + key + "\" is not " + what;
  };
  if (!need("software")->is_string()) return bad("software", "a string");
  c->software = need("software")->get<std::string>();
  if (!need("seed")->is_number_unsigned()) return bad("seed", "an integer of at least 0");
  c->seed = need("seed")->get<std::uint64_t>();
  configvalue points;
  if (!getsetting(*need("points"), &points) || !std::holds_alternative<std::vector<double>>(points))
    return bad("points", "a list of numbers");
  c->points = std::get<std::vector<double>>(points);
  if (!getinteger(*need("length"), &c->length)) return bad("length", "an integer");
  if (!getintvalue(*need("iterations"), &c->iterations)) return bad("iterations", "an integer");
  if (!getinteger(*need("maxerrors"), &c->rule.maxerrors)) return bad("maxerrors", "an integer");
  if (!getinteger(*need("maxframes"), &c->rule.maxframes)) return bad("maxframes", "an integer");
  if (!need("minfer")->is_number()) return bad("minfer", "a number");
  c->rule.minfer = need("minfer")->get<double>();
  if (!getinteger(*need("graphframes"), &c->rule.graphframes))
    return bad("graphframes", "an integer");
  if (!getintvalue(*need("blockframes"), &c->rule.blockframes))
    return bad("blockframes", "an integer");
  c->infobits = 0;
  if (need("infobits") != nullptr &&
      (!getinteger(*need("infobits"), &c->infobits) || c->infobits < 1))
    return bad("infobits", "an integer of at least 1");
  c->settings.clear();
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (typedkey(it.key())) continue;
    configsetting s{it.key(), false};
    if (!getsetting(it.value(), &s.value))
      return "the configuration's \"" + it.key() + "\" is not a value a setting holds";
    c->settings.push_back(std::move(s));
  }
  return configfault(*c);
}

std::string parseheader(std::string_view line, ledgercontents *ledger) {
  json header;
  std::string why;
  if (!parseobject(line, &header, &why)) return "not a ledger: the first line " + why;
  auto ledgerkey = header.find("ledger");
  if (ledgerkey == header.end()) return "not a ledger: the first line has no \"ledger\"";
  std::int64_t format;
  if (!getinteger(*ledgerkey, &format)) return "not a ledger: \"ledger\" is not a format number";
  if (format != 1)
    return "ledger format " + std::to_string(format) + "; this program reads format 1";
  for (auto it = header.begin(); it != header.end(); ++it)
    if (it.key() != "ledger" && it.key() != "hash" && it.key() != "shard" && it.key() != "config" &&
        it.key() != "info")
      return "the header has an unknown key \"" + it.key() + "\"";
  if (!header.contains("hash") || !header["hash"].is_string() ||
      header["hash"].get<std::string>().size() != 16)
    return "the header's \"hash\" is not 16 hex digits";
  ledger->hash = header["hash"].get<std::string>();
  const json *shard = header.contains("shard") ? &header["shard"] : nullptr;
  ledgershard part;
  if (shard == nullptr || !shard->is_array() || shard->size() != 2 ||
      !getintvalue((*shard)[0], &part.index) || !getintvalue((*shard)[1], &part.count) ||
      part.count < 1 || part.index < 1 || part.index > part.count)
    return "the header's \"shard\" is not [K,N] with 1 <= K <= N";
  ledger->shard = part;
  if (!header.contains("config")) return "the header has no \"config\"";
  std::string fault = parseconfig(header["config"], &ledger->config);
  if (!fault.empty()) return fault;
  const std::string hash = confighash(ledger->config);
  if (hash != ledger->hash)
    return "the header's hash " + ledger->hash + " is not that of its configuration (" + hash +
           "): the header was changed";
  ledger->info.clear();
  if (header.contains("info")) {
    const json &info = header["info"];
    if (!info.is_object()) return "the header's \"info\" is not an object";
    for (auto it = info.begin(); it != info.end(); ++it) {
      if (!it.value().is_string()) return "the header's info \"" + it.key() + "\" is not a string";
      ledger->info.emplace_back(it.key(), it.value().get<std::string>());
    }
  }
  return "";
}

// A block or give-up line, as read.
struct ledgerline {
  bool giveup = false;
  int point = 0;
  std::int64_t block = 0;
  blocktally tally;
  bool infobits = false;  // the line gives the information-bit errors
  std::string reason;
};

// A JSON integer at *at: -?(0|[1-9][0-9]*) fitting 64 bits.
bool takeinteger(std::string_view text, std::size_t *at, std::int64_t *value) {
  const char *begin = text.data() + *at, *end = text.data() + text.size();
  const char *digits = begin + (begin < end && *begin == '-');
  if (digits == end || *digits < '0' || *digits > '9') return false;
  if (*digits == '0' && digits + 1 < end && digits[1] >= '0' && digits[1] <= '9') return false;
  const auto [stop, error] = std::from_chars(begin, end, *value);
  if (error != std::errc()) return false;
  *at = static_cast<std::size_t>(stop - text.data());
  return true;
}

// A block line exactly as blockline writes it (keys in order, no spaces,
// seconds as digits, a point and digits); false for anything else, which
// the JSON reader then takes. Reading is about ten times faster this way.
bool parsewritten(std::string_view text, ledgerline *line) {
  static const char *const keys[] = {
      "{\"point\":",     ",\"block\":",      ",\"frames\":",     ",\"frameerrors\":",
      ",\"biterrors\":", ",\"undetected\":", ",\"iterations\":", ",\"seconds\":"};
  std::int64_t values[7];
  std::size_t at = 0;
  for (int k = 0; k < 7; ++k) {
    const std::string_view key = keys[k];
    if (text.compare(at, key.size(), key) != 0) return false;
    at += key.size();
    if (!takeinteger(text, &at, &values[k])) return false;
  }
  // The information-bit errors, where the run counts them.
  const std::string_view infokey = ",\"infobiterrors\":";
  std::int64_t infobiterrors = 0;
  const bool infobits = text.compare(at, infokey.size(), infokey) == 0;
  if (infobits) {
    at += infokey.size();
    if (!takeinteger(text, &at, &infobiterrors)) return false;
  }
  const std::string_view key = keys[7];
  if (text.compare(at, key.size(), key) != 0 || text.empty() || text.back() != '}') return false;
  at += key.size();
  const std::string_view seconds = text.substr(at, text.size() - 1 - at);
  const std::size_t point = seconds.find('.');
  if (point == std::string_view::npos || point == 0 || point + 1 == seconds.size() ||
      (seconds[0] == '0' && point != 1) ||
      seconds.find_first_not_of("0123456789", point + 1) != std::string_view::npos ||
      seconds.substr(0, point).find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  if (std::from_chars(seconds.data(), seconds.data() + seconds.size(), line->tally.seconds).ec !=
      std::errc())
    return false;
  if (values[0] < std::numeric_limits<int>::min() || values[0] > std::numeric_limits<int>::max())
    return false;
  line->giveup = false;
  line->point = static_cast<int>(values[0]);
  line->block = values[1];
  line->tally.frames = values[2];
  line->tally.frameerrors = values[3];
  line->tally.biterrors = values[4];
  line->tally.undetected = values[5];
  line->tally.iterations = values[6];
  line->tally.infobiterrors = infobiterrors;
  line->infobits = infobits;
  return true;
}

std::string parseline(std::string_view text, ledgerline *line) {
  if (parsewritten(text, line)) return "";
  json object;
  std::string why;
  if (!parseobject(text, &object, &why)) return why;
  const bool giveup = object.contains("giveup");
  static const char *const blockkeys[] = {"point",     "block",      "frames",     "frameerrors",
                                          "biterrors", "undetected", "iterations", "seconds"};
  static const char *const giveupkeys[] = {"point", "giveup", "reason"};
  const std::span<const char *const> keys =
      giveup ? std::span<const char *const>(giveupkeys) : std::span<const char *const>(blockkeys);
  for (const char *key : keys)
    if (!object.contains(key)) return std::string("has no \"") + key + "\"";
  const bool infobits = !giveup && object.contains("infobiterrors");
  if (object.size() != keys.size() + (infobits ? 1 : 0))
    for (auto it = object.begin(); it != object.end(); ++it)
      if (std::find_if(keys.begin(), keys.end(), [&](const char *k) { return it.key() == k; }) ==
              keys.end() &&
          !(infobits && it.key() == "infobiterrors"))
        return "has an unknown key \"" + it.key() + "\"";
  line->giveup = giveup;
  line->infobits = infobits;
  line->tally.infobiterrors = 0;
  if (infobits && !getinteger(object["infobiterrors"], &line->tally.infobiterrors))
    return "has an \"infobiterrors\" that is not an integer";
  if (!getintvalue(object["point"], &line->point)) return "has a \"point\" that is not an integer";
  if (giveup) {
    if (!getinteger(object["giveup"], &line->block))
      return "has a \"giveup\" that is not an integer";
    if (!object["reason"].is_string()) return "has a \"reason\" that is not a string";
    line->reason = object["reason"].get<std::string>();
    return "";
  }
  std::int64_t *fields[] = {
      &line->block,           &line->tally.frames,     &line->tally.frameerrors,
      &line->tally.biterrors, &line->tally.undetected, &line->tally.iterations};
  for (int k = 0; k < 6; ++k)
    if (!getinteger(object[blockkeys[k + 1]], fields[k]))
      return std::string("has a \"") + blockkeys[k + 1] + "\" that is not an integer";
  if (!object["seconds"].is_number()) return "has \"seconds\" that are not a number";
  line->tally.seconds = object["seconds"].get<double>();
  return "";
}

// A block as read, with its line for messages.
struct readblock {
  std::int64_t block;
  std::int64_t line;
  blocktally tally;
};

// Sorts each point's blocks, takes repeated blocks once and refuses
// repeated blocks that disagree.
std::string collectblocks(const std::string &name, std::vector<std::vector<readblock>> *read,
                          ledgercontents *ledger) {
  ledger->blocks.assign(read->size(), {});
  for (std::size_t p = 0; p < read->size(); ++p) {
    std::vector<readblock> &blocks = (*read)[p];
    std::sort(blocks.begin(), blocks.end(), [](const readblock &a, const readblock &b) {
      return a.block != b.block ? a.block < b.block : a.line < b.line;
    });
    std::vector<numberedblock> &kept = ledger->blocks[p];
    kept.reserve(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      if (k > 0 && blocks[k].block == blocks[k - 1].block) {
        if (!samecounts(blocks[k].tally, kept.back().tally))
          return name + ":" + std::to_string(blocks[k].line) + ": block " +
                 std::to_string(blocks[k].block) + " of point " + std::to_string(p) +
                 " again, with other counts than on line " + std::to_string(blocks[k - 1].line);
        continue;
      }
      kept.push_back({blocks[k].block, blocks[k].tally});
    }
    std::vector<readblock>().swap(blocks);
  }
  return "";
}

}  // namespace

std::string parseledger(std::string_view text, const std::string &name, ledgercontents *ledger) {
  *ledger = ledgercontents{};
  ledger->path = name;
  const std::size_t headerend = text.find('\n');
  if (text.empty()) return name + ": empty: not a ledger";
  if (headerend == std::string_view::npos)
    return name +
           ": no complete first line: not a ledger, or one whose writer ended before its header "
           "was whole";
  std::string fault = parseheader(text.substr(0, headerend), ledger);
  if (!fault.empty()) return name + ":1: " + fault;
  const std::size_t points = ledger->config.points.size();
  std::vector<std::vector<readblock>> read(points);
  ledger->giveup.assign(points, -1);
  ledger->lines = 1;
  std::size_t at = headerend + 1;
  ledger->usedbytes = static_cast<std::int64_t>(at);
  ledgerline line;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      ledger->torn = true;  // written in part by a writer that ended
      break;
    }
    const std::int64_t number = ledger->lines + 1;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    if (end == at) return where + "an empty line";
    fault = parseline(text.substr(at, end - at), &line);
    if (!fault.empty()) return where + "the line " + fault;
    if (line.giveup) {
      if (line.point < 0 || static_cast<std::size_t>(line.point) >= points)
        return where + "gives up point " + std::to_string(line.point) +
               "; the sweep has points 0.." + std::to_string(points - 1);
      if (line.block < 0 || line.block >= blockcount(ledger->config.rule))
        return where + "gives up point " + std::to_string(line.point) + " at block " +
               std::to_string(line.block) + ", out of range";
      std::int64_t &giveup = ledger->giveup[line.point];
      giveup = giveup < 0 ? line.block : std::min(giveup, line.block);
    } else {
      if (line.infobits != (ledger->config.infobits > 0))
        return where +
               (line.infobits
                    ? "the block gives information-bit errors, and the run counts none"
                    : "the block has no \"infobiterrors\", and the run counts information bits");
      fault = blockfault(ledger->config, ledger->shard, line.point, line.block, line.tally);
      if (!fault.empty()) return where + fault;
      read[line.point].push_back({line.block, number, line.tally});
    }
    ledger->lines = number;
    at = end + 1;
    ledger->usedbytes = static_cast<std::int64_t>(at);
  }
  return collectblocks(name, &read, ledger);
}

namespace {

// The whole content of an open file from the start; false with errno set.
bool readall(int fd, std::string *text) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  text->clear();
  text->reserve(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)));
  char buffer[1 << 16];
  for (off_t offset = 0;;) {
    const ssize_t got = pread(fd, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    text->append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

std::string systemfault(const std::string &path, const char *what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

std::string readledger(const std::string &path, ledgercontents *ledger) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return systemfault(path, "cannot open");
  struct stat st;
  std::string text;
  std::string fault;
  if (fstat(fd, &st) == 0 && !S_ISREG(st.st_mode))
    fault = path + ": not a regular file";
  else if (!readall(fd, &text))
    fault = systemfault(path, "cannot read");
  ::close(fd);
  return fault.empty() ? parseledger(text, path, ledger) : fault;
}

const blocktally *findblock(const ledgercontents &ledger, int point, std::int64_t block) {
  if (point < 0 || static_cast<std::size_t>(point) >= ledger.blocks.size()) return nullptr;
  const auto &blocks = ledger.blocks[point];
  auto it = std::lower_bound(blocks.begin(), blocks.end(), block,
                             [](const numberedblock &b, std::int64_t n) { return b.block < n; });
  return it != blocks.end() && it->block == block ? &it->tally : nullptr;
}

bool givenupin(const ledgercontents &ledger, int point, std::int64_t block) {
  if (point < 0 || static_cast<std::size_t>(point) >= ledger.giveup.size()) return false;
  const std::int64_t from = ledger.giveup[point];
  return from >= 0 && block >= from && ownsblock(ledger.shard, block);
}

sweepverdict ledgerverdict(const ledgercontents &ledger) {
  return decidesweep(
      ledger.config.rule, static_cast<int>(ledger.config.points.size()),
      [&](int p) { return std::span<const numberedblock>(ledger.blocks[p]); },
      [&](int p, std::int64_t b) { return givenupin(ledger, p, b); });
}

// --- the writer -----------------------------------------------------------------

struct ledgerwriter::state {
  std::mutex mutex;
  int fd = -1;
  std::string path;
  runconfig config;
  ledgershard shard;
  std::string failure;  // why no more lines are taken
  std::string lockwarning;
  off_t bytes = 0;  // the file's length
  std::chrono::steady_clock::time_point lastsync;
};

ledgerwriter::ledgerwriter() : state_(std::make_unique<state>()) {}

ledgerwriter::~ledgerwriter() {
  if (state_->fd >= 0) ::close(state_->fd);
}

bool ledgerwriter::isopen() const { return state_->fd >= 0; }

std::string ledgerwriter::lockwarning() const { return state_->lockwarning; }

namespace {

bool writeall(int fd, const char *data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

// Takes the exclusive lock: "" when taken or when the file system takes
// none (then *warning says why), the refusal when another holds it.
std::string lockfile(int fd, const std::string &path, std::string *warning) {
  int result;
#ifdef F_OFD_SETLK
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  result = fcntl(fd, F_OFD_SETLK, &lock);
  // A kernel without open file description locks: flock's are also tied to
  // the open file, not to the process.
  if (result != 0 && errno == EINVAL) result = flock(fd, LOCK_EX | LOCK_NB);
#else
  result = flock(fd, LOCK_EX | LOCK_NB);
#endif
  if (result == 0) return "";
  if (errno == EAGAIN || errno == EACCES || errno == EWOULDBLOCK)
    return path +
           ": another run is writing this ledger (it is locked); runs must not append to one "
           "ledger at once";
  *warning = systemfault(path, "cannot lock; written unlocked");
  return "";
}

}  // namespace

std::string ledgerwriter::open(const std::string &path, const runconfig &config,
                               const ledgershard &shard, ledgermode mode, ledgercontents *resumed,
                               const ledgerinfo &info) {
  if (state_->fd >= 0) return path + ": this writer already has a ledger open";
  std::string fault = configfault(config);
  if (!fault.empty()) return path + ": the configuration cannot go into a ledger: " + fault;
  if (shard.count < 1 || shard.index < 1 || shard.index > shard.count)
    return path + ": shard " + shardname(shard) + " is not K/N with 1 <= K <= N";
  // Created here (and then removed on failure) or opened as it is.
  bool created = true;
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  }
  if (fd < 0) return systemfault(path, "cannot open for appending");
  auto refuse = [&](const std::string &why) {
    ::close(fd);
    if (created) ::unlink(path.c_str());
    return why;
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return refuse(systemfault(path, "cannot inspect"));
  if (!S_ISREG(st.st_mode)) return refuse(path + ": not a regular file");
  std::string warning;
  fault = lockfile(fd, path, &warning);
  if (!fault.empty()) return refuse(fault);

  // What the file holds, read under the lock.
  std::string text;
  if (!readall(fd, &text)) return refuse(systemfault(path, "cannot read"));
  const std::string header = headerline(config, shard, info);
  ledgercontents contents;
  bool fresh = text.empty();
  if (!fresh && mode == ledgermode::create)
    return refuse(path + ": exists and is not empty (" + std::to_string(text.size()) +
                  " bytes): resume it, or choose another file");
  if (!fresh && text.find('\n') == std::string::npos && header.compare(0, text.size(), text) == 0)
    fresh = true;  // only a torn first line of this very header
  if (!fresh) {
    fault = parseledger(text, path, &contents);
    if (!fault.empty()) return refuse(fault);
    fault = configdifference(contents.config, path, config, "this run");
    if (!fault.empty()) return refuse(path + ": the ledger is of another configuration: " + fault);
    if (contents.shard.index != shard.index || contents.shard.count != shard.count)
      return refuse(path + ": the ledger is of shard " + shardname(contents.shard) +
                    ", this run is " + shardname(shard));
  }
  // Cut a torn last line (or a torn header), so that the next line starts
  // on a line of its own.
  const off_t keep = fresh ? 0 : static_cast<off_t>(contents.usedbytes);
  if (static_cast<off_t>(text.size()) != keep && ftruncate(fd, keep) != 0)
    return refuse(systemfault(path, "cannot cut the torn last line"));
  if (fresh && !writeall(fd, header.data(), header.size())) {
    const std::string why = systemfault(path, "cannot write the header");
    if (ftruncate(fd, 0) != 0) {
      // The file is removed or refused on its next reading either way.
    }
    return refuse(why);
  }
  if (fresh) contents = ledgercontents{};
  state_->fd = fd;
  state_->path = path;
  state_->config = config;
  state_->shard = shard;
  state_->failure.clear();
  state_->lockwarning = warning;
  state_->bytes = fresh ? static_cast<off_t>(header.size()) : keep;
  state_->lastsync = std::chrono::steady_clock::now();
  if (resumed != nullptr) {
    if (fresh) {
      contents.path = path;
      contents.config = config;
      contents.hash = confighash(config);
      contents.shard = shard;
      contents.info = info;
      contents.blocks.assign(config.points.size(), {});
      contents.giveup.assign(config.points.size(), -1);
      contents.lines = 1;
      contents.usedbytes = static_cast<std::int64_t>(header.size());
    }
    *resumed = std::move(contents);
  }
  return "";
}

namespace {

// Appends one line whole; on failure cuts what part of it went in.
std::string appendline(int fd, const std::string &path, const std::string &line, off_t *bytes,
                       std::string *failure) {
  if (!failure->empty()) return path + ": no more lines after an earlier fault: " + *failure;
  if (!writeall(fd, line.data(), line.size())) {
    *failure = systemfault(path, "cannot write");
    if (ftruncate(fd, *bytes) != 0) {
      // The torn line stays; readers ignore it and a resume cuts it.
    }
    return *failure;
  }
  *bytes += static_cast<off_t>(line.size());
  return "";
}

}  // namespace

std::string ledgerwriter::writeblock(int point, std::int64_t block, const blocktally &tally) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->fd < 0) return "no ledger is open";
  std::string fault = blockfault(state_->config, state_->shard, point, block, tally);
  if (!fault.empty()) return state_->path + ": refused: " + fault;
  fault = appendline(state_->fd, state_->path,
                     blockline(point, block, tally, state_->config.infobits > 0), &state_->bytes,
                     &state_->failure);
  if (!fault.empty() || syncseconds < 0) return fault;
  const auto now = std::chrono::steady_clock::now();
  if (std::chrono::duration<double>(now - state_->lastsync).count() >= syncseconds) {
    state_->lastsync = now;
    if (fdatasync(state_->fd) != 0) state_->failure = systemfault(state_->path, "cannot flush");
    return state_->failure;
  }
  return "";
}

std::string ledgerwriter::writegiveup(int point, std::int64_t block, const std::string &reason) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->fd < 0) return "no ledger is open";
  const runconfig &c = state_->config;
  if (point < 0 || static_cast<std::size_t>(point) >= c.points.size() || block < 0 ||
      block >= blockcount(c.rule) || reason.empty())
    return state_->path + ": refused: giving up point " + std::to_string(point) + " at block " +
           std::to_string(block) + (reason.empty() ? " without a reason" : ", out of range");
  return appendline(state_->fd, state_->path, giveupline(point, block, reason), &state_->bytes,
                    &state_->failure);
}

std::string ledgerwriter::close() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->fd < 0) return "";
  std::string fault = state_->failure;
  if (fdatasync(state_->fd) != 0 && fault.empty())
    fault = systemfault(state_->path, "cannot flush");
  if (::close(state_->fd) != 0 && fault.empty()) fault = systemfault(state_->path, "cannot close");
  state_->fd = -1;
  return fault;
}

}  // namespace ldpc
