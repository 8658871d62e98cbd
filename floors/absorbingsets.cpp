// Enumeration of connected elementary absorbing sets (ESU with the
// elementary cut) and the impulse search.
#include "absorbingsets.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

namespace ldpc {

namespace {

// The state of one enumeration: the growing set, its checks' induced
// degrees, and how many members' closed neighbourhoods hold each variable.
class enumerator {
 public:
  enumerator(const tannerlists &g, const enumerationsettings &s) : g_(g), s_(s) {
    neighbours_.resize(g.vnodenum);
    std::vector<int> seen(g.vnodenum, -1);
    for (int v = 0; v < g.vnodenum; ++v) {
      seen[v] = v;
      for (int c : g.vchecks[v])
        for (int u : g.cvariables[c])
          if (seen[u] != v) {
            seen[u] = v;
            neighbours_[v].push_back(u);
          }
    }
    degree_.assign(g.cnodenum, 0);
    covered_.assign(g.vnodenum, 0);
  }

  enumerationresult run() {
    for (int v = 0; v < g_.vnodenum && result_.complete; ++v) {
      root_ = v;
      std::vector<int> extension;
      for (int u : neighbours_[v])
        if (u > v) extension.push_back(u);
      if (add(v)) grow(extension);
      remove(v);
    }
    for (const auto &entry : counts_) result_.counts.push_back(entry.second);
    std::sort(kept_.begin(), kept_.end());
    for (auto &entry : kept_) result_.sets.push_back(std::move(std::get<2>(entry)));
    return result_;
  }

 private:
  // Adds v; false when a check reaches induced degree 3 (v stays counted,
  // so that remove undoes exactly what add did).
  bool add(int v) {
    members_.push_back(v);
    bool elementary = true;
    for (int c : g_.vchecks[v]) {
      const int d = ++degree_[c];
      odd_ += d % 2 ? 1 : -1;
      elementary &= d <= 2;
    }
    ++covered_[v];
    for (int u : neighbours_[v]) ++covered_[u];
    return elementary;
  }
  void remove(int v) {
    for (int u : neighbours_[v]) --covered_[u];
    --covered_[v];
    for (int c : g_.vchecks[v]) {
      const int d = degree_[c]--;
      odd_ += d % 2 ? -1 : 1;
    }
    members_.pop_back();
  }

  // The current set is connected and elementary: count it if absorbing,
  // then extend it by one extension node at a time (ESU).
  void grow(std::vector<int> extension) {
    examine();
    if (static_cast<int>(members_.size()) >= s_.maxsize || !result_.complete) return;
    while (!extension.empty()) {
      const int w = extension.back();
      extension.pop_back();
      // The exclusive neighbours of w, taken before w covers them.
      std::vector<int> next = extension;
      for (int u : neighbours_[w])
        if (u > root_ && covered_[u] == 0) next.push_back(u);
      if (add(w)) grow(next);
      remove(w);
      if (!result_.complete) return;
    }
  }

  void examine() {
    ++result_.examined;
    if ((result_.examined & 0xffff) == 0 && s_.progress && !s_.progress(result_.examined))
      result_.complete = false;
    for (int v : members_) {
      int odd = 0;
      for (int c : g_.vchecks[v]) odd += degree_[c] % 2;
      if (2 * odd >= static_cast<int>(g_.vchecks[v].size())) return;
    }
    std::vector<int> set = members_;
    std::sort(set.begin(), set.end());
    const trappingclass k = classifyset(g_, set);
    absorbingcount &count = counts_[{k.a, k.b}];
    count.a = k.a;
    count.b = k.b;
    ++count.count;
    count.fully += k.fullyabsorbing;
    if (static_cast<std::int64_t>(kept_.size()) < s_.keepsets)
      kept_.emplace_back(k.a, k.b, std::move(set));
  }

  const tannerlists &g_;
  const enumerationsettings &s_;
  std::vector<std::vector<int>> neighbours_;
  std::vector<int> degree_, covered_, members_;
  int odd_ = 0, root_ = 0;
  std::map<std::pair<int, int>, absorbingcount> counts_;
  std::vector<std::tuple<int, int, std::vector<int>>> kept_;  // (a, b, set)
  enumerationresult result_;
};

}  // namespace

enumerationresult enumerateabsorbing(const tannerlists &graph,
                                     const enumerationsettings &settings) {
  if (settings.maxsize < 1)
    throw std::invalid_argument("absorbing sets: the largest size must be at least 1, not " +
                                std::to_string(settings.maxsize));
  enumerator e(graph, settings);
  return e.run();
}

std::vector<impulseresult> impulsesearch(const graphs *graph,
                                         const std::vector<std::vector<int>> &candidates,
                                         const impulsesettings &s) {
  const tannerlists lists = listsofgraph(graph);
  const decoder dec(graph, s.decoder);
  const int n = dec.length();
  const std::size_t count = candidates.size();
  std::vector<impulseresult> results(count);
  for (std::size_t j = 0; j < count; ++j) {
    results[j].variables = candidates[j];
    std::sort(results[j].variables.begin(), results[j].variables.end());
    results[j].kind = classifyset(lists, results[j].variables);
  }
  // Decodes every candidate with its set received at y[j]; fills whether it
  // failed and its bits in error.
  const double scale = 2.0 / (s.sigma * s.sigma);
  std::vector<double> llr(static_cast<std::size_t>(n) * count);
  std::vector<std::uint8_t> decisions(llr.size());
  std::vector<float> posteriors(llr.size());
  auto decodeall = [&](const std::vector<double> &y, std::vector<std::vector<int>> *errors) {
    std::fill(llr.begin(), llr.end(), scale);
    for (std::size_t j = 0; j < count; ++j)
      for (int v : results[j].variables) llr[j * n + v] = scale * y[j];
    decodeoutputs o;
    o.decisions = decisions.data();
    o.posteriors = posteriors.data();
    dec.decode(llr.data(), static_cast<int>(count), o, s.threads);
    for (std::size_t j = 0; j < count; ++j) {
      (*errors)[j].clear();
      for (int i = 0; i < n; ++i)
        if (decisions[j * n + i] != 0 || posteriors[j * n + i] == 0.0f) (*errors)[j].push_back(i);
    }
  };
  // Bisection between a failing low and a decoding high, all candidates at
  // once; those that decode at the lowest value are left out.
  std::vector<double> low(count, s.lowest), high(count, 1.0), y(count, s.lowest);
  std::vector<std::vector<int>> errors(count);
  decodeall(y, &errors);
  for (std::size_t j = 0; j < count; ++j) {
    results[j].traps = !errors[j].empty();
    results[j].failure = errors[j];
  }
  for (int step = 0; step < s.bisections; ++step) {
    for (std::size_t j = 0; j < count; ++j) y[j] = 0.5 * (low[j] + high[j]);
    decodeall(y, &errors);
    for (std::size_t j = 0; j < count; ++j) {
      if (!results[j].traps) continue;
      if (errors[j].empty()) {
        high[j] = y[j];
      } else {
        low[j] = y[j];
        results[j].failure = errors[j];
      }
    }
  }
  for (impulseresult &r : results) {
    const std::size_t j = &r - results.data();
    r.threshold = r.traps ? low[j] : s.lowest;
    r.distance = std::sqrt(static_cast<double>(r.variables.size())) * (1.0 - r.threshold);
    r.log10pull = std::log10(0.5 * std::erfc(r.distance / s.sigma / std::sqrt(2.0)));
    if (r.traps) r.failurekind = classifyset(lists, r.failure);
  }
  std::stable_sort(results.begin(), results.end(),
                   [](const impulseresult &a, const impulseresult &b) {
                     if (a.traps != b.traps) return a.traps;
                     return a.distance < b.distance;
                   });
  return results;
}

}  // namespace ldpc
